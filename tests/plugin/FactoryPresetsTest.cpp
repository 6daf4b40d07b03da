#include "plugin/FactoryPresets.h"
#include "plugin/PluginStateRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>

namespace lumenfall
{
namespace
{

using engine::ParamId;

constexpr int Index(ParamId id)
{
    return static_cast<int>(id);
}

TEST(FactoryPresets, NamesInMenuOrder)
{
    const char* const expected[kFactoryPresetCount] = {
        "Vocal Air",          "Close Percussion", "Small Wooden Room",     "Dry Drum Room",
        "Studio Vocal",       "Studio Guitar",    "Warm Chamber",          "String Chamber",
        "Open Vocal Hall",    "Concert Piano",    "Cathedral Choir",       "Slow Cathedral",
        "Bright Vocal Plate", "Drum Plate",       "Vintage Guitar Spring", "Short Spring Splash",
        "1980s Digital Hall", "Vintage Keys",     "Clear Modern Hall",     "Wide Modern Space",
        "Snare Gate",         "Rhythmic Gate",    "Reverse Swell",         "Slow Reverse",
        "Octave Shimmer",     "Gentle Shimmer"};
    for (int p = 0; p < kFactoryPresetCount; ++p)
        EXPECT_STREQ(GetFactoryPresets()[p].name, expected[p]) << "preset " << p;
}

// The table restated as the rule it follows (two presets per model, even and odd columns,
// the model's decay and early level, the listed exceptions, defaults elsewhere), so a typo
// in a single cell shows up as a mismatch.
TEST(FactoryPresets, ValuesFollowTheirRule)
{
    const float decayByModel[13] = {
        0.5f, 0.7f, 1.25f, 1.8f, 2.8f, 7, 2.1f, 1.6f, 3.3f, 3.8f, 1.4f, 2.4f, 6};
    const std::map<int, std::map<ParamId, float>> extras = {
        {10, {{ParamId::TrebleDecay, 0.42f}, {ParamId::HFDamping, 4200}}},
        {11, {{ParamId::TrebleDecay, 0.42f}, {ParamId::HFDamping, 4200}}},
        {14, {{ParamId::Diffusion, 90}, {ParamId::LowCut, 180}, {ParamId::HighCut, 8500}}},
        {15, {{ParamId::Diffusion, 90}, {ParamId::LowCut, 180}, {ParamId::HighCut, 8500}}},
        {16,
         {{ParamId::HighCut, 12000},
          {ParamId::ModulationDepth, 32},
          {ParamId::ModulationRate, 0.55f}}},
        {17,
         {{ParamId::HighCut, 12000},
          {ParamId::ModulationDepth, 32},
          {ParamId::ModulationRate, 0.55f}}},
        {20, {{ParamId::GateLength, 160}, {ParamId::GateRelease, 35}}},
        {21, {{ParamId::GateLength, 280}, {ParamId::GateRelease, 90}}},
        {22, {{ParamId::GateLength, 360}, {ParamId::GateRelease, 90}}},
        {23, {{ParamId::GateLength, 800}, {ParamId::GateRelease, 90}}},
        {24, {{ParamId::ModulationDepth, 25}, {ParamId::ShimmerAmount, 65}}},
        {25, {{ParamId::ModulationDepth, 25}, {ParamId::ShimmerAmount, 25}}},
    };

    for (int p = 0; p < kFactoryPresetCount; ++p)
    {
        const int model = p / 2;
        const bool even = p % 2 == 0;
        std::map<ParamId, float> expected = {
            {ParamId::ReverbType, static_cast<float>(model)},
            {ParamId::Decay, decayByModel[model]},
            {ParamId::PreDelay,
             model == 10 || model == 11 ? 0.0f
             : model == 12              ? 40.0f
             : even                     ? 25.0f
                                        : 7.0f},
            {ParamId::Size, even ? 115.0f : 80.0f},
            {ParamId::Mix, even ? 28.0f : 20.0f},
            {ParamId::Width, model == 9 ? 145.0f : 105.0f},
            {ParamId::Tone, even ? 8.0f : -18.0f},
            {ParamId::EarlyReflections,
             model <= 3    ? 80.0f
             : model <= 10 ? 40.0f
             : model == 11 ? 15.0f
                           : 20.0f},
            {ParamId::LateTail, 90.0f},
            {ParamId::Freeze, 0.0f},
            {ParamId::Bypass, 0.0f},
            {ParamId::PreDelaySync, 0.0f},
            {ParamId::WetSolo, 0.0f},
            {ParamId::NoteDivision, 4.0f},
        };
        if (const auto it = extras.find(p); it != extras.end())
            for (const auto& [id, value] : it->second)
                expected[id] = value;

        const FactoryPreset& preset = GetFactoryPresets()[p];
        for (int k = 0; k < kParamCount; ++k)
        {
            const auto id = static_cast<ParamId>(k);
            const auto it = expected.find(id);
            const float want = it != expected.end() ? it->second : engine::ParamDefault(id);
            EXPECT_EQ(preset.values[k], want) << preset.name << ", parameter " << k;
        }
        EXPECT_TRUE(ValidateParameterValues(preset.values)) << preset.name;
    }
}

TEST(FactoryPresets, EachPresetMatchesItself)
{
    for (int p = 0; p < kFactoryPresetCount; ++p)
        EXPECT_EQ(FindMatchingFactoryPreset(GetFactoryPresets()[p].values), p);
}

struct MatchCase
{
    ParamId id;
    float offset;
    bool matches;
};

class PresetMatching : public testing::TestWithParam<MatchCase>
{
};

TEST_P(PresetMatching, DecidesByRangeScaledTolerance)
{
    const MatchCase c = GetParam();
    constexpr int kPreset = 8; // "Open Vocal Hall"
    auto values = GetFactoryPresets()[kPreset].values;
    values[Index(c.id)] += c.offset;
    EXPECT_EQ(FindMatchingFactoryPreset(values), c.matches ? kPreset : -1);
}

INSTANTIATE_TEST_SUITE_P(
    FactoryPresets,
    PresetMatching,
    testing::Values(MatchCase{ParamId::Mix, 0.01f, false}, // tolerance 0.0002
                    MatchCase{ParamId::Mix, 0.00015f, true},
                    MatchCase{ParamId::HighCut, 0.02f, true}, // tolerance 0.042
                    MatchCase{ParamId::HighCut, -0.04f, true},
                    MatchCase{ParamId::HighCut, 0.05f, false},
                    MatchCase{ParamId::ReverbType, 1.0f, false},
                    MatchCase{ParamId::Freeze, 0.000005f, true}, // floor 0.00001
                    MatchCase{ParamId::Freeze, 0.00002f, false},
                    MatchCase{ParamId::WetSolo, std::numeric_limits<float>::quiet_NaN(), false}));

TEST(FactoryPresets, ToleranceIsRangeScaledWithAFloor)
{
    EXPECT_FLOAT_EQ(PresetMatchTolerance(Index(ParamId::Mix)), 0.0002f);
    EXPECT_FLOAT_EQ(PresetMatchTolerance(Index(ParamId::HighCut)), 0.042f);
    EXPECT_FLOAT_EQ(PresetMatchTolerance(Index(ParamId::Freeze)), 0.00001f);
}

} // namespace
} // namespace lumenfall
