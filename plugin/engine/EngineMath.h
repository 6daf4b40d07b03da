#pragma once

// The exponential, logarithm, powers, sine and cosine that the engine computes on the audio
// thread (coefficient refreshes, the LFO, the gate and reverse envelopes). They are the engine's
// own rather than the C library's because the libraries differ in speed and in their last bits:
// mingw-w64's pow is about ten times slower than glibc's, its exp about six and its sin and cos
// about twice. Each is within about two units in the last place of a double over the ranges the
// engine uses, the same in every build.
//
// Exp: x = k ln 2 + r, |r| <= ln 2 / 2 (ln 2 split in two so that k ln 2 is exact), e^r by its
// Taylor series to r^13 (the next term is below 1e-18, the sum taken by Estrin's scheme), scaled
// by 2^k.
// Log: x = m 2^e, m in [sqrt 1/2, sqrt 2), ln m = 2 atanh((m - 1) / (m + 1)) by its series to the
// 23rd power (|(m - 1) / (m + 1)| <= 0.172).
// SinCos: x = q pi/2 + r, |r| <= pi/4 (pi/2 split in three), sine and cosine of r by their series
// to r^17 and r^18, rotated by the quadrant q.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace lumenfall::engine
{

namespace math_detail
{

inline constexpr double kLn2High = 6.93147180369123816490e-01; // ln 2, upper 32 bits
inline constexpr double kLn2Low = 1.90821492927058770002e-10;  // ln 2 - kLn2High
inline constexpr double kInvLn2 = 1.44269504088896338700e+00;

// The whole number nearest to x (ties to even), |x| < 2^51, without a library call: adding and
// taking away 1.5 x 2^52 rounds away the fraction.
inline double Nearest(double x)
{
    constexpr double kShifter = 6755399441055744.0;
    const volatile double shifted = x + kShifter; // kept apart from the subtraction
    return shifted - kShifter;
}

// 2^k for the normal exponents, -1022 <= k <= 1023.
inline double TwoTo(int k)
{
    const std::uint64_t bits = static_cast<std::uint64_t>(k + 1023) << 52;
    double x;
    std::memcpy(&x, &bits, sizeof(x));
    return x;
}

/// 1 + r + r^2/2! + ... + r^13/13! for |r| <= ln 2 / 2: the series of Exp, written once for a
/// double and for lanes of them, so that both round alike. In pairs of terms by powers of r^2,
/// r^4 and r^8 (Estrin's scheme) rather than by Horner's, whose thirteen steps wait each for the
/// one before: a refresh waits for these.
template <typename T>
[[gnu::always_inline]] inline T ExpSeries(T r)
{
    const T r2 = r * r;
    const T r4 = r2 * r2;
    const T r8 = r4 * r4;
    const T p01 = r + 1.0;
    const T p23 = r * (1.0 / 6.0) + 0.5;
    const T p45 = r * (1.0 / 120.0) + 1.0 / 24.0;
    const T p67 = r * (1.0 / 5040.0) + 1.0 / 720.0;
    const T p89 = r * (1.0 / 362880.0) + 1.0 / 40320.0;
    const T p1011 = r * (1.0 / 39916800.0) + 1.0 / 3628800.0;
    const T p1213 = r * (1.0 / 6227020800.0) + 1.0 / 479001600.0;
    const T p03 = p23 * r2 + p01;
    const T p47 = p67 * r2 + p45;
    const T p811 = p1011 * r2 + p89;
    const T p07 = p47 * r4 + p03;
    const T p813 = p1213 * r4 + p811;
    return p813 * r8 + p07;
}

} // namespace math_detail

/// e^x; 0 below -745, infinity above 709.78, NaN for NaN.
inline double Exp(double x)
{
    using namespace math_detail;
    if (!(x > -745.0))
    {
        return std::isnan(x) ? x : 0.0;
    }
    if (x > 709.78)
    {
        return std::numeric_limits<double>::infinity();
    }
    const double k = Nearest(x * kInvLn2);
    const double r = (x - k * kLn2High) - k * kLn2Low;
    const double p = ExpSeries(r);
    const int n = static_cast<int>(k);
    // Results below the normal range scale in two steps.
    return n >= -1022 ? p * TwoTo(n) : p * TwoTo(n + 1000) * TwoTo(-1000);
}

/// ln x for x > 0 (finite); -infinity for 0, NaN below 0.
inline double Log(double x)
{
    using namespace math_detail;
    if (!(x > 0.0))
    {
        return x == 0.0 ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::quiet_NaN();
    }
    int e = 0;
    if (x < 2.2250738585072014e-308)
    {
        x *= 18014398509481984.0; // 2^54: a subnormal x becomes normal
        e = -54;
    }
    // x = m 2^e with m in [0.5, 1): the exponent field read and replaced.
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof(bits));
    e += static_cast<int>((bits >> 52) & 0x7ff) - 1022;
    bits = (bits & 0x800fffffffffffffULL) | 0x3fe0000000000000ULL;
    double m;
    std::memcpy(&m, &bits, sizeof(m));
    if (m < 0.70710678118654752440)
    {
        m *= 2.0;
        --e;
    }
    const double f = (m - 1.0) / (m + 1.0);
    const double f2 = f * f;
    // 2 (f + f^3/3 + ... + f^23/23), by Horner in f^2.
    double s = 1.0 / 23.0;
    for (int k = 21; k >= 1; k -= 2)
    {
        s = s * f2 + 1.0 / k;
    }
    return e * kLn2High + (2.0 * f * s + e * kLn2Low);
}

/// base^exponent for base >= 0: exp(exponent ln base), with 0^y = 0 for y > 0 and x^0 = 1.
inline double Pow(double base, double exponent)
{
    if (exponent == 0.0 || base == 1.0)
    {
        return 1.0;
    }
    if (base == 0.0)
    {
        return exponent > 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return Exp(exponent * Log(base));
}

/// 10^x.
inline double Pow10(double x)
{
    return Exp(x * 2.30258509299404568402);
}

/// Four doubles, for the forms below that take four values at once.
typedef double Doubles4 __attribute__((vector_size(32)));

/// 10^x of four values at once, equal bit for bit to Pow10 lane by lane (the same steps, on
/// vectors where every lane lies in the normal range, else lane by lane).
[[gnu::always_inline]] inline Doubles4 Pow10Lanes(Doubles4 x)
{
    using namespace math_detail;
    typedef std::int64_t Int64x4 __attribute__((vector_size(32)));
    const Doubles4 y = x * 2.30258509299404568402;
    const Int64x4 inRange = (y > -700.0) & (y < 700.0);
    if ((inRange[0] & inRange[1] & inRange[2] & inRange[3]) == 0)
    {
        return Doubles4{Exp(y[0]), Exp(y[1]), Exp(y[2]), Exp(y[3])};
    }
    constexpr double kShifter = 6755399441055744.0;
    const Doubles4 shifted = y * kInvLn2 + kShifter;
    const Doubles4 k = shifted - kShifter;
    const Doubles4 r = (y - k * kLn2High) - k * kLn2Low;
    const Doubles4 p = ExpSeries(r);
    // k is whole and far below 2^51: it stands in the low bits of shifted's mantissa, whose
    // exponent is kShifter's.
    Int64x4 shiftedBits;
    std::memcpy(&shiftedBits, &shifted, sizeof(shiftedBits));
    const Int64x4 bits = (shiftedBits - std::bit_cast<std::int64_t>(kShifter) + 1023) << 52;
    Doubles4 scale;
    std::memcpy(&scale, &bits, sizeof(scale));
    return p * scale;
}

/// powers[t] = k^t for t = 0..last, each the one before times k: the table a glide that shrinks
/// by k per sample takes its samples from (see GlideAlongPowers).
inline void FillPowers(double k, double* powers, int last)
{
    powers[0] = 1.0;
    for (int t = 1; t <= last; ++t)
    {
        powers[t] = powers[t - 1] * k;
    }
}

namespace math_detail
{

// pi/2 in three parts, the first two of 33 bits so that q times them is exact.
inline constexpr double kPiHalf1 = 1.57079632673412561417e+00;
inline constexpr double kPiHalf2 = 6.07710050630396597660e-11;
inline constexpr double kPiHalf3 = 2.02226624879595063154e-21;
inline constexpr double kTwoOverPi = 0.63661977236758134308;

/// sin r and cos r for |r| <= pi/4 by their series, sin to r^17/17! and cos to r^18/18!, written
/// once for a double and for lanes of them, so that both round alike.
template <typename T>
[[gnu::always_inline]] inline void SinCosSeries(T r, T& sine, T& cosine)
{
    const T r2 = r * r;
    T s = r2 * (1.0 / 355687428096000.0) - 1.0 / 1307674368000.0;
    s = s * r2 + 1.0 / 6227020800.0;
    s = s * r2 - 1.0 / 39916800.0;
    s = s * r2 + 1.0 / 362880.0;
    s = s * r2 - 1.0 / 5040.0;
    s = s * r2 + 1.0 / 120.0;
    s = s * r2 - 1.0 / 6.0;
    sine = r + r * r2 * s;
    T c = r2 * (-1.0 / 6402373705728000.0) + 1.0 / 20922789888000.0;
    c = c * r2 - 1.0 / 87178291200.0;
    c = c * r2 + 1.0 / 479001600.0;
    c = c * r2 - 1.0 / 3628800.0;
    c = c * r2 + 1.0 / 40320.0;
    c = c * r2 - 1.0 / 720.0;
    c = c * r2 + 1.0 / 24.0;
    c = c * r2 - 0.5;
    cosine = 1.0 + r2 * c;
}

} // namespace math_detail

/// sin x and cos x, for |x| up to about 1e6 (the engine's phases stay below 100).
inline void SinCos(double x, double& sine, double& cosine)
{
    using namespace math_detail;
    const double q = Nearest(x * kTwoOverPi);
    const double r = ((x - q * kPiHalf1) - q * kPiHalf2) - q * kPiHalf3;
    double s = 0.0;
    double c = 0.0;
    SinCosSeries(r, s, c);
    switch (static_cast<std::int64_t>(q) & 3)
    {
    case 0:
        sine = s;
        cosine = c;
        break;
    case 1:
        sine = c;
        cosine = -s;
        break;
    case 2:
        sine = -s;
        cosine = -c;
        break;
    default:
        sine = -c;
        cosine = s;
        break;
    }
}

/// SinCos of four values at once, equal bit for bit to SinCos lane by lane, for |x| below 2^50.
[[gnu::always_inline]] inline void SinCosLanes(Doubles4 x, Doubles4& sine, Doubles4& cosine)
{
    using namespace math_detail;
    typedef std::int64_t Int64x4 __attribute__((vector_size(32)));
    constexpr double kShifter = 6755399441055744.0;
    const Doubles4 shifted = x * kTwoOverPi + kShifter;
    const Doubles4 q = shifted - kShifter;
    const Doubles4 r = ((x - q * kPiHalf1) - q * kPiHalf2) - q * kPiHalf3;
    Doubles4 s;
    Doubles4 c;
    SinCosSeries(r, s, c);
    // q stands in the low bits of shifted's mantissa (1.5 x 2^52 + q), so its last two bits are
    // those of q: the quadrant swaps sine and cosine (odd) and negates them.
    Int64x4 bits;
    std::memcpy(&bits, &shifted, sizeof(bits));
    const Int64x4 odd = (bits & 1) != 0;
    const Int64x4 sineSign = (bits & 2) << 62;         // quadrants 2 and 3
    const Int64x4 cosineSign = ((bits + 1) & 2) << 62; // quadrants 1 and 2
    Int64x4 sb;
    Int64x4 cb;
    std::memcpy(&sb, &s, sizeof(sb));
    std::memcpy(&cb, &c, sizeof(cb));
    const Int64x4 sineBits = ((cb & odd) | (sb & ~odd)) ^ sineSign;
    const Int64x4 cosineBits = ((sb & odd) | (cb & ~odd)) ^ cosineSign;
    std::memcpy(&sine, &sineBits, sizeof(sine));
    std::memcpy(&cosine, &cosineBits, sizeof(cosine));
}

inline double Sin(double x)
{
    double s = 0.0;
    double c = 0.0;
    SinCos(x, s, c);
    return s;
}

} // namespace lumenfall::engine
