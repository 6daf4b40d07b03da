#pragma once

// The output stage of a reverb core, per side: the late and early signals mixed by "Late Tail"
// and "Early Reflections", shaped by the gate envelope m, then three sanitised one-poles:
//   x = (late "Late Tail" + early "Early Reflections") / 100 x m
//   l = S((l - x) a_low + x);   x = x - l               (low cut: x minus its low band)
//   h = S((h - x) a_high + x)                           (high cut)
//   k = S((k - h) a_tilt + h)                           (the 1800 Hz tilt reference)
//   y = h + 0.65 v (h - k) for v >= 0 (brighter), h + 0.8 (-v) (k - h) for v < 0 (darker),
//       v = "Tone" / 100
//   wet = S(y)

#include "plugin/engine/CoreSettings.h"

namespace lumenfall::engine
{

/// "Late Tail", "Early Reflections" and "Tone" (parameter values) at each sample of a block, for
/// the block form while they glide.
struct OutputLevels
{
    const float* lateTail;
    const float* earlyReflections;
    const float* tone;
};

/// The output filters of both sides (see the top of this file).
class OutputFilters
{
public:
    /// Silence: all six filter states 0.
    void Reset();

    /// The refresh: the three coefficients for "Low Cut", "High Cut" and the tilt.
    void Update(const EngineParameters& current, double sampleRate);

    /// The reference form: one wet pair from the late and early pairs and the envelope.
    StereoSample
    Step(StereoSample late, StereoSample early, float envelope, const EngineParameters& current);

    /// The block form; `envelope` may be null (all 1); `levels` null takes the three levels from
    /// `current` for the whole block.
    void Run(const float* lateL,
             const float* lateR,
             const float* earlyL,
             const float* earlyR,
             const float* envelope,
             float* wetL,
             float* wetR,
             int n,
             const EngineParameters& current,
             InstructionSet instructionSet,
             const OutputLevels* levels = nullptr);

private:
    float mLow[2] = {};
    float mHigh[2] = {};
    float mTilt[2] = {};
    float mLowCutCoefficient = 0.0f;
    float mHighCutCoefficient = 0.0f;
    float mTiltCoefficient = 0.0f;
    // What the last Update computed the coefficients from ("Low Cut", "High Cut", the rate):
    // an unchanged one is skipped.
    double mKey[3] = {};
    bool mKeyValid = false;
};

} // namespace lumenfall::engine
