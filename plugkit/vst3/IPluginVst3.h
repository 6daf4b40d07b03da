#pragma once

// The framework's VST3 plug-in. Its bodies are split by role: IPluginVst3Component.cpp (the
// component: set-up, activation, state), IPluginVst3Processor.cpp (the audio processor),
// IPluginVst3Controller.cpp (the edit controller, its views and the host notifications).

#include "canvas/IVst3ContextMenuHost.h"
#include "plugkit/HeapString.h"
#include "plugkit/IPluginApiBase.h"
#include "plugkit/vst3/IPluginVst3Controller.h"
#include "plugkit/vst3/IPluginVst3Parameter.h"
#include "plugkit/vst3/IPluginVst3Processor.h"
#include "plugkit/vst3/SingleComponentEffect.h"
#include "plugkit/vst3/Vst3Sdk.h"
#include "plugkit/vst3/Vst3Stream.h"

namespace plugkit
{

template <class Plug>
class IPluginVst3View;

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

} // namespace plugkit
