#pragma once

#include "plugin/engine/ReverbEngine.h"
#include "plugin/engine/ReverbEngineState.h"

#include <cstdint>

namespace lumenfall::engine
{

/// What the tests read and set inside an engine (a friend of ReverbEngine): its private state,
/// which the engine's users never see.
struct ReverbEngineTestAccess
{
    /// Sets the count of processed samples whose phase (count mod 32) times the coefficient
    /// refresh, so a test can run the count across its wrap at 2^32. Prepared only.
    static void SetProcessedSamples(ReverbEngine& engine, std::uint32_t samples)
    {
        if (engine.mState)
        {
            engine.mState->refreshCounter = samples;
        }
    }

    /// The samples processed so far by the per-sample form outside the reference mode, which
    /// runs while a parameter the cores read sample by sample, or the bypass, glides.
    static std::uint64_t SampleFormSamples(const ReverbEngine& engine)
    {
        return engine.mState ? engine.mState->sampleFormSamples : 0;
    }

    /// The pre-delay in samples now and the one it glides to (0 unprepared).
    static float PreDelaySamples(const ReverbEngine& engine)
    {
        return engine.mState ? engine.mState->currentPreDelay : 0.0f;
    }
    static float PreDelayTarget(const ReverbEngine& engine)
    {
        return engine.mState ? engine.mState->targetPreDelay : 0.0f;
    }
};

} // namespace lumenfall::engine
