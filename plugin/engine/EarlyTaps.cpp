#include "plugin/engine/EarlyTaps.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

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
    const float* sizes; // c at each sample, in whole groups of lanes
    float* left;        // the outputs, in whole groups of lanes
    float* right;
    int n;
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
[[gnu::always_inline]] inline void RunGlidingTapsAlong(const GlidingTaps& a)
{
    constexpr int L = kLaneCount<V>;
    alignas(32) float index[L];
    for (int j = 0; j < L; ++j)
    {
        index[j] = static_cast<float>(j);
    }
    const V step = LoadLanes<V>(index);
    for (int t = 0; t < a.n; t += L)
    {
        const V c = LoadLanes<V>(a.sizes + t);
        const int position = a.first + t + 1; // of lane 0
        const V written = MinLanes(static_cast<float>(a.before + t + 1) + step,
                                   SplatLanes<V>(static_cast<float>(a.after)));
        V left = {};
        V right = {};
        for (int k = 0; k < EarlyTaps::kTaps; ++k)
        {
            const V d = a.rate * EarlyTapTimes[k] * c * a.timeScale + 1.0f;
            const float g = TapGain(k);
            left += g * (kOwnShare * ReadEachLane(a, a.data[0], position, d, written) +
                         kCrossShare *
                             ReadEachLane(a, a.data[1], position, kLeftCrossRatio * d, written));
            right +=
                g *
                (kOwnShare * ReadEachLane(a, a.data[1], position, kRightOwnRatio * d, written) +
                 kCrossShare * ReadEachLane(a, a.data[0], position, kRightCrossRatio * d, written));
        }
        StoreLanes(a.left + t, SanitizeLanes(left));
        StoreLanes(a.right + t, SanitizeLanes(right));
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
    // Whole groups of lanes: the last group's spare lanes repeat its last size and are dropped.
    alignas(32) float padded[kCoreBlock + 8];
    std::copy_n(sizes, n, padded);
    std::fill_n(padded + n, 8, sizes[n - 1]);
    taps.sizes = padded;
    alignas(32) float out[2][kCoreBlock + 8];
    taps.left = out[0];
    taps.right = out[1];
    taps.n = n;
    (settings.instructionSet == InstructionSet::Avx2 ? RunGlidingTaps8 : RunGlidingTaps4)(taps);
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
