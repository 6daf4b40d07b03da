#pragma once

// The engine's rounding rule, and four-lane forms of its scalar sample rules for the SSE2 block
// forms. Each lane gives exactly what the scalar rule gives for it.

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumenfall::engine
{

/// Nearest whole number, halves away from zero, the same on every platform (mingw-w64's roundf
/// rounds 0.49999997 up to 1). NaN stays NaN.
inline float RoundHalfAway(float x)
{
    if (!(std::fabs(x) < 8388608.0f))
    {
        return x; // whole already (from 2^23 on), infinite or NaN
    }
    const float whole = std::trunc(x); // exact below 2^23, as is x - whole
    const float rest = x - whole;
    return whole + (rest >= 0.5f ? 1.0f : 0.0f) - (rest <= -0.5f ? 1.0f : 0.0f);
}

#if defined(__SSE2__)

/// SanitizeSample on four lanes: 0 for NaN, infinity and |x| <= 1e-25, else x held to +-64.
inline __m128 Sanitize4(__m128 x)
{
    const __m128 magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 keep = _mm_and_ps(_mm_cmpgt_ps(magnitude, _mm_set1_ps(1e-25f)),
                                   _mm_cmple_ps(magnitude, _mm_set1_ps(3.40282347e38f)));
    const __m128 held = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-64.0f)), _mm_set1_ps(64.0f));
    return _mm_and_ps(keep, held);
}

/// RoundHalfAway on four lanes; a zero result may lose its sign.
inline __m128 RoundHalfAway4(__m128 x)
{
    // Below 2^23 the truncation and x minus it are exact; from there on x is whole already.
    const __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
    const __m128 rest = _mm_sub_ps(x, whole);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 up = _mm_and_ps(_mm_cmpge_ps(rest, _mm_set1_ps(0.5f)), one);
    const __m128 down = _mm_and_ps(_mm_cmple_ps(rest, _mm_set1_ps(-0.5f)), one);
    const __m128 rounded = _mm_sub_ps(_mm_add_ps(whole, up), down);
    const __m128 small = _mm_cmplt_ps(_mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))),
                                      _mm_set1_ps(8388608.0f));
    return _mm_or_ps(_mm_and_ps(small, rounded), _mm_andnot_ps(small, x));
}

#endif

} // namespace lumenfall::engine
