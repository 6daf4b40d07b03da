#include "plugin/engine/InputDiffusers.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <array>

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

// A side's four delays at size factor c, samples (one allpass per lane).
Lanes4 SideDelays(int side, float fs, float c)
{
    const Lanes4 j = {0.0f, 1.0f, 2.0f, 3.0f};
    const float offset = side == 0 ? 0.0f : kRightOffsetSeconds;
    return RoundHalfAwayLanes((j * kStepSeconds + kFirstSeconds + offset) * fs * c);
}

} // namespace

InputDiffusers::InputDiffusers(const CoreSettings& settings)
{
    static_assert(kPerSide == 4);
    const float fs = static_cast<float>(settings.sampleRate);
    for (int side = 0; side < 2; ++side)
    {
        StoreLanes(mDelay[side], SideDelays(side, fs, settings.size));
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

// Each allpass's pieces of a block over which its whole delay holds still: allpass j runs
// samples starts[j][p] .. starts[j][p + 1] - 1 at wholes[j][p], for p < counts[j].
struct ChainPieces
{
    int counts[InputDiffusers::kPerSide];
    int starts[InputDiffusers::kPerSide][kCoreBlock + 1];
    int wholes[InputDiffusers::kPerSide][kCoreBlock];
};

// The whole delay an allpass of `line` takes for `delay` samples.
int WholeDelay(const DelayLine& line, float delay)
{
    return static_cast<int>(std::max(std::min(delay, line.MaxDelay()), 1.0f));
}

// One piece each: the whole block at the delays `delays`.
ChainPieces WholeBlock(const DelayLine* lines, const float* delays, int n)
{
    ChainPieces pieces;
    for (int j = 0; j < InputDiffusers::kPerSide; ++j)
    {
        pieces.counts[j] = 1;
        pieces.starts[j][0] = 0;
        pieces.starts[j][1] = n;
        pieces.wholes[j][0] = WholeDelay(lines[j], delays[j]);
    }
    return pieces;
}

// Each allpass is its own system: the block runs through one after the other, piece by piece.
// aAt and eAt null: a and e throughout.
template <class V>
[[gnu::always_inline]] inline void RunChainPieces(DelayLine* lines,
                                                  const ChainPieces& pieces,
                                                  float a,
                                                  float e,
                                                  const float* aAt,
                                                  const float* eAt,
                                                  float* x)
{
    for (int j = 0; j < InputDiffusers::kPerSide; ++j)
    {
        for (int p = 0; p < pieces.counts[j]; ++p)
        {
            const int t0 = pieces.starts[j][p];
            const int m = pieces.starts[j][p + 1] - t0;
            if (aAt != nullptr)
            {
                AllpassAlongGliding<V>(
                    lines[j], pieces.wholes[j][p], aAt + t0, eAt + t0, x + t0, m);
            }
            else
            {
                AllpassAlong<V, true>(lines[j], pieces.wholes[j][p], a, e, x + t0, m);
            }
        }
    }
}

void RunChainPieces4(DelayLine* lines,
                     const ChainPieces& pieces,
                     float a,
                     float e,
                     const float* aAt,
                     const float* eAt,
                     float* x)
{
    RunChainPieces<Lanes4>(lines, pieces, a, e, aAt, eAt, x);
}

[[gnu::target("avx2")]] void RunChainPieces8(DelayLine* lines,
                                             const ChainPieces& pieces,
                                             float a,
                                             float e,
                                             const float* aAt,
                                             const float* eAt,
                                             float* x)
{
    RunChainPieces<Lanes8>(lines, pieces, a, e, aAt, eAt, x);
}

// x[0..n) through a side's chain in its pieces: with the coefficient a and blend e, or while
// "Diffusion" glides (diffusion[t] its value at sample t, percent) with E and a at each sample as
// the constructor works them out from the settings.
void RunPieces(DelayLine* lines,
               const ChainPieces& pieces,
               float a,
               float e,
               const float* diffusion,
               float* x,
               int n,
               InstructionSet instructionSet)
{
    const auto run = instructionSet == InstructionSet::Avx2 ? RunChainPieces8 : RunChainPieces4;
    if (diffusion == nullptr)
    {
        run(lines, pieces, a, e, nullptr, nullptr, x);
        return;
    }
    float eAt[kCoreBlock];
    float aAt[kCoreBlock];
    for (int t = 0; t < n; ++t)
    {
        eAt[t] = diffusion[t] * 0.01f;
        aAt[t] = eAt[t] * kCoefficientSlope + kCoefficientBase;
    }
    run(lines, pieces, 0.0f, 0.0f, aAt, eAt, x);
}

} // namespace

void InputDiffusers::Run(
    DelayLine* diffusers, int side, float* x, int n, InstructionSet instructionSet) const
{
    DelayLine* lines = diffusers + side * kPerSide;
    RunPieces(lines,
              WholeBlock(lines, mDelay[side], n),
              mCoefficient,
              mBlend,
              nullptr,
              x,
              n,
              instructionSet);
}

void InputDiffusers::RunGliding(DelayLine* diffusers,
                                int side,
                                const float* diffusion,
                                float* x,
                                int n,
                                InstructionSet instructionSet) const
{
    DelayLine* lines = diffusers + side * kPerSide;
    RunPieces(
        lines, WholeBlock(lines, mDelay[side], n), 0.0f, 0.0f, diffusion, x, n, instructionSet);
}

void InputDiffusers::RunAlongSizes(DelayLine* diffusers,
                                   int side,
                                   double sampleRate,
                                   const float* sizes,
                                   const float* diffusion,
                                   float* x,
                                   int n,
                                   InstructionSet instructionSet) const
{
    DelayLine* lines = diffusers + side * kPerSide;
    const float fs = static_cast<float>(sampleRate);
    const auto wholesAt = [&](int t)
    {
        alignas(16) float delays[kPerSide];
        StoreLanes(delays, SideDelays(side, fs, sizes[t]));
        std::array<int, kPerSide> wholes;
        for (int j = 0; j < kPerSide; ++j)
        {
            wholes[j] = WholeDelay(lines[j], delays[j]);
        }
        return wholes;
    };
    // The size moves one way over a block (it glides towards one target), so each whole delay
    // does too: an allpass whose delay is the same at both ends holds still throughout, and the
    // ends of the others' pieces are found by halving.
    ChainPieces pieces;
    const auto first = wholesAt(0);
    const auto last = wholesAt(n - 1);
    for (int j = 0; j < kPerSide; ++j)
    {
        int count = 0;
        int t = 0;
        int whole = first[j];
        while (true)
        {
            pieces.starts[j][count] = t;
            pieces.wholes[j][count] = whole;
            ++count;
            if (whole == last[j])
            {
                break;
            }
            int low = t; // the delay is `whole` here, and differs at high
            int high = n - 1;
            while (high - low > 1)
            {
                // Selected rather than branched on: which way each step goes is a coin toss.
                const int middle = low + (high - low) / 2;
                const bool same = wholesAt(middle)[j] == whole;
                low = same ? middle : low;
                high = same ? high : middle;
            }
            t = high;
            whole = wholesAt(t)[j];
        }
        pieces.counts[j] = count;
        pieces.starts[j][count] = n;
    }
    RunPieces(lines, pieces, mCoefficient, mBlend, diffusion, x, n, instructionSet);
}

} // namespace lumenfall::engine
