#pragma once

// The engine's rounding rule and the SSE2 helpers that every block form shares: four-lane forms
// of the scalar sample rules, the one-pole and damped-feedback steps, and the delay reads. Each
// lane gives exactly what the scalar rule gives for it, so a block form built from these helpers
// differs from the per-sample reference form only where it reorders a sum.

#include "plugin/engine/DelayBank.h"
#include "plugin/engine/DelayLine.h"

#include <cmath>

#if !defined(__SSE2__)
#error "The engine's block forms need SSE2, the x86-64 baseline."
#endif
#include <emmintrin.h>

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

/// The largest of the four lanes.
inline float MaxLane4(__m128 x)
{
    x = _mm_max_ps(x, _mm_movehl_ps(x, x));
    return _mm_cvtss_f32(_mm_max_ss(x, _mm_shuffle_ps(x, x, 1)));
}

/// OnePoleStep on four lanes: state = S((state - x) a + x); returns the new state.
inline __m128 OnePole4(__m128& state, __m128 x, __m128 a)
{
    state = Sanitize4(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(state, x), a), x));
    return state;
}

/// FeedbackLines::Damp on four lines side by side: their coefficients and filter states, one
/// line per lane (FeedbackLines::LoadDamp and StoreDamp move them in and out).
struct DampLanes
{
    __m128 bassCoefficient;
    __m128 hfCoefficient;
    __m128 bassRatioLessOne; ///< B - 1
    __m128 trebleRatio;      ///< T
    __m128 gain;             ///< g
    __m128 low;
    __m128 high;

    /// The damped feedback of the line outputs x before the freeze blend, (high + T (d - high)) g
    /// with d = x + (B - 1) low; advances both states.
    __m128 Damp(__m128 x)
    {
        OnePole4(low, x, bassCoefficient);
        const __m128 d = _mm_add_ps(x, _mm_mul_ps(bassRatioLessOne, low));
        OnePole4(high, d, hfCoefficient);
        return _mm_mul_ps(_mm_add_ps(high, _mm_mul_ps(trebleRatio, _mm_sub_ps(d, high))), gain);
    }

    /// The freeze blend S(y + F (x - y)) of the damped y of x: with F = 1 the loop passes x.
    static __m128 Hold(__m128 x, __m128 y, __m128 freeze)
    {
        return Sanitize4(_mm_add_ps(y, _mm_mul_ps(freeze, _mm_sub_ps(x, y))));
    }
};

/// Where DelayBank::Read finds four lanes' samples: the two slot indices (slot x 8 + lane, the
/// slot `whole` back and the one before it), the interpolation fraction and the all-ones masks
/// of the slots that have been written since the last clear.
struct BankRead4
{
    __m128i near;
    __m128i far;
    __m128 fraction;
    __m128 nearValid;
    __m128 farValid;
};

/// Plans DelayBank::Read of lane `lanes[k]` at `delay[k]`, `ahead[k]` samples after the bank's
/// last write (a later sample of a block whose reads all precede its writes): the delay held in
/// [1, MaxDelay()] (1 when not finite) and split into its whole and fractional parts.
inline BankRead4 PlanBankRead4(const DelayBank& bank, __m128 delay, __m128i lanes, __m128i ahead)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 magnitude = _mm_and_ps(delay, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 finite = _mm_cmple_ps(magnitude, _mm_set1_ps(3.40282347e38f));
    const __m128 held = _mm_max_ps(_mm_min_ps(delay, _mm_set1_ps(bank.MaxDelay())), one);
    const __m128 d = _mm_or_ps(_mm_and_ps(finite, held), _mm_andnot_ps(finite, one));
    const __m128i whole = _mm_cvttps_epi32(d);
    const __m128 wholeFloat = _mm_cvtepi32_ps(whole);
    const __m128i mask = _mm_set1_epi32(bank.Mask());
    const __m128i position = _mm_add_epi32(_mm_set1_epi32(bank.WritePosition()), ahead);
    const __m128i first = _mm_and_si128(_mm_sub_epi32(position, whole), mask);
    const __m128i second = _mm_and_si128(_mm_sub_epi32(first, _mm_set1_epi32(1)), mask);
    // Written() + ahead, held at the capacity (SSE2 has no integer minimum).
    const __m128i capacity = _mm_set1_epi32(bank.Capacity());
    const __m128i written = _mm_add_epi32(_mm_set1_epi32(bank.Written()), ahead);
    const __m128i over = _mm_cmpgt_epi32(written, capacity);
    const __m128 valid = _mm_cvtepi32_ps(
        _mm_or_si128(_mm_and_si128(over, capacity), _mm_andnot_si128(over, written)));
    BankRead4 read;
    read.near = _mm_add_epi32(_mm_slli_epi32(first, 3), lanes);
    read.far = _mm_add_epi32(_mm_slli_epi32(second, 3), lanes);
    read.fraction = _mm_sub_ps(d, wholeFloat);
    read.nearValid = _mm_cmple_ps(wholeFloat, valid);
    read.farValid = _mm_cmplt_ps(wholeFloat, valid);
    return read;
}

/// The four samples of a planned read, (1 - f) a + f b, unwritten slots 0.
inline __m128 GatherBankRead4(const float* data, const BankRead4& read)
{
    alignas(16) int near[4];
    alignas(16) int far[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(near), read.near);
    _mm_store_si128(reinterpret_cast<__m128i*>(far), read.far);
    const __m128 a = _mm_setr_ps(data[near[0]], data[near[1]], data[near[2]], data[near[3]]);
    const __m128 b = _mm_setr_ps(data[far[0]], data[far[1]], data[far[2]], data[far[3]]);
    return _mm_add_ps(
        _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), read.fraction), _mm_and_ps(read.nearValid, a)),
        _mm_mul_ps(read.fraction, _mm_and_ps(read.farValid, b)));
}

/// `count` consecutive slots of `line` from slot `start` (masked): a pointer into the line when
/// they do not wrap, else a copy in `scratch` (at least `count` floats). For the block forms that
/// read a whole block of a line at one delay.
inline const float* BlockWindow(const DelayLine& line, int start, int count, float* scratch)
{
    const int mask = line.Mask();
    start &= mask;
    if (start + count <= mask + 1)
    {
        return line.Data() + start;
    }
    for (int k = 0; k < count; ++k)
    {
        scratch[k] = line.Data()[(start + k) & mask];
    }
    return scratch;
}

} // namespace lumenfall::engine
