#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>

namespace lumenfall::engine
{
namespace
{

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(ParamTable, RowsAreConsistent)
{
    const std::set<std::string> units = {"s", "ms", "%", "dB", "Hz", "x", ""};
    std::set<std::string> names;
    for (int i = 0; i < kParamCount; ++i)
    {
        SCOPED_TRACE(ParamName(i));
        EXPECT_TRUE(names.insert(ParamName(i)).second) << "duplicate name";
        EXPECT_EQ(units.count(ParamUnit(i)), 1u);
        EXPECT_LT(ParamMinimum(i), ParamMaximum(i));
        EXPECT_GE(ParamDefault(i), ParamMinimum(i));
        EXPECT_LE(ParamDefault(i), ParamMaximum(i));
        const ParamId id = static_cast<ParamId>(i);
        if (ParamIsWholeNumber(id))
        {
            EXPECT_EQ(ParamDefault(i), std::round(ParamDefault(i)));
            EXPECT_STREQ(ParamUnit(i), "");
        }
        if (ParamIsSwitch(id))
        {
            EXPECT_EQ(ParamMinimum(i), 0.0f);
            EXPECT_EQ(ParamMaximum(i), 1.0f);
        }
    }
    EXPECT_EQ(kParamCount, 32);
}

TEST(ParamTable, SpotChecks)
{
    struct Row
    {
        ParamId id;
        int index;
        const char* name;
        const char* unit;
        float def, min, max;
    };
    const Row rows[] = {
        {ParamId::ReverbType, 0, "Reverb Type", "", 4.0f, 0.0f, 12.0f},
        {ParamId::Decay, 1, "Decay", "s", 2.4f, 0.08f, 30.0f},
        {ParamId::OutputTrim, 8, "Output Trim", "dB", 0.0f, -24.0f, 12.0f},
        {ParamId::HighCut, 14, "High Cut", "Hz", 16000.0f, 1000.0f, 22000.0f},
        {ParamId::TrebleDecay, 16, "Treble Decay", "x", 0.65f, 0.1f, 2.0f},
        {ParamId::ModulationRate, 20, "Modulation Rate", "Hz", 0.35f, 0.05f, 5.0f},
        {ParamId::EnvelopeShape, 24, "Envelope Shape", "%", 0.0f, -100.0f, 100.0f},
        {ParamId::PreDelaySync, 28, "Pre-delay Sync", "", 0.0f, 0.0f, 1.0f},
        {ParamId::NoteDivision, 29, "Note Division", "", 4.0f, 0.0f, 10.0f},
        {ParamId::GateRelease, 30, "Gate Release", "ms", 80.0f, 5.0f, 500.0f},
        {ParamId::WetSolo, 31, "Wet Solo", "", 0.0f, 0.0f, 1.0f},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(static_cast<int>(row.id), row.index);
        EXPECT_STREQ(ParamName(row.id), row.name);
        EXPECT_STREQ(ParamUnit(row.id), row.unit);
        EXPECT_EQ(ParamDefault(row.id), row.def);
        EXPECT_EQ(ParamMinimum(row.id), row.min);
        EXPECT_EQ(ParamMaximum(row.id), row.max);
    }
    int whole = 0;
    for (int i = 0; i < kParamCount; ++i)
    {
        whole += ParamIsWholeNumber(static_cast<ParamId>(i)) ? (1 << i) : 0;
    }
    EXPECT_EQ(whole, (1 << 0) | (1 << 26) | (1 << 27) | (1 << 28) | (1 << 29) | (1 << 31));
}

// The sets the engine, the plug-in's declaration and the state validator read, as the table's
// kind, flag and shape columns give them (bit i stands for ParamId i).
TEST(ParamTable, ColumnsGiveTheReadersTheirSets)
{
    const auto mask = [](auto predicate)
    {
        std::uint32_t bits = 0;
        for (int i = 0; i < kParamCount; ++i)
        {
            bits |= predicate(static_cast<ParamId>(i)) ? 1u << i : 0u;
        }
        return bits;
    };
    EXPECT_EQ(mask(ParamIsSwitch), (1u << 26) | (1u << 27) | (1u << 28) | (1u << 31));
    EXPECT_EQ(mask([](ParamId id) { return ParamKindOf(id) == ParamKind::Choice; }),
              (1u << 0) | (1u << 29));
    EXPECT_EQ(mask([](ParamId id) { return !ParamIsSmoothed(id); }),
              (1u << 0) | (1u << 28) | (1u << 29));
    EXPECT_EQ(mask([](ParamId id) { return ParamShapeOf(id) == ParamShape::Squared; }),
              (1u << 1) | (1u << 13) | (1u << 14) | (1u << 17) | (1u << 18));

    ASSERT_EQ(ParamChoices(ParamId::ReverbType).size(), 13u);
    EXPECT_STREQ(ParamChoices(ParamId::ReverbType)[12], "Shimmer");
    ASSERT_EQ(ParamChoices(ParamId::NoteDivision).size(), 11u);
    EXPECT_STREQ(ParamChoices(ParamId::NoteDivision)[4], "1/4");
    EXPECT_TRUE(ParamChoices(ParamId::Freeze).empty());
    EXPECT_TRUE(ParamChoices(ParamId::Decay).empty());
}

// The check every table in ParamId order asserts at compile time: a row left out or two rows
// swapped fail it.
TEST(ParamTable, RowOrderCheckRejectsShortAndShuffledTables)
{
    struct Row
    {
        ParamId id;
    };
    Row rows[kParamCount];
    for (int i = 0; i < kParamCount; ++i)
    {
        rows[i].id = static_cast<ParamId>(i);
    }
    EXPECT_TRUE(RowsFollowParamIds(rows));

    Row shorter[kParamCount - 1];
    std::copy_n(rows, kParamCount - 1, shorter);
    EXPECT_FALSE(RowsFollowParamIds(shorter));

    std::swap(rows[7].id, rows[8].id);
    EXPECT_FALSE(RowsFollowParamIds(rows));
}

TEST(ParamTable, ModelAndDivisionNames)
{
    EXPECT_EQ(kReverbModelCount, 13);
    EXPECT_STREQ(ReverbModelName(0), "Ambience");
    EXPECT_STREQ(ReverbModelName(static_cast<int>(ReverbModel::VintageDigital)), "Vintage Digital");
    EXPECT_STREQ(ReverbModelName(12), "Shimmer");
    EXPECT_STREQ(ReverbModelName(13), "");
    EXPECT_STREQ(ReverbModelName(-1), "");
    EXPECT_EQ(kNoteDivisionCount, 11);
    EXPECT_STREQ(NoteDivisionName(0), "1/64");
    EXPECT_STREQ(NoteDivisionName(static_cast<int>(NoteDivision::Div1_8Dotted)), "1/8 dotted");
    EXPECT_STREQ(NoteDivisionName(10), "1/4 triplet");
    EXPECT_STREQ(NoteDivisionName(11), "");
}

TEST(ParamTable, SyncedTimesAt120Bpm)
{
    const auto ms = [](NoteDivision d)
    { return 60000.0 / 120.0 * NoteDivisionFactors[static_cast<int>(d)]; };
    EXPECT_DOUBLE_EQ(ms(NoteDivision::Div1_8Dotted), 375.0);
    EXPECT_NEAR(ms(NoteDivision::Div1_4Triplet), 333.33, 0.01);
    EXPECT_DOUBLE_EQ(ms(NoteDivision::Div1_64), 31.25);
    EXPECT_DOUBLE_EQ(ms(NoteDivision::Div1_1), 2000.0);
    EXPECT_EQ(NoteDivisionFactors[9], 0.33333334f);
    EXPECT_EQ(NoteDivisionFactors[10], 0.6666667f);
}

TEST(EngineParametersRecord, DefaultsToTheDefaultsColumn)
{
    const EngineParameters p;
    for (int i = 0; i < kParamCount; ++i)
    {
        EXPECT_EQ(p[i], ParamDefault(i)) << ParamName(i);
    }
    EXPECT_EQ(p[ParamId::HighCut], 16000.0f);
}

TEST(ClampEngineParameters, AllNaNGivesTheDefaultsExactly)
{
    float values[kParamCount];
    std::fill_n(values, kParamCount, kNaN);
    const EngineParameters clamped = ClampEngineParameters(values);
    EXPECT_EQ(std::memcmp(clamped.values.data(), ParamTables::kDefaults.data(), sizeof(values)), 0);
    const EngineParameters fromNull = ClampEngineParameters(static_cast<const float*>(nullptr));
    EXPECT_EQ(fromNull.values, ParamTables::kDefaults);
}

TEST(ClampEngineParameters, SingleValues)
{
    struct Case
    {
        ParamId id;
        float in;
        float out;
    };
    const Case cases[] = {
        {ParamId::ReverbType, 3.5f, 4.0f},     {ParamId::ReverbType, 3.49f, 3.0f},
        {ParamId::ReverbType, 12.7f, 12.0f},   {ParamId::ReverbType, -0.4f, 0.0f},
        {ParamId::NoteDivision, 10.5f, 10.0f}, {ParamId::NoteDivision, 7.5f, 8.0f},
        {ParamId::Freeze, 0.49f, 0.0f},        {ParamId::Freeze, 0.5f, 1.0f},
        {ParamId::WetSolo, 0.75f, 1.0f},       {ParamId::PreDelaySync, -3.0f, 0.0f},
        {ParamId::Bypass, kInf, 0.0f},         {ParamId::Bypass, 7.0f, 1.0f},
        {ParamId::OutputTrim, 20.0f, 12.0f},   {ParamId::InputTrim, 20.0f, 20.0f},
        {ParamId::Decay, -kInf, 2.4f},         {ParamId::Decay, 0.01f, 0.08f},
        {ParamId::Decay, 1e30f, 30.0f},        {ParamId::HighCut, kNaN, 16000.0f},
        {ParamId::Tone, -55.5f, -55.5f},       {ParamId::ModulationRate, 0.0f, 0.05f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(ParamName(c.id)) + " " + std::to_string(c.in));
        EngineParameters in;
        in[c.id] = c.in;
        const EngineParameters out = ClampEngineParameters(in);
        EXPECT_EQ(out[c.id], c.out);
        for (int i = 0; i < kParamCount; ++i)
        {
            if (i != static_cast<int>(c.id))
            {
                EXPECT_EQ(out[i], ParamDefault(i)) << ParamName(i);
            }
        }
    }
}

// Halves go away from zero and anything just below a half goes down, on every platform (mingw-w64's
// std::round(float) takes 0.49999997 up to 1).
TEST(ClampEngineParameters, WholeNumbersRoundTheSameOnEveryPlatform)
{
    const struct
    {
        ParamId id;
        float in;
        float out;
    } cases[] = {
        {ParamId::ReverbType, 0.49999997f, 0.0f},
        {ParamId::ReverbType, 3.4999998f, 3.0f},
        {ParamId::ReverbType, 3.5f, 4.0f},
        {ParamId::ReverbType, -0.4f, 0.0f},
        {ParamId::NoteDivision, 0.49999997f, 0.0f},
        {ParamId::NoteDivision, 9.499999f, 9.0f},
        {ParamId::NoteDivision, 9.5f, 10.0f},
        {ParamId::NoteDivision, 4.4999995f, 4.0f},
    };
    for (const auto& c : cases)
    {
        EngineParameters in;
        in[c.id] = c.in;
        EXPECT_EQ(ClampEngineParameters(in)[c.id], c.out) << ParamName(c.id) << " " << c.in;
    }
}

TEST(ClampEngineParameters, InRangeBlockPassesUnchanged)
{
    EngineParameters in;
    for (int i = 0; i < kParamCount; ++i)
    {
        if (!ParamIsWholeNumber(static_cast<ParamId>(i)))
        {
            in[i] = ParamMinimum(i) + 0.37f * (ParamMaximum(i) - ParamMinimum(i));
        }
    }
    in[ParamId::ReverbType] = 12.0f;
    in[ParamId::Freeze] = 1.0f;
    EXPECT_EQ(ClampEngineParameters(in).values, in.values);
}

TEST(SanitizeSample, Cases)
{
    struct Case
    {
        float in;
        float out;
    };
    const Case cases[] = {
        {1e-26f, 0.0f},
        {-1e-25f, 0.0f},
        {1e-25f, 0.0f},
        {1.5e-25f, 1.5e-25f},
        {-1.5e-25f, -1.5e-25f},
        {std::numeric_limits<float>::denorm_min(), 0.0f},
        {0.0f, 0.0f},
        {-0.0f, 0.0f},
        {0.25f, 0.25f},
        {-63.5f, -63.5f},
        {64.0f, 64.0f},
        {100.0f, 64.0f},
        {-100.0f, -64.0f},
        {std::numeric_limits<float>::max(), 64.0f},
        {kNaN, 0.0f},
        {kInf, 0.0f},
        {-kInf, 0.0f},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(SanitizeSample(c.in), c.out) << c.in;
    }
}

TEST(AtomicMeterLevels, StoresLoadsAndClears)
{
    AtomicMeterLevels shared;
    const MeterLevels zero = shared.Load();
    EXPECT_EQ(zero.inputPeak + zero.wetPeak + zero.outputPeak + zero.duckReduction, 0.0f);

    shared.Store(MeterLevels{0.5f, 0.25f, 0.75f, 0.125f});
    const MeterLevels seen = shared.Load();
    EXPECT_EQ(seen.inputPeak, 0.5f);
    EXPECT_EQ(seen.wetPeak, 0.25f);
    EXPECT_EQ(seen.outputPeak, 0.75f);
    EXPECT_EQ(seen.duckReduction, 0.125f);

    shared.Clear();
    const MeterLevels cleared = shared.Load();
    EXPECT_EQ(cleared.inputPeak + cleared.wetPeak + cleared.outputPeak + cleared.duckReduction,
              0.0f);
}

} // namespace
} // namespace lumenfall::engine
