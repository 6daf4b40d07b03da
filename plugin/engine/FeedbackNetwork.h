#pragma once

// The 8-line feedback delay network: the late reverb of every model but Plate and Spring.
//
// Per sample, with the line lengths L_i, the modulation depth D, the LFO phase p and the freeze
// amount F:
//
//   o_i  = line_i.Read(L_i + D sin(p + 1.618 i))           (the modulated line outputs)
//   u_i  = FeedbackLines::Damp(o_i) x (1 - 0.12 Y (1 - F))  (Y: shimmer amount, Shimmer only)
//   u    = R4 R2 R1 u, each R_s rotating the pairs (a, b) that are s apart to
//          (a cos t + b sin t, a sin t - b cos t),  t = 0.12 + 0.6653982 "Density" / 100
//          (pi/4 at 100 %, where the three stages form a scaled Hadamard transform; each
//          stage is orthogonal, so the mix neither gains nor loses energy)
//   line_j.Write(0.16 (dL sL[r] + dR sR[r]) + 0.025 Y (1 - F) (sL[j] s'L + sR[j] s'R) + u_j),
//          r = (j + model) mod 8 (the model rotates where the input enters),
//          s' the shimmer return
//   late = 0.23 sum_j w_j (sL[j], sR[j]) o_j,
//          w_j = 0.5 (j < 4),  0.5 + 0.5 "Density" / 100 (j >= 4)
//
// Vintage Digital then rounds late to steps of 1/8192; Shimmer passes late through the octave
// shifter and blends the shifted pair in: late = 1.2 Y shifted + (1 - Y) late, and the shifted
// pair is the next sample's shimmer return.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/FeedbackLines.h"
#include "plugin/engine/ShimmerShifter.h"

#include <memory>

namespace lumenfall::engine
{

/// Input and output sign patterns of the network (orthogonal to each other).
inline constexpr float NetworkSignsLeft[8] = {1, 1, -1, 1, -1, -1, 1, -1};
inline constexpr float NetworkSignsRight[8] = {1, -1, 1, 1, 1, -1, -1, -1};

struct BlockReads;

/// The 8-line feedback network and its octave shimmer (see the top of this file).
class FeedbackNetwork
{
public:
    FeedbackNetwork();
    ~FeedbackNetwork();

    /// Allocates the block form's working memory once; false when it cannot be allocated.
    bool Prepare();

    /// Silence for `model`: the shifter, the shimmer return and the input signs.
    void Reset(ReverbModel model);

    /// The refresh: the mixing rotation for "Density".
    void Update(const CoreSettings& settings);

    /// The reference form: one sample at LFO phase `phase` (radians, after this sample's step).
    StereoSample Step(FeedbackLines& lines,
                      float dL,
                      float dR,
                      double phase,
                      const CoreSettings& settings,
                      const EngineParameters& current);

    /// Whether Run reads every line of an n-sample block before it writes any (else it reads and
    /// writes sample by sample): every read reaches back past the block's first write.
    static bool ReadsAhead(const FeedbackLines& lines, const CoreSettings& settings, int n);

    /// The block form over n <= kCoreBlock samples, prepared: sample t runs at the LFO phase
    /// whose sine and cosine are sines[t] and cosines[t], where `densities` is not null taps the
    /// lines with "Density" densities[t] (percent), where `lengths` is not null reads line i
    /// at its length lengths[i kCoreBlock + t] (while the lengths glide; else at the settled
    /// ones), and where `shimmers` is not null (Shimmer only) trims, feeds back and blends with
    /// "Shimmer Amount" shimmers[t] (percent).
    void Run(FeedbackLines& lines,
             const float* dL,
             const float* dR,
             const float* sines,
             const float* cosines,
             const CoreSettings& settings,
             const EngineParameters& current,
             float* lateL,
             float* lateR,
             int n,
             const float* densities = nullptr,
             const float* lengths = nullptr,
             const float* shimmers = nullptr,
             const FeedbackLines::LineGains* gains = nullptr,
             int gainsPeriod = 0);

private:
    // Vintage Digital's rounding or Shimmer's exchange with the shifter, on one late pair.
    StereoSample Finish(StereoSample late, float shimmer);

    ShimmerShifter mShifter;
    ReverbModel mModel = ReverbModel::Hall;
    float mShimmerReturn[2] = {};
    float mInjectLeft[8] = {}; // the input signs of each line for the model
    float mInjectRight[8] = {};
    float mRotationCos = 0.70710677f;
    float mRotationSin = 0.70710677f;
    float mRotationAngle = -1.0f; // what the rotation was worked out for (none yet)
    // sin and cos of each line's LFO phase offset, for angle addition in the block form.
    float mOffsetSin[8] = {};
    float mOffsetCos[8] = {};
    // The block form's reads (about 30 KB): allocated by Prepare rather than taken from the audio
    // thread's stack.
    std::unique_ptr<BlockReads> mReads;
};

} // namespace lumenfall::engine
