#include "plugin/engine/EngineMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

// Each function against the C library's over the ranges the engine uses (and beyond), relative
// to the value (absolute for sine and cosine): within a few units in the last place, and for the
// powers within the rounding of their exponent's product (|y ln x| ulps).
TEST(EngineMathTest, AgreesWithTheLibraryToTheLastBits)
{
    std::mt19937_64 random(12);
    const auto uniform = [&](double lo, double hi)
    { return std::uniform_real_distribution<double>(lo, hi)(random); };
    double exp = 0.0;
    double log = 0.0;
    double pow = 0.0;
    double pow10 = 0.0;
    double sine = 0.0;
    for (int i = 0; i < 200000; ++i)
    {
        const double x = uniform(-708.0, 709.0); // normal results
        exp = std::max(exp, std::fabs(Exp(x) - std::exp(x)) / std::exp(x));
        const double y = std::exp(uniform(-740.0, 709.0));
        log = std::max(log, std::fabs(Log(y) - std::log(y)) / std::fabs(std::log(y)));
        const double base = uniform(1e-6, 1.0);
        const double power = uniform(0.0, 10.0);
        pow = std::max(pow,
                       std::fabs(Pow(base, power) - std::pow(base, power)) / std::pow(base, power));
        const double decades = uniform(-40.0, 5.0);
        pow10 = std::max(
            pow10, std::fabs(Pow10(decades) - std::pow(10.0, decades)) / std::pow(10.0, decades));
        const double angle = uniform(-100.0, 100.0);
        double s = 0.0;
        double c = 0.0;
        SinCos(angle, s, c);
        sine = std::max({sine, std::fabs(s - std::sin(angle)), std::fabs(c - std::cos(angle))});
    }
    constexpr double kUlp = std::numeric_limits<double>::epsilon();
    EXPECT_LE(exp, 2 * kUlp);
    EXPECT_LE(log, 4 * kUlp);
    EXPECT_LE(pow, 140 * kUlp);
    EXPECT_LE(pow10, 100 * kUlp);
    EXPECT_LE(sine, 2 * kUlp);
}

// The values the engine relies on exactly: x^0 and 1^y are 1 (a unity trim, a flat gate), 0^y is
// 0 for y > 0, e^0 is 1; and the ends of the range.
// The four-lane power gives Pow10's bits in every lane, in the normal range and, lane by lane,
// beyond it (where a lane underflows to 0 or overflows), whatever the other lanes hold.
TEST(EngineMathTest, Pow10LanesEqualsPow10)
{
    std::mt19937_64 random(29);
    std::uniform_real_distribution<double> normal(-300.0, 300.0);
    std::uniform_real_distribution<double> wide(-340.0, 320.0);
    for (int i = 0; i < 50000; ++i)
    {
        std::uniform_real_distribution<double>& u = i % 4 == 0 ? wide : normal;
        const Doubles4 x{u(random), u(random), u(random), u(random)};
        const Doubles4 y = Pow10Lanes(x);
        for (int k = 0; k < 4; ++k)
        {
            ASSERT_EQ(y[k], Pow10(x[k])) << x[k];
        }
    }
}

// The four-lane sine and cosine give SinCos's bits in every lane: every quadrant, either sign,
// the quadrants' edges and the LFO's phases after many turns.
TEST(EngineMathTest, SinCosLanesEqualsSinCos)
{
    std::mt19937_64 random(31);
    std::uniform_real_distribution<double> phase(-100.0, 100.0);
    std::vector<double> edges = {0.0, -0.0, 1e-300, -1e-300, 7.0e5, -3.3e5, 1.0, -1.0};
    for (int k = -9; k <= 9; ++k)
    {
        const double edge = k * 0.78539816339744830962;
        edges.insert(edges.end(),
                     {edge, std::nextafter(edge, 1e9), std::nextafter(edge, -1e9), edge + 1e-9});
    }
    const auto check = [](const Doubles4& x)
    {
        Doubles4 sine;
        Doubles4 cosine;
        SinCosLanes(x, sine, cosine);
        for (int k = 0; k < 4; ++k)
        {
            double s = 0.0;
            double c = 0.0;
            SinCos(x[k], s, c);
            ASSERT_EQ(std::bit_cast<std::uint64_t>(sine[k]), std::bit_cast<std::uint64_t>(s))
                << x[k];
            ASSERT_EQ(std::bit_cast<std::uint64_t>(cosine[k]), std::bit_cast<std::uint64_t>(c))
                << x[k];
        }
    };
    for (std::size_t i = 0; i + 4 <= edges.size(); i += 4)
    {
        check(Doubles4{edges[i], edges[i + 1], edges[i + 2], edges[i + 3]});
    }
    for (int i = 0; i < 50000; ++i)
    {
        check(Doubles4{phase(random), phase(random), phase(random), phase(random)});
    }
}

TEST(EngineMathTest, ExactAndLimitingValues)
{
    EXPECT_EQ(Pow10(0.0), 1.0);
    EXPECT_EQ(Exp(0.0), 1.0);
    EXPECT_EQ(Pow(0.0, 0.0), 1.0);
    EXPECT_EQ(Pow(0.37, 0.0), 1.0);
    EXPECT_EQ(Pow(1.0, 7.5), 1.0);
    EXPECT_EQ(Pow(0.0, 2.5), 0.0);
    EXPECT_EQ(Pow(2.0, 1.0), 2.0);
    EXPECT_EQ(Exp(-1000.0), 0.0);
    EXPECT_EQ(Exp(1000.0), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(Exp(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(Log(0.0), -std::numeric_limits<double>::infinity());
    EXPECT_NEAR(Log(5e-320), std::log(5e-320), 1e-12); // subnormal
    EXPECT_GT(Exp(-744.0), 0.0);                       // subnormal result
    double s = 1.0;
    double c = 0.0;
    SinCos(0.0, s, c);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(c, 1.0);
}

} // namespace
} // namespace lumenfall::engine
