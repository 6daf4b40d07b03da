#pragma once

#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/ReverbEngine.h"

#include <algorithm>
#include <random>
#include <vector>

namespace lumenfall::test
{

struct StereoBuffer
{
    std::vector<float> left;
    std::vector<float> right;

    explicit StereoBuffer(std::size_t frames = 0)
        : left(frames)
        , right(frames)
    {
    }
    std::size_t Frames() const { return left.size(); }
};

/// The block forms' instruction sets this CPU runs: the baseline, and the wide one where it can.
inline std::vector<engine::InstructionSet> InstructionSetsHere()
{
    std::vector<engine::InstructionSet> sets = {engine::InstructionSet::Sse2};
    if (engine::DetectInstructionSet() == engine::InstructionSet::Avx2)
    {
        sets.push_back(engine::InstructionSet::Avx2);
    }
    return sets;
}

inline const char* InstructionSetName(engine::InstructionSet set)
{
    return set == engine::InstructionSet::Avx2 ? "AVX2" : "SSE2";
}

/// Uniform white noise in [-amplitude, amplitude] on both channels (independent), reproducible
/// by seed.
inline StereoBuffer Noise(std::size_t frames, float amplitude, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> u(-amplitude, amplitude);
    StereoBuffer b(frames);
    for (std::size_t i = 0; i < frames; ++i)
    {
        b.left[i] = u(random);
        b.right[i] = u(random);
    }
    return b;
}

/// Parameters for measuring the reverb itself: wet only, late tail only, no pre-delay, flat
/// decay multipliers, no modulation, output filters wide open.
inline engine::EngineParameters TailParameters(engine::ReverbModel model, float decay)
{
    using engine::ParamId;
    engine::EngineParameters p;
    p[ParamId::ReverbType] = static_cast<float>(model);
    p[ParamId::Decay] = decay;
    p[ParamId::Mix] = 100.0f;
    p[ParamId::EarlyReflections] = 0.0f;
    p[ParamId::LateTail] = 100.0f;
    p[ParamId::PreDelay] = 0.0f;
    p[ParamId::BassDecay] = 1.0f;
    p[ParamId::TrebleDecay] = 1.0f;
    p[ParamId::ModulationDepth] = 0.0f;
    p[ParamId::LowCut] = 20.0f;
    p[ParamId::HighCut] = 22000.0f;
    return p;
}

/// Runs frames [start, start + n) of `input` through the engine into the same frames of `output`.
inline void ProcessAt(engine::ReverbEngine& engine,
                      const StereoBuffer& input,
                      StereoBuffer& output,
                      std::size_t start,
                      int n)
{
    const float* in[2] = {input.left.data() + start, input.right.data() + start};
    float* out[2] = {output.left.data() + start, output.right.data() + start};
    engine.Process(in, out, n, false);
}

/// Runs `input` through the engine in blocks of `block` frames and returns the output.
inline StereoBuffer Render(engine::ReverbEngine& engine, const StereoBuffer& input, int block = 512)
{
    StereoBuffer output(input.Frames());
    for (std::size_t start = 0; start < input.Frames(); start += static_cast<std::size_t>(block))
    {
        const int n = static_cast<int>(std::min<std::size_t>(block, input.Frames() - start));
        const float* in[2] = {input.left.data() + start, input.right.data() + start};
        float* out[2] = {output.left.data() + start, output.right.data() + start};
        engine.Process(in, out, n, false);
    }
    return output;
}

/// A prepared engine's response to one stereo impulse of `amplitude` at frame 0.
inline StereoBuffer ImpulseResponse(const engine::EngineParameters& parameters,
                                    double sampleRate,
                                    double seconds,
                                    float amplitude = 1.0f)
{
    engine::ReverbEngine engine;
    engine.SetParameters(parameters);
    engine.Prepare(sampleRate, 2);
    StereoBuffer input(static_cast<std::size_t>(seconds * sampleRate));
    input.left[0] = amplitude;
    input.right[0] = amplitude;
    return Render(engine, input);
}

} // namespace lumenfall::test
