#include "plugkit/IEditorDelegate.h"

#include "plugkit/IStateChunk.h"

#include <algorithm>
#include <new>

namespace plugkit
{

IEditorDelegate::IEditorDelegate(int nParams)
{
    for (int i = 0; i < nParams; ++i)
    {
        auto* param = new (std::nothrow) IParam;
        if (!param || !mParams.Add(param))
        {
            delete param;
            break;
        }
    }
}

IEditorDelegate::~IEditorDelegate() = default; // the list deletes the parameters, last first

void* IEditorDelegate::OpenWindow(void*)
{
    OnUIOpen();
    return nullptr;
}

void IEditorDelegate::CloseWindow()
{
    OnUIClose();
}

void IEditorDelegate::OnParentWindowResize(int, int) {}

void IEditorDelegate::OnUIOpen()
{
    SendAllParamValuesFromDelegate();
}

void IEditorDelegate::OnUIClose() {}

void IEditorDelegate::OnParamChange(int) {}

void IEditorDelegate::OnParamChange(int paramIdx, ParamSource, int)
{
    OnParamChange(paramIdx);
}

void IEditorDelegate::OnParamChangeUI(int, ParamSource) {}

void IEditorDelegate::OnParamReset(ParamSource source)
{
    for (int i = 0; i < NParams(); ++i)
    {
        OnParamChange(i, source, -1);
        OnParamChangeUI(i, source);
    }
}

void IEditorDelegate::OnMidiMsgUI(const MidiMessage&) {}

void IEditorDelegate::OnSysexMsgUI(const SysExMessage&) {}

bool IEditorDelegate::OnMessage(int, int, int, const void*)
{
    return false;
}

void IEditorDelegate::OnRestoreState()
{
    OnUIOpen();
}

bool IEditorDelegate::OnKeyDown(const canvas::IKeyEvent&)
{
    return false;
}

bool IEditorDelegate::OnKeyUp(const canvas::IKeyEvent&)
{
    return false;
}

void IEditorDelegate::SendControlValueFromDelegate(int, double) {}

void IEditorDelegate::SendControlMsgFromDelegate(int ctrlTag,
                                                 int msgTag,
                                                 int dataSize,
                                                 const void* pData)
{
    OnMessage(msgTag, ctrlTag, dataSize, pData);
}

void IEditorDelegate::SendArbitraryMsgFromDelegate(int msgTag, int dataSize, const void* pData)
{
    OnMessage(msgTag, -1, dataSize, pData);
}

void IEditorDelegate::SendMidiMsgFromDelegate(const MidiMessage& msg)
{
    OnMidiMsgUI(msg);
}

void IEditorDelegate::SendSysexMsgFromDelegate(const SysExMessage& msg)
{
    OnSysexMsgUI(msg);
}

void IEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double, bool)
{
    OnParamChangeUI(paramIdx, ParamSource::Delegate);
}

void IEditorDelegate::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
    if (IParam* param = GetParam(paramIdx))
        param->SetNormalized(normalizedValue);
    OnParamChangeUI(paramIdx, ParamSource::UI);
}

bool IEditorDelegate::EditorResizeFromUI(int, int, bool)
{
    return false;
}

bool IEditorDelegate::ConstrainEditorResize(int& width, int& height) const
{
    const bool inside =
        width >= mMinWidth && width <= mMaxWidth && height >= mMinHeight && height <= mMaxHeight;
    if (inside)
        return true;
    width = std::clamp(width, mMinWidth, mMaxWidth);
    height = std::clamp(height, mMinHeight, mMaxHeight);
    return false;
}

bool IEditorDelegate::SerializeEditorState(IStateChunk&) const
{
    return true;
}

int IEditorDelegate::UnserializeEditorState(const IStateChunk&, int startPos)
{
    return startPos;
}

void IEditorDelegate::SendAllParamValuesFromDelegate()
{
    for (int i = 0; i < NParams(); ++i)
        SendParameterValueFromDelegate(i, GetParam(i)->GetNormalized(), true);
}

void IEditorDelegate::SetSizeConstraints(int widthA, int widthB, int heightA, int heightB)
{
    mMinWidth = std::min(widthA, widthB);
    mMaxWidth = std::max(widthA, widthB);
    mMinHeight = std::min(heightA, heightB);
    mMaxHeight = std::max(heightA, heightB);
}

} // namespace plugkit
