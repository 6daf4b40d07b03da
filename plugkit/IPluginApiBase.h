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

    /// (Re)creates the 20 ms timer whose tick is OnTimer, on the calling thread's message loop.
    void CreateTimer();
    /// [ui-thread] Drains the queues to the editor, then OnIdle.
    virtual void OnTimer(Timer& timer);

    /// [ui-thread] Stores the host's name and version and identifies the host from the name.
    void SetHost(const char* name, int version);

    /// The host version as "v<major>.<minor>.<patch>".
    void GetHostVersionStr(HeapString& out) const;

    /// [ui-thread] Sets a parameter from the editor: the value, the host, then the plug-in.
    void SetParameterValue(int paramIdx, double normalizedValue);

    // IEditorDelegate: the editor's edits reach the host.
    void InformHostOfAllParams() override;
    void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
    void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
    void EndInformHostOfParamChangeFromUI(int paramIdx) override;
    bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize) override;
    void SendMidiMsgFromUI(const MidiMessage& msg) override;
    void SendSysexMsgFromUI(const SysExMessage& msg) override;
    void SendArbitraryMsgFromUI(int msgTag, int ctrlTag, int dataSize, const void* pData) override;
    /// Queued for the processor; dropped when the queue is full.
    void EnqueueMidiMsgFromUI(const MidiMessage& msg) override;
    /// Queued for the processor; dropped when the queue is full or the message is over 512 bytes.
    void EnqueueSysexMsgFromUI(const SysExMessage& msg) override;

    /// True when every parameter value equals `data[startIdx + i]` within 0.00001 (as floats).
    virtual bool CompareState(const double* data, int startIdx) const;
    virtual bool OnAboutRequest() { return false; }
    virtual bool OnManualRequest() { return false; }
    /// [ui-thread] The host has just been identified (GetHost).
    virtual void OnHostIdentified() {}
    /// [ui-thread] Once per timer tick, after the queues are drained.
    virtual void OnIdle() {}
    virtual void GetTrackColor(int& r, int& g, int& b) { r = g = b = 0; }
    virtual void GetTrackName(HeapString&) {}
    virtual int GetTrackIndex() { return 0; }
    virtual void GetTrackNamespace(HeapString&) {}
    virtual int GetTrackNamespaceIndex() { return 0; }

    /// [audio-thread] Queues a value the processor changed for the editor (dropped when full).
    virtual void SendParameterValueFromAPI(int paramIdx, double value, bool normalized);

    /// [ui-thread] Asks the host to resize the editor's window; the adapters implement it.
    virtual bool EditorResize(int, int) { return false; }
    /// [ui-thread] Host notifications of a parameter gesture; the adapters implement them.
    virtual void BeginInformHostOfParamChange(int) {}
    virtual void EndInformHostOfParamChange(int) {}
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
