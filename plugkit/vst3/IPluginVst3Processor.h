#pragma once

#include "plugkit/IPluginProcessor.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/vst3/Vst3Sdk.h"

#include <cmath>

namespace plugkit
{

class IPluginVst3;

/// The audio side of the VST3 adapter: bus arrangements, processing set-up, the process
/// context and rendering through the framework's channel buffers.
class IPluginVst3ProcessorBase : public IPluginProcessor
{
public:
    IPluginVst3ProcessorBase(const PluginConfig& config, IPluginVst3* plugin);
    ~IPluginVst3ProcessorBase() override;

    /// [audio-thread] Inserts into the MIDI-output list in sample-offset order (behind
    /// equal offsets); dropped when the list is full. Always true.
    bool SendMidiMsg(const MidiMessage& msg) override;

    /// [ui-thread & !active] Stores the latency; the host is asked to restart only when it
    /// differs from the value last reported, and never from inside the host's own set-up
    /// calls (the host reads the latency after those).
    void SetLatency(int samples) override;

    /// [ui-thread & !active] Accepts the arrangements when every bus is mono or stereo and
    /// an I/O configuration has exactly these channel counts (under Mixbus and Ardour, any mono
    /// or stereo request as given); rebuilds the audio buses, each keeping the activation of the
    /// bus it replaces.
    bool ApplyBusArrangements(const Steinberg::Vst::SpeakerArrangement* inputs,
                              int numIns,
                              const Steinberg::Vst::SpeakerArrangement* outputs,
                              int numOuts);
    /// [ui-thread & !active] False for a sample size other than 32 or 64 bits.
    bool ApplyProcessSetup(const Steinberg::Vst::ProcessSetup& setup);

    /// [audio-thread & active] Copies the process context (the last one when the call has
    /// none) into the transport, reading each field only when its validity flag is set.
    void ReadProcessContext(const Steinberg::Vst::ProcessData& data,
                            const Steinberg::Vst::ProcessSetup& setup);
    /// [audio-thread & active] Connects and attaches the host's buffers and processes the
    /// block (or passes it through while host-bypassed). Input bus 0 feeds the channels from
    /// 0, a side-chain bus (input bus 1, while active) those from the first side-chain channel;
    /// channels without a host buffer read silence. Host output channels the plug-in does not
    /// render (inactive buses, channels beyond its own) are zeroed. Without output buses
    /// nothing is rendered. 64-bit blocks longer than the block size set up run in pieces.
    void RenderAudio(Steinberg::Vst::ProcessData& data, const Steinberg::Vst::ProcessSetup& setup);
    /// [audio-thread] The host bypass without latency, exact in 64 bits too: each channel of the
    /// host's input bus 0 copied to the same channel of output bus 0 (when that bus is active),
    /// every other host output channel zeroed, as rendering would leave them. The 32-bit
    /// scratch buffers the rest of the processing goes through would round 64-bit samples.
    void PassThroughHostBuffers(Steinberg::Vst::ProcessData& data,
                                const Steinberg::Vst::ProcessSetup& setup);

protected:
    /// Set while the host's setActive, setProcessing or setupProcessing runs.
    bool mInHostSetupCall = false;

private:
    bool GrowMidiOutput(int capacity);

    int mSideChainFirstChannel = 0; ///< input channel of the side-chain bus's first channel
    IPluginVst3* mPlugin;
    MidiMessage* mMidiOut = nullptr;
    int mMidiOutCapacity = 0;
    int mMidiOutCount = 0;
    int mMidiOutConsumed = 0;
    bool mHasProcessContext = false;
    Steinberg::Vst::ProcessContext mProcessContext{};
    int mReportedLatency = 0;
};

/// The speaker arrangement of a channel count (0 when the count has none).
Steinberg::Vst::SpeakerArrangement SpeakerArrangementForChannels(int channels);

/// [audio-thread] Calls `apply(id, value, offset)` once for each queue of the block's parameter
/// changes with its last point: only the last point of a queue counts. Null queues, queues
/// without points and last points that cannot be read or are not finite are skipped.
template <typename Apply>
void ForEachLastParamValue(const Steinberg::Vst::ProcessData& data, Apply&& apply)
{
    Steinberg::Vst::IParameterChanges* changes = data.inputParameterChanges;
    if (changes == nullptr)
        return;
    const Steinberg::int32 count = changes->getParameterCount();
    for (Steinberg::int32 q = 0; q < count; ++q)
    {
        Steinberg::Vst::IParamValueQueue* queue = changes->getParameterData(q);
        const Steinberg::int32 points = queue != nullptr ? queue->getPointCount() : 0;
        if (points < 1)
            continue;
        Steinberg::int32 offset = 0;
        Steinberg::Vst::ParamValue value = 0.0;
        if (queue->getPoint(points - 1, offset, value) != Steinberg::kResultOk ||
            !std::isfinite(value))
            continue;
        apply(queue->getParameterId(), value, offset);
    }
}

} // namespace plugkit
