#pragma once

#include "canvas/IVst3ContextMenuHost.h"
#include "plugkit/HeapString.h"
#include "plugkit/IPluginApiBase.h"
#include "plugkit/IPluginProcessor.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/vst3/IPluginVst3Parameter.h"
#include "plugkit/vst3/SingleComponentEffect.h"
#include "plugkit/vst3/Vst3Sdk.h"

#include <cmath>
#include <cstdint>

namespace plugkit
{

class IPluginVst3;
template <class Plug>
class IPluginVst3View;

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

/// The controller's own data: the host's channel context.
class IPluginVst3ControllerBase
{
protected:
    HeapString mTrackName;
    HeapString mTrackNamespace;
    HeapString mTrackId;
    int mTrackNamespaceOrder = 0;
    int mTrackIndex = 0;
    std::uint32_t mTrackColor = 0;
};

/// The framework's VST3 plug-in: one object that is the component, its audio processor
/// and its edit controller. The plug-in class derives from it.
class IPluginVst3 : public IPluginApiBase,
                    public IPluginVst3ProcessorBase,
                    public IPluginVst3ControllerBase,
                    public SingleComponentEffect,
                    public Steinberg::Vst::IMidiMapping,
                    public Steinberg::Vst::ChannelContext::IInfoListener,
                    public canvas::IVst3ContextMenuHost
{
public:
    using tresult = Steinberg::tresult;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;

    static constexpr ParamID kBypassParamId = 65536;
    static constexpr ParamID kProgramChangeParamId = 65537;
    static constexpr ParamID kMidiControllerParamBase = 65538;
    static constexpr int kControllersPerChannel = 130;

    explicit IPluginVst3(const PluginConfig& config);
    ~IPluginVst3() override;

    // IPluginBase
    /// [ui-thread & !active] Buses, units and parameters, the host's name, then a reset.
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    /// [ui-thread & !active] Releases buses, units and parameters (rebuilt by initialize).
    tresult PLUGIN_API terminate() override;

    // IEditController, all [ui-thread]
    /// kResultFalse, with nothing changed, for an unknown id or a non-finite value; others are
    /// held in [0, 1]. A framework parameter also takes the value and the editor follows.
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) override;
    /// 0 for an unknown id.
    ParamValue PLUGIN_API getParamNormalized(ParamID id) override;
    /// A new editor view for the name "editor" when the plug-in has an editor, else null. The
    /// view becomes the current one (the one whose frame `EditorResize` asks).
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;
    /// kInvalidArgument for an index outside the parameters.
    tresult PLUGIN_API getParameterInfo(Steinberg::int32 index,
                                        Steinberg::Vst::ParameterInfo& info) override;
    /// kResultFalse for a non-finite value; others are held in [0, 1].
    tresult PLUGIN_API getParamStringByValue(ParamID id,
                                             ParamValue normalized,
                                             Steinberg::Vst::String128 string) override;
    /// Reads at most 127 units of `string`; kResultFalse for text that does not parse. The
    /// result is a finite value in [0, 1].
    tresult PLUGIN_API getParamValueByString(ParamID id,
                                             Steinberg::Vst::TChar* string,
                                             ParamValue& normalized) override;
    tresult PLUGIN_API setKnobMode(Steinberg::Vst::KnobMode mode) override;
    tresult PLUGIN_API openHelp(Steinberg::TBool) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API openAboutBox(Steinberg::TBool) override { return Steinberg::kResultFalse; }

    // IUnitInfo, [ui-thread]: no program list is offered to hosts.
    Steinberg::int32 PLUGIN_API getProgramListCount() override { return 0; }
    tresult PLUGIN_API getProgramListInfo(Steinberg::int32,
                                          Steinberg::Vst::ProgramListInfo&) override
    {
        return Steinberg::kResultFalse;
    }
    /// The preset names under the reserved list 65537; kResultFalse for any other list or an
    /// index outside the presets.
    tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId,
                                      Steinberg::int32 index,
                                      Steinberg::Vst::String128 name) override;

    // IComponent
    /// [ui-thread & !active] OnActivate; a latency set from there asks for no restart.
    tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    /// [ui-thread] The framework's state format (SerializeState / UnserializeState) over the
    /// whole stream; plug-ins with a fixed-size record replace both.
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

    // IAudioProcessor
    /// [ui-thread & !active] ApplyBusArrangements; kResultFalse so the host asks again.
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                          Steinberg::int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          Steinberg::int32 numOuts) override;
    /// [any-thread] 32 and 64 bits.
    tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    /// [any-thread]
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    /// [ui-thread & !active] Rate, block size, then OnReset.
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    /// [audio-thread & active] Stopping resets the plug-in (OnReset).
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    /// [audio-thread & active] Context, the last point of each parameter queue, render.
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    /// [any-thread] The tail size; a negative one is infinite.
    Steinberg::uint32 PLUGIN_API getTailSamples() override;

    // IMidiMapping
    /// [ui-thread] kResultFalse unless MIDI input is declared and a controller parameter of
    /// bus 0, channel 1 exists for `controller`.
    tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex,
                                                   Steinberg::int16 channel,
                                                   Steinberg::Vst::CtrlNumber controller,
                                                   ParamID& id) override;

    // ChannelContext::IInfoListener
    /// [ui-thread] Keys the host leaves out keep their values; texts are read within 128 units.
    tresult PLUGIN_API setChannelContextInfos(Steinberg::Vst::IAttributeList* list) override;

    // The framework's host notifications, all [ui-thread].
    void InformHostOfAllParams() override;
    void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
    void InformHostOfParamDetailsChange() override;
    void GetTrackColor(int& r, int& g, int& b) override;
    void GetTrackName(HeapString& out) override;
    int GetTrackIndex() override { return mTrackIndex; }
    void GetTrackNamespace(HeapString& out) override;
    int GetTrackNamespaceIndex() override { return mTrackNamespaceOrder; }
    /// Asks the current view's frame to resize when the size differs from the editor size,
    /// then stores it. Always true.
    bool EditorResize(int width, int height) override;
    void BeginInformHostOfParamChange(int paramIdx) override;
    void EndInformHostOfParamChange(int paramIdx) override;
    /// Also moves the controller's own parameter object, so the host's generic editor and
    /// getParamNormalized follow presets and A/B switches at once.
    void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
    /// The whole state changed: every controller parameter follows, then the editor.
    void OnRestoreState() override;

    /// [audio-thread & active] The default parameter step of the process call: the last
    /// point of each queue; 65536 sets the host-bypass flag, indices set parameters.
    virtual void ApplyParameterChanges(Steinberg::Vst::ProcessData& data);

    /// The controller's parameter object of this id, or null. Looked up each time: the
    /// container is rebuilt on every initialize.
    Steinberg::Vst::Parameter* GetVst3Parameter(ParamID id) const;
    /// [ui-thread] Sets every controller parameter of the framework's parameters from their
    /// current values.
    void SyncControllerParameters();
    /// [ui-thread] Sets the controller's host-bypass parameter (when it exists).
    void SetBypassParameter(bool on);

    // The views' bookkeeping, [ui-thread]: which view is current, which one opened the editor.
    using View = IPluginVst3View<IPluginVst3>;
    View* GetCurrentView() const { return mCurrentView; }
    /// A view being destroyed: it is no longer current and no longer owns the editor.
    void ForgetView(const View* view);
    /// `view` opens the editor; an earlier owner loses it (its editor is the same one).
    void ClaimEditor(const View* view) { mEditorOwner = view; }
    /// True, with the editor unowned, when `view` owned it.
    bool ReleaseEditor(const View* view);
    bool OwnsEditor(const View* view) const { return view != nullptr && mEditorOwner == view; }

    // What the editor needs for the host's parameter context menu, [ui-thread].
    /// The handler the host set (null before it does).
    Steinberg::Vst::IComponentHandler* GetHostComponentHandler() override;
    /// The current view while it holds the open editor; null otherwise.
    Steinberg::IPlugView* GetEditorView() override;

    OBJ_METHODS(IPluginVst3, SingleComponentEffect)
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    REFCOUNT_METHODS(SingleComponentEffect)

private:
    bool CreateBuses();
    bool CreateParameters();
    /// Hands `p` (one reference) to the parameter container; false, with `p` released and the
    /// container emptied, when the container cannot take it. Null gives false.
    bool AddParameterObject(Steinberg::Vst::Parameter* p);
    /// Hands `unit` (one reference) to the unit list; false, with `unit` released, when the
    /// list cannot take it. Null gives false.
    bool AddUnitObject(Steinberg::Vst::Unit* unit);
    bool StoreChannelContext(Steinberg::Vst::IAttributeList* list);

    Steinberg::Vst::KnobMode mKnobMode = 0;
    View* mCurrentView = nullptr;
    const View* mEditorOwner = nullptr;
    HeapString mGroupNames[64];
    int mNGroups = 0;
};

/// The speaker arrangement of a channel count (0 when the count has none).
Steinberg::Vst::SpeakerArrangement SpeakerArrangementForChannels(int channels);

/// Writes all `size` bytes, looping over short writes; false when a write fails or reports
/// fewer than 1 or more bytes than were left.
bool WriteWholeStream(Steinberg::IBStream* stream, const void* bytes, Steinberg::int32 size);
/// Reads exactly `size` bytes, looping over short reads; false when a read fails or reports
/// fewer than 1 or more bytes than were asked for.
bool ReadWholeStream(Steinberg::IBStream* stream, void* bytes, Steinberg::int32 size);
/// True when the stream has nothing more to read: one more read yields no byte and no error
/// (kResultOk or kResultFalse).
bool StreamEnded(Steinberg::IBStream* stream);

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
