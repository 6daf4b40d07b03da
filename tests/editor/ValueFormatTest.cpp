#include "plugin/editor/ValueFormat.h"

#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(FormatEntryText, ShowsTheValueWithoutFloatNoise)
{
    struct Case
    {
        double value;
        int decimals;
        const char* expected;
    };
    const Case cases[] = {
        {2.4f, 3, "2.4"},
        {0.35f, 3, "0.35"},
        {0.35f, 2, "0.35"},
        {0.65f, 3, "0.65"},
        {16000.0, 0, "16000"},
        {80.4, 0, "80"},
        {2.5, 3, "2.5"},
        {-2.5, 2, "-2.5"},
        {-0.0001, 2, "0"},
        {-0.0, 2, "0"},
        {100.0, 2, "100"},
    };
    for (const Case& c : cases)
    {
        char text[64];
        FormatEntryText(c.value, c.decimals, text, sizeof(text));
        EXPECT_STREQ(text, c.expected) << c.value;
    }
}

// Every default, typed back unchanged, is the value it came from.
TEST(FormatEntryText, EveryDefaultReadsBackAsItself)
{
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        const float value = engine::ParamDefault(i);
        char text[64];
        FormatEntryText(value, 3, text, sizeof(text));
        double parsed = 0.0;
        ASSERT_TRUE(ParseParamValue(i, text, &parsed)) << engine::ParamName(i) << ": " << text;
        EXPECT_EQ(static_cast<float>(parsed), value) << engine::ParamName(i) << ": " << text;
    }
}

} // namespace
} // namespace lumenfall::editor
