#pragma once

#include "plugkit/HostApp.h"
#include "plugkit/IPluginBase.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/PluginConfig.h"
#include "plugkit/RingQueue.h"
#include "plugkit/Timer.h"

#include <cstdint>

namespace plugkit
{

/// The layer every host adapter derives from. Configured from `PluginConfig`; identifies the
/// host by name; owns the ring queues between the audio thread and the UI thread and the
/// 20 ms UI timer that drains them; turns edits made in the editor into host notifications,
/// whose host side the adapters fill in.
class IPluginApiBase : public IPluginBase
{
public:
    static constexpr uint32_t kTimerIntervalMs = 20;
    static constexpr int kParamChangeQueueSize = 512;
    static constexpr int kMidiQueueSize = 32;
    static constexpr int kSysExQueueSize = 4;

    IPluginApiBase(const PluginConfig& config, PluginApi api);
    ~IPluginApiBase() override;

    /// [ui-thread] (Re)creates the 20 ms timer whose tick is OnTimer, on the calling thread's
    /// message loop.
    void CreateTimer();
    /// [ui-thread] Drains the processor-to-editor MIDI and SysEx queues to the editor, then OnIdle.
    virtual void OnTimer(Timer& timer);

    /// [ui-thread] Stores the host's name and version and identifies the host from the name.
    void SetHost(const char* name, int version);

    /// The host version as "v<major>.<minor>.<patch>".
    void GetHostVersionStr(HeapString& out) const;

    /// [ui-thread] Sets a parameter from the editor (non-finite ignored): the value, the host,
    /// then the plug-in with source UI.
    void SetParameterValue(int paramIdx, double normalizedValue);

    // IEditorDelegate: the editor's edits reach the host.
    /// [ui-thread] InformHostOfParamChange for every parameter, in index order.
    void InformHostOfAllParams() override;
    /// [ui-thread] BeginInformHostOfParamChange.
    void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
    /// [ui-thread] SetParameterValue, then the delegate's own handling (OnParamChangeUI).
    void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
    /// [ui-thread] EndInformHostOfParamChange.
    void EndInformHostOfParamChangeFromUI(int paramIdx) override;
    /// [ui-thread] EditorResize when the platform window must follow; otherwise true.
    bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize) override;
    /// [ui-thread] EnqueueMidiMsgFromUI.
    void SendMidiMsgFromUI(const MidiMessage& msg) override;
    /// [ui-thread] EnqueueSysexMsgFromUI.
    void SendSysexMsgFromUI(const SysExMessage& msg) override;
    /// [ui-thread] Straight to OnMessage.
    void SendArbitraryMsgFromUI(int msgTag, int ctrlTag, int dataSize, const void* pData) override;
    /// [ui-thread] Queued for the processor; dropped when the queue is full.
    void EnqueueMidiMsgFromUI(const MidiMessage& msg) override;
    /// [ui-thread] Queued for the processor; dropped when the queue is full or the message is
    /// over 512 bytes.
    void EnqueueSysexMsgFromUI(const SysExMessage& msg) override;

    /// [ui-thread] True when every parameter value equals `data[startIdx + i]` within 0.00001
    /// (as floats).
    virtual bool CompareState(const double* data, int startIdx) const;
    /// [ui-thread] True when the plug-in showed its own About box.
    virtual bool OnAboutRequest() { return false; }
    /// [ui-thread] True when the plug-in opened its own manual.
    virtual bool OnManualRequest() { return false; }
    /// [ui-thread] The host has just been identified (GetHost).
    virtual void OnHostIdentified() {}
    /// [ui-thread] Once per timer tick, after the queues are drained.
    virtual void OnIdle() {}
    /// [ui-thread] The host's track colour; 0, 0, 0 when unknown.
    virtual void GetTrackColor(int& r, int& g, int& b) { r = g = b = 0; }
    /// [ui-thread] The host's track name; unchanged when unknown.
    virtual void GetTrackName(HeapString&) {}
    /// [ui-thread] The host's track index; 0 when unknown.
    virtual int GetTrackIndex() { return 0; }
    /// [ui-thread] The host's track namespace; unchanged when unknown.
    virtual void GetTrackNamespace(HeapString&) {}
    /// [ui-thread] The host's track namespace index; 0 when unknown.
    virtual int GetTrackNamespaceIndex() { return 0; }

    /// [audio-thread] Queues a value the processor changed for the editor (dropped when full).
    virtual void SendParameterValueFromAPI(int paramIdx, double value, bool normalized);

    /// [ui-thread] Asks the host to resize the editor's window; the adapters implement it.
    virtual bool EditorResize(int, int) { return false; }
    /// [ui-thread] A gesture on a parameter begins; the adapters tell the host.
    virtual void BeginInformHostOfParamChange(int) {}
    /// [ui-thread] The gesture ends.
    virtual void EndInformHostOfParamChange(int) {}
    /// [ui-thread] The parameter's new normalized value, for the host.
    virtual void InformHostOfParamChange(int, double) {}

    Timer* GetTimer() const { return mTimer; }

protected:
    /// Processor to editor.
    RingQueue<ParamChange> mParamChangeFromProcessor{kParamChangeQueueSize};
    RingQueue<MidiMessage> mMidiMsgsFromProcessor{kMidiQueueSize};
    RingQueue<SysExQueueEntry> mSysExDataFromProcessor{kSysExQueueSize};
    /// Editor to processor.
    RingQueue<MidiMessage> mMidiMsgsFromEditor{kMidiQueueSize};
    RingQueue<SysExQueueEntry> mSysExDataFromEditor{kSysExQueueSize};

private:
    Timer* mTimer = nullptr;
};

} // namespace plugkit
