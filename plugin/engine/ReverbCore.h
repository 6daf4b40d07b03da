#pragma once

// One complete reverb voice, the structures of this folder wired together. Per sample:
//   early = EarlyTaps(x)                               (every model)
//   (dL, dR) = InputDiffusers((1 - F) x)               (every model but Spring)
//   late = FeedbackNetwork | PlateTank | SpringChain   (by model, on the FeedbackLines)
//   wet = OutputFilters(late, early, gate envelope)
// with one LFO, phase p += 2 pi "Modulation Rate" / fs per sample, that modulates the line reads.

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/DelayLine.h"
#include "plugin/engine/EarlyTaps.h"
#include "plugin/engine/FeedbackLines.h"
#include "plugin/engine/FeedbackNetwork.h"
#include "plugin/engine/GateEnvelope.h"
#include "plugin/engine/InputDiffusers.h"
#include "plugin/engine/OutputFilters.h"
#include "plugin/engine/Parameters.h"
#include "plugin/engine/PlateTank.h"
#include "plugin/engine/SpringChain.h"

#include <cstdint>

namespace lumenfall::engine
{

/// Samples-since-onset value that means "no onset seen since the last reset".
inline constexpr std::int64_t kNoOnset = 1000000000;

/// The values at each sample of a block of the parameters that glide inside the block form, which
/// follows them sample by sample as the reference form does: "Modulation Rate" and "Modulation
/// Depth" (both or neither), "Diffusion", "Density", "Size", the gate's "Gate Length", "Gate
/// Release" and "Envelope Shape" (all three or none), and "Shimmer Amount". Null while they hold
/// still.
struct CoreGlides
{
    const float* modulationRate = nullptr;
    const float* modulationDepth = nullptr;
    const float* diffusion = nullptr;
    const float* density = nullptr;
    const float* size = nullptr;
    const float* gateLength = nullptr;
    const float* gateRelease = nullptr;
    const float* envelopeShape = nullptr;
    const float* shimmer = nullptr;
    /// While "Size" glides over a block longer than the engine's refresh period: that period,
    /// the block starting at a refresh. The core then takes the refreshes inside the block at
    /// their samples, with the size there (nothing else they read glides); 0: none inside.
    int refreshPeriod = 0;

    /// The same from sample `offset` on (without refreshes inside).
    CoreGlides From(int offset) const
    {
        const auto at = [offset](const float* p) { return p != nullptr ? p + offset : nullptr; };
        return CoreGlides{at(modulationRate),
                          at(modulationDepth),
                          at(diffusion),
                          at(density),
                          at(size),
                          at(gateLength),
                          at(gateRelease),
                          at(envelopeShape),
                          at(shimmer)};
    }
};

/// One complete reverb voice: the eight feedback lines with their damping, the input diffusers,
/// the network, plate and spring structures, the early reflections, the octave shimmer and the
/// output filters. All thirteen models share it; the model chooses the late structure.
/// Processing never allocates; only Prepare sizes the lines.
class ReverbCore
{
public:
    static constexpr int kLines = FeedbackLines::kLines;
    static constexpr int kDiffusers = 12;

    ReverbCore() = default;
    ReverbCore(const ReverbCore&) = delete;
    ReverbCore& operator=(const ReverbCore&) = delete;

    /// Sizes every line for sample rate fs (feedback 0.55 s, diffusers 0.12 s, early
    /// 0.52 s) and resets to Hall. Returns false (and leaves the core unusable until a later
    /// Prepare succeeds) when a line cannot be allocated.
    bool Prepare(double sampleRate);

    /// Returns every line, filter, the LFO, the shifter and the onset counter to silence and
    /// selects the model. Gains, ratios and coefficients keep their values until the next
    /// UpdateCoefficients, which every caller runs before the next sample. Constant time.
    void Reset(ReverbModel model);

    /// The refresh: mixing rotation, one-pole coefficients, target line lengths and the
    /// per-line feedback gain and bass and treble ratios for the current parameters.
    void UpdateCoefficients(const EngineParameters& current);

    /// One pre-delayed input pair in, one wet pair out, straight from the definition of
    /// every step. This is the reference form; ProcessBlock gives the same result to float
    /// rounding and is what the engine runs.
    StereoSample ProcessSample(float xL, float xR, const EngineParameters& current, bool onset);

    /// Processes n samples with parameters that are constant over the block, but for the
    /// output levels when `levels` is not null and the LFO's rate and depth when `glides` is not
    /// null (the engine calls it only when the others have settled). onsets may be null (no
    /// onset).
    void ProcessBlock(const float* xL,
                      const float* xR,
                      const std::uint8_t* onsets,
                      float* wetL,
                      float* wetR,
                      int n,
                      const EngineParameters& current,
                      const OutputLevels* levels = nullptr,
                      const CoreGlides* glides = nullptr);

    /// Runs the block form on `set` when this CPU has it, else on the widest set it has; returns
    /// the set in use. A new core runs the widest set this CPU has.
    InstructionSet SetInstructionSet(InstructionSet set);

    /// Whether ProcessBlock takes the refreshes inside a block while "Size" glides (see
    /// CoreGlides::refreshPeriod): the network's models, whose refresh changes only the lines'
    /// lengths and gains then; the plate's and the spring's own structures follow the size at
    /// each refresh, so they take them between blocks.
    bool TakesRefreshesInBlocks() const
    {
        return LateStructureOf(mModel) == LateStructure::Network;
    }

    /// The model chosen by the last Reset.
    ReverbModel Model() const { return mModel; }
    /// Line i's length in samples: the refresh's target and the gliding value samples read at.
    float TargetLineLength(int line) const { return mLines.TargetLength(line); }
    float CurrentLineLength(int line) const { return mLines.CurrentLength(line); }
    /// Line i's loop gain g and its bass and treble band ratios from the last refresh.
    float FeedbackGain(int line) const { return mLines.Gain(line); }
    float BassRatio(int line) const { return mLines.BassRatio(line); }
    float TrebleRatio(int line) const { return mLines.TrebleRatio(line); }
    /// exp(-2 pi f / fs) of the HF-damping one-pole from the last refresh.
    float HFDampingCoefficient() const { return mLines.HFDampingCoefficient(); }

private:
    CoreSettings Settings(const EngineParameters& current) const
    {
        return CoreSettings::From(current, mModel, mSampleRate, mInstructionSet);
    }
    // The settings of the block form over samples [0, n) of `glides`: the current ones, with the
    // largest modulation depth of those samples where the depth glides.
    CoreSettings
    BlockSettings(const EngineParameters& current, const CoreGlides* glides, int n) const;
    // True when the block form can run the next n samples (else ProcessBlock runs them sample by
    // sample).
    bool BlockReady(const CoreSettings& s, int n) const;
    // Whether the late structure's block form reads all its lines for n samples before it writes.
    bool ReadsAhead(const CoreSettings& s, int n) const;
    // The block form of ProcessBlock, n <= kCoreBlock.
    void ProcessFast(const float* xL,
                     const float* xR,
                     const std::uint8_t* onsets,
                     float* wetL,
                     float* wetR,
                     int n,
                     const EngineParameters& current,
                     const CoreSettings& s,
                     const OutputLevels* levels,
                     const CoreGlides* glides);
    // The steps of ProcessFast (see there), inlined into it as if written there.
    [[gnu::always_inline]] inline void DiffuseInput(const float* xL,
                                                    const float* xR,
                                                    const CoreSettings& s,
                                                    const CoreGlides* glides,
                                                    const float* sizes,
                                                    float* dL,
                                                    float* dR,
                                                    int n);
    [[gnu::always_inline]] inline void
    RunLfo(double step, float* sinBefore, float* sinAfter, float* cosAfter, int n);
    // The LFO while its rate or depth glides: the phase sample by sample as the reference form
    // runs it, and the sines scaled by each sample's depth over s.depth, the block's largest.
    void RunGlidingLfo(const CoreGlides& glides,
                       const CoreSettings& s,
                       float* sinBefore,
                       float* sinAfter,
                       float* cosAfter,
                       int n);
    [[gnu::always_inline]] inline void RunLate(const float* xL,
                                               const float* xR,
                                               const CoreGlides* glides,
                                               const float* sizes,
                                               const float* lengths,
                                               const float* dL,
                                               const float* dR,
                                               const float* sinBefore,
                                               const float* sinAfter,
                                               const float* cosAfter,
                                               const CoreSettings& s,
                                               const EngineParameters& current,
                                               float* lateL,
                                               float* lateR,
                                               int n,
                                               const FeedbackLines::LineGains* gains,
                                               int gainsPeriod);
    [[gnu::always_inline]] inline void RunGate(const GateShape& gate,
                                               const CoreGlides* glides,
                                               const std::uint8_t* onsets,
                                               const CoreSettings& s,
                                               float* envelope,
                                               int n);
    // The onset count of one sample: 0 on an onset, else one more up to kNoOnset.
    void CountOnset(bool onset);
    // The block form's per-setting constants of the diffusers, the plate and the spring, worked
    // out again only when the size, the diffusion or the density changes.
    void UpdateBlockConstants(const CoreSettings& settings);

    FeedbackLines mLines;
    // Lines 0-3 and 4-7 are the left and right input diffusers, 8-11 the plate tank's
    // allpasses; the spring uses all twelve as its two dispersion chains.
    DelayLine mDiffusers[kDiffusers];
    EarlyTaps mEarly;
    FeedbackNetwork mNetwork;
    OutputFilters mOutput;
    InputDiffusers mInputDiffusers;
    PlateTank mPlate;
    SpringChain mSpring;
    float mConstantsKey[3] = {-1.0f, -1.0f, -1.0f}; // size, diffusion, density; -1: none
    // The LFO step of the last block and its sine and cosine.
    double mLfoStep = -1.0;
    double mLfoStepSin = 0.0;
    double mLfoStepCos = 1.0;
    double mLfoStep4Sin = 0.0; // four steps
    double mLfoStep4Cos = 1.0;

    double mLfoPhase = 0.0; // radians, 0 to 2 pi
    std::int64_t mSamplesSinceOnset = kNoOnset;
    ReverbModel mModel = ReverbModel::Hall;
    double mSampleRate = 48000.0;
    InstructionSet mInstructionSet = DetectInstructionSet();
};

} // namespace lumenfall::engine
