#pragma once

#include "plugin/engine/DelayBank.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ShimmerShifter.h"

#include <cstdint>

namespace lumenfall::engine
{

/// Base delay of each feedback line in seconds, per model (times the size factor and the
/// sample rate gives the line length). The Plate row's first four entries also set the
/// plate tank's two loop times.
inline constexpr float ModelLineTimes[13][8] = {
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

/// Early-reflection tap times in seconds.
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

/// Early-reflection tap gains, exp(-0.17 k) as 32-bit floats.
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

/// Input and output sign patterns of the 8-line network (orthogonal to each other).
inline constexpr float NetworkSignsLeft[8] = {1, 1, -1, 1, -1, -1, 1, -1};
inline constexpr float NetworkSignsRight[8] = {1, -1, 1, 1, 1, -1, -1, -1};

/// Samples-since-onset value that means "no onset seen since the last reset".
inline constexpr std::int64_t kNoOnset = 1000000000;

/// The gate and reverse envelope at t seconds after an onset (1 for every other model),
/// before the freeze override. P = 2^(shape x 0.02), G and R the gate length and release in
/// seconds. While t < G: Reverse m = clamp(t / G, 0, 1)^(2.5 P); Gated
/// m = max(1 - 0.85 t / G, 0)^max(P - 1, 0). From t >= G the release runs linearly from the
/// level reached at the end of the gate: m = m(G) x max(1 - (t - G) / R, 0), so a sagging
/// gate never jumps back up to full level. The editor's envelope guide draws this function.
float GateEnvelope(int model, double t, float gateLengthMs, float gateReleaseMs, float shape);

/// One wet stereo sample.
struct StereoSample
{
    float left = 0.0f;  ///< left wet sample
    float right = 0.0f; ///< right wet sample
};

/// One complete reverb voice: an 8-line feedback delay network with band-split damping,
/// input diffusers, a plate tank, a spring dispersion chain, stereo early reflections, the
/// octave shimmer and the output filters. All thirteen models share it; the model chooses
/// the late structure. Processing never allocates; only Prepare sizes the lines.
class ReverbCore
{
public:
    static constexpr int kLines = 8;
    static constexpr int kDiffusers = 12;

    ReverbCore();
    ~ReverbCore();
    ReverbCore(const ReverbCore&) = delete;
    ReverbCore& operator=(const ReverbCore&) = delete;

    /// Sizes every line for sample rate fs (feedback 0.55 s, diffusers 0.12 s, early
    /// 0.52 s), fills the shifter's tables and resets to Hall. Returns false (and leaves
    /// the core unusable until a later Prepare succeeds) when a line cannot be allocated.
    bool Prepare(double sampleRate);

    /// Returns every line, filter, the LFO, the shifter and the onset counter to silence and
    /// selects the model. Gains, ratios and coefficients keep their values until the next
    /// UpdateCoefficients, which every caller runs before the next sample. Constant time.
    void Reset(int model);

    /// The refresh: mixing rotation, one-pole coefficients, target line lengths and the
    /// per-line feedback gain and bass and treble ratios for the current parameters.
    /// No band of any line gets a loop gain above 0.99998.
    void UpdateCoefficients(const EngineParameters& current);

    /// One pre-delayed input pair in, one wet pair out, straight from the definition of
    /// every step. This is the reference form; ProcessBlock gives the same result to float
    /// rounding and is what the engine runs.
    StereoSample ProcessSample(float xL, float xR, const EngineParameters& current, bool onset);

    /// Processes n samples with parameters that are constant over the block (the engine
    /// calls it only when its smoothing has settled). onsets may be null (no onset).
    void ProcessBlock(const float* xL,
                      const float* xR,
                      const std::uint8_t* onsets,
                      float* wetL,
                      float* wetR,
                      int n,
                      const EngineParameters& current);

    /// The damped feedback of line i: the band below the bass crossover scaled by the bass
    /// ratio, the band above the HF-damping frequency by the treble ratio, the whole by the
    /// line's feedback gain; with freeze F = 1 the line output passes unchanged.
    float DampFeedback(float x, int line, float freeze);

    /// The model chosen by the last Reset (0-12).
    int Model() const { return mModel; }
    /// Line i's length in samples: the refresh's target and the gliding value samples read at.
    float TargetLineLength(int line) const { return mTargetLength[line]; }
    float CurrentLineLength(int line) const { return mCurrentLength[line]; }
    /// Line i's loop gain g and its bass and treble band ratios from the last refresh.
    float FeedbackGain(int line) const { return mGain[line]; }
    float BassRatio(int line) const { return mBassRatio[line]; }
    float TrebleRatio(int line) const { return mTrebleRatio[line]; }
    /// exp(-2 pi f / fs) of the HF-damping one-pole from the last refresh.
    float HFDampingCoefficient() const { return mHFDampingCoef; }

private:
    void GlideLineLengths();
    StereoSample EarlyReflections(float c);
    float Diffuse(int firstLine, float x, float a, float e, float c, float offsetSeconds);
    // The plate tank's four allpass delays and its two coefficients; `tank` holds them when
    // the caller computed them once for a block, else LatePlate computes them.
    // `sines` holds sin(i x 1.47 + phase) (plate, 4) or sin(i x 1.618 + phase) (network, 8).
    void PlateTank(float c, const EngineParameters& current, float* tank) const;
    StereoSample LatePlate(float dL,
                           float dR,
                           const float* sines,
                           float depth,
                           float c,
                           float freeze,
                           const EngineParameters& current,
                           const float* tank = nullptr);
    // The spring's 12 dispersion delays and coefficients; `chain` holds them when the caller
    // computed them once for a block (delays first), else LateSpring computes them.
    void
    SpringChain(float c, const EngineParameters& current, float* delays, float* coefficients) const;
    StereoSample LateSpring(float xL,
                            float xR,
                            float s0,
                            float depth,
                            float c,
                            float freeze,
                            const EngineParameters& current,
                            const float* chain = nullptr);
    // The loop of LateNetworkBlock for the shimmer model or not, full lines or not, and
    // freeze 0 (kOpen) or not.
    template <bool kShimmer, bool kFull, bool kOpen>
    void LateNetworkRun(const float* dL,
                        const float* dR,
                        const float* sines,
                        const float* cosines,
                        float depth,
                        float freeze,
                        float shimmer,
                        float* lateL,
                        float* lateR,
                        int n);
    // LatePlate over a block (SSE2): sines[t] and cosines[t] as for LateNetworkBlock.
    void LatePlateBlock(const float* dL,
                        const float* dR,
                        const float* sines,
                        const float* cosines,
                        float depth,
                        float freeze,
                        const float* tank,
                        float* lateL,
                        float* lateR,
                        int n);
    // LateSpring over a block: s0[t] is the LFO sine before sample t's step.
    void LateSpringBlock(const float* xL,
                         const float* xR,
                         const float* s0,
                         float depth,
                         float freeze,
                         const float* chain,
                         float* lateL,
                         float* lateR,
                         int n);
    StereoSample LateNetwork(float dL,
                             float dR,
                             const float* sines,
                             float depth,
                             float freeze,
                             const EngineParameters& current);
    StereoSample FinishNetwork(StereoSample late, float shimmer);
    // The network over a block (SSE2): sines[t] and cosines[t] are the LFO phase's after
    // sample t's step; the late pair of sample t goes to lateL[t], lateR[t].
    void LateNetworkBlock(const float* dL,
                          const float* dR,
                          const float* sines,
                          const float* cosines,
                          float depth,
                          float freeze,
                          float shimmer,
                          float* lateL,
                          float* lateR,
                          int n);
    float Envelope(float freeze, const EngineParameters& current) const;

    // The block form (ReverbCore.cpp): valid once the line lengths have settled, since it
    // skips their glide; its block reads keep the rule that unwritten slots read as 0.
    static constexpr int kBlock = 32;
    bool BlockReady() const;
    void ProcessFast(const float* xL,
                     const float* xR,
                     const std::uint8_t* onsets,
                     float* wetL,
                     float* wetR,
                     int n,
                     const EngineParameters& current);
    void EarlyBlock(
        const float* xL, const float* xR, float open, float c, float* earlyL, float* earlyR, int n);
    void
    DiffuseBlock(int firstLine, float* x, float a, float e, float c, float offsetSeconds, int n);
    StereoSample OutputStage(StereoSample late,
                             StereoSample early,
                             float envelope,
                             const EngineParameters& current);
    // OutputStage over a block, both sides at once; envelope may be null (all 1).
    void OutputBlock(const float* lateL,
                     const float* lateR,
                     const float* earlyL,
                     const float* earlyR,
                     const float* envelope,
                     float* wetL,
                     float* wetR,
                     int n,
                     const EngineParameters& current);
    // The early taps' whole delays and interpolation gains for one size; kept until the size,
    // the model or the rate changes. Taps [0, 32) feed the left output, [32, 64) the right;
    // even taps read the left line, odd ones the right.
    void UpdateEarlyTaps(float c);

    DelayBank mLines;
    DelayLine mDiffusers[kDiffusers];
    DelayLine mEarly[2];
    ShimmerShifter mShimmer;

    float mDampLow[kLines] = {};
    float mDampHigh[kLines] = {};
    float mLowCutState[2] = {};
    float mHighCutState[2] = {};
    float mTiltState[2] = {};

    float mCurrentLength[kLines] = {};
    float mTargetLength[kLines] = {};
    float mGain[kLines] = {};
    float mBassRatio[kLines] = {};
    float mTrebleRatio[kLines] = {};
    double mLengthState[kLines] = {};

    float mBassCrossoverCoef = 0.0f;
    float mHFDampingCoef = 0.0f;
    float mLowCutCoef = 0.0f;
    float mHighCutCoef = 0.0f;
    float mTiltCoef = 0.0f;
    float mRotationCos = 0.70710677f;
    float mRotationSin = 0.70710677f;
    float mLengthSmoothing = 0.0f;

    // sin and cos of the fixed line phase offsets, for angle addition in the block form.
    float mNetworkSin[kLines] = {};
    float mNetworkCos[kLines] = {};
    float mPlateSin[4] = {};
    float mPlateCos[4] = {};
    // The input signs of each line for the current model, and the output tap weights.
    float mInjectLeft[kLines] = {};
    float mInjectRight[kLines] = {};
    float mTapLeft[kLines] = {};
    float mTapRight[kLines] = {};

    static constexpr int kEarlyTaps = 64;
    int mEarlyWhole[kEarlyTaps] = {};
    float mEarlyNear[kEarlyTaps] = {}; // gain of the slot `whole` back
    float mEarlyFar[kEarlyTaps] = {};  // gain of the slot `whole + 1` back
    float mEarlyTapsSize = -1.0f;      // the size the taps were computed for; -1: none
    int mEarlyMaxWhole = 0;

    double mLfoPhase = 0.0;
    float mShimmerReturn[2] = {};
    std::int64_t mSamplesSinceOnset = kNoOnset;
    int mModel = 4;
    double mSampleRate = 48000.0;
};

} // namespace lumenfall::engine
