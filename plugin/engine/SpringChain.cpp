#include "plugin/engine/SpringChain.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

// Allpass n of channel ch delays (n x step + first + ch x right offset) seconds at size and
// density scale 1.
constexpr float kAllpassStepSeconds = 0.00029f;
constexpr float kFirstAllpassSeconds = 0.00019f;
constexpr float kRightOffsetSeconds = 0.000047f;
constexpr float kCoefficientBase = 0.42f; // + E x the slope, - n x the step
constexpr float kCoefficientSlope = 0.36f;
constexpr float kCoefficientStep = 0.018f;
constexpr float kSwing[2] = {0.61f, -0.47f}; // each side's share of the modulation
constexpr float kDrive = 0.48f;              // input gain
constexpr float kReturnGain = 0.7f;          // of the line output
constexpr float kCrossfeed = 0.18f;          // of the other side

StereoSample Outputs(float returnL, float returnR)
{
    return {returnL + kCrossfeed * returnR, returnR + kCrossfeed * returnL};
}

} // namespace

SpringChain::SpringChain(const CoreSettings& settings, const DelayLine* diffusers)
{
    const float fs = static_cast<float>(settings.sampleRate);
    const float scale = settings.AllpassScale();
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int n = 0; n < kAllpasses; ++n)
        {
            const int k = ch * kAllpasses + n;
            const float seconds =
                n * kAllpassStepSeconds + kFirstAllpassSeconds + ch * kRightOffsetSeconds;
            const float d = RoundHalfAway(seconds * fs * settings.size * scale);
            mDelay[k] = std::max(std::min(d, diffusers[k].MaxDelay()), 1.0f);
            mCoefficient[k] =
                (settings.diffusion * kCoefficientSlope + kCoefficientBase) - n * kCoefficientStep;
        }
    }
}

StereoSample SpringChain::Step(FeedbackLines& lines,
                               DelayLine* diffusers,
                               float xL,
                               float xR,
                               float s0,
                               const CoreSettings& settings) const
{
    float r[2];
    float frame[FeedbackLines::kLines] = {};
    for (int ch = 0; ch < 2; ++ch)
    {
        const float o =
            lines.Bank().Read(ch, lines.CurrentLength(ch) + s0 * settings.depth * kSwing[ch]);
        const float f = lines.Damp(ch, o, settings.freeze);
        float x = (ch == 0 ? xL : xR) * kDrive * settings.open - f;
        for (int n = 0; n < kAllpasses; ++n)
        {
            const int k = ch * kAllpasses + n;
            DelayLine& line = diffusers[k];
            const float a = mCoefficient[k];
            // The delays are whole numbers held in range by the constructor.
            const float v = line.ReadInRange(mDelay[k]) - a * x;
            line.Write(v * a + x);
            x = SanitizeSample(v);
        }
        frame[ch] = x;
        r[ch] = kReturnGain * o;
    }
    lines.Bank().Write(frame);
    return Outputs(r[0], r[1]);
}

namespace
{

// What the block form works on.
struct SpringBlock
{
    FeedbackLines* lines;
    DelayLine* diffusers;
    const int* whole;     // the chain's whole delays
    const int* wholeAt;   // while the size glides, allpass k's at sample t: [k kCoreBlock + t]
    const float* lengths; // while the lengths glide, line i's at sample t: [i kCoreBlock + t]
    const float* coefficient;
    const float* coefficientAt; // while the diffusion glides, allpass k's at sample t
    const float* xL;
    const float* xR;
    const float* s0;
    float depth;
    float freeze;
    float open;
    float* lateL;
    float* lateR;
    int n;
};

// The whole block at once, each step along it: both line outputs (every read comes before the
// block's writes), the damped feedback sample by sample, each chain allpass along the block, the
// writes and the late pair.
template <class V>
[[gnu::always_inline]] inline void RunBlock(const SpringBlock& b)
{
    constexpr int L = kLaneCount<V>;
    constexpr int kAllpasses = SpringChain::kAllpasses;
    const int groups = (b.n + L - 1) / L;
    const DelayBank& bank = b.lines->Bank();
    alignas(32) float o[2][kCoreBlock];
    for (int ch = 0; ch < 2; ++ch)
    {
        const auto delayOf = [&](int g)
        {
            const V length = b.lengths != nullptr
                                 ? LoadLanes<V>(b.lengths + ch * kCoreBlock + L * g)
                                 : SplatLanes<V>(b.lines->CurrentLength(ch));
            return length + LoadLanes<V>(b.s0 + L * g) * b.depth * kSwing[ch];
        };
        ReadLineAlong<V>(bank, ch, delayOf, o[ch], groups);
    }
    // Each channel's chain input: the driven input less the damped feedback (negative feedback).
    alignas(32) float x[2][kCoreBlock];
    b.lines->DampAlong(0, 1, o[0], o[1], b.freeze, x[0], x[1], b.n);
    const float* input[2] = {b.xL, b.xR};
    for (int ch = 0; ch < 2; ++ch)
    {
        for (int t = 0; t < b.n; ++t)
        {
            x[ch][t] = input[ch][t] * kDrive * b.open - x[ch][t];
        }
        for (int k = 0; k < kAllpasses; ++k)
        {
            const int j = ch * kAllpasses + k;
            AllpassAlongRuns<V>(b.diffusers[j],
                                b.whole[j],
                                b.wholeAt != nullptr ? b.wholeAt + j * kCoreBlock : nullptr,
                                b.coefficient[j],
                                b.coefficientAt != nullptr ? b.coefficientAt + j * kCoreBlock
                                                           : nullptr,
                                x[ch],
                                b.n);
        }
    }
    const float* frames[2] = {x[0], x[1]};
    b.lines->WriteFrames(frames, 2, b.n);
    int t = 0;
    for (; t + L <= b.n; t += L)
    {
        const V r0 = kReturnGain * LoadLanes<V>(o[0] + t);
        const V r1 = kReturnGain * LoadLanes<V>(o[1] + t);
        StoreLanes(b.lateL + t, r0 + kCrossfeed * r1);
        StoreLanes(b.lateR + t, r1 + kCrossfeed * r0);
    }
    for (; t < b.n; ++t)
    {
        const StereoSample late = Outputs(kReturnGain * o[0][t], kReturnGain * o[1][t]);
        b.lateL[t] = late.left;
        b.lateR[t] = late.right;
    }
}

void RunBlock4(const SpringBlock& b)
{
    RunBlock<Lanes4>(b);
}

[[gnu::target("avx2")]] void RunBlock8(const SpringBlock& b)
{
    RunBlock<Lanes8>(b);
}

} // namespace

bool SpringChain::ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n)
{
    return lines.LongerThan(2, std::fabs(settings.depth) * kSwing[0], n);
}

void SpringChain::Run(FeedbackLines& lines,
                      DelayLine* diffusers,
                      const float* xL,
                      const float* xR,
                      const float* s0,
                      const CoreSettings& settings,
                      float* lateL,
                      float* lateR,
                      int n,
                      const float* sizes,
                      const float* diffusions,
                      const float* densities,
                      const float* lengths) const
{
    // Each allpass reads one slot (its delay is whole: weight 0 on the second).
    int whole[2 * kAllpasses];
    for (int k = 0; k < 2 * kAllpasses; ++k)
    {
        whole[k] = static_cast<int>(mDelay[k]);
    }
    // While the size, the diffusion or the density glides, each sample's delays and
    // coefficients as its own settings give them.
    const bool glides = sizes != nullptr || diffusions != nullptr || densities != nullptr;
    int wholeAt[2 * kAllpasses][kCoreBlock];
    float coefficientAt[2 * kAllpasses][kCoreBlock];
    if (glides)
    {
        CoreSettings at = settings;
        for (int t = 0; t < n; ++t)
        {
            at.size = sizes != nullptr ? sizes[t] : settings.size;
            at.diffusion = diffusions != nullptr ? diffusions[t] * 0.01f : settings.diffusion;
            at.density = densities != nullptr ? densities[t] * 0.01f : settings.density;
            const SpringChain chain(at, diffusers);
            for (int k = 0; k < 2 * kAllpasses; ++k)
            {
                wholeAt[k][t] = static_cast<int>(chain.mDelay[k]);
                coefficientAt[k][t] = chain.mCoefficient[k];
            }
        }
    }
    const SpringBlock block{&lines,
                            diffusers,
                            whole,
                            glides ? &wholeAt[0][0] : nullptr,
                            lengths,
                            mCoefficient,
                            diffusions != nullptr ? &coefficientAt[0][0] : nullptr,
                            xL,
                            xR,
                            s0,
                            settings.depth,
                            settings.freeze,
                            settings.open,
                            lateL,
                            lateR,
                            n};
    (settings.instructionSet == InstructionSet::Avx2 ? RunBlock8 : RunBlock4)(block);
}

} // namespace lumenfall::engine
