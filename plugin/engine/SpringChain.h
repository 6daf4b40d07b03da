#pragma once

// The spring: the late reverb of the Spring model, one loop per channel through feedback line
// ch (0 left, 1 right) and a dispersion chain of six allpasses (diffuser lines 6 ch .. 6 ch + 5),
// with negative feedback. The input diffusers are not used.
//
// Per sample and channel, with the line length L_ch, the modulation depth D and the LFO sine s0
// taken before this sample's step:
//   o = line_ch.Read(L_ch + s0 D w_ch),  w = 0.61 (left), -0.47 (right)
//   x = 0.48 (1 - F) x_ch - Damp_ch(o)
//   for n = 0..5: v = A_n.Read(d_n) - a_n x; A_n.Write(v a_n + x); x = S(v)
//   line_ch.Write(x)   (lines 2-7 are written silent)
// with d_n = nearest((0.19 + 0.29 n + 0.047 ch) ms x fs c s), s = 0.75 + 0.5 "Density" / 100,
// held to the line, and a_n = 0.42 + 0.36 E - 0.018 n. Each side hears the other a little:
//   late = (r_0 + 0.18 r_1, r_1 + 0.18 r_0),  r_ch = 0.7 o.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/FeedbackLines.h"

namespace lumenfall::engine
{

/// The spring loops for one setting (see the top of this file).
class SpringChain
{
public:
    static constexpr int kAllpasses = 6; ///< per channel

    /// The chain's delays and coefficients for `settings`; `diffusers` are the core's twelve
    /// diffuser lines (their capacity holds the delays).
    SpringChain() = default;
    SpringChain(const CoreSettings& settings, const DelayLine* diffusers);

    /// The reference form: one sample; `s0` is the LFO sine before this sample's step.
    StereoSample Step(FeedbackLines& lines,
                      DelayLine* diffusers,
                      float xL,
                      float xR,
                      float s0,
                      const CoreSettings& settings) const;

    /// True when the block form can run n samples: every line read of the block comes before the
    /// block's writes (always so within the parameter ranges; else the caller runs Step).
    static bool ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n);

    /// The block form over n <= kCoreBlock samples with ReadsAhead true: s0[t] is the LFO sine
    /// before sample t's step; `sizes`, `diffusions`, `densities` and `lengths` as in
    /// PlateTank::Run.
    void Run(FeedbackLines& lines,
             DelayLine* diffusers,
             const float* xL,
             const float* xR,
             const float* s0,
             const CoreSettings& settings,
             float* lateL,
             float* lateR,
             int n,
             const float* sizes = nullptr,
             const float* diffusions = nullptr,
             const float* densities = nullptr,
             const float* lengths = nullptr) const;

private:
    float mDelay[2 * kAllpasses] = {};       // samples, whole numbers in [1, MaxDelay()]
    float mCoefficient[2 * kAllpasses] = {}; // left chain, then right
};

} // namespace lumenfall::engine
