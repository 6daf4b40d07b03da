#include "plugin/engine/ReverbEngine.h"

#include "plugin/engine/DelayLine.h"
#include "plugin/engine/EngineMath.h"
#include "plugin/engine/ReverbCore.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

namespace lumenfall::engine
{

namespace
{

/// Coefficients are refreshed every kRefreshPeriod samples. The block form works in segments that
/// never cross a refresh, or, while every parameter holds still and no model change can start
/// (the refreshes would change nothing), of up to kCoreBlock samples from a refresh.
constexpr int kRefreshPeriod = 32;
static_assert(kCoreBlock % kRefreshPeriod == 0 && kCoreBlock % 64 == 0);

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

// The parameters every core reads sample by sample, and those only some models read (the gate's
// by Gated and Reverse, the shimmer's by Shimmer): while one that a running core (or the model
// the next change starts) reads glides, the engine runs the per-sample form. The others are read
// only by the coefficient refresh or, sample by sample, by the engine's own output stage, which
// takes them per sample in the block form too.
constexpr ParamId kReadBySample[] = {ParamId::Size, ParamId::Freeze};
// The LFO's rate and depth, and the diffusion (which the plate and the spring read sample by
// sample in their own ways too): read sample by sample, but the cores' block form takes them so
// (see CoreGlides), and no refresh reads them.
constexpr ParamId kCoreGlidingReads[] = {
    ParamId::ModulationDepth, ParamId::ModulationRate, ParamId::Diffusion};
// The cores' output levels: read sample by sample, but the block form takes them so too (see
// OutputLevels), and no refresh reads them.
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
// "Density" glides in the block form too where the plate and the spring do not run, but the
// refresh reads it: its glide ends long runs.
constexpr ParamMask kDensityMask = Bit(static_cast<int>(ParamId::Density));
// What RecordOutputParameters records: while none of these glides, a segment records them once.
constexpr ParamMask kRecordedMask =
    Bit(static_cast<int>(ParamId::Mix)) | Bit(static_cast<int>(ParamId::WetSolo)) |
    Bit(static_cast<int>(ParamId::Width)) | Bit(static_cast<int>(ParamId::Ducking)) |
    kCoreOutputLevelMask | kCoreGlidingMask | kDensityMask;

/// What a model's core reads sample by sample beyond kReadBySample.
ParamMask ReadByModel(ReverbModel model)
{
    switch (model)
    {
    case ReverbModel::Gated:
    case ReverbModel::Reverse:
        return kReadByGateMask;
    case ReverbModel::Shimmer:
        return kReadByShimmerMask;
    case ReverbModel::Plate:
    case ReverbModel::Spring:
        return kDiffusionMask | kDensityMask;
    default:
        return 0;
    }
}

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

double SnapDistance(int index, float target)
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
float GlidePreDelay(float current, float target, float coefficient)
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
constexpr int kFrameRefreshReadCount = static_cast<int>(std::size(kFrameRefreshReads));

// The model a parameter block selects ("Reverb Type" is whole and in range once clamped).
ReverbModel ModelOf(const EngineParameters& parameters)
{
    const int model = static_cast<int>(parameters[ParamId::ReverbType]);
    return static_cast<ReverbModel>(std::clamp(model, 0, kReverbModelCount - 1));
}

float Clamp64(float x)
{
    return std::clamp(x, -kInputLimit, kInputLimit);
}

float ReadFinite(const float* channel, int i)
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

} // namespace

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
    double smoothing[kParamCount] = {};
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
    float widthAt[kCoreBlock] = {};
    bool duckingAtAll = false; // some duckingAt[t] is not 0
    float duckingAt[kCoreBlock] = {};
    float wetGainAt[kCoreBlock] = {};
    float dryGainAt[kCoreBlock] = {};
    // The cores' output levels at each sample of the segment, while one of them glides.
    bool levelsGlide = false;
    float lateTailAt[kCoreBlock] = {};
    float earlyAt[kCoreBlock] = {};
    float toneAt[kCoreBlock] = {};
    // The LFO's rate and depth at each sample of the segment, while one of them glides, and the
    // diffusion and the density while each does.
    bool modulationGlides = false;
    bool diffusionGlides = false;
    bool densityGlides = false;
    float modulationRateAt[kCoreBlock] = {};
    float modulationDepthAt[kCoreBlock] = {};
    float diffusionAt[kCoreBlock] = {};
    float densityAt[kCoreBlock] = {};

    void Reset();
    void SetTarget(const EngineParameters& parameters);
    void UpdateCoefficients();
    void Smooth();
    ParamMask ReadBySample() const;
    bool BlockReady(double bypassTarget) const;
    int LongestRunAfterRefresh() const;
    void RecordOutputParameters(int t, int count);
    void Refresh();
    FrameInput InputStep(float left, float right, double bypassTarget, BlockPeaks& peaks);
    StereoSample Crossfade(StereoSample active, StereoSample fading);
    void InputBlock(const float* inL, const float* inR, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline Segment
    BeginSegment(int remaining, double bypassTarget, bool reference);
    [[gnu::always_inline]] inline void SampleSegment(const float* inL,
                                                     const float* inR,
                                                     float* const* outputs,
                                                     int done,
                                                     const Segment& g,
                                                     double bypassTarget,
                                                     BlockPeaks& peaks);
    [[gnu::always_inline]] inline void BlockSegment(const float* inL,
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
    void OutputBlock(int fading, float* const* outputs, int offset, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline void CrossfadeBlock(int fading);
    [[gnu::always_inline]] inline void DuckBlock(float* duck, int n, BlockPeaks& peaks);
    [[gnu::always_inline]] inline void
    MixBlock(const float* duck, float* const* outputs, int offset, int n, BlockPeaks& peaks);
    void OutputStep(
        StereoSample wet, const FrameInput& in, float* const* outputs, int i, BlockPeaks& peaks);
};

void ReverbEngineState::Reset()
{
    current = target;
    for (int i = 0; i < kParamCount; ++i)
    {
        smoothing[i] = target[i];
    }
    gliding = 0;
    activeCore = 0;
    fadingCore = -1;
    crossfadeRemaining = 0;
    refreshCounter = 0;
    const ReverbModel model = ModelOf(target);
    cores[0].Reset(model);
    cores[1].Reset(model);
    preDelay[0].Clear();
    preDelay[1].Clear();
    inputEnvelope = 0.0f;
    onsetEnvelope = 0.0f;
    duckGain = 1.0f;
    bypassFade = target[ParamId::Bypass] >= 0.5f ? 1.0 : 0.0;
    samplesSinceOnset = kNoOnset;
    refreshValid = false;
    UpdateCoefficients();
    currentPreDelay = targetPreDelay;
}

void ReverbEngineState::UpdateCoefficients()
{
    float coreKey[kCoreRefreshReadCount];
    for (int k = 0; k < kCoreRefreshReadCount; ++k)
    {
        coreKey[k] = current[kCoreRefreshReads[k]];
    }
    float frameKey[kFrameRefreshReadCount + 2];
    for (int k = 0; k < kFrameRefreshReadCount; ++k)
    {
        frameKey[k] = current[kFrameRefreshReads[k]];
    }
    frameKey[kFrameRefreshReadCount] = target[ParamId::PreDelaySync];
    frameKey[kFrameRefreshReadCount + 1] = target[ParamId::NoteDivision];
    const bool coresChanged =
        !refreshValid || !std::equal(coreKey, coreKey + kCoreRefreshReadCount, coreRefreshKey);
    const bool frameChanged =
        !refreshValid || tempo != refreshTempo ||
        !std::equal(frameKey, frameKey + kFrameRefreshReadCount + 2, frameRefreshKey);
    refreshValid = true;
    if (coresChanged)
    {
        // Only the running cores: the other is reset and refreshed when a model change starts
        // it, and nothing reads it before.
        std::copy(coreKey, coreKey + kCoreRefreshReadCount, coreRefreshKey);
        cores[activeCore].UpdateCoefficients(current);
        if (fadingCore >= 0)
        {
            cores[fadingCore].UpdateCoefficients(current);
        }
    }
    if (!frameChanged)
    {
        return;
    }
    std::copy(frameKey, frameKey + kFrameRefreshReadCount + 2, frameRefreshKey);
    refreshTempo = tempo;
    inputGain = static_cast<float>(Pow10(current[ParamId::InputTrim] * 0.05f));
    outputGain = static_cast<float>(Pow10(current[ParamId::OutputTrim] * 0.05f));
    double ms = current[ParamId::PreDelay];
    if (target[ParamId::PreDelaySync] >= 0.5f)
    {
        const int division =
            std::clamp(static_cast<int>(target[ParamId::NoteDivision]), 0, kNoteDivisionCount - 1);
        ms = 60000.0 / tempo * NoteDivisionFactors[division];
    }
    targetPreDelay =
        static_cast<float>(std::min(ms * 0.001 * sampleRate, kMaxPreDelaySeconds * sampleRate));
    duckReleaseCoef =
        static_cast<float>(Exp(-1.0 / (current[ParamId::DuckRelease] * 0.001f * sampleRate)));
}

void ReverbEngineState::Smooth()
{
    const double k = smoothingCoef;
    for (ParamMask bits = gliding; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctzll(bits);
        const double t = target[i];
        double s = t + (smoothing[i] - t) * k;
        if (std::abs(s - t) < snapDistance[i])
        {
            s = t;
            gliding &= ~Bit(i);
        }
        smoothing[i] = s;
        current[i] = static_cast<float>(s);
    }
}

void ReverbEngineState::SetTarget(const EngineParameters& parameters)
{
    if (std::memcmp(parameters.values.data(), target.values.data(), sizeof(target.values)) == 0)
    {
        return;
    }
    for (int i = 0; i < kParamCount; ++i)
    {
        if (ParamIsSmoothed(static_cast<ParamId>(i)) && parameters[i] != target[i])
        {
            gliding |= Bit(i);
            snapDistance[i] = SnapDistance(i, parameters[i]);
        }
    }
    target = parameters;
}

// What the running cores, and the one the next model change would start, read sample by sample.
ParamMask ReverbEngineState::ReadBySample() const
{
    ParamMask mask =
        kReadBySampleMask | ReadByModel(cores[activeCore].Model()) | ReadByModel(ModelOf(target));
    if (fadingCore >= 0)
    {
        mask |= ReadByModel(cores[fadingCore].Model());
    }
    return mask;
}

bool ReverbEngineState::BlockReady(double bypassTarget) const
{
    // While a parameter the cores read sample by sample glides, the per-sample form runs; the
    // block form follows the pre-delay's glide itself.
    return (gliding & ReadBySample()) == 0 && bypassFade == bypassTarget;
}

void ReverbEngineState::RecordOutputParameters(int t, int count)
{
    // The current values for samples t..t + count - 1 (once every parameter holds still, for
    // the rest of the segment).
    const float m = current[ParamId::Mix] * 0.01f;
    const float wet = m + (1.0f - m) * current[ParamId::WetSolo];
    duckingAtAll = (t > 0 && duckingAtAll) || current[ParamId::Ducking] != 0.0f;
    std::fill_n(widthAt + t, count, current[ParamId::Width] * 0.01f);
    std::fill_n(duckingAt + t, count, current[ParamId::Ducking] * 0.01f);
    std::fill_n(wetGainAt + t, count, wet);
    std::fill_n(dryGainAt + t, count, 1.0f - wet);
    if (levelsGlide)
    {
        std::fill_n(lateTailAt + t, count, current[ParamId::LateTail]);
        std::fill_n(earlyAt + t, count, current[ParamId::EarlyReflections]);
        std::fill_n(toneAt + t, count, current[ParamId::Tone]);
    }
    if (modulationGlides)
    {
        std::fill_n(modulationRateAt + t, count, current[ParamId::ModulationRate]);
        std::fill_n(modulationDepthAt + t, count, current[ParamId::ModulationDepth]);
    }
    if (diffusionGlides)
    {
        std::fill_n(diffusionAt + t, count, current[ParamId::Diffusion]);
    }
    if (densityGlides)
    {
        std::fill_n(densityAt + t, count, current[ParamId::Density]);
    }
}

void ReverbEngineState::Refresh()
{
    const ReverbModel model = ModelOf(target);
    if (model != cores[activeCore].Model() && fadingCore < 0)
    {
        fadingCore = activeCore;
        activeCore = 1 - activeCore;
        cores[activeCore].Reset(model);
        cores[activeCore].UpdateCoefficients(current);
        crossfadeLength = std::max(1, static_cast<int>(sampleRate * kCrossfadeSeconds));
        crossfadeRemaining = crossfadeLength;
    }
    UpdateCoefficients();
}

FrameInput
ReverbEngineState::InputStep(float left, float right, double bypassTarget, BlockPeaks& peaks)
{
    FrameInput in;
    in.dryL = left;
    in.dryR = right;
    const float magnitude = std::max(std::fabs(left), std::fabs(right));
    peaks.input = std::max(peaks.input, magnitude);

    const float p = std::min(magnitude, kInputLimit);
    const float k = p > inputEnvelope ? attackCoef : duckReleaseCoef;
    inputEnvelope = p + (inputEnvelope - p) * k;
    inputEnvelope = inputEnvelope < kEnvelopeFloor ? 0.0f : inputEnvelope;
    in.envelope = inputEnvelope;

    bypassFade = bypassTarget + (bypassFade - bypassTarget) * static_cast<double>(smoothingCoef);
    if (std::abs(bypassFade - bypassTarget) < static_cast<double>(1e-6f))
    {
        bypassFade = bypassTarget;
    }

    currentPreDelay = GlidePreDelay(currentPreDelay, targetPreDelay, smoothingCoef);

    const float g = static_cast<float>(1.0 - bypassFade) * inputGain;
    const float fL = SanitizeSample(g * Clamp64(left));
    const float fR = SanitizeSample(g * Clamp64(right));
    if (currentPreDelay < 1.0f)
    {
        in.feedL = fL;
        in.feedR = fR;
    }
    else
    {
        in.feedL = preDelay[0].Read(currentPreDelay);
        in.feedR = preDelay[1].Read(currentPreDelay);
    }
    preDelay[0].Write(fL);
    preDelay[1].Write(fR);

    const float q = std::max(std::fabs(in.feedL), std::fabs(in.feedR));
    in.onset = q > kOnsetLevel &&
               samplesSinceOnset > static_cast<std::int64_t>(sampleRate * kOnsetHoldOffSeconds) &&
               (onsetEnvelope < kOnsetQuiet || q > kOnsetJump * onsetEnvelope);
    const float ko = q > onsetEnvelope ? attackCoef : duckReleaseCoef;
    onsetEnvelope = q + (onsetEnvelope - q) * ko;
    onsetEnvelope = onsetEnvelope < kEnvelopeFloor ? 0.0f : onsetEnvelope;
    if (in.onset)
    {
        samplesSinceOnset = 0;
    }
    else if (samplesSinceOnset < kNoOnset)
    {
        ++samplesSinceOnset;
    }
    return in;
}

StereoSample ReverbEngineState::Crossfade(StereoSample active, StereoSample fading)
{
    const float a = static_cast<float>(crossfadeRemaining) / static_cast<float>(crossfadeLength);
    const StereoSample wet{(1.0f - a) * active.left + a * fading.left,
                           (1.0f - a) * active.right + a * fading.right};
    if (--crossfadeRemaining == 0)
    {
        fadingCore = -1;
    }
    return wet;
}

void ReverbEngineState::OutputStep(
    StereoSample wet, const FrameInput& in, float* const* outputs, int i, BlockPeaks& peaks)
{
    const float mid = (wet.left + wet.right) * 0.5f;
    const float side = (wet.left - wet.right) * 0.5f * current[ParamId::Width] * 0.01f;
    const float wideL = mid + side;
    const float wideR = mid - side;

    const float duckTarget =
        1.0f / (current[ParamId::Ducking] * 0.01f * in.envelope * kDuckDepth + 1.0f);
    const float k = duckGain > duckTarget ? attackCoef : duckReleaseCoef;
    duckGain = duckTarget + (duckGain - duckTarget) * k;

    const float m = current[ParamId::Mix] * 0.01f;
    const float w = m + (1.0f - m) * current[ParamId::WetSolo];
    const float dryGain = 1.0f - w;
    const bool dryOnly = bypassFade == 1.0 || (w == 0.0f && outputGain == 1.0f);
    float out[2] = {0.0f, 0.0f};
    for (int j = 0; j < channels; ++j)
    {
        const float dry = j == 0 ? in.dryL : in.dryR;
        const float wetSample = channels == 1 ? (wideL + wideR) * 0.5f : (j == 0 ? wideL : wideR);
        peaks.wet = std::max(peaks.wet, std::fabs(wetSample));
        if (dryOnly)
        {
            out[j] = dry;
        }
        else
        {
            const float y = (wetSample * duckGain * w + dryGain * dry) * outputGain;
            out[j] = SanitizeSample(static_cast<float>((1.0 - bypassFade) * y + bypassFade * dry));
        }
        peaks.output = std::max(peaks.output, std::fabs(out[j]));
    }
    if (channels == 1)
    {
        out[1] = out[0];
    }
    for (int j = 0; j < 2; ++j)
    {
        if (outputs[j] != nullptr)
        {
            outputs[j][i] = out[j];
        }
    }
    peaks.duck = std::max(peaks.duck, 1.0f - duckGain);
}

void ReverbEngineState::InputBlock(const float* inL, const float* inR, int n, BlockPeaks& peaks)
{
    // Settled: the bypass fade, the trims and the pre-delay hold still over the block, so
    // InputStep reduces to these passes (its fade and pre-delay glides are identities).
    float fL[kCoreBlock]; // sanitised, for the pre-delay
    float fR[kCoreBlock];
    float level[kCoreBlock]; // min(max(|L|, |R|), 64), the input follower's input
    ReadInput(inL, inR, n, fL, fR, level, peaks);
    FeedPreDelay(fL, fR, n);
    float q[kCoreBlock]; // max(|feedL|, |feedR|), the onset follower's input
    RunFollowers(level, q, n);
    // Bit t % 64 of word t / 64: sample t is loud enough and rises above the follower.
    std::uint64_t candidates[kCoreBlock / 64] = {};
    FindOnsetCandidates(q, n, candidates);
    MarkOnsets(candidates, n);
}

// dryL/dryR = the input with samples that are not finite as 0; fL/fR = the pre-delay's input
// (the gain applied to the input clamped to +-64, sanitised); level = the input follower's
// input. Raises peaks.input.
void ReverbEngineState::ReadInput(const float* inL,
                                  const float* inR,
                                  int n,
                                  float* fL,
                                  float* fR,
                                  float* level,
                                  BlockPeaks& peaks)
{
    const float g = static_cast<float>(1.0 - bypassFade) * inputGain;
    float peak = peaks.input;
    int t = 0;
    {
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 largest = _mm_set1_ps(3.40282347e38f);
        const __m128 low = _mm_set1_ps(-kInputLimit);
        const __m128 high = _mm_set1_ps(kInputLimit);
        const __m128 gain = _mm_set1_ps(g);
        __m128 peak4 = _mm_setzero_ps();
        for (; t + 4 <= n; t += 4)
        {
            __m128 l = inL != nullptr ? _mm_loadu_ps(inL + t) : _mm_setzero_ps();
            __m128 r = inR != nullptr ? _mm_loadu_ps(inR + t) : _mm_setzero_ps();
            l = _mm_and_ps(l, _mm_cmple_ps(_mm_and_ps(l, absMask), largest)); // not finite: 0
            r = _mm_and_ps(r, _mm_cmple_ps(_mm_and_ps(r, absMask), largest));
            _mm_storeu_ps(dryL + t, l);
            _mm_storeu_ps(dryR + t, r);
            const __m128 m = _mm_max_ps(_mm_and_ps(l, absMask), _mm_and_ps(r, absMask));
            peak4 = _mm_max_ps(m, peak4);
            _mm_storeu_ps(level + t, _mm_min_ps(m, high));
            _mm_storeu_ps(fL + t,
                          Sanitize4(_mm_mul_ps(gain, _mm_min_ps(_mm_max_ps(l, low), high))));
            _mm_storeu_ps(fR + t,
                          Sanitize4(_mm_mul_ps(gain, _mm_min_ps(_mm_max_ps(r, low), high))));
        }
        peak = std::max(peak, MaxLane4(peak4));
    }
    for (; t < n; ++t)
    {
        dryL[t] = ReadFinite(inL, t);
        dryR[t] = ReadFinite(inR, t);
        const float m = std::max(std::fabs(dryL[t]), std::fabs(dryR[t]));
        peak = std::max(peak, m);
        level[t] = std::min(m, kInputLimit);
        fL[t] = SanitizeSample(g * Clamp64(dryL[t]));
        fR[t] = SanitizeSample(g * Clamp64(dryR[t]));
    }
    peaks.input = peak;
}

// feedL/feedR = the pre-delay's output, then fL/fR written into it.
void ReverbEngineState::FeedPreDelay(const float* fL, const float* fR, int n)
{
    if (currentPreDelay != targetPreDelay)
    {
        // The glide, sample by sample as InputStep takes it; once it arrives, the settled passes
        // below take the rest.
        int k = 0;
        for (; k < n && currentPreDelay != targetPreDelay; ++k)
        {
            currentPreDelay = GlidePreDelay(currentPreDelay, targetPreDelay, smoothingCoef);
            const bool direct = currentPreDelay < 1.0f;
            feedL[k] = direct ? fL[k] : preDelay[0].Read(currentPreDelay);
            feedR[k] = direct ? fR[k] : preDelay[1].Read(currentPreDelay);
            preDelay[0].WriteSanitized(fL[k]);
            preDelay[1].WriteSanitized(fR[k]);
        }
        if (k == n)
        {
            return;
        }
        FeedSettledPreDelay(fL + k, fR + k, feedL + k, feedR + k, n - k);
        return;
    }
    FeedSettledPreDelay(fL, fR, feedL, feedR, n);
}

// outL/outR = the pre-delay's output at the settled delay, then fL/fR written into it.
void ReverbEngineState::FeedSettledPreDelay(
    const float* fL, const float* fR, float* outL, float* outR, int n)
{
    const float d = std::max(std::min(currentPreDelay, preDelay[0].MaxDelay()), 1.0f);
    const int whole = static_cast<int>(d);
    if (currentPreDelay < 1.0f)
    {
        std::copy_n(fL, n, outL);
        std::copy_n(fR, n, outR);
        preDelay[0].WriteBlockSanitized(fL, n);
        preDelay[1].WriteBlockSanitized(fR, n);
    }
    else if (whole >= n && preDelay[0].Written() > whole)
    {
        // Every read of the block lies before its first write.
        const float f = d - static_cast<float>(whole);
        for (int side = 0; side < 2; ++side)
        {
            DelayLine& line = preDelay[side];
            const float* w = line.Window(line.WritePosition() - whole - 1);
            float* feed = side == 0 ? outL : outR;
            int k = 0;
            for (; k + 4 <= n; k += 4)
            {
                StoreLanes(feed + k,
                           (1.0f - f) * LoadLanes<Lanes4>(w + k + 1) +
                               f * LoadLanes<Lanes4>(w + k));
            }
            for (; k < n; ++k)
            {
                feed[k] = (1.0f - f) * w[k + 1] + f * w[k];
            }
            line.WriteBlockSanitized(side == 0 ? fL : fR, n);
        }
    }
    else
    {
        for (int k = 0; k < n; ++k)
        {
            outL[k] = preDelay[0].Read(currentPreDelay);
            outR[k] = preDelay[1].Read(currentPreDelay);
            preDelay[0].WriteSanitized(fL[k]);
            preDelay[1].WriteSanitized(fR[k]);
        }
    }
}

// Runs both envelope followers over the block into `followers` (and on to inputEnvelope and
// onsetEnvelope), with q = max(|feedL|, |feedR|).
void ReverbEngineState::RunFollowers(const float* level, float* q, int n)
{
    // The two followers side by side, the input follower in even places and the onset follower
    // in odd ones: followers[2t + 2] is the input follower after sample t, followers[2t + 1] the
    // onset follower before it (the detector compares with the level before the update).
    float pq[2 * kCoreBlock]; // the followers' inputs, in the same places
    followers[0] = inputEnvelope;
    followers[1] = onsetEnvelope;
    int t = 0;
    {
        const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        for (; t + 4 <= n; t += 4)
        {
            const __m128 q4 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(feedL + t), absMask),
                                         _mm_and_ps(_mm_loadu_ps(feedR + t), absMask));
            const __m128 p4 = _mm_loadu_ps(level + t);
            _mm_storeu_ps(q + t, q4);
            _mm_storeu_ps(pq + 2 * t, _mm_unpacklo_ps(p4, q4));
            _mm_storeu_ps(pq + 2 * t + 4, _mm_unpackhi_ps(p4, q4));
        }
        const __m128 attack = _mm_set1_ps(attackCoef);
        const __m128 release = _mm_set1_ps(duckReleaseCoef);
        const __m128 floor = _mm_set1_ps(kEnvelopeFloor);
        // __m64 may alias the floats; the upper two lanes stay 0 throughout.
        __m128 f = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(followers));
        for (int k = 0; k < t; ++k)
        {
            const __m128 x =
                _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(pq + 2 * k));
            const __m128 up = _mm_cmpgt_ps(x, f);
            const __m128 c = _mm_or_ps(_mm_and_ps(up, attack), _mm_andnot_ps(up, release));
            f = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(f, x), c));
            f = _mm_and_ps(f, _mm_cmpge_ps(f, floor));
            _mm_storel_pi(reinterpret_cast<__m64*>(followers + 2 * k + 2), f);
        }
    }
    for (int k = t; k < n; ++k)
    {
        q[k] = std::max(std::fabs(feedL[k]), std::fabs(feedR[k]));
        pq[2 * k] = level[k];
        pq[2 * k + 1] = q[k];
    }
    for (int k = t; k < n; ++k)
    {
        for (int j = 0; j < 2; ++j)
        {
            const float x = pq[2 * k + j];
            const float before = followers[2 * k + j];
            const float after = x + (before - x) * (x > before ? attackCoef : duckReleaseCoef);
            followers[2 * k + 2 + j] = after < kEnvelopeFloor ? 0.0f : after;
        }
    }
    inputEnvelope = followers[2 * n];
    onsetEnvelope = followers[2 * n + 1];
}

// Sets the candidate bit of every sample loud enough and rising above the onset follower.
void ReverbEngineState::FindOnsetCandidates(const float* q, int n, std::uint64_t* candidates)
{
    int t = 0;
    {
        const __m128 loud = _mm_set1_ps(kOnsetLevel);
        const __m128 quiet = _mm_set1_ps(kOnsetQuiet);
        const __m128 jump = _mm_set1_ps(kOnsetJump);
        for (; t + 4 <= n; t += 4)
        {
            const __m128 q4 = _mm_loadu_ps(q + t);
            const __m128 before = _mm_shuffle_ps(_mm_loadu_ps(followers + 2 * t),
                                                 _mm_loadu_ps(followers + 2 * t + 4),
                                                 _MM_SHUFFLE(3, 1, 3, 1));
            const __m128 hit = _mm_and_ps(
                _mm_cmpgt_ps(q4, loud),
                _mm_or_ps(_mm_cmplt_ps(before, quiet), _mm_cmpgt_ps(q4, _mm_mul_ps(jump, before))));
            candidates[t / 64] |= static_cast<std::uint64_t>(_mm_movemask_ps(hit)) << t % 64;
        }
    }
    for (; t < n; ++t)
    {
        const float before = followers[2 * t + 1];
        if (q[t] > kOnsetLevel && (before < kOnsetQuiet || q[t] > kOnsetJump * before))
        {
            candidates[t / 64] |= std::uint64_t{1} << t % 64;
        }
    }
}

// onset/anyOnset from the candidates and the hold-off since the last onset.
void ReverbEngineState::MarkOnsets(const std::uint64_t* candidates, int n)
{
    // The hold-off is the one sequential part of the detector; without a candidate in the
    // block it is a count.
    anyOnset = false;
    if (std::all_of(candidates, candidates + kCoreBlock / 64, [](auto c) { return c == 0; }))
    {
        samplesSinceOnset = std::min(samplesSinceOnset + n, std::max(samplesSinceOnset, kNoOnset));
        return;
    }
    const std::int64_t holdOff = static_cast<std::int64_t>(sampleRate * kOnsetHoldOffSeconds);
    for (int k = 0; k < n; ++k)
    {
        const bool hit = (candidates[k / 64] >> k % 64 & 1u) != 0 && samplesSinceOnset > holdOff;
        onset[k] = hit ? 1 : 0;
        anyOnset = anyOnset || hit;
        if (hit)
        {
            samplesSinceOnset = 0;
        }
        else if (samplesSinceOnset < kNoOnset)
        {
            ++samplesSinceOnset;
        }
    }
}

void ReverbEngineState::OutputBlock(
    int fading, float* const* outputs, int offset, int n, BlockPeaks& peaks)
{
    if (fading > 0)
    {
        CrossfadeBlock(fading);
    }
    float duck[kCoreBlock];
    DuckBlock(duck, n, peaks);
    MixBlock(duck, outputs, offset, n, peaks);
}

// The first `fading` samples of wetL/wetR crossfaded with fadeL/fadeR, four at a time:
// a = remaining / length, wet = (1 - a) active + a fading.
void ReverbEngineState::CrossfadeBlock(int fading)
{
    const float length = static_cast<float>(crossfadeLength);
    const Lanes4 step = {0.0f, 1.0f, 2.0f, 3.0f};
    int t = 0;
    for (; t + 4 <= fading; t += 4)
    {
        const Lanes4 a = (static_cast<float>(crossfadeRemaining - t) - step) / length;
        StoreLanes(wetL + t,
                   (1.0f - a) * LoadLanes<Lanes4>(wetL + t) + a * LoadLanes<Lanes4>(fadeL + t));
        StoreLanes(wetR + t,
                   (1.0f - a) * LoadLanes<Lanes4>(wetR + t) + a * LoadLanes<Lanes4>(fadeR + t));
    }
    crossfadeRemaining -= t;
    for (; t < fading; ++t)
    {
        const StereoSample wet = Crossfade({wetL[t], wetR[t]}, {fadeL[t], fadeR[t]});
        wetL[t] = wet.left;
        wetR[t] = wet.right;
    }
    if (crossfadeRemaining == 0)
    {
        fadingCore = -1;
    }
}

// duck = the ducker's gain at each sample; raises peaks.duck.
void ReverbEngineState::DuckBlock(float* duck, int n, BlockPeaks& peaks)
{
    // The ducker's gain is the one recurrence; everything else is per sample. Without ducking
    // and with the gain home at 1 it stays 1 (and multiplies exactly).
    if (duckingAtAll || duckGain != 1.0f)
    {
        float gain = duckGain;
        float duckPeak = peaks.duck;
        for (int t = 0; t < n; ++t)
        {
            const float ducking = duckingAt[t];
            const float target = ducking == 0.0f
                                     ? 1.0f
                                     : 1.0f / (ducking * followers[2 * t + 2] * kDuckDepth + 1.0f);
            gain = target + (gain - target) * (gain > target ? attackCoef : duckReleaseCoef);
            duck[t] = gain;
            duckPeak = std::max(duckPeak, 1.0f - gain);
        }
        duckGain = gain;
        peaks.duck = duckPeak;
    }
    else
    {
        std::fill_n(duck, n, 1.0f);
    }
}

// The outputs from the wet pair (widened, ducked) and the dry pair; raises peaks.wet and
// peaks.output.
void ReverbEngineState::MixBlock(
    const float* duck, float* const* outputs, int offset, int n, BlockPeaks& peaks)
{
    // The output is the dry sample itself while bypassed (the fade is settled at 0 or 1), or
    // where the wet gain is 0 and the output trim unity; else (wet duck w + dry g) x trim,
    // sanitised (at fade 0 the 64-bit blend with the dry sample is that value itself).
    float* outL = outputs[0] != nullptr ? outputs[0] + offset : nullptr;
    float* outR = outputs[1] != nullptr ? outputs[1] + offset : nullptr;
    const bool bypassed = bypassFade == 1.0;
    const bool unityTrim = outputGain == 1.0f;
    const bool mono = channels == 1;
    float wetPeak = peaks.wet;
    float outputPeak = peaks.output;
    int t = 0;
    {
        const Lanes4 trim = SplatLanes<Lanes4>(outputGain);
        Lanes4 wetPeak4 = {};
        Lanes4 outPeak4 = {};
        for (; t + 4 <= n; t += 4)
        {
            const Lanes4 l = LoadLanes<Lanes4>(wetL + t);
            const Lanes4 r = LoadLanes<Lanes4>(wetR + t);
            const Lanes4 mid = (l + r) * 0.5f;
            const Lanes4 side = (l - r) * 0.5f * LoadLanes<Lanes4>(widthAt + t);
            Lanes4 wideL = mid + side;
            Lanes4 wideR = mid - side;
            if (mono)
            {
                wideL = wideR = (wideL + wideR) * 0.5f;
            }
            wetPeak4 = MaxLanes(MaxLanes(AbsLanes(wideL), AbsLanes(wideR)), wetPeak4);
            Lanes4 yL = LoadLanes<Lanes4>(dryL + t);
            Lanes4 yR = mono ? yL : LoadLanes<Lanes4>(dryR + t);
            if (!bypassed)
            {
                const Lanes4 w = LoadLanes<Lanes4>(wetGainAt + t);
                const Lanes4 dry = LoadLanes<Lanes4>(dryGainAt + t);
                const Lanes4 g = LoadLanes<Lanes4>(duck + t);
                const LaneMask<Lanes4> mixed = unityTrim ? w != 0.0f : LaneMask<Lanes4>{} == 0;
                const Lanes4 mixL = SanitizeLanes((wideL * g * w + dry * yL) * trim);
                yL = KeepLanes(mixL, mixed) + KeepLanes(yL, ~mixed);
                if (mono)
                {
                    yR = yL;
                }
                else
                {
                    const Lanes4 mixR = SanitizeLanes((wideR * g * w + dry * yR) * trim);
                    yR = KeepLanes(mixR, mixed) + KeepLanes(yR, ~mixed);
                }
            }
            outPeak4 = MaxLanes(MaxLanes(AbsLanes(yL), AbsLanes(yR)), outPeak4);
            if (outL != nullptr)
            {
                StoreLanes(outL + t, yL);
            }
            if (outR != nullptr)
            {
                StoreLanes(outR + t, yR);
            }
        }
        wetPeak = std::max(wetPeak, MaxLane4(wetPeak4));
        outputPeak = std::max(outputPeak, MaxLane4(outPeak4));
    }
    for (; t < n; ++t)
    {
        const float mid = (wetL[t] + wetR[t]) * 0.5f;
        const float side = (wetL[t] - wetR[t]) * 0.5f * widthAt[t];
        float wideL = mid + side;
        float wideR = mid - side;
        if (mono)
        {
            wideL = wideR = (wideL + wideR) * 0.5f;
        }
        wetPeak = std::max(wetPeak, std::max(std::fabs(wideL), std::fabs(wideR)));
        float yL = dryL[t];
        float yR = mono ? yL : dryR[t];
        const float w = wetGainAt[t];
        if (!bypassed && !(w == 0.0f && unityTrim))
        {
            yL = SanitizeSample((wideL * duck[t] * w + dryGainAt[t] * yL) * outputGain);
            yR = mono ? yL : SanitizeSample((wideR * duck[t] * w + dryGainAt[t] * yR) * outputGain);
        }
        outputPeak = std::max(outputPeak, std::max(std::fabs(yL), std::fabs(yR)));
        if (outL != nullptr)
        {
            outL[t] = yL;
        }
        if (outR != nullptr)
        {
            outR[t] = yR;
        }
    }
    peaks.wet = wetPeak;
    peaks.output = outputPeak;
}

ReverbEngine::ReverbEngine() = default;

ReverbEngine::~ReverbEngine() = default;

double ReverbEngine::SampleRate() const
{
    return mState ? mState->sampleRate : 48000.0;
}

int ReverbEngine::Channels() const
{
    return mState ? mState->channels : 2;
}

bool ReverbEngine::Prepare(double sampleRate, int channels)
{
    const double fs =
        std::isfinite(sampleRate) ? std::clamp(sampleRate, 22050.0, 192000.0) : 48000.0;
    channels = std::clamp(channels, 1, 2);
    mPrepared = false;
    if (!mState)
    {
        mState.reset(new (std::nothrow) ReverbEngineState);
        if (!mState)
        {
            return false;
        }
    }
    ReverbEngineState& s = *mState;
    s.sampleRate = fs;
    s.channels = channels;
    s.target = mParameters;
    s.current = s.target;
    s.tempo = mTempo;
    s.smoothingCoef = static_cast<float>(Exp(-1.0 / (fs * kSmoothingSeconds)));
    s.attackCoef = static_cast<float>(Exp(-1.0 / (fs * kAttackSeconds)));
    s.cores[0].SetInstructionSet(mInstructionSet);
    s.cores[1].SetInstructionSet(mInstructionSet);
    bool ok = s.cores[0].Prepare(fs);
    ok = s.cores[1].Prepare(fs) && ok;
    const int capacity = DelayLine::CapacityFor(fs, kPreDelayCapacitySeconds);
    ok = s.preDelay[0].Resize(capacity) && ok;
    ok = s.preDelay[1].Resize(capacity) && ok;
    s.Reset();
    mMeters.Clear();
    mPrepared = ok;
    return ok;
}

void ReverbEngine::SetParameters(const float* values)
{
    mParameters = ClampEngineParameters(values);
    if (mState)
    {
        mState->SetTarget(mParameters);
    }
}

void ReverbEngine::SetParameters(const EngineParameters& parameters)
{
    SetParameters(parameters.values.data());
}

void ReverbEngine::SetTempo(double bpm)
{
    mTempo = std::isfinite(bpm) ? std::clamp(bpm, 20.0, 400.0) : 120.0;
    if (mState)
    {
        mState->tempo = mTempo;
    }
}

InstructionSet ReverbEngine::SetInstructionSet(InstructionSet set)
{
    mInstructionSet = SupportedInstructionSet(set);
    if (mState)
    {
        mState->cores[0].SetInstructionSet(mInstructionSet);
        mState->cores[1].SetInstructionSet(mInstructionSet);
    }
    return mInstructionSet;
}

std::uint64_t ReverbEngine::SampleFormSamplesForTest() const
{
    return mState ? mState->sampleFormSamples : 0;
}

float ReverbEngine::PreDelaySamplesForTest() const
{
    return mState ? mState->currentPreDelay : 0.0f;
}

float ReverbEngine::PreDelayTargetForTest() const
{
    return mState ? mState->targetPreDelay : 0.0f;
}

void ReverbEngine::SetProcessedSamplesForTest(std::uint32_t samples)
{
    if (mState)
    {
        mState->refreshCounter = samples;
    }
}

void ReverbEngine::ProcessUnprepared(const float* const* inputs, float* const* outputs, int frames)
{
    for (int j = 0; j < 2; ++j)
    {
        float* out = outputs[j];
        if (out == nullptr)
        {
            continue;
        }
        const float* in = inputs != nullptr ? inputs[j] : nullptr;
        for (int i = 0; i < frames; ++i)
        {
            out[i] = in != nullptr ? SanitizeSample(in[i]) : 0.0f;
        }
    }
}

// The next segment, at most `remaining` samples: up to the next refresh, or a whole core block
// when nothing moves. The smoothing step and the refresh of its first sample are done when
// BlockReady says so (for the block form).
Segment ReverbEngineState::BeginSegment(int remaining, double bypassTarget, bool reference)
{
    const int phase = static_cast<int>(refreshCounter % kRefreshPeriod);
    Segment g;
    g.n = std::min(remaining, kRefreshPeriod - phase);
    // The segment's first smoothing step and its refresh come first.
    if (!reference && BlockReady(bypassTarget))
    {
        Smooth();
        g.smoothed = true;
        if (phase == 0)
        {
            Refresh();
            g.refreshed = true;
        }
        g.block = true;
        // Nothing reads the gate's or the shimmer's values where no running model does.
        const ParamMask unread = (kReadByGateMask | kReadByShimmerMask) & ~ReadBySample();
        if (g.refreshed && (gliding & ~(kReadByOutputOnlyMask | kCoreOutputLevelMask |
                                        kCoreGlidingMask | unread)) == 0)
        {
            g.n = std::min(remaining, LongestRunAfterRefresh());
        }
    }
    return g;
}

// After a refresh with every parameter still but those only the output stage reads (or none), how
// far the block form may run before the next refresh could change anything: up to a core block,
// unless a model change waits for the running crossfade, which the first refresh after the fade's
// end starts.
int ReverbEngineState::LongestRunAfterRefresh() const
{
    if (ModelOf(target) == cores[activeCore].Model())
    {
        return kCoreBlock;
    }
    // The refresh just done starts a change when no fade runs, so one runs here.
    const int fadeEnd = (crossfadeRemaining + kRefreshPeriod - 1) / kRefreshPeriod * kRefreshPeriod;
    return std::clamp(fadeEnd, kRefreshPeriod, kCoreBlock);
}

// The reference form over samples done..done + g.n - 1: the stages sample by sample.
void ReverbEngineState::SampleSegment(const float* inL,
                                      const float* inR,
                                      float* const* outputs,
                                      int done,
                                      const Segment& g,
                                      double bypassTarget,
                                      BlockPeaks& peaks)
{
    bool smoothed = g.smoothed;
    bool refreshed = g.refreshed;
    for (int i = done; i < done + g.n; ++i)
    {
        if (!smoothed)
        {
            Smooth();
        }
        smoothed = false;
        if (refreshCounter % kRefreshPeriod == 0 && !refreshed)
        {
            Refresh();
        }
        refreshed = false;
        ++refreshCounter;
        const FrameInput in =
            InputStep(ReadFinite(inL, i), ReadFinite(inR, i), bypassTarget, peaks);
        StereoSample wet = cores[activeCore].ProcessSample(in.feedL, in.feedR, current, in.onset);
        if (fadingCore >= 0)
        {
            const StereoSample fading =
                cores[fadingCore].ProcessSample(in.feedL, in.feedR, current, in.onset);
            wet = Crossfade(wet, fading);
        }
        OutputStep(wet, in, outputs, i, peaks);
    }
}

// The block form over samples done..done + n - 1.
void ReverbEngineState::BlockSegment(
    const float* inL, const float* inR, float* const* outputs, int done, int n, BlockPeaks& peaks)
{
    // What the input stage and the cores read holds still over the segment, so they can
    // each run over the whole segment in turn; the output stage takes its parameters
    // sample by sample, and so do the cores' output levels while they glide.
    levelsGlide = (gliding & kCoreOutputLevelMask) != 0;
    modulationGlides = (gliding & kModulationMask) != 0;
    diffusionGlides = (gliding & kDiffusionMask) != 0;
    densityGlides = (gliding & kDensityMask) != 0;
    // Glides only start between segments: what holds still at the first sample holds throughout.
    const bool recordEach = (gliding & kRecordedMask) != 0;
    RecordOutputParameters(0, recordEach ? 1 : n);
    int t = 1;
    for (; t < n && gliding != 0; ++t)
    {
        Smooth();
        if (recordEach)
        {
            RecordOutputParameters(t, 1);
        }
    }
    if (t < n && recordEach)
    {
        RecordOutputParameters(t, n - t); // every parameter holds still from here
    }
    refreshCounter += static_cast<std::uint32_t>(n);
    InputBlock(
        inL != nullptr ? inL + done : nullptr, inR != nullptr ? inR + done : nullptr, n, peaks);
    // Without an onset in the segment the cores need not look for one.
    const std::uint8_t* onsets = anyOnset ? onset : nullptr;
    const OutputLevels levelsAt{lateTailAt, earlyAt, toneAt};
    const OutputLevels* levels = levelsGlide ? &levelsAt : nullptr;
    const CoreGlides glidesAt{modulationGlides ? modulationRateAt : nullptr,
                              modulationGlides ? modulationDepthAt : nullptr,
                              diffusionGlides ? diffusionAt : nullptr,
                              densityGlides ? densityAt : nullptr};
    const CoreGlides* glides =
        modulationGlides || diffusionGlides || densityGlides ? &glidesAt : nullptr;
    cores[activeCore].ProcessBlock(feedL, feedR, onsets, wetL, wetR, n, current, levels, glides);
    const int fading = fadingCore >= 0 ? std::min(n, crossfadeRemaining) : 0;
    if (fading > 0)
    {
        cores[fadingCore].ProcessBlock(
            feedL, feedR, onsets, fadeL, fadeR, fading, current, levels, glides);
    }
    OutputBlock(fading, outputs, done, n, peaks);
}

void ReverbEngine::Process(const float* const* inputs,
                           float* const* outputs,
                           int frames,
                           bool forceBypass)
{
    if (outputs == nullptr || frames < 1)
    {
        return;
    }
    if (!mPrepared)
    {
        ProcessUnprepared(inputs, outputs, frames);
        return;
    }
    ReverbEngineState& s = *mState;
    const float* inL = inputs != nullptr ? inputs[0] : nullptr;
    const float* inR = inputs != nullptr ? inputs[1] : nullptr;
    if (s.channels == 1)
    {
        inR = inL;
    }
    const double bypassTarget = forceBypass || s.target[ParamId::Bypass] >= 0.5f ? 1.0 : 0.0;
    BlockPeaks peaks;

    int done = 0;
    while (done < frames)
    {
        const Segment g = s.BeginSegment(frames - done, bypassTarget, mReference);
        if (g.block)
        {
            s.BlockSegment(inL, inR, outputs, done, g.n, peaks);
        }
        else
        {
            s.SampleSegment(inL, inR, outputs, done, g, bypassTarget, peaks);
            s.sampleFormSamples += mReference ? 0 : static_cast<std::uint64_t>(g.n);
        }
        done += g.n;
    }
    mMeters.Store({peaks.input, peaks.wet, peaks.output, peaks.duck});
}

} // namespace lumenfall::engine
