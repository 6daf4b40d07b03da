#include "plugkit/IPluginApiBase.h"

#include <cmath>

namespace plugkit
{

namespace
{
constexpr int kMaxNameLength = 128;
}

IPluginApiBase::IPluginApiBase(const PluginConfig& config, PluginApi api)
    : IPluginBase(config.mNParams, config.mNPresets)
{
    mPluginName.Set(config.mPluginName, kMaxNameLength);
    mProductName.Set(config.mProductName, kMaxNameLength);
    mMakerName.Set(config.mMakerName, kMaxNameLength);
    mUniqueId = config.mUniqueId;
    mMakerId = config.mMakerId;
    mVersion = config.mVersion;
    mApi = api;
    mHasUI = config.mHasUI;
    mHostResize = config.mHostResize;
    mStateChunks = config.mStateChunks;
    mBundleId.Set(config.mBundleId);
    mAppGroupId.Set(config.mAppGroupId);

    // The editor knows its size from the start, not only after its first resize.
    SetEditorSize(config.mEditorWidth, config.mEditorHeight);
    SetSizeConstraints(config.mMinWidth, config.mMaxWidth, config.mMinHeight, config.mMaxHeight);
}

IPluginApiBase::~IPluginApiBase()
{
    if (mTimer)
        mTimer->Stop();
    delete mTimer;
    mTimer = nullptr;
}

void IPluginApiBase::CreateTimer()
{
    Timer* previous = mTimer;
    mTimer = Timer::Create([this](Timer& t) { OnTimer(t); }, kTimerIntervalMs);
    delete previous;
}

void IPluginApiBase::OnTimer(Timer&)
{
    MidiMessage msg;
    while (mMidiMsgsFromProcessor.Pop(msg))
        SendMidiMsgFromDelegate(msg);

    SysExQueueEntry entry;
    while (mSysExDataFromProcessor.Pop(entry))
        SendSysexMsgFromDelegate(entry.AsMessage());

    OnIdle();
}

void IPluginApiBase::SetHost(const char* name, int version)
{
    mHostName.Set(name);
    mHost = LookUpHost(name);
    mHostVersion = version;
    OnHostIdentified();
}

void IPluginApiBase::GetHostVersionStr(HeapString& out) const
{
    out.SetFormatted(32,
                     "v%d.%d.%d",
                     (mHostVersion >> 16) & 0xFFFF,
                     (mHostVersion >> 8) & 0xFF,
                     mHostVersion & 0xFF);
}

void IPluginApiBase::SetParameterValue(int paramIdx, double normalizedValue)
{
    IParam* param = GetParam(paramIdx);
    if (!param || !param->SetNormalized(normalizedValue))
        return;
    InformHostOfParamChange(paramIdx, param->GetNormalized());
    OnParamChange(paramIdx, ParamSource::UI, -1);
}

void IPluginApiBase::InformHostOfAllParams()
{
    for (int i = 0; i < NParams(); ++i)
        InformHostOfParamChange(i, GetParam(i)->GetNormalized());
}

void IPluginApiBase::BeginInformHostOfParamChangeFromUI(int paramIdx)
{
    BeginInformHostOfParamChange(paramIdx);
}

void IPluginApiBase::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
    SetParameterValue(paramIdx, normalizedValue);
    IPluginBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPluginApiBase::EndInformHostOfParamChangeFromUI(int paramIdx)
{
    EndInformHostOfParamChange(paramIdx);
}

bool IPluginApiBase::EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize)
{
    return needsPlatformResize ? EditorResize(viewWidth, viewHeight) : true;
}

void IPluginApiBase::SendMidiMsgFromUI(const MidiMessage& msg)
{
    EnqueueMidiMsgFromUI(msg);
}

void IPluginApiBase::SendSysexMsgFromUI(const SysExMessage& msg)
{
    EnqueueSysexMsgFromUI(msg);
}

void IPluginApiBase::SendArbitraryMsgFromUI(int msgTag,
                                            int ctrlTag,
                                            int dataSize,
                                            const void* pData)
{
    OnMessage(msgTag, ctrlTag, dataSize, pData);
}

void IPluginApiBase::EnqueueMidiMsgFromUI(const MidiMessage& msg)
{
    mMidiMsgsFromEditor.Push(msg);
}

void IPluginApiBase::EnqueueSysexMsgFromUI(const SysExMessage& msg)
{
    SysExQueueEntry entry;
    if (entry.Assign(msg))
        mSysExDataFromEditor.Push(entry);
}

bool IPluginApiBase::CompareState(const double* data, int startIdx) const
{
    if (NParams() == 0)
        return true;
    if (!data || startIdx < 0)
        return false;
    for (int i = 0; i < NParams(); ++i)
    {
        const float a = static_cast<float>(GetParam(i)->Value());
        const float b = static_cast<float>(data[startIdx + i]);
        if (!(std::fabs(a - b) < 0.00001f))
            return false;
    }
    return true;
}

void IPluginApiBase::SendParameterValueFromAPI(int paramIdx, double value, bool normalized)
{
    const IParam* param = GetParam(paramIdx);
    if (!param || !std::isfinite(value))
        return;
    if (normalized)
        value = param->FromNormalized(value);
    mParamChangeFromProcessor.Push(ParamChange{paramIdx, value});
}

} // namespace plugkit
