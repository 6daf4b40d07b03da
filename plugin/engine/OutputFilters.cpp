#include "plugin/engine/OutputFilters.h"

#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <iterator>

namespace lumenfall::engine
{

namespace
{

constexpr double kTiltHz = 1800.0;   // the tilt's low-pass, held below 0.45 fs
constexpr float kBrightGain = 0.65f; // "Tone" above 0 adds this much of h - k per unit
constexpr float kDarkGain = 0.8f;    // "Tone" below 0 adds this much of k - h per unit

// The three one-poles of both sides (lanes 0 and 1).
struct FilterState
{
    Lanes4 low;
    Lanes4 high;
    Lanes4 tilt;
};

// The filters over (left, right) pairs in place, sample by sample; `toneAt(t)` gives "Tone" (as
// a factor) at sample t. h + (h - k) tone 0.65 for tone >= 0; for tone < 0, (k - h) (-tone) 0.8,
// which is the same product (h - k) tone times 0.8.
template <typename ToneAt>
[[gnu::always_inline]] inline void
FilterAlong(float* pairs, int n, ToneAt toneAt, const Lanes4* coefficients, FilterState& state)
{
    Lanes4 low = state.low;
    Lanes4 high = state.high;
    Lanes4 tilted = state.tilt;
    for (int t = 0; t < n; ++t)
    {
        const float tone = toneAt(t);
        const float toneScale = tone >= 0.0f ? kBrightGain : kDarkGain;
        Lanes4 x = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(pairs + 2 * t)));
        x = x - OnePoleLanes(low, x, coefficients[0]);
        const Lanes4 h = OnePoleLanes(high, x, coefficients[1]);
        const Lanes4 k = OnePoleLanes(tilted, h, coefficients[2]);
        const Lanes4 y = SanitizeLanes(h + (h - k) * tone * toneScale);
        _mm_store_sd(reinterpret_cast<double*>(pairs + 2 * t), _mm_castps_pd(y));
    }
    state = {low, high, tilted};
}

// The same with one "Tone" for the block.
[[gnu::always_inline]] inline void
Filter(float* pairs, int n, float tone, const Lanes4* coefficients, FilterState& state)
{
    FilterAlong(
        pairs, n, [tone](int) { return tone; }, coefficients, state);
}

// The same with "Tone" at each sample.
[[gnu::always_inline]] inline void FilterGliding(
    float* pairs, int n, const float* tones, const Lanes4* coefficients, FilterState& state)
{
    FilterAlong(
        pairs, n, [tones](int t) { return tones[t]; }, coefficients, state);
}

void FilterPairs(float* pairs, int n, float tone, const Lanes4* coefficients, FilterState& state)
{
    Filter(pairs, n, tone, coefficients, state);
}

[[gnu::target("avx2")]] void
FilterPairsVex(float* pairs, int n, float tone, const Lanes4* coefficients, FilterState& state)
{
    Filter(pairs, n, tone, coefficients, state);
}

void FilterPairsGliding(
    float* pairs, int n, const float* tones, const Lanes4* coefficients, FilterState& state)
{
    FilterGliding(pairs, n, tones, coefficients, state);
}

[[gnu::target("avx2")]] void FilterPairsGlidingVex(
    float* pairs, int n, const float* tones, const Lanes4* coefficients, FilterState& state)
{
    FilterGliding(pairs, n, tones, coefficients, state);
}

} // namespace

void OutputFilters::Reset()
{
    std::fill(std::begin(mLow), std::end(mLow), 0.0f);
    std::fill(std::begin(mHigh), std::end(mHigh), 0.0f);
    std::fill(std::begin(mTilt), std::end(mTilt), 0.0f);
}

void OutputFilters::Update(const EngineParameters& current, double sampleRate)
{
    // Each coefficient only when what it follows has changed: while one cut glides, a refresh
    // works out that one alone.
    const bool rateChanged = !mKeyValid || sampleRate != mKey[2];
    mKeyValid = true;
    if (rateChanged)
    {
        mKey[2] = sampleRate;
        mTiltCoefficient = OnePoleCoefficient(
            static_cast<float>(std::min(kTiltHz, 0.45 * sampleRate)), sampleRate);
    }
    if (rateChanged || current[ParamId::LowCut] != mKey[0])
    {
        mKey[0] = current[ParamId::LowCut];
        mLowCutCoefficient = OnePoleCoefficient(current[ParamId::LowCut], sampleRate);
    }
    if (rateChanged || current[ParamId::HighCut] != mKey[1])
    {
        mKey[1] = current[ParamId::HighCut];
        mHighCutCoefficient = OnePoleCoefficient(current[ParamId::HighCut], sampleRate);
    }
}

StereoSample OutputFilters::Step(StereoSample late,
                                 StereoSample early,
                                 float envelope,
                                 const EngineParameters& current)
{
    const float lateLevel = current[ParamId::LateTail] * 0.01f;
    const float earlyLevel = current[ParamId::EarlyReflections] * 0.01f;
    const float tone = current[ParamId::Tone] * 0.01f;
    const float in[2] = {late.left * lateLevel + early.left * earlyLevel,
                         late.right * lateLevel + early.right * earlyLevel};
    float out[2];
    for (int side = 0; side < 2; ++side)
    {
        float x = in[side] * envelope;
        x = x - OnePoleStep(mLow[side], x, mLowCutCoefficient);
        const float h = OnePoleStep(mHigh[side], x, mHighCutCoefficient);
        const float k = OnePoleStep(mTilt[side], h, mTiltCoefficient);
        const float y =
            tone >= 0.0f ? h + (h - k) * tone * kBrightGain : h + (k - h) * (-tone) * kDarkGain;
        out[side] = SanitizeSample(y);
    }
    return {out[0], out[1]};
}

void OutputFilters::Run(const float* lateL,
                        const float* lateR,
                        const float* earlyL,
                        const float* earlyR,
                        const float* envelope,
                        float* wetL,
                        float* wetR,
                        int n,
                        const EngineParameters& current,
                        InstructionSet instructionSet,
                        const OutputLevels* levels)
{
    // The levels at sample t (a group of four from t), as Step takes them: held still, or from
    // their rows while they glide.
    const float lateLevel = current[ParamId::LateTail] * 0.01f;
    const float earlyLevel = current[ParamId::EarlyReflections] * 0.01f;
    const auto late = [&](int t)
    {
        return levels != nullptr ? LoadLanes<Lanes4>(levels->lateTail + t) * 0.01f
                                 : SplatLanes<Lanes4>(lateLevel);
    };
    const auto early = [&](int t)
    {
        return levels != nullptr ? LoadLanes<Lanes4>(levels->earlyReflections + t) * 0.01f
                                 : SplatLanes<Lanes4>(earlyLevel);
    };
    // The filters' inputs along the block, as (left, right) pairs: the one-poles then step both
    // sides at once (lanes 0 and 1), and the outputs go back to their sides along the block.
    alignas(16) float pairs[2 * kCoreBlock + 4];
    int t = 0;
    for (; t + 4 <= n; t += 4)
    {
        Lanes4 left =
            LoadLanes<Lanes4>(lateL + t) * late(t) + LoadLanes<Lanes4>(earlyL + t) * early(t);
        Lanes4 right =
            LoadLanes<Lanes4>(lateR + t) * late(t) + LoadLanes<Lanes4>(earlyR + t) * early(t);
        if (envelope != nullptr)
        {
            const Lanes4 m = LoadLanes<Lanes4>(envelope + t);
            left = left * m;
            right = right * m;
        }
        StoreLanes(pairs + 2 * t, __builtin_shuffle(left, right, LaneMask<Lanes4>{0, 4, 1, 5}));
        StoreLanes(pairs + 2 * t + 4, __builtin_shuffle(left, right, LaneMask<Lanes4>{2, 6, 3, 7}));
    }
    for (; t < n; ++t)
    {
        const float lateAt = levels != nullptr ? levels->lateTail[t] * 0.01f : lateLevel;
        const float earlyAt = levels != nullptr ? levels->earlyReflections[t] * 0.01f : earlyLevel;
        pairs[2 * t] = lateL[t] * lateAt + earlyL[t] * earlyAt;
        pairs[2 * t + 1] = lateR[t] * lateAt + earlyR[t] * earlyAt;
        if (envelope != nullptr)
        {
            pairs[2 * t] *= envelope[t];
            pairs[2 * t + 1] *= envelope[t];
        }
    }

    FilterState state{{mLow[0], mLow[1], 0.0f, 0.0f},
                      {mHigh[0], mHigh[1], 0.0f, 0.0f},
                      {mTilt[0], mTilt[1], 0.0f, 0.0f}};
    const Lanes4 coefficients[3] = {SplatLanes<Lanes4>(mLowCutCoefficient),
                                    SplatLanes<Lanes4>(mHighCutCoefficient),
                                    SplatLanes<Lanes4>(mTiltCoefficient)};
    const bool vex = instructionSet == InstructionSet::Avx2;
    if (levels != nullptr)
    {
        float tones[kCoreBlock];
        for (int k = 0; k < n; ++k)
        {
            tones[k] = levels->tone[k] * 0.01f;
        }
        (vex ? FilterPairsGlidingVex : FilterPairsGliding)(pairs, n, tones, coefficients, state);
    }
    else
    {
        const float tone = current[ParamId::Tone] * 0.01f;
        (vex ? FilterPairsVex : FilterPairs)(pairs, n, tone, coefficients, state);
    }
    for (int side = 0; side < 2; ++side)
    {
        mLow[side] = state.low[side];
        mHigh[side] = state.high[side];
        mTilt[side] = state.tilt[side];
    }

    for (t = 0; t + 4 <= n; t += 4)
    {
        const Lanes4 a = LoadLanes<Lanes4>(pairs + 2 * t);
        const Lanes4 b = LoadLanes<Lanes4>(pairs + 2 * t + 4);
        StoreLanes(wetL + t, __builtin_shuffle(a, b, LaneMask<Lanes4>{0, 2, 4, 6}));
        StoreLanes(wetR + t, __builtin_shuffle(a, b, LaneMask<Lanes4>{1, 3, 5, 7}));
    }
    for (; t < n; ++t)
    {
        wetL[t] = pairs[2 * t];
        wetR[t] = pairs[2 * t + 1];
    }
}

} // namespace lumenfall::engine
