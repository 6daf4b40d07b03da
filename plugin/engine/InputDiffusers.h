#pragma once

// The input diffusers: four Schroeder allpasses in series per channel (diffuser lines 0-3 left,
// 4-7 right) that smear the input before it enters the late structure, each blended with its
// input by "Diffusion". Every model but Spring runs them.
//
// Per sample, with E = "Diffusion" / 100 and a = 0.12 + 0.62 E, for j = 0..3 on line j (left) or
// 4 + j (right):
//   v = line.Read(d_j) - a x;  line.Write(a v + x);  x = E S(v) + (1 - E) x
// d_j = nearest((2.3 + 2.17 j) ms x fs c), and 0.43 ms longer on the right, so the two sides
// decorrelate.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayLine.h"

namespace lumenfall::engine
{

/// The two diffuser chains for one setting (see the top of this file).
class InputDiffusers
{
public:
    static constexpr int kPerSide = 4;

    InputDiffusers() = default;
    explicit InputDiffusers(const CoreSettings& settings);

    /// The reference form: one sample x of side `side` (0 left, 1 right) through its chain;
    /// `diffusers` are the core's twelve diffuser lines.
    float Step(DelayLine* diffusers, int side, float x) const;

    /// The block form: x[0..n) of one side through its chain, in place, n <= kCoreBlock.
    void Run(DelayLine* diffusers, int side, float* x, int n, InstructionSet instructionSet) const;

    /// The block form while "Diffusion" glides: diffusion[t] is its value (percent) at sample t.
    void RunGliding(DelayLine* diffusers,
                    int side,
                    const float* diffusion,
                    float* x,
                    int n,
                    InstructionSet instructionSet) const;

    /// The block form while "Size" glides: sizes[t] is the size factor c at sample t (moving one
    /// way over the block), diffusion[t] "Diffusion" (percent) at sample t, or null when it holds
    /// still; the diffusion of these settings is then used. Each allpass follows the size at its
    /// own pieces of the block.
    void RunAlongSizes(DelayLine* diffusers,
                       int side,
                       double sampleRate,
                       const float* sizes,
                       const float* diffusion,
                       float* x,
                       int n,
                       InstructionSet instructionSet) const;

private:
    float mDelay[2][kPerSide] = {}; // samples
    float mCoefficient = 0.0f;      // a
    float mBlend = 0.0f;            // E
};

} // namespace lumenfall::engine
