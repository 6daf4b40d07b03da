#pragma once

// The eight feedback delay lines of a reverb core, shared by its three late structures (the
// network uses all eight, the plate tank lines 0-3, the spring lines 0 and 1).
//
// Each line i has a length L_i that glides to its target with an 8 ms one-pole, a broadband loop
// gain g_i and two band ratios B_i and T_i, set by Update so that the loop loses 60 dB in "Decay"
// seconds, "Bass Decay" times that below the bass crossover and "Treble Decay" times that above
// the HF-damping frequency. Its damped feedback of a line output x is
//   low = S((low_i - x) a_bass + x)             (the band below the crossover)
//   d = x + (B_i - 1) low                       (that band scaled by B_i)
//   high = S((high_i - d) a_hf + d)             (the band below the damping frequency)
//   y = (high + T_i (d - high)) g_i             (the band above it scaled by T_i; then g_i)
//   result S(y + F (x - y))                     (with "Freeze" F = 1 the loop passes x unchanged)
// No band of any line gets a loop gain above 0.99998, whatever the decay multipliers.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayBank.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/SimdMath.h"

namespace lumenfall::engine
{

/// Base delay of each feedback line in seconds, per model (times the size factor and the
/// sample rate gives the line length). The Plate row's first four entries also set the
/// plate tank's two loop times.
inline constexpr float ModelLineTimes[kReverbModelCount][8] = {
    {0.0071f, 0.0097f, 0.0127f, 0.0157f, 0.0193f, 0.0233f, 0.0277f, 0.0319f},
    {0.0121f, 0.0163f, 0.0211f, 0.0259f, 0.0307f, 0.0353f, 0.0397f, 0.0443f},
    {0.0191f, 0.0257f, 0.0313f, 0.0377f, 0.0431f, 0.0487f, 0.0541f, 0.0607f},
    {0.0247f, 0.0331f, 0.0397f, 0.0473f, 0.0539f, 0.0613f, 0.0701f, 0.0793f},
    {0.0311f, 0.0413f, 0.0479f, 0.0593f, 0.0671f, 0.0737f, 0.0833f, 0.0919f},
    {0.0451f, 0.0577f, 0.0673f, 0.0791f, 0.0917f, 0.1051f, 0.1193f, 0.1327f},
    {0.0491f, 0.0677f, 0.0573f, 0.0791f, 0.037f, 0.043f, 0.053f, 0.061f},
    {0.0277f, 0.0361f, 0.013f, 0.017f, 0.021f, 0.025f, 0.033f, 0.041f},
    {0.029f, 0.037f, 0.043f, 0.053f, 0.061f, 0.071f, 0.079f, 0.089f},
    {0.0233f, 0.0317f, 0.0411f, 0.0497f, 0.0581f, 0.0679f, 0.0763f, 0.0877f},
    {0.0149f, 0.0211f, 0.0277f, 0.0337f, 0.0413f, 0.0479f, 0.0547f, 0.0623f},
    {0.0181f, 0.0247f, 0.0313f, 0.0379f, 0.0457f, 0.0523f, 0.0601f, 0.0697f},
    {0.0337f, 0.0443f, 0.0539f, 0.0641f, 0.0757f, 0.0893f, 0.1013f, 0.1139f},
};

/// The eight damped feedback lines of a core (see the top of this file).
class FeedbackLines
{
public:
    static constexpr int kLines = DelayBank::kLanes;
    /// Line capacity, seconds: the longest line (Cathedral at Size 200 %, 0.232 s) plus its
    /// modulation fits.
    static constexpr double kCapacitySeconds = 0.55;

    /// [!audio-thread] Sizes the lines for `sampleRate`; false when the memory cannot be had.
    bool Prepare(double sampleRate);

    /// Silence: clears the lines and the damping states; lengths 0 until the next Update, which
    /// starts every line at its target. Gains and ratios keep their values until then.
    void Reset();

    /// The refresh: damping coefficients, target lengths, loop gains and band ratios for the
    /// settings and the current parameters.
    void Update(const CoreSettings& settings, const EngineParameters& current);

    /// The refresh when nothing Update reads but the size has changed since the last one (a
    /// refresh inside a block while only "Size" glides): what Update would do.
    void UpdateSize(const CoreSettings& settings);

    /// One sample of the length glide (the reference form runs it before every sample).
    void Glide();

    /// n <= kCoreBlock samples of the length glide, as Glide before each (to the rounding of the
    /// glide's powers, which it takes from a table): line i's length after
    /// sample t's step at lengths[i kCoreBlock + t], and its last one on to `whole` (for the block
    /// forms that read whole groups of lanes).
    void GlideAlong(float* lengths, int n, int whole, InstructionSet instructionSet);

    /// Every length has reached its target, so the glide is idle (the block forms skip it).
    bool Settled() const;

    /// The damped feedback of line `line`'s output x, advancing its two states.
    float Damp(int line, float x, float freeze);

    /// Every line's loop gain and band ratios: what a refresh inside a block changes of Damp.
    struct LineGains
    {
        float gain[kLines] = {};
        float bassRatio[kLines] = {};
        float trebleRatio[kLines] = {};
    };
    const LineGains& Gains() const { return mGains; }

    /// The lanes' gains and ratios (one line per lane, as LoadDamp takes them) from `gains`,
    /// their states kept.
    template <class V>
    [[gnu::always_inline]] static void
    SetGains(Damping<V>& lanes, const LineGains& gains, const int* lines)
    {
        constexpr int kCount = kLaneCount<V>;
        alignas(32) float values[3][kCount] = {};
        for (int k = 0; k < kCount; ++k)
        {
            const int i = lines[k];
            if (i >= 0)
            {
                values[0][k] = gains.bassRatio[i];
                values[1][k] = gains.trebleRatio[i];
                values[2][k] = gains.gain[i];
            }
        }
        lanes.bassRatioLessOne = LoadLanes<V>(values[0]) - 1.0f;
        lanes.trebleRatio = LoadLanes<V>(values[1]);
        lanes.gain = LoadLanes<V>(values[2]);
    }

    /// The coefficients and states of one line per lane (kLaneCount<V> of them) for the lane
    /// form of Damp; lanes of line -1 hold zeros. StoreDamp writes the real lines' states back.
    template <class V>
    [[gnu::always_inline]] Damping<V> LoadDamp(const int* lines) const
    {
        constexpr int kCount = kLaneCount<V>;
        alignas(32) float values[2][kCount] = {};
        for (int k = 0; k < kCount; ++k)
        {
            const int i = lines[k];
            if (i >= 0)
            {
                values[0][k] = mLow[i];
                values[1][k] = mHigh[i];
            }
        }
        Damping<V> lanes;
        lanes.bassCoefficient = SplatLanes<V>(mBassCoefficient);
        lanes.hfCoefficient = SplatLanes<V>(mHFCoefficient);
        SetGains(lanes, mGains, lines);
        lanes.low = LoadLanes<V>(values[0]);
        lanes.high = LoadLanes<V>(values[1]);
        return lanes;
    }

    template <class V>
    [[gnu::always_inline]] void StoreDamp(const Damping<V>& lanes, const int* lines)
    {
        constexpr int kCount = kLaneCount<V>;
        alignas(32) float low[kCount];
        alignas(32) float high[kCount];
        StoreLanes(low, lanes.low);
        StoreLanes(high, lanes.high);
        for (int k = 0; k < kCount; ++k)
        {
            if (lines[k] >= 0)
            {
                mLow[lines[k]] = low[k];
                mHigh[lines[k]] = high[k];
            }
        }
    }

    /// Damp on two lines along a block: ya[t] and yb[t] are the damped feedback of xa[t] with line
    /// a's states and of xb[t] with line b's, sample by sample.
    void DampAlong(
        int a, int b, const float* xa, const float* xb, float freeze, float* ya, float* yb, int n);

    /// Writes n frames whose first `count` lanes are lanes[k][t] (sanitised already) and the rest
    /// silent.
    void WriteFrames(const float* const* lanes, int count, int n);

    /// True when every line is longer than `reach` + n + 2 samples, and stays so while it glides
    /// to its target: a block of n samples whose reads swing at most `reach` either way reads only
    /// what was written before it.
    bool LongerThan(int lines, float reach, int n) const;

    DelayBank& Bank() { return mBank; }
    const DelayBank& Bank() const { return mBank; }

    float TargetLength(int line) const { return mTargetLength[line]; }
    float CurrentLength(int line) const { return mCurrentLength[line]; }
    const float* CurrentLengths() const { return mCurrentLength; }
    float Gain(int line) const { return mGains.gain[line]; }
    float BassRatio(int line) const { return mGains.bassRatio[line]; }
    float TrebleRatio(int line) const { return mGains.trebleRatio[line]; }
    float HFDampingCoefficient() const { return mHFCoefficient; }

private:
    // Update's part that follows the size: targets, loop times, gains of the changed lines.
    void FollowSize(const CoreSettings& settings, bool decaysChanged);

    DelayBank mBank;
    float mLow[kLines] = {};
    float mHigh[kLines] = {};
    float mCurrentLength[kLines] = {}; // samples, what the reads use
    float mTargetLength[kLines] = {};  // samples
    // The exact glide behind mCurrentLength: how far each line still is from its target, which
    // shrinks by mLengthSmoothing per sample.
    double mLengthOffset[kLines] = {};
    double mGlidePowers[kCoreBlock + 1] = {}; // mLengthSmoothing^t
    LineGains mGains;
    float mBassCoefficient = 0.0f;
    float mHFCoefficient = 0.0f;
    float mLengthSmoothing = 0.0f;
    // What the last refresh computed the damping coefficients and the loop gains from: a
    // refresh that would compute the same values again skips them (they cost most of it).
    double mDampingKey[3] = {};
    double mDecayKey[4] = {};
    double mLoop[kLines] = {}; // each line's loop time, seconds
    // log10 of k, b and t per second of loop time (see Update).
    double mDecadesPerSecond[3] = {};
    bool mKeysValid = false;
};

} // namespace lumenfall::engine
