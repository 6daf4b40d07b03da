// The per-sample reference form: each stage one sample at a time, straightforwardly. It is the
// oracle of the block form (ReverbEngineBlock.cpp), which must give the same output to float
// rounding; the engine also runs it while a parameter the cores read sample by sample, or the
// bypass, glides.

#include "plugin/engine/ReverbEngineState.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

// The reference form over samples done..done + g.n - 1: the stages sample by sample.
void ReverbEngineState::SampleSegment(const float* inL,
                                      const float* inR,
                                      float* const* outputs,
                                      int done,
                                      const Segment& g,
                                      double bypassTarget,
                                      BlockPeaks& peaks)
{
    bool smoothed = g.smoothed;
    bool refreshed = g.refreshed;
    for (int i = done; i < done + g.n; ++i)
    {
        if (!smoothed)
        {
            Smooth();
        }
        smoothed = false;
        if (refreshCounter % kRefreshPeriod == 0 && !refreshed)
        {
            Refresh();
        }
        refreshed = false;
        ++refreshCounter;
        const FrameInput in =
            InputStep(ReadFinite(inL, i), ReadFinite(inR, i), bypassTarget, peaks);
        StereoSample wet = cores[activeCore].ProcessSample(in.feedL, in.feedR, current, in.onset);
        if (fadingCore >= 0)
        {
            const StereoSample fading =
                cores[fadingCore].ProcessSample(in.feedL, in.feedR, current, in.onset);
            wet = Crossfade(wet, fading);
        }
        OutputStep(wet, in, outputs, i, peaks);
    }
}

FrameInput
ReverbEngineState::InputStep(float left, float right, double bypassTarget, BlockPeaks& peaks)
{
    FrameInput in;
    in.dryL = left;
    in.dryR = right;
    const float magnitude = std::max(std::fabs(left), std::fabs(right));
    peaks.input = std::max(peaks.input, magnitude);

    const float p = std::min(magnitude, kInputLimit);
    const float k = p > inputEnvelope ? attackCoef : duckReleaseCoef;
    inputEnvelope = p + (inputEnvelope - p) * k;
    inputEnvelope = inputEnvelope < kEnvelopeFloor ? 0.0f : inputEnvelope;
    in.envelope = inputEnvelope;

    bypassFade = bypassTarget + (bypassFade - bypassTarget) * static_cast<double>(smoothingCoef);
    if (std::abs(bypassFade - bypassTarget) < static_cast<double>(1e-6f))
    {
        bypassFade = bypassTarget;
    }

    currentPreDelay = GlidePreDelay(currentPreDelay, targetPreDelay, smoothingCoef);

    const float g = static_cast<float>(1.0 - bypassFade) * inputGain;
    const float fL = SanitizeSample(g * Clamp64(left));
    const float fR = SanitizeSample(g * Clamp64(right));
    if (currentPreDelay < 1.0f)
    {
        in.feedL = fL;
        in.feedR = fR;
    }
    else
    {
        in.feedL = preDelay[0].Read(currentPreDelay);
        in.feedR = preDelay[1].Read(currentPreDelay);
    }
    preDelay[0].Write(fL);
    preDelay[1].Write(fR);

    const float q = std::max(std::fabs(in.feedL), std::fabs(in.feedR));
    in.onset = q > kOnsetLevel &&
               samplesSinceOnset > static_cast<std::int64_t>(sampleRate * kOnsetHoldOffSeconds) &&
               (onsetEnvelope < kOnsetQuiet || q > kOnsetJump * onsetEnvelope);
    const float ko = q > onsetEnvelope ? attackCoef : duckReleaseCoef;
    onsetEnvelope = q + (onsetEnvelope - q) * ko;
    onsetEnvelope = onsetEnvelope < kEnvelopeFloor ? 0.0f : onsetEnvelope;
    if (in.onset)
    {
        samplesSinceOnset = 0;
    }
    else if (samplesSinceOnset < kNoOnset)
    {
        ++samplesSinceOnset;
    }
    return in;
}

StereoSample ReverbEngineState::Crossfade(StereoSample active, StereoSample fading)
{
    const float a = static_cast<float>(crossfadeRemaining) / static_cast<float>(crossfadeLength);
    const StereoSample wet{(1.0f - a) * active.left + a * fading.left,
                           (1.0f - a) * active.right + a * fading.right};
    if (--crossfadeRemaining == 0)
    {
        fadingCore = -1;
    }
    return wet;
}

void ReverbEngineState::OutputStep(
    StereoSample wet, const FrameInput& in, float* const* outputs, int i, BlockPeaks& peaks)
{
    const float mid = (wet.left + wet.right) * 0.5f;
    const float side = (wet.left - wet.right) * 0.5f * current[ParamId::Width] * 0.01f;
    const float wideL = mid + side;
    const float wideR = mid - side;

    const float duckTarget =
        1.0f / (current[ParamId::Ducking] * 0.01f * in.envelope * kDuckDepth + 1.0f);
    const float k = duckGain > duckTarget ? attackCoef : duckReleaseCoef;
    duckGain = duckTarget + (duckGain - duckTarget) * k;

    const float m = current[ParamId::Mix] * 0.01f;
    const float w = m + (1.0f - m) * current[ParamId::WetSolo];
    const float dryGain = 1.0f - w;
    const bool dryOnly = bypassFade == 1.0 || (w == 0.0f && outputGain == 1.0f);
    float out[2] = {0.0f, 0.0f};
    for (int j = 0; j < channels; ++j)
    {
        const float dry = j == 0 ? in.dryL : in.dryR;
        const float wetSample = channels == 1 ? (wideL + wideR) * 0.5f : (j == 0 ? wideL : wideR);
        peaks.wet = std::max(peaks.wet, std::fabs(wetSample));
        if (dryOnly)
        {
            out[j] = dry;
        }
        else
        {
            const float y = (wetSample * duckGain * w + dryGain * dry) * outputGain;
            out[j] = SanitizeSample(static_cast<float>((1.0 - bypassFade) * y + bypassFade * dry));
        }
        peaks.output = std::max(peaks.output, std::fabs(out[j]));
    }
    if (channels == 1)
    {
        out[1] = out[0];
    }
    for (int j = 0; j < 2; ++j)
    {
        if (outputs[j] != nullptr)
        {
            outputs[j][i] = out[j];
        }
    }
    peaks.duck = std::max(peaks.duck, 1.0f - duckGain);
}

} // namespace lumenfall::engine
