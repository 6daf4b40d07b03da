#include "plugin/engine/InputDiffusers.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>

namespace lumenfall::engine
{

namespace
{

// Allpass j delays (j x step + first) seconds at size 1, plus the right offset on the right.
constexpr float kStepSeconds = 0.00217f;
constexpr float kFirstSeconds = 0.0023f;
constexpr float kRightOffsetSeconds = 0.00043f;
constexpr float kCoefficientBase = 0.12f; // a = base + E x slope
constexpr float kCoefficientSlope = 0.62f;

} // namespace

InputDiffusers::InputDiffusers(const CoreSettings& settings)
{
    // A side's four delays at once (the block form builds one of these per run of whole delays
    // while "Size" glides).
    static_assert(kPerSide == 4);
    const float fs = static_cast<float>(settings.sampleRate);
    const Lanes4 j = {0.0f, 1.0f, 2.0f, 3.0f};
    for (int side = 0; side < 2; ++side)
    {
        const float offset = side == 0 ? 0.0f : kRightOffsetSeconds;
        StoreLanes(
            mDelay[side],
            RoundHalfAwayLanes((j * kStepSeconds + kFirstSeconds + offset) * fs * settings.size));
    }
    mCoefficient = settings.diffusion * kCoefficientSlope + kCoefficientBase;
    mBlend = settings.diffusion;
}

float InputDiffusers::Step(DelayLine* diffusers, int side, float x) const
{
    const float a = mCoefficient;
    const float e = mBlend;
    for (int j = 0; j < kPerSide; ++j)
    {
        DelayLine& line = diffusers[side * kPerSide + j];
        const float v = line.Read(mDelay[side][j]) - a * x;
        line.Write(a * v + x);
        const float y = SanitizeSample(v);
        x = e * y + (1.0f - e) * x;
    }
    return x;
}

namespace
{

template <class V>
[[gnu::always_inline]] inline void
RunChain(DelayLine* lines, const int* whole, float a, float e, float* x, int n)
{
    for (int j = 0; j < InputDiffusers::kPerSide; ++j)
    {
        AllpassAlong<V, true>(lines[j], whole[j], a, e, x, n);
    }
}

void RunChain4(DelayLine* lines, const int* whole, float a, float e, float* x, int n)
{
    RunChain<Lanes4>(lines, whole, a, e, x, n);
}

[[gnu::target("avx2")]] void
RunChain8(DelayLine* lines, const int* whole, float a, float e, float* x, int n)
{
    RunChain<Lanes8>(lines, whole, a, e, x, n);
}

template <class V>
[[gnu::always_inline]] inline void
RunGlidingChain(DelayLine* lines, const int* whole, const float* a, const float* e, float* x, int n)
{
    for (int j = 0; j < InputDiffusers::kPerSide; ++j)
    {
        AllpassAlongGliding<V>(lines[j], whole[j], a, e, x, n);
    }
}

void RunGlidingChain4(
    DelayLine* lines, const int* whole, const float* a, const float* e, float* x, int n)
{
    RunGlidingChain<Lanes4>(lines, whole, a, e, x, n);
}

[[gnu::target("avx2")]] void RunGlidingChain8(
    DelayLine* lines, const int* whole, const float* a, const float* e, float* x, int n)
{
    RunGlidingChain<Lanes8>(lines, whole, a, e, x, n);
}

} // namespace

void InputDiffusers::RunGliding(DelayLine* diffusers,
                                int side,
                                const float* diffusion,
                                float* x,
                                int n,
                                InstructionSet instructionSet) const
{
    DelayLine* lines = diffusers + side * kPerSide;
    int whole[kPerSide];
    for (int j = 0; j < kPerSide; ++j)
    {
        whole[j] = static_cast<int>(std::max(std::min(mDelay[side][j], lines[j].MaxDelay()), 1.0f));
    }
    // E and a at each sample, as the constructor works them out from the settings.
    float e[kCoreBlock];
    float a[kCoreBlock];
    for (int t = 0; t < n; ++t)
    {
        e[t] = diffusion[t] * 0.01f;
        a[t] = e[t] * kCoefficientSlope + kCoefficientBase;
    }
    (instructionSet == InstructionSet::Avx2 ? RunGlidingChain8
                                            : RunGlidingChain4)(lines, whole, a, e, x, n);
}

void InputDiffusers::Run(
    DelayLine* diffusers, int side, float* x, int n, InstructionSet instructionSet) const
{
    // Each allpass is its own system: the block runs through one after the other.
    DelayLine* lines = diffusers + side * kPerSide;
    int whole[kPerSide];
    for (int j = 0; j < kPerSide; ++j)
    {
        whole[j] = static_cast<int>(std::max(std::min(mDelay[side][j], lines[j].MaxDelay()), 1.0f));
    }
    (instructionSet == InstructionSet::Avx2 ? RunChain8
                                            : RunChain4)(lines, whole, mCoefficient, mBlend, x, n);
}

} // namespace lumenfall::engine
