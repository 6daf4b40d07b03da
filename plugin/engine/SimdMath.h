#pragma once

// The engine's rounding rule and the vector helpers that every block form shares: lane forms of
// the scalar sample rules, the one-pole and damped-feedback steps, and the delay reads. Each lane
// gives exactly what the scalar rule gives for it, so a block form built from these helpers
// differs from the per-sample reference form only where it reorders a sum.
//
// The lane helpers come in four lanes (SSE2, every x86-64 CPU) and eight (AVX2). They are always
// inlined templates: a block form written once over the lane type and instantiated in a function
// compiled for AVX2 (target attribute) gets AVX2 code there and nowhere else, so the module still
// runs on a CPU without it. Both widths do the same operations on every lane, in the same order
// and without fused multiply-adds, so a block form gives the same bits in either.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayBank.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/EngineMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#if !defined(__SSE2__)
#error "The engine's block forms need SSE2, the x86-64 baseline."
#endif
// SSE2 intrinsics, and the declarations of the AVX builtins that the eight-lane helpers use.
#include <immintrin.h>

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

/// Four and eight float lanes: __m128 and __m256 without their may_alias attribute, which a
/// template argument would drop.
typedef float Lanes4 __attribute__((vector_size(16)));
typedef float Lanes8 __attribute__((vector_size(32)));
typedef unsigned LaneBits4 __attribute__((vector_size(16)));
typedef unsigned LaneBits8 __attribute__((vector_size(32)));

template <class V>
inline constexpr int kLaneCount = static_cast<int>(sizeof(V) / sizeof(float));

/// The mask type of V's lanes: ints, all ones where a comparison holds.
template <class V>
using LaneMask = decltype(V{} < V{});

template <class V>
[[gnu::always_inline]] inline V LoadLanes(const float* p)
{
    V x;
    std::memcpy(&x, p, sizeof(V));
    return x;
}

template <class V>
[[gnu::always_inline]] inline void StoreLanes(float* p, V x)
{
    std::memcpy(p, &x, sizeof(V));
}

template <class V>
[[gnu::always_inline]] inline V SplatLanes(float x)
{
    return V{} + x;
}

/// x where `keep` is set, else 0.
template <class V>
[[gnu::always_inline]] inline V KeepLanes(V x, LaneMask<V> keep)
{
    return reinterpret_cast<V>(reinterpret_cast<LaneMask<V>>(x) & keep);
}

/// |x| on every lane.
template <class V>
[[gnu::always_inline]] inline V AbsLanes(V x)
{
    return reinterpret_cast<V>(reinterpret_cast<LaneMask<V>>(x) & 0x7fffffff);
}

/// The lane-wise minimum and maximum as minps and maxps give them: b where a lane is NaN.
template <class V>
[[gnu::always_inline]] inline V MinLanes(V a, V b)
{
    if constexpr (sizeof(V) == sizeof(Lanes8))
    {
        return __builtin_ia32_minps256(a, b);
    }
    else
    {
        return __builtin_ia32_minps(a, b);
    }
}

template <class V>
[[gnu::always_inline]] inline V MaxLanes(V a, V b)
{
    if constexpr (sizeof(V) == sizeof(Lanes8))
    {
        return __builtin_ia32_maxps256(a, b);
    }
    else
    {
        return __builtin_ia32_maxps(a, b);
    }
}

/// Each lane truncated to a whole number (lanes must lie in the int range), and back.
template <class V>
[[gnu::always_inline]] inline LaneMask<V> TruncateLanes(V x)
{
    return __builtin_convertvector(x, LaneMask<V>);
}

template <class V>
[[gnu::always_inline]] inline V ToFloatLanes(LaneMask<V> x)
{
    return __builtin_convertvector(x, V);
}

/// SanitizeSample on every lane: 0 for NaN, infinity and |x| <= 1e-25, else x held to +-64.
template <class V>
[[gnu::always_inline]] inline V SanitizeLanes(V x)
{
    // One integer comparison of |x|'s bits b: 1e-25 < |x| <= FLT_MAX (NaN fails) is
    // bits(1e-25) < b <= bits(FLT_MAX), an unsigned range check of b - bits(1e-25) - 1, which is
    // a signed one with the sign bit flipped (the flip folded into the addition, which wraps).
    using Mask = LaneMask<V>;
    using Bits = std::conditional_t<sizeof(V) == sizeof(Lanes8), LaneBits8, LaneBits4>;
    constexpr unsigned kSmall = std::bit_cast<unsigned>(1e-25f);
    constexpr unsigned kLargest = std::bit_cast<unsigned>(3.40282347e38f);
    const Bits b = reinterpret_cast<Bits>(reinterpret_cast<Mask>(x) & 0x7fffffff);
    const Mask flipped = reinterpret_cast<Mask>(b + (0x80000000u - kSmall - 1u));
    const Mask keep = flipped < static_cast<int>(kLargest - kSmall - 0x80000000u);
    return KeepLanes(MinLanes(MaxLanes(x, SplatLanes<V>(-64.0f)), SplatLanes<V>(64.0f)), keep);
}

/// RoundHalfAway on every lane; a zero result may lose its sign.
template <class V>
[[gnu::always_inline]] inline V RoundHalfAwayLanes(V x)
{
    // Below 2^23 the truncation and x minus it are exact; from there on x is whole already.
    const V whole = ToFloatLanes<V>(TruncateLanes(x));
    const V rest = x - whole;
    const V one = SplatLanes<V>(1.0f);
    const V rounded = whole + KeepLanes(one, rest >= 0.5f) - KeepLanes(one, rest <= -0.5f);
    const LaneMask<V> small = AbsLanes(x) < 8388608.0f;
    return KeepLanes(rounded, small) + KeepLanes(x, ~small);
}

/// A glide whose distance from `target` shrinks by a constant factor per sample, `offset` away
/// before the first of n samples: out[t] = target + offset x powers[t] (the factor's powers from a
/// table, so that the samples need not wait for each other), or the target itself once that
/// distance is below `arrived`.
template <class V>
[[gnu::always_inline]] inline void GlideAlongPowers(
    double target, double offset, const double* powers, double arrived, float* out, int n)
{
    constexpr int L = kLaneCount<V>;
    typedef double Wide __attribute__((vector_size(L * sizeof(double))));
    // The distance shrinks one way: where the last sample has not arrived, none has; else the
    // groups of lanes whose last sample has not, sample by sample up to the first that has, and
    // the target from there on.
    const auto group = [&](int t)
    {
        Wide power;
        std::memcpy(&power, powers + t, sizeof(power));
        StoreLanes(out + t, __builtin_convertvector(target + offset * power, V));
    };
    int t = 0;
    if (n > 0 && std::abs(offset * powers[n - 1]) >= arrived)
    {
        for (; t + L <= n; t += L)
        {
            group(t);
        }
    }
    else
    {
        for (; t + L <= n && std::abs(offset * powers[t + L - 1]) >= arrived; t += L)
        {
            group(t);
        }
    }
    for (; t < n; ++t)
    {
        const double at = offset * powers[t];
        if (std::abs(at) < arrived)
        {
            std::fill(out + t, out + n, static_cast<float>(target));
            return;
        }
        out[t] = static_cast<float>(target + at);
    }
}

/// OnePoleStep on every lane: state = S((state - x) a + x); returns the new state.
template <class V>
[[gnu::always_inline]] inline V OnePoleLanes(V& state, V x, V a)
{
    state = SanitizeLanes((state - x) * a + x);
    return state;
}

/// The four-lane forms.
inline __m128 Sanitize4(__m128 x)
{
    return SanitizeLanes<Lanes4>(x);
}

inline __m128 RoundHalfAway4(__m128 x)
{
    return RoundHalfAwayLanes<Lanes4>(x);
}

/// The largest of the four lanes.
inline float MaxLane4(__m128 x)
{
    x = _mm_max_ps(x, _mm_movehl_ps(x, x));
    return _mm_cvtss_f32(_mm_max_ss(x, _mm_shuffle_ps(x, x, 1)));
}

/// FeedbackLines::Damp on lines side by side: their coefficients and filter states, one line per
/// lane (FeedbackLines::LoadDamping and StoreDamping move them in and out).
template <class V>
struct Damping
{
    V bassCoefficient;
    V hfCoefficient;
    V bassRatioLessOne; ///< B - 1
    V trebleRatio;      ///< T
    V gain;             ///< g
    V low;
    V high;

    /// The damped feedback of the line outputs x before the freeze blend, (high + T (d - high)) g
    /// with d = x + (B - 1) low; advances both states.
    [[gnu::always_inline]] V Damp(V x)
    {
        OnePoleLanes(low, x, bassCoefficient);
        const V d = x + bassRatioLessOne * low;
        OnePoleLanes(high, d, hfCoefficient);
        return (high + trebleRatio * (d - high)) * gain;
    }

    /// The freeze blend S(y + F (x - y)) of the damped y of x: with F = 1 the loop passes x.
    [[gnu::always_inline]] static V Hold(V x, V y, V freeze)
    {
        return SanitizeLanes(y + freeze * (x - y));
    }
};

/// Where DelayBank::Read finds four lanes' samples: their two indices into DelayBank::Data() (the
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
    const __m128i base = _mm_sll_epi32(lanes, _mm_cvtsi32_si128(bank.LaneShift()));
    BankRead4 read;
    read.near = _mm_add_epi32(base, first);
    read.far = _mm_add_epi32(base, second);
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

/// x[0..n) through the Schroeder allpass on `line` with whole delay `whole` (in [1, MaxDelay()]):
///   v = line.Read(whole) - a x;  line.Write(a v + x);  x = S(v), or E S(v) + (1 - E) x (kBlend)
/// in place, n <= kCoreBlock, in pieces no longer than the delay so that each piece's reads come
/// before its writes.
template <class V, bool kBlend>
[[gnu::always_inline]] inline void
AllpassAlong(DelayLine& line, int whole, float a, float blend, float* x, int n)
{
    constexpr int L = kLaneCount<V>;
    const float keep = 1.0f - blend;
    float spare[kCoreBlock];
    for (int t0 = 0; t0 < n; t0 += whole)
    {
        const int m = std::min(n - t0, whole);
        float* xs = x + t0;
        const float* w = line.Window(line.WritePosition() - whole);
        const int written = line.Written(); // the slot `whole` back is valid from here on
        float* run = line.NextRun(m);
        float* stored = run != nullptr ? run : spare;
        int k = 0;
        if (whole <= written)
        {
            for (; k + L <= m; k += L)
            {
                const V in = LoadLanes<V>(xs + k);
                const V v = LoadLanes<V>(w + k) - a * in;
                StoreLanes(stored + k, SanitizeLanes(a * v + in));
                const V y = SanitizeLanes(v);
                StoreLanes(xs + k, kBlend ? blend * y + keep * in : y);
            }
        }
        for (; k < m; ++k)
        {
            const float v = (whole <= written + k ? w[k] : 0.0f) - a * xs[k];
            stored[k] = SanitizeSample(a * v + xs[k]);
            const float y = SanitizeSample(v);
            xs[k] = kBlend ? blend * y + keep * xs[k] : y;
        }
        if (run != nullptr)
        {
            line.Advance(m);
        }
        else
        {
            line.WriteBlockSanitized(spare, m);
        }
    }
}

/// AllpassAlong with a coefficient a[t] and a blend E[t] of its own for each sample t:
///   v = line.Read(whole) - a[t] x;  line.Write(a[t] v + x);  x = E[t] S(v) + (1 - E[t]) x
template <class V>
[[gnu::always_inline]] inline void
AllpassAlongGliding(DelayLine& line, int whole, const float* a, const float* blend, float* x, int n)
{
    constexpr int L = kLaneCount<V>;
    float spare[kCoreBlock];
    for (int t0 = 0; t0 < n; t0 += whole)
    {
        const int m = std::min(n - t0, whole);
        float* xs = x + t0;
        const float* as = a + t0;
        const float* es = blend + t0;
        const float* w = line.Window(line.WritePosition() - whole);
        const int written = line.Written(); // the slot `whole` back is valid from here on
        float* run = line.NextRun(m);
        float* stored = run != nullptr ? run : spare;
        int k = 0;
        if (whole <= written)
        {
            for (; k + L <= m; k += L)
            {
                const V in = LoadLanes<V>(xs + k);
                const V ak = LoadLanes<V>(as + k);
                const V ek = LoadLanes<V>(es + k);
                const V v = LoadLanes<V>(w + k) - ak * in;
                StoreLanes(stored + k, SanitizeLanes(ak * v + in));
                const V y = SanitizeLanes(v);
                StoreLanes(xs + k, ek * y + (1.0f - ek) * in);
            }
        }
        for (; k < m; ++k)
        {
            const float v = (whole <= written + k ? w[k] : 0.0f) - as[k] * xs[k];
            stored[k] = SanitizeSample(as[k] * v + xs[k]);
            const float y = SanitizeSample(v);
            xs[k] = es[k] * y + (1.0f - es[k]) * xs[k];
        }
        if (run != nullptr)
        {
            line.Advance(m);
        }
        else
        {
            line.WriteBlockSanitized(spare, m);
        }
    }
}

/// AllpassAlong (without a blend) with the whole delay wholeAt[t] and the coefficient aAt[t] of
/// each sample t, along the runs over which the whole delay holds still; wholeAt null: `whole`
/// throughout, aAt null: `a` throughout.
template <class V>
[[gnu::always_inline]] inline void AllpassAlongRuns(
    DelayLine& line, int whole, const int* wholeAt, float a, const float* aAt, float* x, int n)
{
    alignas(32) float ones[kCoreBlock]; // no blend: each sample's output is its S(v)
    if (aAt != nullptr)
    {
        std::fill_n(ones, n, 1.0f);
    }
    for (int t0 = 0; t0 < n;)
    {
        int t1 = n;
        if (wholeAt != nullptr)
        {
            for (t1 = t0 + 1; t1 < n && wholeAt[t1] == wholeAt[t0];)
            {
                ++t1;
            }
        }
        const int w = wholeAt != nullptr ? wholeAt[t0] : whole;
        if (aAt != nullptr)
        {
            AllpassAlongGliding<V>(line, w, aAt + t0, ones, x + t0, t1 - t0);
        }
        else
        {
            AllpassAlong<V, false>(line, w, a, 0.0f, x + t0, t1 - t0);
        }
        t0 = t1;
    }
}

/// True when every lane of the mask is set.
template <class V>
[[gnu::always_inline]] inline bool AllLanes(LaneMask<V> mask)
{
    if constexpr (sizeof(V) == sizeof(Lanes8))
    {
        return __builtin_ia32_movmskps256(reinterpret_cast<V>(mask)) == 0xff;
    }
    else
    {
        return __builtin_ia32_movmskps(reinterpret_cast<V>(mask)) == 0xf;
    }
}

/// out[t] = bank.Read(lane, d_t) for the `groups` x L samples (groups >= 1) of a block whose reads
/// all come before its writes (every delay longer than the block); delayOf(g) gives d_t for
/// samples g L..g L + L - 1. Consecutive slots while the whole delay holds still or moves by one
/// over the block (or else holds still over a group of lanes), else planned reads.
template <class V, class DelayOf>
[[gnu::always_inline]] inline void
ReadLineAlong(const DelayBank& bank, int lane, DelayOf delayOf, float* out, int groups)
{
    constexpr int L = kLaneCount<V>;
    V delay[kCoreBlock / L];
    LaneMask<V> whole[kCoreBlock / L];
    int g = 0;
    do
    {
        delay[g] =
            MaxLanes(MinLanes(delayOf(g), SplatLanes<V>(bank.MaxDelay())), SplatLanes<V>(1.0f));
        whole[g] = TruncateLanes(delay[g]);
    } while (++g < groups);
    // Mostly the whole delay stays put over a block, or moves by one: the reads are then
    // consecutive slots (sample t's second slot is sample t - 1's first), and each sample takes
    // its pair from two of three such runs.
    int w = whole[0][0];
    LaneMask<V> same = whole[0] == w;
    for (int g = 1; g < groups; ++g)
    {
        same &= whole[g] == w;
    }
    int wHighest = w;
    if (!AllLanes<V>(same))
    {
        LaneMask<V> lowest = whole[0];
        LaneMask<V> highest = whole[0];
        for (int g = 1; g < groups; ++g)
        {
            lowest = whole[g] < lowest ? whole[g] : lowest;
            highest = whole[g] > highest ? whole[g] : highest;
        }
        w = lowest[0];
        wHighest = highest[0];
        for (int j = 1; j < L; ++j)
        {
            w = std::min(w, static_cast<int>(lowest[j]));
            wHighest = std::max(wHighest, static_cast<int>(highest[j]));
        }
    }
    const float* data = bank.Lane(lane);
    const int mask = bank.Mask();
    // Until the line is full, slots not written since the last clear read as 0: sample t's
    // first slot is valid when its whole delay is at most the samples written by then.
    const bool filling = bank.Written() < bank.Capacity();
    alignas(32) float index[L];
    for (int j = 0; j < L; ++j)
    {
        index[j] = static_cast<float>(j);
    }
    const V one = SplatLanes<V>(1.0f);
    // Group g's reads from the slots of its whole delays.
    const auto read = [&](int g, V near, V far)
    {
        const V wholeFloat = ToFloatLanes<V>(whole[g]);
        if (filling)
        {
            const V valid =
                MinLanes(static_cast<float>(bank.Written() + L * g) + LoadLanes<V>(index),
                         SplatLanes<V>(static_cast<float>(bank.Capacity())));
            near = KeepLanes(near, wholeFloat <= valid);
            far = KeepLanes(far, wholeFloat < valid);
        }
        const V f = delay[g] - wholeFloat;
        StoreLanes(out + L * g, (one - f) * near + f * far);
    };
    // Group g's reads from consecutive slots, the first second slot at `slot`.
    const auto readSteady = [&](int g, int slot)
    { read(g, LoadLanes<V>(data + slot + 1), LoadLanes<V>(data + slot)); };
    const int start = (bank.WritePosition() - w - 1) & mask; // sample 0's second slot at w
    if (wHighest == w && start + L * groups <= mask)
    {
        for (int g = 0; g < groups; ++g)
        {
            readSteady(g, start + L * g);
        }
        return;
    }
    const int further = (start - 1) & mask; // sample 0's second slot at w + 1
    if (wHighest == w + 1 && further + L * groups + 1 <= mask)
    {
        for (int g = 0; g < groups; ++g)
        {
            const float* slots = data + further + L * g;
            const V a0 = LoadLanes<V>(slots + 2);
            const V a1 = LoadLanes<V>(slots + 1);
            const V a2 = LoadLanes<V>(slots);
            const LaneMask<V> longer = whole[g] != w;
            read(g, longer ? a1 : a0, longer ? a2 : a1);
        }
        return;
    }
    for (int g = 0; g < groups; ++g)
    {
        const int wg = whole[g][0];
        const int slot = (bank.WritePosition() - wg - 1 + L * g) & mask;
        if (AllLanes<V>(whole[g] == wg) && slot + L <= mask)
        {
            readSteady(g, slot);
            continue;
        }
        alignas(32) float delays[L];
        StoreLanes(delays, delay[g]);
        for (int k = 0; k < L; k += 4)
        {
            const int t = L * g + k;
            const __m128i ahead = _mm_setr_epi32(t, t + 1, t + 2, t + 3);
            const BankRead4 read =
                PlanBankRead4(bank, _mm_loadu_ps(delays + k), _mm_set1_epi32(lane), ahead);
            _mm_storeu_ps(out + t, GatherBankRead4(bank.Data(), read));
        }
    }
}

} // namespace lumenfall::engine
