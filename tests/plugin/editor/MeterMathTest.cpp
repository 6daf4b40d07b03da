#include "plugin/editor/MeterMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumenfall::editor
{
namespace
{

TEST(MeterMath, LevelsReadInDecibelsOverASixtyDecibelBar)
{
    struct Case
    {
        float level;
        const char* text;
        float fill;
        bool over;
    };
    const Case cases[] = {
        {0.f, "-inf", 0.f, false},
        {3.0e-5f, "-inf", 0.f, false},
        {0.001f, "-60.0 dB", 0.f, false},
        {0.5f, "-6.0 dB", 0.8997f, false},
        {0.99999f, "0.0 dB", 1.f, false},
        {1.f, "0.0 dB", 1.f, true},
        {2.f, "6.0 dB", 1.f, true},
        {-1.f, "-inf", 0.f, false},
        {std::numeric_limits<float>::quiet_NaN(), "-inf", 0.f, false},
    };
    for (const Case& c : cases)
    {
        const MeterReading reading = ReadMeter(c.level);
        EXPECT_STREQ(reading.text, c.text) << c.level;
        EXPECT_NEAR(reading.fill, c.fill, 1e-4f) << c.level;
        EXPECT_EQ(reading.over, c.over) << c.level;
    }
}

TEST(MeterMath, DuckReadoutIsHeldToAFullBar)
{
    struct Case
    {
        float reduction;
        float fraction;
        const char* text;
    };
    const Case cases[] = {
        {0.f, 0.f, "0%"},
        {0.254f, 0.254f, "25%"},
        {1.7f, 1.f, "100%"},
        {-0.2f, 0.f, "0%"},
        {std::numeric_limits<float>::quiet_NaN(), 0.f, "0%"},
    };
    for (const Case& c : cases)
    {
        EXPECT_FLOAT_EQ(DuckFraction(c.reduction), c.fraction) << c.reduction;
        char text[16];
        FormatDuck(c.reduction, text, sizeof(text));
        EXPECT_STREQ(text, c.text) << c.reduction;
    }
}

} // namespace
} // namespace lumenfall::editor
