#include "plugin/engine/EarlyTaps.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

namespace lumenfall::engine
{

namespace
{

constexpr float kTapGain = 0.19f;
constexpr float kOwnShare = 0.78f;   // of the output's own line
constexpr float kCrossShare = 0.22f; // of the other line
// Each read's delay as a multiple of its tap's D: the left output reads its own line at D.
constexpr float kLeftCrossRatio = 1.071f;
constexpr float kRightOwnRatio = 1.113f;
constexpr float kRightCrossRatio = 0.943f;

// u: how the model stretches the tap times.
float TimeScale(ReverbModel model)
{
    switch (model)
    {
    case ReverbModel::Ambience:
        return 0.45f;
    case ReverbModel::SmallRoom:
        return 0.65f;
    case ReverbModel::Cathedral:
        return 1.7f;
    default:
        return 1.0f;
    }
}

// Tap k's delay D_k in samples and its signed gain g_k.
float TapDelay(int k, const CoreSettings& settings, float timeScale)
{
    return static_cast<float>(settings.sampleRate) * EarlyTapTimes[k] * settings.size * timeScale +
           1.0f;
}

float TapGain(int k)
{
    return EarlyTapGains[k] * kTapGain * (k % 3 == 0 ? -1.0f : 1.0f);
}

// acc[t] = S(acc[t] + sum over the reads j < count of near[j] w[j][t + 1] + far[j] w[j][t]) for
// the K x L samples from t, every read at once with the sums held in registers.
template <class V, int K>
[[gnu::always_inline]] inline void AccumulateTile(
    const float* const* w, const float* near, const float* far, int count, float* acc, int t)
{
    constexpr int L = kLaneCount<V>;
    V sum[K];
    for (int q = 0; q < K; ++q)
    {
        sum[q] = LoadLanes<V>(acc + t + L * q);
    }
    for (int j = 0; j < count; ++j)
    {
        const V a = SplatLanes<V>(near[j]);
        const V b = SplatLanes<V>(far[j]);
        for (int q = 0; q < K; ++q)
        {
            const float* x = w[j] + t + L * q;
            sum[q] = sum[q] + (a * LoadLanes<V>(x + 1) + b * LoadLanes<V>(x));
        }
    }
    for (int q = 0; q < K; ++q)
    {
        StoreLanes(acc + t + L * q, SanitizeLanes(sum[q]));
    }
}

// The same over t < n.
template <class V>
[[gnu::always_inline]] inline void
Accumulate(const float* const* w, const float* near, const float* far, int count, float* acc, int n)
{
    constexpr int L = kLaneCount<V>;
    const auto add = [](V sum, V a, V b, const float* x)
    { return sum + (a * LoadLanes<V>(x + 1) + b * LoadLanes<V>(x)); };
    // A whole block or a short one in tiles of up to eight vectors (at offsets known here).
    constexpr int kTile = std::min(8 * L, kShortCoreBlock * (L / 4));
    int t = 0;
    if (n == kCoreBlock)
    {
        for (int c = 0; c < kCoreBlock; c += kTile)
        {
            AccumulateTile<V, kTile / L>(w, near, far, count, acc, c);
        }
        t = kCoreBlock;
    }
    else if (n == kShortCoreBlock)
    {
        AccumulateTile<V, kShortCoreBlock / L>(w, near, far, count, acc, 0);
        t = kShortCoreBlock;
    }
    for (; t + kShortCoreBlock <= n; t += kShortCoreBlock)
    {
        AccumulateTile<V, kShortCoreBlock / L>(w, near, far, count, acc, t);
    }
    for (; t + L <= n; t += L)
    {
        V sum = LoadLanes<V>(acc + t);
        for (int j = 0; j < count; ++j)
        {
            sum = add(sum, SplatLanes<V>(near[j]), SplatLanes<V>(far[j]), w[j] + t);
        }
        StoreLanes(acc + t, SanitizeLanes(sum));
    }
    for (; t < n; ++t)
    {
        float sum = acc[t];
        for (int j = 0; j < count; ++j)
        {
            sum += near[j] * w[j][t + 1] + far[j] * w[j][t];
        }
        acc[t] = SanitizeSample(sum);
    }
}

void Accumulate4(
    const float* const* w, const float* near, const float* far, int count, float* acc, int n)
{
    Accumulate<Lanes4>(w, near, far, count, acc, n);
}

[[gnu::target("avx2")]] void Accumulate8(
    const float* const* w, const float* near, const float* far, int count, float* acc, int n)
{
    Accumulate<Lanes8>(w, near, far, count, acc, n);
}

// What the block form while "Size" glides works on (see EarlyTaps::RunGliding).
struct GlidingTaps
{
    const float* data[2]; // the two lines' storage
    int mask;
    int first;  // the write position before the block
    int before; // samples written before the block, and after it
    int after;
    float maxDelay;
    float rate;
    float timeScale;
    const float* sizes; // c at each sample, in whole runs
    float* left;        // the outputs, in whole runs
    float* right;
    int n;
};

// The gliding form plans its reads once per run of kGlideRun samples: over so few samples a slow
// glide moves a read by less than one slot or two, so its whole delay takes two or three values at
// most there (the differences from the smallest are exact).
constexpr int kGlideRun = kShortCoreBlock;

// The four reads of each tap, in the order the outputs sum them: kinds 0 and 1 make the left
// output, 2 and 3 the right. Each read's delay is ratio x D_k; its gain, g_k x share.
struct ReadKind
{
    int line;
    float ratio;
    float share;
};
constexpr ReadKind kReadKinds[4] = {{0, 1.0f, kOwnShare},
                                    {1, kLeftCrossRatio, kCrossShare},
                                    {1, kRightOwnRatio, kOwnShare},
                                    {0, kRightCrossRatio, kCrossShare}};

// What a run's check for its shortest and longest reads relies on.
constexpr bool TapTimesGrow()
{
    for (int k = 1; k < EarlyTaps::kTaps; ++k)
    {
        if (!(EarlyTapTimes[k - 1] < EarlyTapTimes[k]))
        {
            return false;
        }
    }
    return true;
}
static_assert(TapTimesGrow());
static_assert(kRightCrossRatio < 1.0f && 1.0f < kLeftCrossRatio &&
              kLeftCrossRatio < kRightOwnRatio);

// How a read is taken over one run.
enum ReadMode
{
    kOneWhole = 0, // every sample of the run has the same whole delay
    kTwoWholes,    // two neighbouring whole delays
    kThreeWholes,  // three
    kCareful,      // anything else: DelayLine::Read's clamps and written slots, lane by lane
};

// One run's reads, planned from the smallest and largest c of the run: float operations by
// positive constants round monotonically, so every sample's delay lies between the delays at
// those two, and so does its whole delay.
struct RunPlan
{
    alignas(32) float delay[EarlyTaps::kTaps][kGlideRun]; // D_k at each sample
    alignas(32) float whole[4][EarlyTaps::kTaps];         // the smallest whole delay of each read
    alignas(32) int start[4][EarlyTaps::kTaps]; // sample i's slots: start + i + 2 - o and the
                                                // one before it, o = its whole - the smallest
                                                // (+ 1 over three wholes)
    alignas(32) int mode[4][EarlyTaps::kTaps];  // a ReadMode
};

// Line `data` read at `delay` in each lane as DelayLine::Read does, lane j after the write at
// position + j with written[j] samples written.
template <class V>
[[gnu::always_inline]] inline V
ReadEachLane(const GlidingTaps& a, const float* data, int position, V delay, V written)
{
    constexpr int L = kLaneCount<V>;
    const V one = SplatLanes<V>(1.0f);
    const V d = MaxLanes(MinLanes(delay, SplatLanes<V>(a.maxDelay)), one);
    const LaneMask<V> whole = TruncateLanes(d);
    const V wholeFloat = ToFloatLanes<V>(whole);
    const V f = d - wholeFloat;
    V near;
    V far;
    if (AllLanes<V>(whole == whole[0]))
    {
        // One whole delay: consecutive slots (the storage repeats its start past its end), lane
        // j's second slot lane j - 1's first.
        const float* w = data + ((position - whole[0] - 1) & a.mask);
        far = LoadLanes<V>(w);
        near = LoadLanes<V>(w + 1);
    }
    else
    {
        for (int j = 0; j < L; ++j)
        {
            const int slot = (position + j - whole[j]) & a.mask;
            near[j] = data[slot];
            far[j] = data[(slot - 1) & a.mask];
        }
    }
    near = KeepLanes(near, wholeFloat <= written);
    far = KeepLanes(far, wholeFloat < written);
    return (one - f) * near + f * far;
}

template <class V>
[[gnu::always_inline]] inline void PlanRun(const GlidingTaps& a, int t0, RunPlan& plan)
{
    constexpr int L = kLaneCount<V>;
    using Mask = LaneMask<V>;
    V c[kGlideRun / L];
    V low = LoadLanes<V>(a.sizes + t0);
    V high = low;
    for (int g = 0; g < kGlideRun / L; ++g)
    {
        c[g] = LoadLanes<V>(a.sizes + t0 + L * g);
        low = MinLanes(low, c[g]);
        high = MaxLanes(high, c[g]);
    }
    // Every lane the smallest (largest) of all, lanes paired ever closer.
    const auto pair = [&](Mask other)
    {
        low = MinLanes(low, __builtin_shuffle(low, other));
        high = MaxLanes(high, __builtin_shuffle(high, other));
    };
    if constexpr (L == 8)
    {
        pair(Mask{4, 5, 6, 7, 0, 1, 2, 3});
        pair(Mask{2, 3, 0, 1, 6, 7, 4, 5});
        pair(Mask{1, 0, 3, 2, 5, 4, 7, 6});
    }
    else
    {
        pair(Mask{2, 3, 0, 1});
        pair(Mask{1, 0, 3, 2});
    }
    const float cLow = low[0];
    const float cHigh = high[0];
    // Step's D_k = fs T_k c u + 1, in its order.
    for (int k = 0; k < EarlyTaps::kTaps; ++k)
    {
        const float rate = a.rate * EarlyTapTimes[k];
        for (int g = 0; g < kGlideRun / L; ++g)
        {
            StoreLanes(plan.delay[k] + L * g, rate * c[g] * a.timeScale + 1.0f);
        }
    }
    // A read takes its slots straight from the line when no read of the run needs a clamp and
    // every slot it reaches has been written (the furthest back, at the run's first sample, is):
    // so always but for the longer reads in the first 0.52 s after a reset. The shortest read is
    // the last kind's first tap at the smallest c, the longest the third kind's last tap at the
    // largest.
    const float shortest =
        kRightCrossRatio * (a.rate * EarlyTapTimes[0] * cLow * a.timeScale + 1.0f);
    const float longest =
        kRightOwnRatio *
        (a.rate * EarlyTapTimes[EarlyTaps::kTaps - 1] * cHigh * a.timeScale + 1.0f);
    if (!(shortest >= 1.0f && longest <= a.maxDelay))
    {
        std::fill_n(&plan.mode[0][0], 4 * EarlyTaps::kTaps, static_cast<int>(kCareful));
        return;
    }
    const Mask position = Mask{} + (a.first + t0 - 1);
    const Mask written = Mask{} + (a.before + t0);
    const Mask careful = Mask{} + static_cast<int>(kCareful);
    for (int k = 0; k < EarlyTaps::kTaps; k += L)
    {
        const V rate = a.rate * LoadLanes<V>(EarlyTapTimes + k);
        const V lowest = rate * cLow * a.timeScale + 1.0f;
        const V highest = rate * cHigh * a.timeScale + 1.0f;
        for (int kind = 0; kind < 4; ++kind)
        {
            const Mask wLow = TruncateLanes(kReadKinds[kind].ratio * lowest);
            const Mask wHigh = TruncateLanes(kReadKinds[kind].ratio * highest);
            const Mask span = wHigh - wLow;
            const Mask mode = span < careful && wHigh <= written ? span : careful;
            // Over three whole delays the window starts a slot earlier (a true mask is -1).
            const Mask start =
                (position - wLow + (span == static_cast<int>(kThreeWholes))) & a.mask;
            StoreLanes(plan.whole[kind] + k, ToFloatLanes<V>(wLow));
            std::memcpy(plan.start[kind] + k, &start, sizeof(start));
            std::memcpy(plan.mode[kind] + k, &mode, sizeof(mode));
        }
    }
}

// Each read's gain g_k x share.
struct ReadGains
{
    float of[4][EarlyTaps::kTaps];
};

constexpr ReadGains MakeReadGains()
{
    ReadGains gains{};
    for (int kind = 0; kind < 4; ++kind)
    {
        for (int k = 0; k < EarlyTaps::kTaps; ++k)
        {
            gains.of[kind][k] =
                EarlyTapGains[k] * kTapGain * (k % 3 == 0 ? -1.0f : 1.0f) * kReadKinds[kind].share;
        }
    }
    return gains;
}

constexpr ReadGains kReadGains = MakeReadGains();

// x in every lane, in one broadcast (SplatLanes adds 0 first, to turn -0 into 0).
template <class V>
[[gnu::always_inline]] inline V Broadcast(float x)
{
    return __builtin_shuffle(V{x}, LaneMask<V>{});
}

// acc[g] += the reads of kind `kKind` that need no care at the run's samples L g .. L g + L - 1,
// tap by tap; true when a read needs care.
template <class V, int kKind>
[[gnu::always_inline]] inline bool
AddLeanReads(const GlidingTaps& a, const RunPlan& plan, V (&acc)[kGlideRun / kLaneCount<V>])
{
    constexpr int L = kLaneCount<V>;
    constexpr int kGroups = kGlideRun / L;
    constexpr ReadKind kind = kReadKinds[kKind];
    const float* data = a.data[kind.line];
    const V one = Broadcast<V>(1.0f);
    V ratio = Broadcast<V>(kind.ratio);
    if constexpr (kind.ratio != 1.0f)
    {
        // Held in a register: left to itself the compiler broadcasts the constant at each use.
        asm("" : "+x"(ratio));
    }
    bool careful = false;
    const auto add = [&](int k)
    {
        const V gain = Broadcast<V>(kReadGains.of[kKind][k]);
        const float* delay = plan.delay[k];
        const float* w = data + plan.start[kKind][k];
        const V whole = Broadcast<V>(plan.whole[kKind][k]);
        const int mode = plan.mode[kKind][k];
        if (mode == kOneWhole)
        {
            for (int g = 0; g < kGroups; ++g)
            {
                const V near = LoadLanes<V>(w + L * g + 2);
                const V far = LoadLanes<V>(w + L * g + 1);
                const V d = ratio * LoadLanes<V>(delay + L * g);
                if constexpr (L == 8)
                {
                    // -f and near - far, the same product: three-operand forms then read the
                    // delays and the far slots in place.
                    acc[g] += gain * (near + (whole - d) * (near - far));
                }
                else
                {
                    acc[g] += gain * (near + (d - whole) * (far - near));
                }
            }
        }
        else if (mode == kTwoWholes)
        {
            for (int g = 0; g < kGroups; ++g)
            {
                // Past the smallest whole delay by x in [0, 2): one slot further back from 1 on.
                const V x = ratio * LoadLanes<V>(delay + L * g) - whole;
                const LaneMask<V> further = x >= 1.0f;
                const V f = x - KeepLanes(one, further);
                const V a0 = LoadLanes<V>(w + L * g);
                const V a1 = LoadLanes<V>(w + L * g + 1);
                const V a2 = LoadLanes<V>(w + L * g + 2);
                const V near = further ? a1 : a2;
                const V far = further ? a0 : a1;
                acc[g] += gain * (near + f * (far - near));
            }
        }
        else if (mode == kThreeWholes)
        {
            for (int g = 0; g < kGroups; ++g)
            {
                // x in [0, 3): one slot further back from 1 on, two from 2 on.
                const V x = ratio * LoadLanes<V>(delay + L * g) - whole;
                const LaneMask<V> further = x >= 1.0f;
                const LaneMask<V> furthest = x >= 2.0f;
                const V f = x - KeepLanes(one, further) - KeepLanes(one, furthest);
                const V a0 = LoadLanes<V>(w + L * g);
                const V a1 = LoadLanes<V>(w + L * g + 1);
                const V a2 = LoadLanes<V>(w + L * g + 2);
                const V a3 = LoadLanes<V>(w + L * g + 3);
                const V near = furthest ? a1 : further ? a2 : a3;
                const V far = furthest ? a0 : further ? a1 : a2;
                acc[g] += gain * (near + f * (far - near));
            }
        }
        else
        {
            careful = true;
        }
    };
    // Two taps a turn: the loop's own steps cost about as much as a read's setup.
    for (int k = 0; k < EarlyTaps::kTaps; k += 2)
    {
        add(k);
        add(k + 1);
    }
    return careful;
}

// out[t0 + t] += the reads of kind `kKind` that need care, as DelayLine::Read takes them.
template <class V, int kKind>
[[gnu::always_inline]] inline void
AddCarefulReads(const GlidingTaps& a, const RunPlan& plan, int t0, float* out)
{
    constexpr int L = kLaneCount<V>;
    constexpr ReadKind kind = kReadKinds[kKind];
    const float* data = a.data[kind.line];
    alignas(32) float index[L];
    for (int j = 0; j < L; ++j)
    {
        index[j] = static_cast<float>(j);
    }
    const V step = LoadLanes<V>(index);
    for (int k = 0; k < EarlyTaps::kTaps; ++k)
    {
        if (plan.mode[kKind][k] != kCareful)
        {
            continue;
        }
        for (int t = 0; t < kGlideRun; t += L)
        {
            // Sample t0 + t + j reads right after its own write, with its samples written.
            const V written = MinLanes(static_cast<float>(a.before + t0 + t + 1) + step,
                                       Broadcast<V>(static_cast<float>(a.after)));
            const V d = kind.ratio * LoadLanes<V>(plan.delay[k] + t);
            const V read = ReadEachLane(a, data, a.first + t0 + t + 1, d, written);
            StoreLanes(out + t0 + t, LoadLanes<V>(out + t0 + t) + kReadGains.of[kKind][k] * read);
        }
    }
}

// One output over the run from t0: the sum of the reads of kinds kFirst and kFirst + 1, sanitised.
template <class V, int kFirst>
[[gnu::always_inline]] inline void
SumReads(const GlidingTaps& a, const RunPlan& plan, int t0, float* out)
{
    constexpr int L = kLaneCount<V>;
    constexpr int kGroups = kGlideRun / L;
    V acc[kGroups] = {};
    const bool careful =
        AddLeanReads<V, kFirst>(a, plan, acc) | AddLeanReads<V, kFirst + 1>(a, plan, acc);
    if (!careful)
    {
        for (int g = 0; g < kGroups; ++g)
        {
            StoreLanes(out + t0 + L * g, SanitizeLanes(acc[g]));
        }
        return;
    }
    for (int g = 0; g < kGroups; ++g)
    {
        StoreLanes(out + t0 + L * g, acc[g]);
    }
    AddCarefulReads<V, kFirst>(a, plan, t0, out);
    AddCarefulReads<V, kFirst + 1>(a, plan, t0, out);
    for (int t = 0; t < kGlideRun; t += L)
    {
        StoreLanes(out + t0 + t, SanitizeLanes(LoadLanes<V>(out + t0 + t)));
    }
}

template <class V>
[[gnu::always_inline]] inline void RunGlidingTapsAlong(const GlidingTaps& a)
{
    RunPlan plan;
    for (int t0 = 0; t0 < a.n; t0 += kGlideRun)
    {
        PlanRun<V>(a, t0, plan);
        SumReads<V, 0>(a, plan, t0, a.left);
        SumReads<V, 2>(a, plan, t0, a.right);
    }
}

void RunGlidingTaps4(const GlidingTaps& a)
{
    RunGlidingTapsAlong<Lanes4>(a);
}

[[gnu::target("avx2")]] void RunGlidingTaps8(const GlidingTaps& a)
{
    RunGlidingTapsAlong<Lanes8>(a);
}

} // namespace

bool EarlyTaps::Prepare(double sampleRate)
{
    bool ok = true;
    for (DelayLine& line : mLines)
    {
        ok = line.Resize(DelayLine::CapacityFor(sampleRate, kCapacitySeconds)) && ok;
    }
    return ok;
}

void EarlyTaps::Reset(ReverbModel model)
{
    mLines[0].Clear();
    mLines[1].Clear();
    mTimeScale = TimeScale(model);
    mReadsSize = -1.0f; // the reads depend on the model and the rate
}

StereoSample EarlyTaps::Step(float xL, float xR, const CoreSettings& settings)
{
    mLines[0].Write(settings.open * xL);
    mLines[1].Write(settings.open * xR);
    float left = 0.0f;
    float right = 0.0f;
    for (int k = 0; k < kTaps; ++k)
    {
        const float d = TapDelay(k, settings, mTimeScale);
        const float g = TapGain(k);
        left +=
            g * (kOwnShare * mLines[0].Read(d) + kCrossShare * mLines[1].Read(kLeftCrossRatio * d));
        right += g * (kOwnShare * mLines[1].Read(kRightOwnRatio * d) +
                      kCrossShare * mLines[0].Read(kRightCrossRatio * d));
    }
    return {SanitizeSample(left), SanitizeSample(right)};
}

void EarlyTaps::UpdateReads(const CoreSettings& settings)
{
    // Both lines have one capacity, so one clamp serves every read.
    const float maxDelay = mLines[0].MaxDelay();
    const auto set = [&](int index, float delay, float gain)
    {
        const float d = std::max(std::min(delay, maxDelay), 1.0f);
        const int whole = static_cast<int>(d);
        const float f = d - static_cast<float>(whole);
        mWhole[index] = whole;
        mNear[index] = gain * (1.0f - f);
        mFar[index] = gain * f;
    };
    for (int k = 0; k < kTaps; ++k)
    {
        const float d = TapDelay(k, settings, mTimeScale);
        const float g = TapGain(k);
        set(2 * k, d, g * kOwnShare);
        set(2 * k + 1, kLeftCrossRatio * d, g * kCrossShare);
        set(2 * kTaps + 2 * k, kRightCrossRatio * d, g * kCrossShare);
        set(2 * kTaps + 2 * k + 1, kRightOwnRatio * d, g * kOwnShare);
    }
    mLongestWhole = *std::max_element(std::begin(mWhole), std::end(mWhole));
    mReadsSize = settings.size;
}

void EarlyTaps::Run(const float* xL,
                    const float* xR,
                    const CoreSettings& settings,
                    float* earlyL,
                    float* earlyR,
                    int n)
{
    // Samples written before the block: a read of whole delay w at block sample t is valid
    // when w <= min(before + t + 1, capacity), its second slot when w + 1 is.
    const int before[2] = {mLines[0].Written(), mLines[1].Written()};
    Feed(xL, xR, settings.open, n);
    if (settings.size != mReadsSize)
    {
        UpdateReads(settings);
    }
    const auto accumulate =
        settings.instructionSet == InstructionSet::Avx2 ? Accumulate8 : Accumulate4;
    for (int out = 0; out < 2; ++out)
    {
        float* acc = out == 0 ? earlyL : earlyR;
        std::fill_n(acc, n, 0.0f);
        OutputReads reads;
        FindReads(out, n, before, reads);
        accumulate(reads.window, reads.near, reads.far, reads.count, acc, n);
    }
}

void EarlyTaps::RunGliding(const float* xL,
                           const float* xR,
                           const CoreSettings& settings,
                           const float* sizes,
                           float* earlyL,
                           float* earlyR,
                           int n)
{
    // Step's arithmetic, a lane per sample. Both lines have one capacity, position and count.
    // After the block's writes, sample t reads as Step would right after its own write: from
    // position first + t + 1, with before + t + 1 samples written (up to the capacity).
    GlidingTaps taps;
    taps.before = mLines[0].Written();
    Feed(xL, xR, settings.open, n);
    taps.after = mLines[0].Written();
    taps.data[0] = mLines[0].Data();
    taps.data[1] = mLines[1].Data();
    taps.mask = mLines[0].Mask();
    taps.first = mLines[0].WritePosition() - n;
    taps.maxDelay = mLines[0].MaxDelay();
    taps.rate = static_cast<float>(settings.sampleRate);
    taps.timeScale = mTimeScale;
    taps.n = n;
    const auto run =
        settings.instructionSet == InstructionSet::Avx2 ? RunGlidingTaps8 : RunGlidingTaps4;
    if (n % kGlideRun == 0)
    {
        taps.sizes = sizes;
        taps.left = earlyL;
        taps.right = earlyR;
        run(taps);
        return;
    }
    // Whole runs: the last run's spare samples repeat its last size and are dropped.
    alignas(32) float padded[kCoreBlock];
    const int runs = (n + kGlideRun - 1) / kGlideRun * kGlideRun;
    std::copy_n(sizes, n, padded);
    std::fill(padded + n, padded + runs, sizes[n - 1]);
    taps.sizes = padded;
    alignas(32) float out[2][kCoreBlock];
    taps.left = out[0];
    taps.right = out[1];
    run(taps);
    std::copy_n(out[0], n, earlyL);
    std::copy_n(out[1], n, earlyR);
}

void EarlyTaps::Feed(const float* xL, const float* xR, float open, int n)
{
    float fed[2][kCoreBlock];
    int t = 0;
    const __m128 vopen = _mm_set1_ps(open);
    for (; t + 4 <= n; t += 4)
    {
        _mm_storeu_ps(fed[0] + t, Sanitize4(_mm_mul_ps(vopen, _mm_loadu_ps(xL + t))));
        _mm_storeu_ps(fed[1] + t, Sanitize4(_mm_mul_ps(vopen, _mm_loadu_ps(xR + t))));
    }
    for (; t < n; ++t)
    {
        fed[0][t] = SanitizeSample(open * xL[t]);
        fed[1][t] = SanitizeSample(open * xR[t]);
    }
    mLines[0].WriteBlockSanitized(fed[0], n);
    mLines[1].WriteBlockSanitized(fed[1], n);
}

void EarlyTaps::FindReads(int out, int n, const int (&before)[2], OutputReads& reads)
{
    // After the block's writes, sample t's read of whole delay w sees slot (P - n + 1 + t - w) and
    // the one before it, P being the position after the block: window[t + 1] and window[t] of the
    // n + 1 slots from P - n - w. Both lines have one capacity and one position; even reads read
    // line 0, odd ones line 1.
    constexpr int kCount = kReads / 2;
    const int* whole = mWhole + kCount * out;
    const float* near = mNear + kCount * out;
    const float* far = mFar + kCount * out;
    const float* line[2] = {mLines[0].Data(), mLines[1].Data()};
    const int first = mLines[0].WritePosition() - n;
    const int mask = mLines[0].Mask();
    // Four windows at a time: the slots (first - whole) & mask, then the lines' addresses plus
    // them (even reads line 0).
    const __m128i bases = _mm_set_epi64x(reinterpret_cast<std::intptr_t>(line[1]),
                                         reinterpret_cast<std::intptr_t>(line[0]));
    const __m128i zero = _mm_setzero_si128();
    for (int j = 0; j < kCount; j += 4)
    {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(whole + j));
        const __m128i slots = _mm_slli_epi32(
            _mm_and_si128(_mm_sub_epi32(_mm_set1_epi32(first), w), _mm_set1_epi32(mask)), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(reads.window + j),
                         _mm_add_epi64(bases, _mm_unpacklo_epi32(slots, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(reads.window + j + 2),
                         _mm_add_epi64(bases, _mm_unpackhi_epi32(slots, zero)));
    }
    if (std::min(before[0], before[1]) >= mLongestWhole)
    {
        // Every read sees written slots only: the common case.
        reads.near = near;
        reads.far = far;
        reads.count = kCount;
        return;
    }
    // Reads of slots not all written yet: those of written slots only are summed with their
    // gains, the others up to the last of those with none (their slots hold finite values, so
    // each adds a zero that leaves every sum as it was: no sum is -0). One that reaches back to
    // the start of what was written reads a copy of its window with the unwritten slots as 0.
    // Every sample thus sums its reads in one order wherever blocks begin.
    reads.near = reads.nearGain;
    reads.far = reads.farGain;
    const __m128i written = _mm_set_epi32(before[1], before[0], before[1], before[0]);
    const __m128i reached = _mm_add_epi32(written, _mm_set1_epi32(n));
    unsigned valid = 0;      // bit j: read j sees written slots only
    unsigned straddling = 0; // bit j: read j reaches back to the start of what was written
    for (int j = 0; j < kCount; j += 4)
    {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(whole + j));
        const __m128 beyond = _mm_castsi128_ps(_mm_cmpgt_epi32(w, written));
        _mm_storeu_ps(reads.nearGain + j, _mm_andnot_ps(beyond, _mm_loadu_ps(near + j)));
        _mm_storeu_ps(reads.farGain + j, _mm_andnot_ps(beyond, _mm_loadu_ps(far + j)));
        valid |= (~static_cast<unsigned>(_mm_movemask_ps(beyond)) & 0xfu) << j;
        const __m128 reachesFurther = _mm_castsi128_ps(_mm_cmpgt_epi32(w, reached));
        straddling |= static_cast<unsigned>(_mm_movemask_ps(_mm_andnot_ps(reachesFurther, beyond)))
                      << j;
    }
    for (unsigned rest = straddling; rest != 0; rest &= rest - 1)
    {
        // Window slot s (sample t reads slots t and t + 1) is written when s >= whole - before.
        const int j = __builtin_ctz(rest);
        const int firstWritten = whole[j] - before[j & 1];
        float* copy = mStraddling[j];
        std::fill_n(copy, firstWritten, 0.0f);
        std::copy(reads.window[j] + firstWritten, reads.window[j] + n + 1, copy + firstWritten);
        reads.window[j] = copy;
        reads.nearGain[j] = near[j];
        reads.farGain[j] = far[j];
    }
    valid |= straddling;
    reads.count = valid == 0 ? 0 : 32 - __builtin_clz(valid);
}

} // namespace lumenfall::engine
