#pragma once

#include "plugkit/IPluginApiBase.h"
#include "plugkit/IPluginProcessor.h"

#include <vector>

namespace lumenfall::test
{

/// One thing the plug-in told its host or its editor.
struct PluginHostEvent
{
    enum Kind
    {
        Begin,        ///< begin edit
        Perform,      ///< perform edit with a normalized value
        End,          ///< end edit
        EditorValue,  ///< a normalized value sent to the editor
        Notify,       ///< the plug-in's parameter notification, with its source
        WindowResize, ///< the editor asked the host for a window of `index` x `value` pixels
        KindCount
    };

    Kind kind;
    int index;
    double value = 0.0;
    plugkit::ParamSource source = plugkit::ParamSource::Unknown;
};

/// The host adapter of the unit tests: an API base and a processor, like the real adapters,
/// that records host edits, editor values and parameter notifications, and lets a test set
/// up channels and sample rate as a host would. Besides the plug-in's own layouts it offers
/// one with a third output channel, so the handling of surplus outputs can be seen.
class TestPluginAdapter : public plugkit::IPluginApiBase, public plugkit::IPluginProcessor
{
public:
    explicit TestPluginAdapter(const plugkit::PluginConfig& config)
        : plugkit::IPluginApiBase(config, plugkit::kPluginApiVst3)
        , plugkit::IPluginProcessor(WithThirdOutput(config))
    {
    }

    using plugkit::IPluginApiBase::OnParamChange;

    void BeginInformHostOfParamChange(int idx) override { Record({PluginHostEvent::Begin, idx}); }
    void InformHostOfParamChange(int idx, double normalized) override
    {
        Record({PluginHostEvent::Perform, idx, normalized});
    }
    void EndInformHostOfParamChange(int idx) override { Record({PluginHostEvent::End, idx}); }
    void SendParameterValueFromDelegate(int idx, double value, bool normalized) override
    {
        Record({PluginHostEvent::EditorValue, idx, value});
        plugkit::IPluginApiBase::SendParameterValueFromDelegate(idx, value, normalized);
    }
    void OnParamChange(int idx, plugkit::ParamSource source, int sampleOffset) override
    {
        Record({PluginHostEvent::Notify, idx, 0.0, source});
        plugkit::IPluginApiBase::OnParamChange(idx, source, sampleOffset);
    }
    bool EditorResize(int width, int height) override
    {
        Record({PluginHostEvent::WindowResize, width, static_cast<double>(height)});
        return true;
    }
    bool SendMidiMsg(const plugkit::MidiMessage&) override { return false; }

    /// What was recorded since construction or the last ClearEvents.
    const std::vector<PluginHostEvent>& Events() const { return mEvents; }
    void ClearEvents() { mEvents.clear(); }
    /// Stops recording, so audio-thread paths can be checked for allocations.
    void SetRecording(bool recording) { mRecording = recording; }

    /// Connects the first `nInputs` and `nOutputs` channels, as a host's bus set-up does.
    void ConnectChannels(int nInputs, int nOutputs)
    {
        SetChannelConnections(plugkit::kInput, 0, NChannels(plugkit::kInput), false);
        SetChannelConnections(plugkit::kOutput, 0, NChannels(plugkit::kOutput), false);
        SetChannelConnections(plugkit::kInput, 0, nInputs, true);
        SetChannelConnections(plugkit::kOutput, 0, nOutputs, true);
    }

private:
    static plugkit::PluginConfig WithThirdOutput(plugkit::PluginConfig config)
    {
        config.mChannelIO = "1-1 2-2 2-3";
        return config;
    }

    void Record(const PluginHostEvent& event)
    {
        if (mRecording)
            mEvents.push_back(event);
    }

    std::vector<PluginHostEvent> mEvents;
    bool mRecording = true;
};

} // namespace lumenfall::test
