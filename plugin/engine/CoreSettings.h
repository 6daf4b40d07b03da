#pragma once

// What the structures of a reverb core share: the stereo pair they produce, the block length of
// their block forms, the settings they derive from the current parameters, and the one-pole
// low-pass that the damping and the output filters are built from.

#include "plugin/engine/EngineMath.h"
#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumenfall::engine
{

/// One stereo sample pair.
struct StereoSample
{
    float left = 0.0f;  ///< left sample
    float right = 0.0f; ///< right sample
};

/// The longest run the block forms process at once, so that their scratch fits on the stack:
/// four of the engine's coefficient refresh periods, run as one while every parameter holds still.
inline constexpr int kCoreBlock = 128;

/// The run the block forms take where a longer one cannot read its lines ahead.
inline constexpr int kShortCoreBlock = 32;

/// The late-reverb structure a model runs.
enum class LateStructure
{
    Network, ///< the 8-line feedback network (every model but Plate and Spring)
    Plate,   ///< the plate tank on lines 0-3
    Spring,  ///< the spring chain on lines 0 and 1
    Count
};

inline LateStructure LateStructureOf(ReverbModel model)
{
    switch (model)
    {
    case ReverbModel::Plate:
        return LateStructure::Plate;
    case ReverbModel::Spring:
        return LateStructure::Spring;
    default:
        return LateStructure::Network;
    }
}

/// The values every structure of a core derives from the current parameters: worked out once
/// per sample by the reference form and once per block by the block form.
struct CoreSettings
{
    /// The size factor c = Size x 0.01 x 0.75 + 0.25 scales every delay time: 0.325 at 10 %,
    /// 1 at 100 %, 1.75 at 200 %.
    static constexpr float kSizeSlope = 0.75f;
    static constexpr float kSizeFloor = 0.25f;
    /// Line-read modulation at "Modulation Depth" 100 %, seconds.
    static constexpr float kMaxModulationSeconds = 0.0014f;
    /// The plate's and the spring's allpass delays scale by 0.75 + 0.5 "Density" / 100.
    static constexpr float kAllpassScaleFloor = 0.75f;
    static constexpr float kAllpassScaleSlope = 0.5f;

    ReverbModel model = ReverbModel::Hall;
    double sampleRate = 48000.0;
    InstructionSet instructionSet = InstructionSet::Sse2; ///< what the block forms run on
    float size = 1.0f;                                    ///< c
    float diffusion = 0.0f;                               ///< E = "Diffusion" / 100
    float density = 0.0f;                                 ///< "Density" / 100
    float freeze = 0.0f; ///< F, 0..1: 1 shuts the input and holds every loop at gain 1
    float open = 1.0f;   ///< 1 - F, the share of new input that enters
    float depth = 0.0f;  ///< line-read modulation depth, samples (none while frozen)

    static CoreSettings From(const EngineParameters& current,
                             ReverbModel model,
                             double sampleRate,
                             InstructionSet instructionSet)
    {
        CoreSettings s;
        s.model = model;
        s.sampleRate = sampleRate;
        s.instructionSet = instructionSet;
        s.size = current[ParamId::Size] * 0.01f * kSizeSlope + kSizeFloor;
        s.diffusion = current[ParamId::Diffusion] * 0.01f;
        s.density = current[ParamId::Density] * 0.01f;
        s.freeze = current[ParamId::Freeze];
        s.open = 1.0f - s.freeze;
        s.depth = DepthOf(current[ParamId::ModulationDepth], sampleRate, s.open);
        return s;
    }

    /// The line-read modulation depth in samples for "Modulation Depth" `percent`.
    static float DepthOf(float percent, double sampleRate, float open)
    {
        return percent * 0.01f * static_cast<float>(sampleRate) * kMaxModulationSeconds * open;
    }

    /// The factor on the plate's and the spring's allpass delays.
    float AllpassScale() const { return density * kAllpassScaleSlope + kAllpassScaleFloor; }
};

/// Coefficient a = exp(-2 pi f / fs) of the one-pole low-pass y = x + (y - x) a, with f held to
/// [10 Hz, 0.45 fs] so that every setting stays below Nyquist.
inline float OnePoleCoefficient(float hz, double sampleRate)
{
    const double f = std::clamp(static_cast<double>(hz), 10.0, 0.45 * sampleRate);
    return static_cast<float>(Exp(-2.0 * std::numbers::pi * f / sampleRate));
}

/// One sanitised low-pass step: state = S((state - x) a + x); returns the new state.
inline float OnePoleStep(float& state, float x, float a)
{
    state = SanitizeSample((state - x) * a + x);
    return state;
}

} // namespace lumenfall::engine
