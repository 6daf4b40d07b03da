#include "plugin/FactoryPresets.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace lumenfall
{
namespace
{

using engine::ParamId;

struct Setting
{
    ParamId id;
    float value;
};

/// A preset from the columns that vary between presets; "Late Tail" is 90 in every preset
/// and every value not named keeps its parameter's default.
constexpr FactoryPreset MakePreset(const char* name,
                                   engine::ReverbModel model,
                                   float decay,
                                   float preDelay,
                                   float size,
                                   float mix,
                                   float width,
                                   float tone,
                                   float earlyReflections,
                                   std::initializer_list<Setting> extras = {})
{
    FactoryPreset preset{name, {}};
    for (int i = 0; i < kParamCount; ++i)
        preset.values[i] = engine::ParamDefault(static_cast<ParamId>(i));

    const auto set = [&preset](ParamId id, float value)
    { preset.values[static_cast<int>(id)] = value; };
    set(ParamId::ReverbType, static_cast<float>(model));
    set(ParamId::Decay, decay);
    set(ParamId::PreDelay, preDelay);
    set(ParamId::Size, size);
    set(ParamId::Mix, mix);
    set(ParamId::Width, width);
    set(ParamId::Tone, tone);
    set(ParamId::EarlyReflections, earlyReflections);
    set(ParamId::LateTail, 90.0f);
    for (const Setting& extra : extras)
        set(extra.id, extra.value);
    return preset;
}

constexpr std::array<FactoryPreset, kFactoryPresetCount> BuildFactoryPresets()
{
    using M = engine::ReverbModel;
    using P = ParamId;
    // Sized by the list: a preset left out fails to compile rather than leaving a null name.
    // clang-format off
    return std::to_array<FactoryPreset>({
        //          name                      model              decay  pre  size mix width  tone  early
        MakePreset("Vocal Air",               M::Ambience,       0.5f,  25,  115, 28, 105,    8,  80),
        MakePreset("Close Percussion",        M::Ambience,       0.5f,   7,   80, 20, 105,  -18,  80),
        MakePreset("Small Wooden Room",       M::SmallRoom,      0.7f,  25,  115, 28, 105,    8,  80),
        MakePreset("Dry Drum Room",           M::SmallRoom,      0.7f,   7,   80, 20, 105,  -18,  80),
        MakePreset("Studio Vocal",            M::Studio,         1.25f, 25,  115, 28, 105,    8,  80),
        MakePreset("Studio Guitar",           M::Studio,         1.25f,  7,   80, 20, 105,  -18,  80),
        MakePreset("Warm Chamber",            M::Chamber,        1.8f,  25,  115, 28, 105,    8,  80),
        MakePreset("String Chamber",          M::Chamber,        1.8f,   7,   80, 20, 105,  -18,  80),
        MakePreset("Open Vocal Hall",         M::Hall,           2.8f,  25,  115, 28, 105,    8,  40),
        MakePreset("Concert Piano",           M::Hall,           2.8f,   7,   80, 20, 105,  -18,  40),
        MakePreset("Cathedral Choir",         M::Cathedral,      7.0f,  25,  115, 28, 105,    8,  40,
                   {{P::TrebleDecay, 0.42f}, {P::HFDamping, 4200}}),
        MakePreset("Slow Cathedral",          M::Cathedral,      7.0f,   7,   80, 20, 105,  -18,  40,
                   {{P::TrebleDecay, 0.42f}, {P::HFDamping, 4200}}),
        MakePreset("Bright Vocal Plate",      M::Plate,          2.1f,  25,  115, 28, 105,    8,  40),
        MakePreset("Drum Plate",              M::Plate,          2.1f,   7,   80, 20, 105,  -18,  40),
        MakePreset("Vintage Guitar Spring",   M::Spring,         1.6f,  25,  115, 28, 105,    8,  40,
                   {{P::Diffusion, 90}, {P::LowCut, 180}, {P::HighCut, 8500}}),
        MakePreset("Short Spring Splash",     M::Spring,         1.6f,   7,   80, 20, 105,  -18,  40,
                   {{P::Diffusion, 90}, {P::LowCut, 180}, {P::HighCut, 8500}}),
        MakePreset("1980s Digital Hall",      M::VintageDigital, 3.3f,  25,  115, 28, 105,    8,  40,
                   {{P::HighCut, 12000}, {P::ModulationDepth, 32}, {P::ModulationRate, 0.55f}}),
        MakePreset("Vintage Keys",            M::VintageDigital, 3.3f,   7,   80, 20, 105,  -18,  40,
                   {{P::HighCut, 12000}, {P::ModulationDepth, 32}, {P::ModulationRate, 0.55f}}),
        MakePreset("Clear Modern Hall",       M::ModernDigital,  3.8f,  25,  115, 28, 145,    8,  40),
        MakePreset("Wide Modern Space",       M::ModernDigital,  3.8f,   7,   80, 20, 145,  -18,  40),
        MakePreset("Snare Gate",              M::Gated,          1.4f,   0,  115, 28, 105,    8,  40,
                   {{P::GateLength, 160}, {P::GateRelease, 35}}),
        MakePreset("Rhythmic Gate",           M::Gated,          1.4f,   0,   80, 20, 105,  -18,  40,
                   {{P::GateLength, 280}, {P::GateRelease, 90}}),
        MakePreset("Reverse Swell",           M::Reverse,        2.4f,   0,  115, 28, 105,    8,  15,
                   {{P::GateLength, 360}, {P::GateRelease, 90}}),
        MakePreset("Slow Reverse",            M::Reverse,        2.4f,   0,   80, 20, 105,  -18,  15,
                   {{P::GateLength, 800}, {P::GateRelease, 90}}),
        MakePreset("Octave Shimmer",          M::Shimmer,        6.0f,  40,  115, 28, 105,    8,  20,
                   {{P::ModulationDepth, 25}, {P::ShimmerAmount, 65}}),
        MakePreset("Gentle Shimmer",          M::Shimmer,        6.0f,  40,   80, 20, 105,  -18,  20,
                   {{P::ModulationDepth, 25}, {P::ShimmerAmount, 25}}),
    });
    // clang-format on
}

constexpr std::array<FactoryPreset, kFactoryPresetCount> kFactoryPresets = BuildFactoryPresets();

} // namespace

const std::array<FactoryPreset, kFactoryPresetCount>& GetFactoryPresets()
{
    return kFactoryPresets;
}

float PresetMatchTolerance(int param)
{
    const auto id = static_cast<ParamId>(param);
    const float range = engine::ParamMaximum(id) - engine::ParamMinimum(id);
    return std::max(range * 0.000002f, 0.00001f);
}

int FindMatchingFactoryPreset(const std::array<float, kParamCount>& values)
{
    const auto& presets = GetFactoryPresets();
    for (int p = 0; p < kFactoryPresetCount; ++p)
    {
        bool matches = true;
        for (int k = 0; k < kParamCount && matches; ++k)
            matches = std::fabs(values[k] - presets[p].values[k]) <= PresetMatchTolerance(k);
        if (matches)
            return p;
    }
    return -1;
}

} // namespace lumenfall
