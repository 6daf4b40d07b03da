#include "plugin/engine/EarlyTaps.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
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

// acc[t] = S(acc[t] + sum over the reads j of near[j] w[j][t + 1] + far[j] w[j][t]), t < n.
template <class V>
[[gnu::always_inline]] inline void
Accumulate(const float* const* w, const float* near, const float* far, int count, float* acc, int n)
{
    constexpr int L = kLaneCount<V>;
    // One read's share of L samples.
    const auto add = [](V sum, V a, V b, const float* x)
    { return sum + (a * LoadLanes<V>(x + 1) + b * LoadLanes<V>(x)); };
    int t = 0;
    // Every read at once, the sums held in registers: a full block in one pass over the reads.
    if (n == kCoreBlock)
    {
        constexpr int K = kCoreBlock / L;
        V sum[K];
        for (int q = 0; q < K; ++q)
        {
            sum[q] = LoadLanes<V>(acc + L * q);
        }
        for (int j = 0; j < count; ++j)
        {
            const V a = SplatLanes<V>(near[j]);
            const V b = SplatLanes<V>(far[j]);
            for (int q = 0; q < K; ++q)
            {
                sum[q] = add(sum[q], a, b, w[j] + L * q);
            }
        }
        for (int q = 0; q < K; ++q)
        {
            StoreLanes(acc + L * q, SanitizeLanes(sum[q]));
        }
        t = kCoreBlock;
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
    std::fill_n(earlyL, n, 0.0f);
    std::fill_n(earlyR, n, 0.0f);
    Windows windows;
    if (std::min(before[0], before[1]) >= mLongestWhole)
    {
        SettledWindows(n, windows);
    }
    else
    {
        StartingWindows(before, n, windows, earlyL, earlyR);
    }
    const auto accumulate =
        settings.instructionSet == InstructionSet::Avx2 ? Accumulate8 : Accumulate4;
    for (int out = 0; out < 2; ++out)
    {
        accumulate(windows.window[out],
                   windows.near[out],
                   windows.far[out],
                   windows.count[out],
                   out == 0 ? earlyL : earlyR,
                   n);
    }
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

// After the block's writes, sample t's read of whole delay w sees slot (P - n + 1 + t - w) and
// the one before it, P being the position after the block: window[t + 1] and window[t] of the
// n + 1 slots from P - n - w.

void EarlyTaps::SettledWindows(int n, Windows& windows) const
{
    // Every read sees written slots only (the common case): no checks, gains in place. Both lines
    // have one capacity and one position, written together.
    const float* data[2] = {mLines[0].Data(), mLines[1].Data()};
    const int mask = mLines[0].Mask();
    const int first = mLines[0].WritePosition() - n;
    for (int out = 0; out < 2; ++out)
    {
        for (int j = 0; j < kReads / 2; ++j)
        {
            const int i = kReads / 2 * out + j;
            windows.window[out][j] = data[j & 1] + ((first - mWhole[i]) & mask);
        }
        windows.near[out] = mNear + kReads / 2 * out;
        windows.far[out] = mFar + kReads / 2 * out;
        windows.count[out] = kReads / 2;
    }
}

void EarlyTaps::StartingWindows(
    const int (&before)[2], int n, Windows& windows, float* earlyL, float* earlyR) const
{
    // Reads of slots not all written yet: those of written slots only become windows, those
    // that reach back to the start of what was written run here per sample, the others are 0.
    windows.count[0] = windows.count[1] = 0;
    for (int i = 0; i < kReads; ++i)
    {
        const int side = i & 1;
        const int out = i / (kReads / 2);
        const DelayLine& line = mLines[side];
        const int whole = mWhole[i];
        const int written = before[side];
        if (whole > written + n)
        {
            continue; // nothing this far back has been written since the last clear
        }
        const float* w = line.Window(line.WritePosition() - n - whole);
        if (whole <= written)
        {
            const int j = windows.count[out]++;
            windows.window[out][j] = w;
            windows.nearGain[out][j] = mNear[i];
            windows.farGain[out][j] = mFar[i];
            continue;
        }
        float* acc = out == 0 ? earlyL : earlyR;
        for (int t = 0; t < n; ++t)
        {
            const int valid = std::min(written + t + 1, line.Capacity());
            const float a = whole <= valid ? w[t + 1] : 0.0f;
            const float b = whole < valid ? w[t] : 0.0f;
            acc[t] += mNear[i] * a + mFar[i] * b;
        }
    }
    for (int out = 0; out < 2; ++out)
    {
        windows.near[out] = windows.nearGain[out];
        windows.far[out] = windows.farGain[out];
    }
}

} // namespace lumenfall::engine
