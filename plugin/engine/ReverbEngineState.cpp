// What both forms share: the parameter glides, the coefficient refresh and the model change.

#include "plugin/engine/ReverbEngineState.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumenfall::engine
{

void ReverbEngineState::Reset()
{
    current = target;
    std::fill(std::begin(glideOffset), std::end(glideOffset), 0.0);
    gliding = 0;
    activeCore = 0;
    fadingCore = -1;
    crossfadeRemaining = 0;
    refreshCounter = 0;
    const ReverbModel model = ModelOf(target);
    cores[0].Reset(model);
    cores[1].Reset(model);
    preDelay[0].Clear();
    preDelay[1].Clear();
    inputEnvelope = 0.0f;
    onsetEnvelope = 0.0f;
    duckGain = 1.0f;
    bypassFade = target[ParamId::Bypass] >= 0.5f ? 1.0 : 0.0;
    samplesSinceOnset = kNoOnset;
    refreshValid = false;
    UpdateCoefficients();
    currentPreDelay = targetPreDelay;
}

void ReverbEngineState::UpdateCoefficients()
{
    float coreKey[kCoreRefreshReadCount];
    for (int k = 0; k < kCoreRefreshReadCount; ++k)
    {
        coreKey[k] = current[kCoreRefreshReads[k]];
    }
    float frameKey[kFrameRefreshReadCount + 2];
    for (int k = 0; k < kFrameRefreshReadCount; ++k)
    {
        frameKey[k] = current[kFrameRefreshReads[k]];
    }
    frameKey[kFrameRefreshReadCount] = target[ParamId::PreDelaySync];
    frameKey[kFrameRefreshReadCount + 1] = target[ParamId::NoteDivision];
    const bool coresChanged =
        !refreshValid || !std::equal(coreKey, coreKey + kCoreRefreshReadCount, coreRefreshKey);
    const bool frameChanged =
        !refreshValid || tempo != refreshTempo ||
        !std::equal(frameKey, frameKey + kFrameRefreshReadCount + 2, frameRefreshKey);
    refreshValid = true;
    if (coresChanged)
    {
        // Only the running cores: the other is reset and refreshed when a model change starts
        // it, and nothing reads it before.
        std::copy(coreKey, coreKey + kCoreRefreshReadCount, coreRefreshKey);
        cores[activeCore].UpdateCoefficients(current);
        if (fadingCore >= 0)
        {
            cores[fadingCore].UpdateCoefficients(current);
        }
    }
    if (!frameChanged)
    {
        return;
    }
    std::copy(frameKey, frameKey + kFrameRefreshReadCount + 2, frameRefreshKey);
    refreshTempo = tempo;
    inputGain = static_cast<float>(Pow10(current[ParamId::InputTrim] * 0.05f));
    outputGain = static_cast<float>(Pow10(current[ParamId::OutputTrim] * 0.05f));
    double ms = current[ParamId::PreDelay];
    if (target[ParamId::PreDelaySync] >= 0.5f)
    {
        const int division =
            std::clamp(static_cast<int>(target[ParamId::NoteDivision]), 0, kNoteDivisionCount - 1);
        ms = 60000.0 / tempo * NoteDivisionFactors[division];
    }
    targetPreDelay =
        static_cast<float>(std::min(ms * 0.001 * sampleRate, kMaxPreDelaySeconds * sampleRate));
    duckReleaseCoef =
        static_cast<float>(Exp(-1.0 / (current[ParamId::DuckRelease] * 0.001f * sampleRate)));
}

void ReverbEngineState::Smooth()
{
    const double k = smoothingCoef;
    for (ParamMask bits = gliding; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctzll(bits);
        double offset = glideOffset[i] * k;
        if (std::abs(offset) < snapDistance[i])
        {
            offset = 0.0;
            gliding &= ~Bit(i);
        }
        glideOffset[i] = offset;
        current[i] = static_cast<float>(target[i] + offset);
    }
}

void ReverbEngineState::SetTarget(const EngineParameters& parameters)
{
    if (std::memcmp(parameters.values.data(), target.values.data(), sizeof(target.values)) == 0)
    {
        return;
    }
    for (int i = 0; i < kParamCount; ++i)
    {
        if (ParamIsSmoothed(static_cast<ParamId>(i)) && parameters[i] != target[i])
        {
            // The glide goes on from where it stands, towards the new target.
            glideOffset[i] = (target[i] + glideOffset[i]) - parameters[i];
            gliding |= Bit(i);
            snapDistance[i] = SnapDistance(i, parameters[i]);
        }
    }
    target = parameters;
}

bool ReverbEngineState::BlockReady(double bypassTarget) const
{
    // While a parameter the cores read sample by sample glides, the per-sample form runs; the
    // block form follows the pre-delay's glide itself.
    return (gliding & kReadBySampleMask) == 0 && bypassFade == bypassTarget;
}

void ReverbEngineState::Refresh()
{
    const ReverbModel model = ModelOf(target);
    if (model != cores[activeCore].Model() && fadingCore < 0)
    {
        fadingCore = activeCore;
        activeCore = 1 - activeCore;
        cores[activeCore].Reset(model);
        cores[activeCore].UpdateCoefficients(current);
        crossfadeLength = std::max(1, static_cast<int>(sampleRate * kCrossfadeSeconds));
        crossfadeRemaining = crossfadeLength;
    }
    UpdateCoefficients();
}

} // namespace lumenfall::engine
