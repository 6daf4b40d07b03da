#include "plugin/editor/ValueFormat.h"

#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace lumenfall::editor
{
namespace
{

using engine::ParamId;

constexpr int Idx(ParamId id)
{
    return static_cast<int>(id);
}

std::string Format(ParamId id, double value)
{
    char text[64];
    FormatParamValue(Idx(id), value, text, sizeof(text));
    return text;
}

struct FormatCase
{
    ParamId param;
    double value;
    const char* expected;
};

TEST(FormatParamValue, EachUnitHasItsFormat)
{
    const FormatCase cases[] = {
        {ParamId::LowCut, 1250.0, "1.25 kHz"},
        {ParamId::HighCut, 1000.0, "1.00 kHz"},
        {ParamId::LowCut, 120.0, "120 Hz"},
        {ParamId::ModulationRate, 2.5, "2.50 Hz"},
        {ParamId::ModulationRate, 9.99, "9.99 Hz"},
        {ParamId::ModulationRate, 10.0, "10 Hz"},
        {ParamId::Decay, 2.4f, "2.40 s"},
        {ParamId::PreDelay, 22.0, "22 ms"},
        {ParamId::Mix, 35.0, "35 %"},
        {ParamId::InputTrim, -6.0, "-6.0 dB"},
        {ParamId::BassDecay, 1.0, "1.00 x"},
        {ParamId::Freeze, 1.0, "1 %"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(Format(c.param, c.value), c.expected) << "value " << c.value;
}

TEST(FormatParamValue, RoundingUpAcrossAUnitBoundaryShowsTheLargerUnit)
{
    const FormatCase cases[] = {
        {ParamId::LowCut, 999.7, "1.00 kHz"},
        {ParamId::LowCut, 999.5, "1.00 kHz"},
        {ParamId::LowCut, 999.4, "999 Hz"},
        {ParamId::ModulationRate, 9.996, "10 Hz"},
        {ParamId::ModulationRate, 9.994, "9.99 Hz"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(Format(c.param, c.value), c.expected) << "value " << c.value;
}

TEST(FormatParamValue, ValuesThatRoundToZeroShowNoSign)
{
    const FormatCase cases[] = {
        {ParamId::Tone, -0.3, "0 %"},
        {ParamId::Tone, -0.0, "0 %"},
        {ParamId::InputTrim, -0.04, "0.0 dB"},
        {ParamId::Decay, -0.004, "0.00 s"},
        {ParamId::ModulationRate, -0.001, "0.00 Hz"},
        {ParamId::Tone, -0.6, "-1 %"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(Format(c.param, c.value), c.expected) << "value " << c.value;
}

TEST(FormatParamValue, BadArgumentsWriteNothingAndShortBuffersAreCut)
{
    char text[8] = "xxxxxxx";
    FormatParamValue(-1, 1.0, text, sizeof(text));
    EXPECT_STREQ(text, "");
    FormatParamValue(engine::kParamCount, 1.0, text, sizeof(text));
    EXPECT_STREQ(text, "");
    FormatParamValue(Idx(ParamId::HighCut), 1250.0, text, 5);
    EXPECT_STREQ(text, "1.25");
    FormatParamValue(Idx(ParamId::HighCut), 1250.0, nullptr, 5); // no crash
}

struct ParseCase
{
    ParamId param;
    const char* text;
    bool accepted;
    double expected = 0.0;
};

TEST(ParseParamValue, UnitsAndTheirFactors)
{
    const ParseCase cases[] = {
        {ParamId::HighCut, "2.5 kHz", true, 2500.0}, {ParamId::HighCut, "2.5KHZ", true, 2500.0},
        {ParamId::HighCut, "2.5 k", true, 2500.0},   {ParamId::HighCut, "2500", true, 2500.0},
        {ParamId::LowCut, "3 K Hz", true, 3000.0},   {ParamId::LowCut, "120hz", true, 120.0},
        {ParamId::PreDelay, "1.5s", true, 1500.0},   {ParamId::PreDelay, "1.5 S", true, 1500.0},
        {ParamId::PreDelay, "1500", true, 1500.0},   {ParamId::PreDelay, "2 s", true, 2000.0},
        {ParamId::PreDelay, "1e-3 s", true, 1.0},    {ParamId::PreDelay, "99999 ms", true, 99999.0},
        {ParamId::Decay, "250ms", true, 0.25},       {ParamId::Decay, "0.5", true, 0.5},
        {ParamId::Decay, "500 ms", true, 0.5},       {ParamId::InputTrim, "-6 dB", true, -6.0},
        {ParamId::InputTrim, "-6db", true, -6.0},    {ParamId::Mix, "5 %", true, 5.0},
        {ParamId::Mix, "  +3", true, 3.0},           {ParamId::Mix, ".5", true, 0.5},
        {ParamId::BassDecay, "1.5x", true, 1.5},     {ParamId::ReverbType, "3", true, 3.0},
    };
    for (const ParseCase& c : cases)
    {
        double value = -1.0;
        EXPECT_TRUE(ParseParamValue(Idx(c.param), c.text, &value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.expected) << c.text;
    }
}

TEST(ParseParamValue, RejectedTextLeavesTheValueAlone)
{
    const ParseCase cases[] = {
        {ParamId::HighCut, "3 kh", false},
        {ParamId::Mix, "5 pct", false},
        {ParamId::Mix, "5 ms", false},
        {ParamId::PreDelay, "2 sec", false},
        {ParamId::Decay, "1,5", false},
        {ParamId::Decay, "inf", false},
        {ParamId::Decay, "-infinity", false},
        {ParamId::Decay, "nan", false},
        {ParamId::Decay, "1e400", false},
        {ParamId::HighCut, "-1e308 k", false},
        {ParamId::Decay, "", false},
        {ParamId::Decay, "   ", false},
        {ParamId::Decay, "s", false},
        {ParamId::Decay, "abc", false},
        {ParamId::Mix, "+-3", false},
        {ParamId::Mix, "0x10", false},
        {ParamId::ReverbType, "3 %", false},
        {ParamId::InputTrim, "6 dBFS", false},
    };
    for (const ParseCase& c : cases)
    {
        double value = 42.0;
        EXPECT_FALSE(ParseParamValue(Idx(c.param), c.text, &value)) << c.text;
        EXPECT_EQ(value, 42.0) << c.text;
    }
    double value = 42.0;
    EXPECT_FALSE(ParseParamValue(Idx(ParamId::Mix), nullptr, &value));
    EXPECT_FALSE(ParseParamValue(-1, "3", &value));
    EXPECT_FALSE(ParseParamValue(engine::kParamCount, "3", &value));
    EXPECT_FALSE(ParseParamValue(Idx(ParamId::Mix), "3", nullptr));
    EXPECT_EQ(value, 42.0);
}

std::string EntryText(double value, int size = 64)
{
    char text[64];
    FormatEntryText(value, text, size);
    return text;
}

// The typed entry opens with the value as the engine and the state hold it, a float, in the
// fewest decimals that read back as that float: no display rounding, no float noise.
TEST(FormatEntryText, ShowsTheShortestTextOfTheSameFloat)
{
    const struct
    {
        double value;
        const char* expected;
    } cases[] = {
        {2.4f, "2.4"},
        {2.4, "2.4"},
        {2.4371, "2.4371"}, // a dragged value keeps its digits past the display's two
        {2.437123456789, "2.4371235"},
        {0.35f, "0.35"},
        {16000.0, "16000"},
        {80.4, "80.4"},
        {-2.5, "-2.5"},
        {-0.001, "-0.001"},
        {-0.0, "0"},
        {1e-50, "0"}, // below the smallest float
        {0.000123456789, "0.00012345679"},
        {100.0, "100"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntryText(c.value), c.expected) << c.value;
    EXPECT_EQ(EntryText(2.4371, 4), "2.4");
}

/// The number of decimals in `text`.
int Decimals(const std::string& text)
{
    const std::size_t point = text.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

// Across each parameter's range at uneven steps, as a drag leaves values: the text reads back
// as the same float, and one decimal fewer would not.
TEST(FormatEntryText, EveryValueReadsBackAsItsFloatAndNoShorterTextDoes)
{
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        const double lo = engine::ParamMinimum(i);
        const double hi = engine::ParamMaximum(i);
        for (int k = 0; k <= 997; ++k)
        {
            const double u = k / 997.0;
            for (const double value : {lo + (hi - lo) * u, lo + (hi - lo) * u * u})
            {
                const std::string text = EntryText(value);
                double parsed = 0.0;
                ASSERT_TRUE(ParseParamValue(i, text.c_str(), &parsed)) << text;
                ASSERT_EQ(static_cast<float>(parsed), static_cast<float>(value))
                    << engine::ParamName(i) << ": " << text;
                const int decimals = Decimals(text);
                if (decimals == 0)
                    continue;
                char shorter[64];
                std::snprintf(shorter,
                              sizeof(shorter),
                              "%.*f",
                              decimals - 1,
                              static_cast<double>(static_cast<float>(value)));
                ASSERT_TRUE(ParseParamValue(i, shorter, &parsed));
                ASSERT_NE(static_cast<float>(parsed), static_cast<float>(value))
                    << engine::ParamName(i) << ": " << text << " and " << shorter;
            }
        }
    }
}

// Every default, typed back unchanged, is the value it came from.
TEST(FormatEntryText, EveryDefaultReadsBackAsItself)
{
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        const float value = engine::ParamDefault(i);
        const std::string text = EntryText(value);
        double parsed = 0.0;
        ASSERT_TRUE(ParseParamValue(i, text.c_str(), &parsed))
            << engine::ParamName(i) << ": " << text;
        EXPECT_EQ(static_cast<float>(parsed), value) << engine::ParamName(i) << ": " << text;
    }
}

} // namespace
} // namespace lumenfall::editor
