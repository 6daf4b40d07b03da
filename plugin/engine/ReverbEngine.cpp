// The engine's public interface and its segment scheduler: Process cuts each block into segments
// and hands each to one of the two forms (the reference form in ReverbEngineReference.cpp, the
// block form in ReverbEngineBlock.cpp); the state they share is in ReverbEngineState.h.

#include "plugin/engine/ReverbEngine.h"

#include "plugin/engine/ReverbEngineState.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace lumenfall::engine
{

ReverbEngine::ReverbEngine() = default;

ReverbEngine::~ReverbEngine() = default;

double ReverbEngine::SampleRate() const
{
    return mState ? mState->sampleRate : 48000.0;
}

int ReverbEngine::Channels() const
{
    return mState ? mState->channels : 2;
}

bool ReverbEngine::Prepare(double sampleRate, int channels)
{
    const double fs =
        std::isfinite(sampleRate) ? std::clamp(sampleRate, 22050.0, 192000.0) : 48000.0;
    channels = std::clamp(channels, 1, 2);
    mPrepared = false;
    if (!mState)
    {
        mState.reset(new (std::nothrow) ReverbEngineState);
        if (!mState)
        {
            return false;
        }
    }
    ReverbEngineState& s = *mState;
    s.sampleRate = fs;
    s.channels = channels;
    s.target = mParameters;
    s.current = s.target;
    s.tempo = mTempo;
    s.smoothingCoef = static_cast<float>(Exp(-1.0 / (fs * kSmoothingSeconds)));
    FillPowers(s.smoothingCoef, s.smoothingPowers, kRowLength);
    s.attackCoef = static_cast<float>(Exp(-1.0 / (fs * kAttackSeconds)));
    s.cores[0].SetInstructionSet(mInstructionSet);
    s.cores[1].SetInstructionSet(mInstructionSet);
    bool ok = s.cores[0].Prepare(fs);
    ok = s.cores[1].Prepare(fs) && ok;
    const int capacity = DelayLine::CapacityFor(fs, kPreDelayCapacitySeconds);
    ok = s.preDelay[0].Resize(capacity) && ok;
    ok = s.preDelay[1].Resize(capacity) && ok;
    s.Reset();
    mMeters.Clear();
    mPrepared = ok;
    return ok;
}

void ReverbEngine::SetParameters(const float* values)
{
    mParameters = ClampEngineParameters(values);
    if (mState)
    {
        mState->SetTarget(mParameters);
    }
}

void ReverbEngine::SetParameters(const EngineParameters& parameters)
{
    SetParameters(parameters.values.data());
}

void ReverbEngine::SetTempo(double bpm)
{
    mTempo = std::isfinite(bpm) ? std::clamp(bpm, 20.0, 400.0) : 120.0;
    if (mState)
    {
        mState->tempo = mTempo;
    }
}

InstructionSet ReverbEngine::SetInstructionSet(InstructionSet set)
{
    mInstructionSet = SupportedInstructionSet(set);
    if (mState)
    {
        mState->cores[0].SetInstructionSet(mInstructionSet);
        mState->cores[1].SetInstructionSet(mInstructionSet);
    }
    return mInstructionSet;
}

void ReverbEngine::ProcessUnprepared(const float* const* inputs, float* const* outputs, int frames)
{
    for (int j = 0; j < 2; ++j)
    {
        float* out = outputs[j];
        if (out == nullptr)
        {
            continue;
        }
        const float* in = inputs != nullptr ? inputs[j] : nullptr;
        for (int i = 0; i < frames; ++i)
        {
            out[i] = in != nullptr ? SanitizeSample(in[i]) : 0.0f;
        }
    }
}

// The next segment, at most `remaining` samples: up to the next refresh, or a whole core block
// when nothing moves. The smoothing step and the refresh of its first sample are done when
// BlockReady says so (for the block form).
Segment ReverbEngineState::BeginSegment(int remaining, double bypassTarget, bool reference)
{
    const int phase = static_cast<int>(refreshCounter % kRefreshPeriod);
    Segment g;
    g.n = std::min(remaining, kRefreshPeriod - phase);
    // The segment's first smoothing step and its refresh come first.
    if (!reference && BlockReady(bypassTarget))
    {
        Smooth();
        g.smoothed = true;
        if (phase == 0)
        {
            Refresh();
            g.refreshed = true;
        }
        g.block = true;
        // The gate's and the shimmer's values glide inside the block form (and no refresh reads
        // them); so does "Size", whose refreshes a network's core takes inside the block.
        const ParamMask size =
            fadingCore < 0 && cores[activeCore].TakesRefreshesInBlocks() ? kSizeMask : 0;
        if (g.refreshed &&
            (gliding & ~(kReadByOutputOnlyMask | kCoreOutputLevelMask | kCoreGlidingMask |
                         kReadByGateMask | kReadByShimmerMask | size)) == 0)
        {
            g.n = std::min(remaining, LongestRunAfterRefresh());
        }
    }
    return g;
}

// After a refresh with every parameter still but those only the output stage reads (or none), how
// far the block form may run before the next refresh could change anything: up to a core block,
// unless a model change waits for the running crossfade, which the first refresh after the fade's
// end starts.
int ReverbEngineState::LongestRunAfterRefresh() const
{
    if (ModelOf(target) == cores[activeCore].Model())
    {
        return kCoreBlock;
    }
    // The refresh just done starts a change when no fade runs, so one runs here.
    const int fadeEnd = (crossfadeRemaining + kRefreshPeriod - 1) / kRefreshPeriod * kRefreshPeriod;
    return std::clamp(fadeEnd, kRefreshPeriod, kCoreBlock);
}

void ReverbEngine::Process(const float* const* inputs,
                           float* const* outputs,
                           int frames,
                           bool forceBypass)
{
    if (outputs == nullptr || frames < 1)
    {
        return;
    }
    if (!mPrepared)
    {
        ProcessUnprepared(inputs, outputs, frames);
        return;
    }
    ReverbEngineState& s = *mState;
    const float* inL = inputs != nullptr ? inputs[0] : nullptr;
    const float* inR = inputs != nullptr ? inputs[1] : nullptr;
    if (s.channels == 1)
    {
        inR = inL;
    }
    const double bypassTarget = forceBypass || s.target[ParamId::Bypass] >= 0.5f ? 1.0 : 0.0;
    BlockPeaks peaks;

    int done = 0;
    while (done < frames)
    {
        const Segment g = s.BeginSegment(frames - done, bypassTarget, mReference);
        if (g.block)
        {
            s.BlockSegment(inL, inR, outputs, done, g.n, peaks);
        }
        else
        {
            s.SampleSegment(inL, inR, outputs, done, g, bypassTarget, peaks);
            s.sampleFormSamples += mReference ? 0 : static_cast<std::uint64_t>(g.n);
        }
        done += g.n;
    }
    mMeters.Store({peaks.input, peaks.wet, peaks.output, peaks.duck});
}

} // namespace lumenfall::engine
