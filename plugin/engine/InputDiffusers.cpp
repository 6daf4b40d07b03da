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
    const float fs = static_cast<float>(settings.sampleRate);
    for (int side = 0; side < 2; ++side)
    {
        const float offset = side == 0 ? 0.0f : kRightOffsetSeconds;
        for (int j = 0; j < kPerSide; ++j)
        {
            mDelay[side][j] =
                RoundHalfAway((j * kStepSeconds + kFirstSeconds + offset) * fs * settings.size);
        }
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

void InputDiffusers::Run(DelayLine* diffusers, int side, float* x, int n) const
{
    const float a = mCoefficient;
    const float e = mBlend;
    float v[kCoreBlock];
    float stored[kCoreBlock];
    float scratch[kCoreBlock];
    for (int j = 0; j < kPerSide; ++j)
    {
        DelayLine& line = diffusers[side * kPerSide + j];
        const int whole =
            static_cast<int>(std::max(std::min(mDelay[side][j], line.MaxDelay()), 1.0f));
        // Each allpass is its own system: run it over the block, in pieces no longer than its
        // delay so that every read precedes the writes it could see.
        for (int t0 = 0; t0 < n; t0 += whole)
        {
            const int m = std::min(n - t0, whole);
            float* xs = x + t0;
            const float* w = BlockWindow(line, line.WritePosition() - whole, m, scratch);
            const int written = line.Written(); // a slot written since the last clear is valid
            if (whole <= written)
            {
                int k = 0;
                const __m128 va = _mm_set1_ps(a);
                const __m128 ve = _mm_set1_ps(e);
                const __m128 vkeep = _mm_set1_ps(1.0f - e);
                for (; k + 4 <= m; k += 4)
                {
                    const __m128 in = _mm_loadu_ps(xs + k);
                    const __m128 y = _mm_sub_ps(_mm_loadu_ps(w + k), _mm_mul_ps(va, in));
                    _mm_storeu_ps(stored + k, Sanitize4(_mm_add_ps(_mm_mul_ps(va, y), in)));
                    _mm_storeu_ps(xs + k,
                                  _mm_add_ps(_mm_mul_ps(ve, Sanitize4(y)), _mm_mul_ps(vkeep, in)));
                }
                for (; k < m; ++k)
                {
                    const float y = w[k] - a * xs[k];
                    stored[k] = SanitizeSample(a * y + xs[k]);
                    xs[k] = e * SanitizeSample(y) + (1.0f - e) * xs[k];
                }
                line.WriteBlockSanitized(stored, m);
                continue;
            }
            for (int k = 0; k < m; ++k)
            {
                v[k] = (whole <= written + k ? w[k] : 0.0f) - a * xs[k];
            }
            for (int k = 0; k < m; ++k)
            {
                stored[k] = a * v[k] + xs[k];
            }
            line.WriteBlock(stored, m);
            for (int k = 0; k < m; ++k)
            {
                xs[k] = e * SanitizeSample(v[k]) + (1.0f - e) * xs[k];
            }
        }
    }
}

} // namespace lumenfall::engine
