#include "plugin/engine/PlateTank.h"

#include "plugin/engine/EngineMath.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

constexpr int kTankLines = 4;
constexpr double kLinePhaseOffset = 1.47; // rad, line i reads the LFO at phase + i x this
// The allpass delays A0..A3 at size and density scale 1, seconds.
constexpr float kAllpassSeconds[4] = {0.0097f, 0.0121f, 0.0173f, 0.0191f};
constexpr float kLoopCoefficientBase = 0.22f; // A0, A1: + E x the slope
constexpr float kLoopCoefficientSlope = 0.45f;
constexpr float kLineCoefficientBase = 0.18f; // A2, A3
constexpr float kLineCoefficientSlope = 0.43f;
constexpr float kInputGain = 0.45f;
constexpr float kCrossTap = 0.35f; // the opposite side's first line, subtracted
constexpr float kOutputGain = 0.42f;

// sin and cos of each line's LFO phase offset, for angle addition in the block form.
struct PhaseOffsets
{
    float sine[kTankLines];
    float cosine[kTankLines];
};

const PhaseOffsets& Offsets()
{
    static const PhaseOffsets offsets = []
    {
        PhaseOffsets o{};
        for (int i = 0; i < kTankLines; ++i)
        {
            double sine = 0.0;
            double cosine = 0.0;
            SinCos(i * kLinePhaseOffset, sine, cosine);
            o.sine[i] = static_cast<float>(sine);
            o.cosine[i] = static_cast<float>(cosine);
        }
        return o;
    }();
    return offsets;
}

StereoSample Outputs(const float* o)
{
    return {(o[0] + o[1] - kCrossTap * o[2]) * kOutputGain,
            (o[2] + o[3] - kCrossTap * o[0]) * kOutputGain};
}

} // namespace

PlateTank::PlateTank(const CoreSettings& settings)
{
    const float fs = static_cast<float>(settings.sampleRate);
    const float scale = settings.AllpassScale();
    for (int k = 0; k < 4; ++k)
    {
        mDelay[k] = RoundHalfAway(fs * kAllpassSeconds[k] * settings.size * scale);
    }
    mLoopCoefficient = settings.diffusion * kLoopCoefficientSlope + kLoopCoefficientBase;
    mLineCoefficient = settings.diffusion * kLineCoefficientSlope + kLineCoefficientBase;
}

StereoSample PlateTank::Step(FeedbackLines& lines,
                             DelayLine* diffusers,
                             float dL,
                             float dR,
                             double phase,
                             const CoreSettings& settings) const
{
    DelayLine* allpass = diffusers + kFirstAllpass;
    const float freeze = settings.freeze;
    float o[kTankLines];
    for (int i = 0; i < kTankLines; ++i)
    {
        const float sine = static_cast<float>(Sin(i * kLinePhaseOffset + phase));
        o[i] = lines.Bank().Read(i, sine * settings.depth + lines.CurrentLength(i));
    }
    const float p = mLoopCoefficient;
    const float q = mLineCoefficient;
    float frame[FeedbackLines::kLines] = {};
    frame[0] = AllpassStep(allpass[0], lines.Damp(0, o[3], freeze) + kInputGain * dL, mDelay[0], p);
    frame[2] = AllpassStep(allpass[1], lines.Damp(2, o[1], freeze) + kInputGain * dR, mDelay[1], p);
    frame[1] = AllpassStep(allpass[2], o[0], mDelay[2], q);
    frame[3] = AllpassStep(allpass[3], o[2], mDelay[3], q);
    lines.Bank().Write(frame);
    return Outputs(o);
}

namespace
{

// What the block form works on.
struct PlateBlock
{
    FeedbackLines* lines;
    DelayLine* allpass;   // A0..A3
    const int* whole;     // their whole delays
    const int* wholeAt;   // while the size glides, allpass k's at sample t: [k kCoreBlock + t]
    const float* lengths; // while the lengths glide, line i's at sample t: [i kCoreBlock + t]
    const float* coefficient;
    const float* coefficientAt; // while the diffusion glides, allpass k's at sample t
    const float* dL;
    const float* dR;
    const float* sines;
    const float* cosines;
    float depth;
    float freeze;
    float* lateL;
    float* lateR;
    int n;
};

// The whole block at once, each step along it: the four line outputs (every read comes before
// the block's writes), the damped loop inputs sample by sample, each allpass along the block,
// the writes and the late pair.
template <class V>
[[gnu::always_inline]] inline void RunBlock(const PlateBlock& b)
{
    constexpr int L = kLaneCount<V>;
    const int groups = (b.n + L - 1) / L;
    const PhaseOffsets& offsets = Offsets();
    const DelayBank& bank = b.lines->Bank();
    alignas(32) float o[kTankLines][kCoreBlock];
    for (int i = 0; i < kTankLines; ++i)
    {
        const auto delayOf = [&](int g)
        {
            // sin(p + offset) by angle addition.
            const V s = LoadLanes<V>(b.sines + L * g) * offsets.cosine[i] +
                        LoadLanes<V>(b.cosines + L * g) * offsets.sine[i];
            const V length = b.lengths != nullptr ? LoadLanes<V>(b.lengths + i * kCoreBlock + L * g)
                                                  : SplatLanes<V>(b.lines->CurrentLength(i));
            return s * b.depth + length;
        };
        ReadLineAlong<V>(bank, i, delayOf, o[i], groups);
    }
    // Allpass inputs: the damped outputs of lines 3 and 1 (with the states of lines 0 and 2) plus
    // 0.45 dL and dR, then o0 and o2.
    alignas(32) float in[4][kCoreBlock];
    b.lines->DampAlong(0, 2, o[3], o[1], b.freeze, in[0], in[1], b.n);
    for (int t = 0; t < b.n; ++t)
    {
        in[0][t] = in[0][t] + kInputGain * b.dL[t];
        in[1][t] = in[1][t] + kInputGain * b.dR[t];
    }
    std::copy_n(o[0], b.n, in[2]);
    std::copy_n(o[2], b.n, in[3]);
    for (int k = 0; k < 4; ++k)
    {
        AllpassAlongRuns<V>(b.allpass[k],
                            b.whole[k],
                            b.wholeAt != nullptr ? b.wholeAt + k * kCoreBlock : nullptr,
                            b.coefficient[k],
                            b.coefficientAt != nullptr ? b.coefficientAt + k * kCoreBlock : nullptr,
                            in[k],
                            b.n);
    }
    // A0..A3 feed lines 0, 2, 1 and 3.
    const float* frames[kTankLines] = {in[0], in[2], in[1], in[3]};
    b.lines->WriteFrames(frames, kTankLines, b.n);
    int t = 0;
    for (; t + L <= b.n; t += L)
    {
        const V o0 = LoadLanes<V>(o[0] + t);
        const V o1 = LoadLanes<V>(o[1] + t);
        const V o2 = LoadLanes<V>(o[2] + t);
        const V o3 = LoadLanes<V>(o[3] + t);
        StoreLanes(b.lateL + t, (o0 + o1 - kCrossTap * o2) * kOutputGain);
        StoreLanes(b.lateR + t, (o2 + o3 - kCrossTap * o0) * kOutputGain);
    }
    for (; t < b.n; ++t)
    {
        const float outputs[kTankLines] = {o[0][t], o[1][t], o[2][t], o[3][t]};
        const StereoSample late = Outputs(outputs);
        b.lateL[t] = late.left;
        b.lateR[t] = late.right;
    }
}

void RunBlock4(const PlateBlock& b)
{
    RunBlock<Lanes4>(b);
}

[[gnu::target("avx2")]] void RunBlock8(const PlateBlock& b)
{
    RunBlock<Lanes8>(b);
}

} // namespace

bool PlateTank::ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n)
{
    return lines.LongerThan(kTankLines, std::fabs(settings.depth), n);
}

void PlateTank::Run(FeedbackLines& lines,
                    DelayLine* diffusers,
                    const float* dL,
                    const float* dR,
                    const float* sines,
                    const float* cosines,
                    const CoreSettings& settings,
                    float* lateL,
                    float* lateR,
                    int n,
                    const float* sizes,
                    const float* diffusions,
                    const float* densities,
                    const float* lengths) const
{
    DelayLine* allpass = diffusers + kFirstAllpass;
    // AllpassStep's clamp; a whole delay reads one slot (weight 0 on the second).
    const auto wholeOf = [&](const PlateTank& tank, int k)
    { return static_cast<int>(std::max(std::min(tank.mDelay[k], allpass[k].MaxDelay()), 1.0f)); };
    int whole[4];
    for (int k = 0; k < 4; ++k)
    {
        whole[k] = wholeOf(*this, k);
    }
    // While the size, the diffusion or the density glides, each sample's delays and
    // coefficients as its own settings give them.
    const bool glides = sizes != nullptr || diffusions != nullptr || densities != nullptr;
    int wholeAt[4][kCoreBlock];
    float coefficientAt[4][kCoreBlock];
    if (glides)
    {
        CoreSettings at = settings;
        for (int t = 0; t < n; ++t)
        {
            at.size = sizes != nullptr ? sizes[t] : settings.size;
            at.diffusion = diffusions != nullptr ? diffusions[t] * 0.01f : settings.diffusion;
            at.density = densities != nullptr ? densities[t] * 0.01f : settings.density;
            const PlateTank tank(at);
            for (int k = 0; k < 4; ++k)
            {
                wholeAt[k][t] = wholeOf(tank, k);
                coefficientAt[k][t] = k < 2 ? tank.mLoopCoefficient : tank.mLineCoefficient;
            }
        }
    }
    const float coefficient[4] = {
        mLoopCoefficient, mLoopCoefficient, mLineCoefficient, mLineCoefficient};
    const PlateBlock block{&lines,
                           allpass,
                           whole,
                           glides ? &wholeAt[0][0] : nullptr,
                           lengths,
                           coefficient,
                           diffusions != nullptr ? &coefficientAt[0][0] : nullptr,
                           dL,
                           dR,
                           sines,
                           cosines,
                           settings.depth,
                           settings.freeze,
                           lateL,
                           lateR,
                           n};
    (settings.instructionSet == InstructionSet::Avx2 ? RunBlock8 : RunBlock4)(block);
}

} // namespace lumenfall::engine
