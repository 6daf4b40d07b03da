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

} // namespace

void OutputFilters::Reset()
{
    std::fill(std::begin(mLow), std::end(mLow), 0.0f);
    std::fill(std::begin(mHigh), std::end(mHigh), 0.0f);
    std::fill(std::begin(mTilt), std::end(mTilt), 0.0f);
}

void OutputFilters::Update(const EngineParameters& current, double sampleRate)
{
    mLowCutCoefficient = OnePoleCoefficient(current[ParamId::LowCut], sampleRate);
    mHighCutCoefficient = OnePoleCoefficient(current[ParamId::HighCut], sampleRate);
    mTiltCoefficient =
        OnePoleCoefficient(static_cast<float>(std::min(kTiltHz, 0.45 * sampleRate)), sampleRate);
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
                        const EngineParameters& current)
{
    // Lane 0 is the left side, lane 1 the right: the steps of Step side by side.
    const __m128 lateLevel = _mm_set1_ps(current[ParamId::LateTail] * 0.01f);
    const __m128 earlyLevel = _mm_set1_ps(current[ParamId::EarlyReflections] * 0.01f);
    const float tone = current[ParamId::Tone] * 0.01f;
    // (h - k) tone 0.65 for tone >= 0; for tone < 0, (k - h) (-tone) 0.8, which is the same
    // product (h - k) tone times 0.8.
    const __m128 vtone = _mm_set1_ps(tone);
    const __m128 toneScale = _mm_set1_ps(tone >= 0.0f ? kBrightGain : kDarkGain);
    const __m128 lowCut = _mm_set1_ps(mLowCutCoefficient);
    const __m128 highCut = _mm_set1_ps(mHighCutCoefficient);
    const __m128 tilt = _mm_set1_ps(mTiltCoefficient);
    __m128 low = _mm_setr_ps(mLow[0], mLow[1], 0.0f, 0.0f);
    __m128 high = _mm_setr_ps(mHigh[0], mHigh[1], 0.0f, 0.0f);
    __m128 tilted = _mm_setr_ps(mTilt[0], mTilt[1], 0.0f, 0.0f);
    for (int t = 0; t < n; ++t)
    {
        const __m128 late = _mm_unpacklo_ps(_mm_load_ss(lateL + t), _mm_load_ss(lateR + t));
        const __m128 early = _mm_unpacklo_ps(_mm_load_ss(earlyL + t), _mm_load_ss(earlyR + t));
        __m128 x = _mm_add_ps(_mm_mul_ps(late, lateLevel), _mm_mul_ps(early, earlyLevel));
        if (envelope != nullptr)
        {
            x = _mm_mul_ps(x, _mm_set1_ps(envelope[t]));
        }
        x = _mm_sub_ps(x, OnePole4(low, x, lowCut));
        const __m128 h = OnePole4(high, x, highCut);
        const __m128 k = OnePole4(tilted, h, tilt);
        const __m128 y =
            Sanitize4(_mm_add_ps(h, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(h, k), vtone), toneScale)));
        _mm_store_ss(wetL + t, y);
        _mm_store_ss(wetR + t, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
    }
    alignas(16) float states[3][4];
    _mm_store_ps(states[0], low);
    _mm_store_ps(states[1], high);
    _mm_store_ps(states[2], tilted);
    for (int side = 0; side < 2; ++side)
    {
        mLow[side] = states[0][side];
        mHigh[side] = states[1][side];
        mTilt[side] = states[2][side];
    }
}

} // namespace lumenfall::engine
