#include "plugkit/app/IPluginApp.h"

#include "plugkit/app/StandaloneHost.h"

#include <cstring>

namespace plugkit
{

IPluginApp::IPluginApp(const PluginConfig& config, app::StandaloneHost* host)
    : IPluginApiBase(config, kPluginApiApp)
    , IPluginProcessor(config)
    , mHost(host)
{
    SetChannelConnections(kInput, 0, NChannels(kInput), true);
    SetChannelConnections(kOutput, 0, NChannels(kOutput), true);
    SetBlockSize(kBlockSize);
    CreateTimer();
}

IPluginApp::~IPluginApp()
{
    // The tick reaches this class's queues; no tick may run once they are gone.
    if (Timer* timer = GetTimer())
        timer->Stop();
}

void IPluginApp::ProcessAudioBlock(double** inputs, double** outputs, int frames)
{
    const int nIn = NChannels(kInput);
    const int nOut = NChannels(kOutput);
    // Without pointers a direction is disconnected, so no buffer of an earlier chunk is kept.
    SetChannelConnections(kInput, 0, nIn, inputs && !IsInstrument());
    SetChannelConnections(kOutput, 0, nOut, outputs != nullptr);
    AttachDoubleBuffers(kInput, 0, nIn, inputs, frames);
    AttachDoubleBuffers(kOutput, 0, nOut, outputs, frames);

    MidiMessage msg;
    while (mMidiInput.Pop(msg))
    {
        ProcessMidiMsg(msg);
        mMidiMsgsFromProcessor.Push(msg); // the editor misses it when its queue is full
    }
    SysExQueueEntry entry;
    while (mSysExInput.Pop(entry))
    {
        ProcessSysEx(entry.AsMessage());
        mSysExDataFromProcessor.Push(entry);
    }
    while (mMidiMsgsFromEditor.Pop(msg))
        ProcessMidiMsg(msg);

    ProcessDoubleBuffers(frames);
}

MidiInputResult IPluginApp::QueueMidiInput(const uint8_t* bytes, size_t size)
{
    if (!bytes || size == 0 || size > size_t(SysExQueueEntry::kMaxBytes))
        return MidiInputResult::Ignored;
    bool queued = false;
    if (size <= 3)
    {
        MidiMessage msg;
        msg.mStatus = bytes[0];
        msg.mData1 = size > 1 ? bytes[1] : 0;
        msg.mData2 = size > 2 ? bytes[2] : 0;
        queued = mMidiInput.Push(msg);
    }
    else
    {
        SysExQueueEntry entry;
        entry.mSize = static_cast<int32_t>(size);
        std::memcpy(entry.mData, bytes, size);
        queued = mSysExInput.Push(entry);
    }
    return queued ? MidiInputResult::Queued : MidiInputResult::Full;
}

void IPluginApp::OnTimer(Timer& timer)
{
    ParamChange change;
    while (mParamChangeFromProcessor.Pop(change))
        SendParameterValueFromDelegate(change.mIdx, change.mValue, false);
    IPluginApiBase::OnTimer(timer);
}

bool IPluginApp::EditorResize(int width, int height)
{
    if (width != GetEditorWidth() || height != GetEditorHeight())
        SetEditorSize(width, height);
    return false;
}

void IPluginApp::SendSysexMsgFromUI(const SysExMessage& msg)
{
    SendSysEx(msg);
}

bool IPluginApp::SendMidiMsg(const MidiMessage& msg)
{
    app::IMidiOutput* port = DoesMidiOut() && mHost ? mHost->GetMidiOutput() : nullptr;
    if (!port)
        return false;
    const uint8_t bytes[3] = {msg.mStatus, msg.mData1, msg.mData2};
    return port->SendBytes(bytes, sizeof(bytes));
}

bool IPluginApp::SendSysEx(const SysExMessage& msg)
{
    app::IMidiOutput* port = DoesMidiOut() && mHost ? mHost->GetMidiOutput() : nullptr;
    if (!port || !msg.mData || msg.mSize <= 0)
        return false;
    return port->SendBytes(msg.mData, static_cast<size_t>(msg.mSize));
}

} // namespace plugkit
