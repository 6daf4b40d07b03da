#pragma once

// The engine's private working state and the constants and helpers both of its forms share:
// included by the engine's own sources (and the tests' accessor), never by its users.

#include "plugin/engine/DelayLine.h"
#include "plugin/engine/EngineMath.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbCore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace lumenfall::engine
{

/// Coefficients are refreshed every kRefreshPeriod samples. The block form works in segments that
/// never cross a refresh, or, while every parameter holds still and no model change can start
/// (the refreshes would change nothing), of up to kCoreBlock samples from a refresh.
constexpr int kRefreshPeriod = 32;
static_assert(kCoreBlock % kRefreshPeriod == 0 && kCoreBlock % 64 == 0);
static_assert(kRefreshPeriod >= kShortCoreBlock,
              "a core keeps the gains of its refreshes per short run");

/// The rows a segment records its gliding values in: a segment's samples and room for the last
/// group of four that a glide fills past them (see GlideSegment).
constexpr int kRowLength = kCoreBlock + 4;

constexpr double kSmoothingSeconds = 0.02; // time constant of the parameter and bypass glides
constexpr double kAttackSeconds = 0.005;   // of the followers and the ducker, rising
constexpr double kCrossfadeSeconds = 0.06; // a model change fades between the cores this long
constexpr double kPreDelayCapacitySeconds = 2.05;
constexpr double kMaxPreDelaySeconds = 2.0; // a synced pre-delay is held here
constexpr float kInputLimit = 64.0f;        // the reverb and the followers see |x| <= this
constexpr float kDuckDepth = 12.0f;         // duck gain 1 / (Ducking / 100 x envelope x this + 1)
// The onset detector: a pre-delayed peak above kOnsetLevel that rises kOnsetJump times above
// its follower (or comes out of near silence, below kOnsetQuiet), kOnsetHoldOffSeconds after
// the last onset at the earliest.
constexpr float kOnsetLevel = 0.006f;
constexpr float kOnsetQuiet = 0.002f;
constexpr float kOnsetJump = 3.5f;
constexpr double kOnsetHoldOffSeconds = 0.04;

/// Envelopes that decay towards 0 are flushed below this level: far under every threshold
/// they are compared with, and it keeps their arithmetic out of the denormal range.
constexpr float kEnvelopeFloor = 1e-25f;

// The parameters every core reads sample by sample and the block form cannot follow: while one
// glides, the engine runs the per-sample form. Those only some models read (the gate's by Gated
// and Reverse, the shimmer's by Shimmer) the block form follows sample by sample, and no refresh
// reads them (see CoreGlides). The others are read only by the coefficient refresh or, sample by
// sample, by the engine's own output stage, which takes them per sample in the block form too.
// "Size" glides in the block form (see CoreGlides).
constexpr ParamId kReadBySample[] = {ParamId::Freeze};
// The LFO's rate and depth, and the diffusion (which the plate and the spring read sample by
// sample in their own ways too): read sample by sample, but the cores' block forms take them so
// (see CoreGlides), and no refresh reads them.
constexpr ParamId kCoreGlidingReads[] = {
    ParamId::ModulationDepth, ParamId::ModulationRate, ParamId::Diffusion};
// The cores' output levels: read sample by sample, but the block form takes them so too (see
// OutputLevels), and no refresh reads them. The gate's values likewise (see CoreGlides).
constexpr ParamId kCoreOutputLevels[] = {
    ParamId::LateTail, ParamId::EarlyReflections, ParamId::Tone};
constexpr ParamId kReadByGate[] = {
    ParamId::GateLength, ParamId::GateRelease, ParamId::EnvelopeShape};

// Read only by the output stage ("Bypass" not even there: the engine reads its target), which
// takes them sample by sample in the block form: their glide does not end a long run.
constexpr ParamId kReadByOutputOnly[] = {
    ParamId::Mix, ParamId::Width, ParamId::Ducking, ParamId::WetSolo, ParamId::Bypass};

using ParamMask = std::uint64_t;
static_assert(kParamCount <= 64, "a ParamMask has one bit per parameter");

constexpr ParamMask Bit(int index)
{
    return ParamMask{1} << index;
}

template <std::size_t N>
constexpr ParamMask MaskOf(const ParamId (&ids)[N])
{
    ParamMask mask = 0;
    for (const ParamId id : ids)
    {
        mask |= Bit(static_cast<int>(id));
    }
    return mask;
}

constexpr ParamMask kReadBySampleMask = MaskOf(kReadBySample);
constexpr ParamMask kReadByGateMask = MaskOf(kReadByGate);
constexpr ParamMask kReadByShimmerMask = Bit(static_cast<int>(ParamId::ShimmerAmount));
constexpr ParamMask kReadByOutputOnlyMask = MaskOf(kReadByOutputOnly);
constexpr ParamMask kCoreOutputLevelMask = MaskOf(kCoreOutputLevels);
constexpr ParamMask kCoreGlidingMask = MaskOf(kCoreGlidingReads);
constexpr ParamMask kDiffusionMask = Bit(static_cast<int>(ParamId::Diffusion));
constexpr ParamMask kModulationMask = kCoreGlidingMask & ~kDiffusionMask;
// "Density" glides in the block form too, but the refresh reads it: its glide ends long runs.
constexpr ParamMask kDensityMask = Bit(static_cast<int>(ParamId::Density));
// "Size" glides in the block form too (the cores follow it sample by sample, see CoreGlides), but
// the refresh reads it: its glide ends long runs.
constexpr ParamMask kSizeMask = Bit(static_cast<int>(ParamId::Size));
// What the block form records sample by sample (see RecordedRow): the output stage's values
// always (the wet and dry gains follow "Mix" and "Wet Solo" together; "Width" and "Ducking" are
// scaled to factors), and each group of the cores' values while one of them glides.
constexpr ParamMask kWetGainMask =
    Bit(static_cast<int>(ParamId::Mix)) | Bit(static_cast<int>(ParamId::WetSolo));
constexpr ParamMask kOutputRowsMask =
    kWetGainMask | Bit(static_cast<int>(ParamId::Width)) | Bit(static_cast<int>(ParamId::Ducking));
constexpr ParamMask kCoreGlideGroups[] = {kCoreOutputLevelMask,
                                          kModulationMask,
                                          kDiffusionMask,
                                          kDensityMask,
                                          kSizeMask,
                                          kReadByGateMask,
                                          kReadByShimmerMask};

/// A glide ends once it is within a thousandth of its parameter's range of the target: a step
/// that small is inaudible (0.1 % of Mix, 0.036 dB of the output trim, 0.1 % of an allpass or
/// filter coefficient's travel), and the glide ends within 7 time constants (140 ms) even after
/// a jump across the whole range, where an exact arrival takes twice as long. Decay, release and
/// gate times and filter frequencies are heard in ratios: theirs end within a thousandth of the
/// target itself where that is nearer (0.08 ms of a 0.08 s decay, 0.02 Hz of a 20 Hz low cut;
/// the LFO's rate is not, its phase runs on smoothly whatever the step). "Size" moves the early
/// taps' read positions continuously, the last one by fs x 0.254 s x 0.0075 per unit: it ends
/// within a millionth of its range, where that tap moves by 1/50 sample at 48 kHz.
constexpr double kSnapFraction = 1e-3;
constexpr double kSizeSnapFraction = 1e-6;
constexpr ParamId kHeardInRatios[] = {ParamId::Decay,
                                      ParamId::LowCut,
                                      ParamId::HighCut,
                                      ParamId::BassDecay,
                                      ParamId::TrebleDecay,
                                      ParamId::BassCrossover,
                                      ParamId::HFDamping,
                                      ParamId::DuckRelease,
                                      ParamId::GateLength,
                                      ParamId::GateRelease};

inline double SnapDistance(int index, float target)
{
    const double span = static_cast<double>(ParamMaximum(index)) - ParamMinimum(index);
    if (index == static_cast<int>(ParamId::Size))
    {
        return span * kSizeSnapFraction;
    }
    const double distance = std::max(1e-8, span * kSnapFraction);
    const bool ratio = (MaskOf(kHeardInRatios) & Bit(index)) != 0;
    return ratio ? std::min(distance, target * kSnapFraction) : distance;
}

/// One step of the pre-delay glide (32-bit, as both forms compute it). It ends at the target
/// when within a millionth of a sample (else it would creep through the denormal range towards
/// a target of 0) or when the step no longer changes the value: in 32 bits the glide stalls a
/// fraction of a float's spacing per step short of its target, which is up to 4 samples at a
/// 2 s pre-delay, and snapping across that is as inaudible as the stall.
inline float GlidePreDelay(float current, float target, float coefficient)
{
    const float next = target + (current - target) * coefficient;
    return next == current || std::fabs(next - target) < 1e-6f ? target : next;
}

// What the refresh reads: the cores' coefficients follow these parameters, the engine's trims,
// pre-delay target and duck release those (with the tempo and, unsmoothed, "Pre-delay Sync" and
// "Note Division"). A refresh whose inputs have not changed is skipped.
constexpr ParamId kCoreRefreshReads[] = {ParamId::Size,
                                         ParamId::Density,
                                         ParamId::Decay,
                                         ParamId::BassDecay,
                                         ParamId::TrebleDecay,
                                         ParamId::BassCrossover,
                                         ParamId::HFDamping,
                                         ParamId::LowCut,
                                         ParamId::HighCut};
constexpr ParamId kFrameRefreshReads[] = {
    ParamId::InputTrim, ParamId::OutputTrim, ParamId::PreDelay, ParamId::DuckRelease};
constexpr int kCoreRefreshReadCount = static_cast<int>(std::size(kCoreRefreshReads));
static_assert(kCoreRefreshReads[0] == ParamId::Size);
constexpr int kCoreRefreshSizeKey = 0; // where "Size" stands among them
constexpr int kFrameRefreshReadCount = static_cast<int>(std::size(kFrameRefreshReads));

// The model a parameter block selects ("Reverb Type" is whole and in range once clamped).
inline ReverbModel ModelOf(const EngineParameters& parameters)
{
    const int model = static_cast<int>(parameters[ParamId::ReverbType]);
    return static_cast<ReverbModel>(std::clamp(model, 0, kReverbModelCount - 1));
}

inline float Clamp64(float x)
{
    return std::clamp(x, -kInputLimit, kInputLimit);
}

inline float ReadFinite(const float* channel, int i)
{
    const float x = channel != nullptr ? channel[i] : 0.0f;
    return std::isfinite(x) ? x : 0.0f;
}

struct BlockPeaks
{
    float input = 0.0f;
    float wet = 0.0f;
    float output = 0.0f;
    float duck = 0.0f;
};

/// What the input stage hands to the cores and to the output stage for one sample.
struct FrameInput
{
    float dryL = 0.0f;
    float dryR = 0.0f;
    float feedL = 0.0f;
    float feedR = 0.0f;
    float envelope = 0.0f;
    bool onset = false;
};

// How a segment of Process runs: its length, whether the block form takes it, and whether its
// first sample's smoothing step and refresh are done already.
struct Segment
{
    int n = 0;
    bool smoothed = false;
    bool refreshed = false;
    bool block = false;
};

/// The engine's working state: allocated once by the first Prepare.
struct ReverbEngineState
{
    double sampleRate = 48000.0;
    int channels = 2;
    int activeCore = 0;
    int fadingCore = -1;
    int crossfadeRemaining = 0;
    int crossfadeLength = 1;
    std::uint32_t refreshCounter = 0; // wraps; 2^32 is a multiple of the refresh period
    ReverbCore cores[2];
    DelayLine preDelay[2];
    EngineParameters current;
    EngineParameters target;
    // Each smoothed parameter's exact glide: how far its value still is from its target, which
    // shrinks by smoothingCoef per sample (current holds the value as a float).
    double glideOffset[kParamCount] = {};
    double smoothingPowers[kRowLength + 1] = {}; // smoothingCoef^t
    double tempo = 120.0;
    float smoothingCoef = 0.0f;
    float inputEnvelope = 0.0f;
    float onsetEnvelope = 0.0f;
    float duckGain = 1.0f;
    double bypassFade = 0.0;
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float currentPreDelay = 0.0f;
    float targetPreDelay = 0.0f;
    float duckReleaseCoef = 0.0f;
    float attackCoef = 0.0f;
    std::int64_t samplesSinceOnset = kNoOnset;
    // Bit i: smoothed parameter i has not reached its target yet. A new target (SetTarget) sets
    // it, Smooth clears it when the value arrives; the others stay put, so Smooth skips them.
    ParamMask gliding = 0;
    double snapDistance[kParamCount] = {}; // for the current target, see SnapDistance
    // Samples the per-sample form ran outside the reference mode (a test seam: after a change,
    // it stops growing once every glide has ended).
    std::uint64_t sampleFormSamples = 0;

    // The inputs of the last refresh, of the cores' part and of the engine's (which also has the
    // tempo, "Pre-delay Sync" and "Note Division"): an unchanged part is skipped (it would
    // compute the same values again).
    float coreRefreshKey[kCoreRefreshReadCount] = {};
    float frameRefreshKey[kFrameRefreshReadCount + 2] = {};
    double refreshTempo = 0.0;
    bool refreshValid = false;

    // Block-form scratch, one refresh period long.
    float feedL[kCoreBlock] = {};
    float feedR[kCoreBlock] = {};
    float dryL[kCoreBlock] = {};
    float dryR[kCoreBlock] = {};
    float followers[2 * kCoreBlock + 2] = {}; // see RunFollowers
    std::uint8_t onset[kCoreBlock] = {};
    bool anyOnset = false; // some onset[k] is set
    float wetL[kCoreBlock] = {};
    float wetR[kCoreBlock] = {};
    float fadeL[kCoreBlock] = {};
    float fadeR[kCoreBlock] = {};
    // The output stage's parameters at each sample of the segment: "Width" and "Ducking" as
    // factors, the wet and dry gains.
    float widthAt[kRowLength] = {};
    bool duckingAtAll = false; // some duckingAt[t] is not 0
    float duckingAt[kRowLength] = {};
    float wetGainAt[kRowLength] = {};
    float dryGainAt[kRowLength] = {};
    // What the segment records sample by sample: kOutputRowsMask and the groups of
    // kCoreGlideGroups that glide at its start.
    ParamMask recorded = 0;
    // The cores' output levels at each sample of the segment, while one of them glides.
    float lateTailAt[kRowLength] = {};
    float earlyAt[kRowLength] = {};
    float toneAt[kRowLength] = {};
    // The LFO's rate and depth at each sample of the segment, while one of them glides, and the
    // diffusion, the density and the size while each does.
    float modulationRateAt[kRowLength] = {};
    float modulationDepthAt[kRowLength] = {};
    float diffusionAt[kRowLength] = {};
    float densityAt[kRowLength] = {};
    float sizeAt[kRowLength] = {};
    float gateLengthAt[kRowLength] = {};
    float gateReleaseAt[kRowLength] = {};
    float envelopeShapeAt[kRowLength] = {};
    float shimmerAt[kRowLength] = {};

    void Reset();
    void SetTarget(const EngineParameters& parameters);
    void UpdateCoefficients();
    void Smooth();
    bool BlockReady(double bypassTarget) const;
    int LongestRunAfterRefresh() const;
    void GlideSegment(int n);
    [[nodiscard]] float* RecordedRow(int index);
    void RecordOutputParameters(int n, ParamMask moving);
    void Refresh();
    [[gnu::always_inline]] inline FrameInput
    InputStep(float left, float right, double bypassTarget, BlockPeaks& peaks);
    StereoSample Crossfade(StereoSample active, StereoSample fading);
    void InputBlock(const float* inL, const float* inR, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline Segment
    BeginSegment(int remaining, double bypassTarget, bool reference);
    // The two forms, each over one segment: the reference form (ReverbEngineReference.cpp) takes
    // it sample by sample and is the oracle of the block form (ReverbEngineBlock.cpp).
    void SampleSegment(const float* inL,
                       const float* inR,
                       float* const* outputs,
                       int done,
                       const Segment& g,
                       double bypassTarget,
                       BlockPeaks& peaks);
    void BlockSegment(const float* inL,
                      const float* inR,
                      float* const* outputs,
                      int done,
                      int n,
                      BlockPeaks& peaks);
    // The steps of InputBlock and OutputBlock (see there), inlined as if written there.
    [[gnu::always_inline]] inline void ReadInput(const float* inL,
                                                 const float* inR,
                                                 int n,
                                                 float* fL,
                                                 float* fR,
                                                 float* level,
                                                 BlockPeaks& peaks);
    [[gnu::always_inline]] inline void FeedPreDelay(const float* fL, const float* fR, int n);
    [[gnu::always_inline]] inline void
    FeedSettledPreDelay(const float* fL, const float* fR, float* outL, float* outR, int n);
    [[gnu::always_inline]] inline void RunFollowers(const float* level, float* q, int n);
    [[gnu::always_inline]] inline void
    FindOnsetCandidates(const float* q, int n, std::uint64_t* candidates);
    [[gnu::always_inline]] inline void MarkOnsets(const std::uint64_t* candidates, int n);
    [[gnu::always_inline]] inline void
    OutputBlock(int fading, float* const* outputs, int offset, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline void CrossfadeBlock(int fading);
    [[gnu::always_inline]] inline void DuckBlock(float* duck, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline void
    MixBlock(const float* duck, float* const* outputs, int offset, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline void OutputStep(
        StereoSample wet, const FrameInput& in, float* const* outputs, int i, BlockPeaks& peaks);
};

} // namespace lumenfall::engine
