#pragma once

// The early reflections: 16 taps on two lines that hold the last 0.52 s of the (pre-delayed)
// input, left and right, each tap mixing its own side with a little of the other.
//
// Per sample both lines are written with (1 - F) x; then for tap k = 0..15, at
// D_k = fs T_k c u + 1 samples with the model's time scale u (Ambience 0.45, Small Room 0.65,
// Cathedral 1.7, else 1) and gain g_k = 0.19 G_k, inverted on every third tap (k = 0, 3, 6, ...):
//   left  += g_k (0.78 left.Read(D_k) + 0.22 right.Read(1.071 D_k))
//   right += g_k (0.78 right.Read(1.113 D_k) + 0.22 left.Read(0.943 D_k))
// and both sums are sanitised.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayLine.h"

namespace lumenfall::engine
{

/// Early-reflection tap times T_k in seconds.
inline constexpr float EarlyTapTimes[16] = {0.0031f,
                                            0.0057f,
                                            0.0089f,
                                            0.0127f,
                                            0.0173f,
                                            0.0221f,
                                            0.0277f,
                                            0.0349f,
                                            0.0431f,
                                            0.0527f,
                                            0.0641f,
                                            0.0773f,
                                            0.0919f,
                                            0.1091f,
                                            0.1277f,
                                            0.1493f};

/// Early-reflection tap gains G_k = exp(-0.17 k) as 32-bit floats.
inline constexpr float EarlyTapGains[16] = {1.0f,
                                            0.843664825f,
                                            0.711770296f,
                                            0.600495577f,
                                            0.50661701f,
                                            0.427414924f,
                                            0.360594928f,
                                            0.304221272f,
                                            0.256660789f,
                                            0.216535673f,
                                            0.182683527f,
                                            0.154123664f,
                                            0.13002871f,
                                            0.10970065f,
                                            0.0925505757f,
                                            0.0780816674f};

/// The early-reflection lines and taps (see the top of this file).
class EarlyTaps
{
public:
    static constexpr int kTaps = 16;
    /// Line capacity, seconds: the longest read (Cathedral at Size 200 %, 0.494 s) fits.
    static constexpr double kCapacitySeconds = 0.52;

    /// [!audio-thread] Sizes both lines for `sampleRate`; false when the memory cannot be had.
    bool Prepare(double sampleRate);

    /// Silence, and the time scale of `model`.
    void Reset(ReverbModel model);

    /// The reference form: writes one input pair and returns the reflections.
    StereoSample Step(float xL, float xR, const CoreSettings& settings);

    /// The block form over n <= kCoreBlock samples.
    void Run(const float* xL,
             const float* xR,
             const CoreSettings& settings,
             float* earlyL,
             float* earlyR,
             int n);

    /// The block form while "Size" glides: sizes[t] is the size factor c at sample t, which moves
    /// every read sample by sample as Step does.
    void RunGliding(const float* xL,
                    const float* xR,
                    const CoreSettings& settings,
                    const float* sizes,
                    float* earlyL,
                    float* earlyR,
                    int n);

private:
    // Each output sums 32 reads, two per tap and line: read 2 k + line of the left output and
    // 32 + 2 k + line of the right.
    static constexpr int kReads = 4 * kTaps;

    // The reads' whole delays and interpolation gains for one size, kept until the size, the
    // model or the rate changes.
    void UpdateReads(const CoreSettings& settings);

    // The block form's steps: the writes, then per output the windows and gains of the reads to
    // sum (every read with its gains once all reach written slots only; until then, up to the
    // last that does, those that do with theirs, those that reach the first written slot within
    // the block with theirs on a copy of the window zeroed before it, and the others with none).
    struct OutputReads
    {
        const float* window[kReads / 2]; // each read's n + 1 slots
        const float* near;               // the gains in use
        const float* far;
        float nearGain[kReads / 2];
        float farGain[kReads / 2];
        int count;
    };
    void Feed(const float* xL, const float* xR, float open, int n);
    void FindReads(int out, int n, const int (&before)[2], OutputReads& reads);

    DelayLine mLines[2];
    float mTimeScale = 1.0f; // u
    int mWhole[kReads] = {};
    float mNear[kReads] = {}; // gain of the slot `whole` back
    float mFar[kReads] = {};  // gain of the slot `whole + 1` back
    float mReadsSize = -1.0f; // the size the reads were worked out for; -1: none
    int mLongestWhole = 0;
    // Copies of the windows of reads that reach back to the start of what was written, their
    // unwritten slots 0.
    float mStraddling[kReads / 2][kCoreBlock + 1] = {};
};

} // namespace lumenfall::engine
