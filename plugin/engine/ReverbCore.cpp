#include "plugin/engine/ReverbCore.h"

#include "plugin/engine/EngineMath.h"
#include "plugin/engine/SimdMath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumenfall::engine
{

namespace
{

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// One short run's LFO table: the sines before samples 0..kShortCoreBlock, in whole groups of four.
constexpr int kLfoRun = kShortCoreBlock + 4;
// Diffuser line capacity, seconds: the longest plate allpass (19.1 ms at Size 200 % and density
// scale 1.25, 0.042 s) fits.
constexpr double kDiffuserSeconds = 0.12;

} // namespace

bool ReverbCore::Prepare(double sampleRate)
{
    mSampleRate = sampleRate;
    bool ok = mLines.Prepare(sampleRate);
    for (DelayLine& line : mDiffusers)
    {
        ok = line.Resize(DelayLine::CapacityFor(sampleRate, kDiffuserSeconds)) && ok;
    }
    ok = mEarly.Prepare(sampleRate) && ok;
    ok = mNetwork.Prepare() && ok;
    Reset(ReverbModel::Hall);
    return ok;
}

void ReverbCore::Reset(ReverbModel model)
{
    mModel = model;
    mLines.Reset();
    for (DelayLine& line : mDiffusers)
    {
        line.Clear();
    }
    mEarly.Reset(model);
    mNetwork.Reset(model);
    mOutput.Reset();
    mLfoPhase = 0.0;
    mSamplesSinceOnset = kNoOnset;
    mConstantsKey[0] = -1.0f; // the rate or the lines may have changed
}

void ReverbCore::UpdateBlockConstants(const CoreSettings& settings)
{
    const float key[3] = {settings.size, settings.diffusion, settings.density};
    if (std::equal(key, key + 3, mConstantsKey))
    {
        return;
    }
    std::copy(key, key + 3, mConstantsKey);
    // Only the model's own structures: a Reset (the one way to another model) drops the key.
    const LateStructure structure = LateStructureOf(mModel);
    if (structure != LateStructure::Spring)
    {
        mInputDiffusers = InputDiffusers(settings);
    }
    if (structure == LateStructure::Plate)
    {
        mPlate = PlateTank(settings);
    }
    if (structure == LateStructure::Spring)
    {
        mSpring = SpringChain(settings, mDiffusers);
    }
}

void ReverbCore::UpdateCoefficients(const EngineParameters& current)
{
    const CoreSettings settings = Settings(current);
    mNetwork.Update(settings);
    mLines.Update(settings, current);
    mOutput.Update(current, mSampleRate);
}

InstructionSet ReverbCore::SetInstructionSet(InstructionSet set)
{
    mInstructionSet = SupportedInstructionSet(set);
    return mInstructionSet;
}

void ReverbCore::CountOnset(bool onset)
{
    if (onset)
    {
        mSamplesSinceOnset = 0;
    }
    else if (mSamplesSinceOnset < kNoOnset)
    {
        ++mSamplesSinceOnset;
    }
}

StereoSample
ReverbCore::ProcessSample(float xL, float xR, const EngineParameters& current, bool onset)
{
    mLines.Glide();
    CountOnset(onset);
    const CoreSettings s = Settings(current);
    const StereoSample early = mEarly.Step(xL, xR, s);

    const LateStructure structure = LateStructureOf(mModel);
    float dL = s.open * xL;
    float dR = s.open * xR;
    if (structure != LateStructure::Spring)
    {
        const InputDiffusers diffusers(s);
        dL = diffusers.Step(mDiffusers, 0, dL);
        dR = diffusers.Step(mDiffusers, 1, dR);
    }

    const float s0 = static_cast<float>(Sin(mLfoPhase));
    mLfoPhase += current[ParamId::ModulationRate] * kTwoPi / mSampleRate;
    if (mLfoPhase > kTwoPi)
    {
        mLfoPhase -= kTwoPi;
    }

    StereoSample late;
    switch (structure)
    {
    case LateStructure::Plate:
        late = PlateTank(s).Step(mLines, mDiffusers, dL, dR, mLfoPhase, s);
        break;
    case LateStructure::Spring:
        late = SpringChain(s, mDiffusers).Step(mLines, mDiffusers, xL, xR, s0, s);
        break;
    default:
        late = mNetwork.Step(mLines, dL, dR, mLfoPhase, s, current);
        break;
    }

    float envelope = 1.0f;
    if (mModel == ReverbModel::Gated || mModel == ReverbModel::Reverse)
    {
        const float m = GateEnvelope(mModel,
                                     static_cast<double>(mSamplesSinceOnset) / mSampleRate,
                                     current[ParamId::GateLength],
                                     current[ParamId::GateRelease],
                                     current[ParamId::EnvelopeShape]);
        envelope = m + (1.0f - m) * s.freeze; // a frozen tail is not gated
    }
    return mOutput.Step(late, early, envelope, current);
}

void ReverbCore::ProcessBlock(const float* xL,
                              const float* xR,
                              const std::uint8_t* onsets,
                              float* wetL,
                              float* wetR,
                              int n,
                              const EngineParameters& current,
                              const OutputLevels* levels,
                              const CoreGlides* glides)
{
    for (int done = 0; done < n;)
    {
        // A run longer than the short one only where it gives what the short runs would: the
        // block form reads every line ahead.
        int m = std::min(n - done, kCoreBlock);
        const bool refreshesInside = glides != nullptr && glides->refreshPeriod > 0;
        const CoreGlides shiftedGlides = glides != nullptr ? glides->From(done) : CoreGlides{};
        const CoreGlides* runGlides =
            refreshesInside ? glides : (glides != nullptr ? &shiftedGlides : nullptr);
        const CoreSettings s = BlockSettings(current, runGlides, m);
        // A block with refreshes inside runs whole: it takes them between its pieces.
        if (!refreshesInside && m > kShortCoreBlock && !(mLines.Settled() && ReadsAhead(s, m)))
        {
            m = kShortCoreBlock;
        }
        if (BlockReady(s, m))
        {
            const OutputLevels shifted = levels != nullptr
                                             ? OutputLevels{levels->lateTail + done,
                                                            levels->earlyReflections + done,
                                                            levels->tone + done}
                                             : OutputLevels{};
            ProcessFast(xL + done,
                        xR + done,
                        onsets != nullptr ? onsets + done : nullptr,
                        wetL + done,
                        wetR + done,
                        m,
                        current,
                        s,
                        levels != nullptr ? &shifted : nullptr,
                        runGlides);
        }
        else
        {
            EngineParameters at = current;
            for (int i = done; i < done + m; ++i)
            {
                if (levels != nullptr)
                {
                    at[ParamId::LateTail] = levels->lateTail[i];
                    at[ParamId::EarlyReflections] = levels->earlyReflections[i];
                    at[ParamId::Tone] = levels->tone[i];
                }
                if (glides != nullptr && glides->modulationRate != nullptr)
                {
                    at[ParamId::ModulationRate] = glides->modulationRate[i];
                    at[ParamId::ModulationDepth] = glides->modulationDepth[i];
                }
                if (glides != nullptr && glides->diffusion != nullptr)
                {
                    at[ParamId::Diffusion] = glides->diffusion[i];
                }
                if (glides != nullptr && glides->density != nullptr)
                {
                    at[ParamId::Density] = glides->density[i];
                }
                if (glides != nullptr && glides->size != nullptr)
                {
                    at[ParamId::Size] = glides->size[i];
                }
                if (glides != nullptr && glides->gateLength != nullptr)
                {
                    at[ParamId::GateLength] = glides->gateLength[i];
                    at[ParamId::GateRelease] = glides->gateRelease[i];
                    at[ParamId::EnvelopeShape] = glides->envelopeShape[i];
                }
                if (glides != nullptr && glides->shimmer != nullptr)
                {
                    at[ParamId::ShimmerAmount] = glides->shimmer[i];
                }
                const StereoSample w =
                    ProcessSample(xL[i], xR[i], at, onsets != nullptr && onsets[i] != 0);
                wetL[i] = w.left;
                wetR[i] = w.right;
            }
        }
        done += m;
    }
}

CoreSettings
ReverbCore::BlockSettings(const EngineParameters& current, const CoreGlides* glides, int n) const
{
    CoreSettings s = Settings(current);
    if (glides != nullptr && glides->modulationDepth != nullptr)
    {
        s.depth = 0.0f;
        for (int t = 0; t < n; ++t)
        {
            s.depth = std::max(
                s.depth, CoreSettings::DepthOf(glides->modulationDepth[t], mSampleRate, s.open));
        }
    }
    return s;
}

bool ReverbCore::BlockReady(const CoreSettings& s, int n) const
{
    // Every block form follows the size and the lengths' glide sample by sample; the plate's and
    // the spring's read their lines for the whole block before they write them.
    return LateStructureOf(mModel) == LateStructure::Network || ReadsAhead(s, n);
}

bool ReverbCore::ReadsAhead(const CoreSettings& s, int n) const
{
    switch (LateStructureOf(mModel))
    {
    case LateStructure::Plate:
        return PlateTank::ReadsAhead(mLines, s, n);
    case LateStructure::Spring:
        return SpringChain::ReadsAhead(mLines, s, n);
    default:
        return FeedbackNetwork::ReadsAhead(mLines, s, n);
    }
}

void ReverbCore::ProcessFast(const float* xL,
                             const float* xR,
                             const std::uint8_t* onsets,
                             float* wetL,
                             float* wetR,
                             int n,
                             const EngineParameters& current,
                             const CoreSettings& s,
                             const OutputLevels* levels,
                             const CoreGlides* glides)
{

    // While "Size" glides, its size factor c at each sample, as CoreSettings works it out.
    const bool sizeGlides = glides != nullptr && glides->size != nullptr;
    float sizes[kCoreBlock];
    if (sizeGlides)
    {
        for (int t = 0; t < n; ++t)
        {
            sizes[t] =
                glides->size[t] * 0.01f * CoreSettings::kSizeSlope + CoreSettings::kSizeFloor;
        }
    }

    float earlyL[kCoreBlock];
    float earlyR[kCoreBlock];
    if (sizeGlides)
    {
        mEarly.RunGliding(xL, xR, s, sizes, earlyL, earlyR, n);
    }
    else
    {
        mEarly.Run(xL, xR, s, earlyL, earlyR, n);
    }

    float dL[kCoreBlock];
    float dR[kCoreBlock];
    DiffuseInput(xL, xR, s, glides, sizeGlides ? sizes : nullptr, dL, dR, n);

    float sinBefore[kCoreBlock];
    float sinAfter[kCoreBlock];
    float cosAfter[kCoreBlock];
    if (glides != nullptr && glides->modulationRate != nullptr)
    {
        RunGlidingLfo(*glides, s, sinBefore, sinAfter, cosAfter, n);
    }
    else
    {
        RunLfo(current[ParamId::ModulationRate] * kTwoPi / mSampleRate,
               sinBefore,
               sinAfter,
               cosAfter,
               n);
    }

    // While the lines' lengths glide, each line's length at each sample, after that sample's
    // glide step as ProcessSample takes it (and the last one on to the end of the last group of
    // lanes). With refreshes inside the block (the network's models) each is taken at its sample
    // before that sample's step, as the per-sample form takes it, and the network switches to its
    // gains there.
    float lengths[kLines][kCoreBlock];
    const int period = glides != nullptr && glides->refreshPeriod > 0 ? glides->refreshPeriod : n;
    const bool lengthsGlide = period < n || !mLines.Settled();
    const int whole = std::min(kCoreBlock, (n + 7) / 8 * 8);
    FeedbackLines::LineGains gains[kCoreBlock / kShortCoreBlock];
    for (int c = 0; c < n && lengthsGlide; c += period)
    {
        const int m = std::min(period, n - c);
        if (c > 0)
        {
            // Only the size has moved of what the refresh reads, and only the lines follow it.
            CoreSettings at = s;
            at.size = sizes[c];
            mLines.UpdateSize(at);
        }
        if (period < n)
        {
            gains[c / period] = mLines.Gains();
        }
        mLines.GlideAlong(&lengths[0][c], m, c + m < n ? m : whole - c, s.instructionSet);
    }

    float lateL[kCoreBlock];
    float lateR[kCoreBlock];
    RunLate(xL,
            xR,
            glides,
            sizeGlides ? sizes : nullptr,
            lengthsGlide ? &lengths[0][0] : nullptr,
            dL,
            dR,
            sinBefore,
            sinAfter,
            cosAfter,
            s,
            current,
            lateL,
            lateR,
            n,
            period < n ? gains : nullptr,
            period);

    const GateShape gate(mModel,
                         current[ParamId::GateLength],
                         current[ParamId::GateRelease],
                         current[ParamId::EnvelopeShape]);
    float envelope[kCoreBlock];
    RunGate(gate, glides, onsets, s, envelope, n);
    mOutput.Run(lateL,
                lateR,
                earlyL,
                earlyR,
                gate.Shapes() ? envelope : nullptr,
                wetL,
                wetR,
                n,
                current,
                s.instructionSet,
                levels);
}

// dL/dR = the late structure's input: x times the gate's opening, through the input diffusers
// (but for the spring, which disperses on its own).
void ReverbCore::DiffuseInput(const float* xL,
                              const float* xR,
                              const CoreSettings& s,
                              const CoreGlides* glides,
                              const float* sizes,
                              float* dL,
                              float* dR,
                              int n)
{
    const LateStructure structure = LateStructureOf(mModel);
    for (int t = 0; t < n; ++t)
    {
        dL[t] = s.open * xL[t];
        dR[t] = s.open * xR[t];
    }
    UpdateBlockConstants(s);
    const float* diffusion = glides != nullptr ? glides->diffusion : nullptr;
    if (structure != LateStructure::Spring && sizes != nullptr)
    {
        // The allpasses' whole delays follow the size, each at its own samples.
        mInputDiffusers.RunAlongSizes(
            mDiffusers, 0, s.sampleRate, sizes, diffusion, dL, n, s.instructionSet);
        mInputDiffusers.RunAlongSizes(
            mDiffusers, 1, s.sampleRate, sizes, diffusion, dR, n, s.instructionSet);
    }
    else if (structure != LateStructure::Spring && diffusion != nullptr)
    {
        mInputDiffusers.RunGliding(mDiffusers, 0, glides->diffusion, dL, n, s.instructionSet);
        mInputDiffusers.RunGliding(mDiffusers, 1, glides->diffusion, dR, n, s.instructionSet);
    }
    else if (structure != LateStructure::Spring)
    {
        mInputDiffusers.Run(mDiffusers, 0, dL, n, s.instructionSet);
        mInputDiffusers.Run(mDiffusers, 1, dR, n, s.instructionSet);
    }
}

// The LFO over n samples at `step` radians per sample: the phase runs on exactly as per sample; the
// sines come from rotating phasors seeded at the start of each short run (where the engine
// refreshes, so a long block gives what its short runs would; angle addition gives the line
// phases): the first four a step apart, each then turned four steps at a time. sinBefore[t] is the
// sine before sample t's step, sinAfter[t] and cosAfter[t] after it; whole runs are filled whatever
// n is, for block forms that read whole groups of lanes.
void ReverbCore::RunLfo(double step, float* sinBefore, float* sinAfter, float* cosAfter, int n)
{
    if (step != mLfoStep)
    {
        mLfoStep = step;
        SinCos(step, mLfoStepSin, mLfoStepCos);
        SinCos(4.0 * step, mLfoStep4Sin, mLfoStep4Cos);
    }
    for (int c = 0; c < n; c += kShortCoreBlock)
    {
        typedef double Doubles4 __attribute__((vector_size(32)));
        Doubles4 sn{};
        Doubles4 cs{};
        SinCos(mLfoPhase, sn[0], cs[0]);
        for (int k = 1; k < 4; ++k)
        {
            sn[k] = sn[k - 1] * mLfoStepCos + cs[k - 1] * mLfoStepSin;
            cs[k] = cs[k - 1] * mLfoStepCos - sn[k - 1] * mLfoStepSin;
        }
        float sines[kLfoRun];
        float cosines[kLfoRun];
        for (int k = 0; k < kLfoRun; k += 4)
        {
            StoreLanes(sines + k, __builtin_convertvector(sn, Lanes4));
            StoreLanes(cosines + k, __builtin_convertvector(cs, Lanes4));
            const Doubles4 next = sn * mLfoStep4Cos + cs * mLfoStep4Sin;
            cs = cs * mLfoStep4Cos - sn * mLfoStep4Sin;
            sn = next;
        }
        std::copy_n(sines, kShortCoreBlock, sinBefore + c);
        std::copy_n(sines + 1, kShortCoreBlock, sinAfter + c);
        std::copy_n(cosines + 1, kShortCoreBlock, cosAfter + c);
        for (int t = c; t < std::min(n, c + kShortCoreBlock); ++t)
        {
            mLfoPhase += step;
            if (mLfoPhase > kTwoPi)
            {
                mLfoPhase -= kTwoPi;
            }
        }
    }
}

namespace
{

// sines[t] and cosines[t] of phases[t] for t < n, four at a time (the phases filled to a whole
// group).
[[gnu::always_inline]] inline void
SinesAlong(const double* phases, float* sines, float* cosines, int n)
{
    for (int t = 0; t < n; t += 4)
    {
        Doubles4 x;
        std::memcpy(&x, phases + t, sizeof(x));
        Doubles4 sine;
        Doubles4 cosine;
        SinCosLanes(x, sine, cosine);
        alignas(16) float s[4];
        alignas(16) float c[4];
        StoreLanes(s, __builtin_convertvector(sine, Lanes4));
        StoreLanes(c, __builtin_convertvector(cosine, Lanes4));
        std::copy_n(s, std::min(4, n - t), sines + t);
        std::copy_n(c, std::min(4, n - t), cosines + t);
    }
}

void SinesAlong4(const double* phases, float* sines, float* cosines, int n)
{
    SinesAlong(phases, sines, cosines, n);
}

[[gnu::target("avx2")]] void SinesAlong8(const double* phases, float* sines, float* cosines, int n)
{
    SinesAlong(phases, sines, cosines, n);
}

} // namespace

void ReverbCore::RunGlidingLfo(const CoreGlides& glides,
                               const CoreSettings& s,
                               float* sinBefore,
                               float* sinAfter,
                               float* cosAfter,
                               int n)
{
    // The phase after each sample's step, as per sample; then their sines and cosines four at a
    // time (SinCosLanes gives SinCos's bits). Sample t's sine before its step is sample t - 1's
    // after it.
    sinBefore[0] = static_cast<float>(Sin(mLfoPhase));
    alignas(32) double phases[kCoreBlock + 3];
    for (int t = 0; t < n; ++t)
    {
        mLfoPhase += glides.modulationRate[t] * kTwoPi / mSampleRate;
        if (mLfoPhase > kTwoPi)
        {
            mLfoPhase -= kTwoPi;
        }
        phases[t] = mLfoPhase;
    }
    for (int t = n; t % 4 != 0; ++t)
    {
        phases[t] = 0.0; // the last group's spare lanes
    }
    (s.instructionSet == InstructionSet::Avx2 ? SinesAlong8
                                              : SinesAlong4)(phases, sinAfter, cosAfter, n);
    std::copy_n(sinAfter, n - 1, sinBefore + 1);
    // Each sample's depth as a share of the block's: the structures scale by s.depth.
    if (s.depth > 0.0f)
    {
        for (int t = 0; t < n; ++t)
        {
            const float share =
                CoreSettings::DepthOf(glides.modulationDepth[t], mSampleRate, s.open) / s.depth;
            sinBefore[t] *= share;
            sinAfter[t] *= share;
            cosAfter[t] *= share;
        }
    }
    // Whole runs for the block forms that read whole groups of lanes: reads at the lines' lengths.
    const int whole =
        std::min(kCoreBlock, (n + kShortCoreBlock - 1) / kShortCoreBlock * kShortCoreBlock);
    std::fill(sinBefore + n, sinBefore + whole, 0.0f);
    std::fill(sinAfter + n, sinAfter + whole, 0.0f);
    std::fill(cosAfter + n, cosAfter + whole, 0.0f);
}

// lateL/lateR = the model's late structure over the block.
void ReverbCore::RunLate(const float* xL,
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
                         int gainsPeriod)
{
    switch (LateStructureOf(mModel))
    {
    case LateStructure::Plate:
        mPlate.Run(mLines,
                   mDiffusers,
                   dL,
                   dR,
                   sinAfter,
                   cosAfter,
                   s,
                   lateL,
                   lateR,
                   n,
                   sizes,
                   glides != nullptr ? glides->diffusion : nullptr,
                   glides != nullptr ? glides->density : nullptr,
                   lengths);
        break;
    case LateStructure::Spring:
        mSpring.Run(mLines,
                    mDiffusers,
                    xL,
                    xR,
                    sinBefore,
                    s,
                    lateL,
                    lateR,
                    n,
                    sizes,
                    glides != nullptr ? glides->diffusion : nullptr,
                    glides != nullptr ? glides->density : nullptr,
                    lengths);
        break;
    default:
        mNetwork.Run(mLines,
                     dL,
                     dR,
                     sinAfter,
                     cosAfter,
                     s,
                     current,
                     lateL,
                     lateR,
                     n,
                     glides != nullptr ? glides->density : nullptr,
                     lengths,
                     glides != nullptr ? glides->shimmer : nullptr,
                     gains,
                     gainsPeriod);
        break;
    }
}

// The onset count over the block; where the gate shapes the tail, envelope = its gain at each
// sample (else envelope is left alone).
void ReverbCore::RunGate(const GateShape& gate,
                         const CoreGlides* glides,
                         const std::uint8_t* onsets,
                         const CoreSettings& s,
                         float* envelope,
                         int n)
{
    if (gate.Shapes() && glides != nullptr && glides->gateLength != nullptr)
    {
        // The gate's values glide: the envelope of each sample's own, as ProcessSample takes it.
        for (int t = 0; t < n; ++t)
        {
            CountOnset(onsets != nullptr && onsets[t] != 0);
            const float m = GateEnvelope(mModel,
                                         static_cast<double>(mSamplesSinceOnset) / mSampleRate,
                                         glides->gateLength[t],
                                         glides->gateRelease[t],
                                         glides->envelopeShape[t]);
            envelope[t] = m + (1.0f - m) * s.freeze;
        }
    }
    else if (gate.Shapes())
    {
        for (int t = 0; t < n; ++t)
        {
            CountOnset(onsets != nullptr && onsets[t] != 0);
            const float m = gate.At(static_cast<double>(mSamplesSinceOnset) / mSampleRate);
            envelope[t] = m + (1.0f - m) * s.freeze;
        }
    }
    else
    {
        // Only the count: from the block's last onset, or on from where it stood.
        int last = n - 1;
        while (onsets != nullptr && last >= 0 && onsets[last] == 0)
        {
            --last;
        }
        if (onsets != nullptr && last >= 0)
        {
            mSamplesSinceOnset = n - 1 - last;
        }
        else
        {
            mSamplesSinceOnset =
                std::min(mSamplesSinceOnset + n, std::max(mSamplesSinceOnset, kNoOnset));
        }
    }
}

} // namespace lumenfall::engine
