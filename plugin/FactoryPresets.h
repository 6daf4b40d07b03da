#pragma once

#include "plugin/engine/Parameters.h"

#include <array>

namespace lumenfall
{

/// Number of parameters of the effect; every float block below is in `ParamId` order.
inline constexpr int kParamCount = engine::kParamCount;

/// Number of factory presets: two per reverb model.
inline constexpr int kFactoryPresetCount = 26;

/// One factory preset: its display name and the 32 parameter values in their own units.
struct FactoryPreset
{
    const char* name;
    std::array<float, kParamCount> values;
};

/// The 26 factory presets in menu order; presets 2k and 2k + 1 use reverb model k.
const std::array<FactoryPreset, kFactoryPresetCount>& GetFactoryPresets();

/// Largest distance at which `values[param]` still counts as equal to a preset's value:
/// max((maximum - minimum) x 2e-6, 1e-5), in single precision.
float PresetMatchTolerance(int param);

/// Index of the first factory preset whose 32 values all lie within their tolerance of
/// `values`, or -1 when none does.
int FindMatchingFactoryPreset(const std::array<float, kParamCount>& values);

} // namespace lumenfall
