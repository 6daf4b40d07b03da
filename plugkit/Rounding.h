#pragma once

#include <cmath>

namespace plugkit
{

/// Nearest whole number, halves away from zero, the same on every platform (mingw-w64's
/// std::round takes 0.49999999999999994 to 1; glibc, correctly, to 0). Values from 2^52 on are
/// whole already; infinities and NaN pass through.
inline double RoundHalfAway(double x)
{
    if (!(std::fabs(x) < 4503599627370496.0))
        return x;
    const double whole = std::trunc(x); // exact below 2^52, as is x - whole
    const double rest = x - whole;
    return whole + (rest >= 0.5 ? 1.0 : 0.0) - (rest <= -0.5 ? 1.0 : 0.0);
}

} // namespace plugkit
