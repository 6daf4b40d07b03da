#pragma once

// The plate tank: the late reverb of the Plate model, one loop through feedback lines 0 -> 1 ->
// 2 -> 3 -> 0 with an allpass before each line, damped on the way into lines 0 and 2 and fed
// there by the diffused input.
//
// Per sample, with the line lengths L_i, the modulation depth D and the LFO phase p:
//   o_i = line_i.Read(L_i + D sin(p + 1.47 i)), i = 0..3
//   line 0 <- A0(Damp_0(o_3) + 0.45 dL),  line 2 <- A1(Damp_2(o_1) + 0.45 dR)
//   line 1 <- A2(o_0),                    line 3 <- A3(o_2)
//   late = 0.42 (o_0 + o_1 - 0.35 o_2, o_2 + o_3 - 0.35 o_0)
// A_k is AllpassStep on diffuser line 8 + k with delay nearest(fs t_k c s), t = 9.7, 12.1, 17.3,
// 19.1 ms, s = 0.75 + 0.5 "Density" / 100, and coefficient 0.22 + 0.45 E (A0, A1) or
// 0.18 + 0.43 E (A2, A3). Damp_i is FeedbackLines::Damp of line i; lines 4-7 are written silent.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/FeedbackLines.h"

namespace lumenfall::engine
{

/// The plate tank for one setting (see the top of this file).
class PlateTank
{
public:
    /// The first diffuser line the tank's four allpasses use.
    static constexpr int kFirstAllpass = 8;

    /// The allpass delays and coefficients for `settings`.
    PlateTank() = default;
    explicit PlateTank(const CoreSettings& settings);

    /// The reference form: one sample at LFO phase `phase` (radians, after this sample's step).
    /// `diffusers` are the core's twelve diffuser lines.
    StereoSample Step(FeedbackLines& lines,
                      DelayLine* diffusers,
                      float dL,
                      float dR,
                      double phase,
                      const CoreSettings& settings) const;

    /// True when the block form can run n samples: every line read of the block comes before the
    /// block's writes (always so within the parameter ranges; else the caller runs Step).
    static bool ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n);

    /// The block form over n <= kCoreBlock samples with ReadsAhead true: sample t runs at the LFO
    /// phase whose sine and cosine are sines[t] and cosines[t]; where they are not null, with the
    /// size factor sizes[t], "Diffusion" diffusions[t] and "Density" densities[t] (percent; the
    /// allpasses follow them), and reading line i at lengths[i kCoreBlock + t] (while the lengths
    /// glide).
    void Run(FeedbackLines& lines,
             DelayLine* diffusers,
             const float* dL,
             const float* dR,
             const float* sines,
             const float* cosines,
             const CoreSettings& settings,
             float* lateL,
             float* lateR,
             int n,
             const float* sizes = nullptr,
             const float* diffusions = nullptr,
             const float* densities = nullptr,
             const float* lengths = nullptr) const;

private:
    float mDelay[4] = {};          // samples, A0..A3
    float mLoopCoefficient = 0.0f; // A0 and A1
    float mLineCoefficient = 0.0f; // A2 and A3
};

} // namespace lumenfall::engine
