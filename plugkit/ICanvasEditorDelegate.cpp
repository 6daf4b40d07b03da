#include "plugkit/ICanvasEditorDelegate.h"

#include "canvas/ICanvas.h"
#include "plugkit/IStateChunk.h"

#include <algorithm>
#include <cmath>

namespace plugkit::canvas
{

ICanvasEditorDelegate::ICanvasEditorDelegate(int nParams)
    : IEditorDelegate(nParams)
{
}

ICanvasEditorDelegate::~ICanvasEditorDelegate()
{
    delete mGraphics;
    mGraphics = nullptr;
    mMakeGraphicsFunc = nullptr;
    mLayoutFunc = nullptr;
}

ICanvas* ICanvasEditorDelegate::CreateGraphics()
{
    return mMakeGraphicsFunc ? mMakeGraphicsFunc() : nullptr;
}

void ICanvasEditorDelegate::LayoutUI(ICanvas* pGraphics)
{
    if (mLayoutFunc)
        mLayoutFunc(pGraphics);
}

void* ICanvasEditorDelegate::OpenWindow(void* pParent)
{
    if (!mGraphics)
    {
        mGraphics = CreateGraphics();
        if (mGraphics && mLastWidth != 0 && mLastHeight != 0 && mLastScale != 0.f)
            mGraphics->Resize(mLastWidth, mLastHeight, mLastScale, true);
    }
    return mGraphics ? mGraphics->OpenWindow(pParent) : nullptr;
}

void ICanvasEditorDelegate::CloseWindow()
{
    if (mClosing)
        return;
    mClosing = true;
    OnUIClose();
    if (mGraphics)
    {
        mLastWidth = mGraphics->Width();
        mLastHeight = mGraphics->Height();
        mLastScale = mGraphics->GetDrawScale();
        mGraphics->CloseWindow();
        ICanvas* graphics = mGraphics;
        mGraphics = nullptr; // nothing forwards to an object being deleted
        delete graphics;
    }
    mClosing = false;
}

void ICanvasEditorDelegate::OnParentWindowResize(int width, int height)
{
    if (!mGraphics)
        return;
    const float s = mGraphics->GetPlatformWindowScale();
    if (!(s > 0.f))
        return;
    mGraphics->Resize(static_cast<int>(width / s), static_cast<int>(height / s), 1.f, false);
}

bool ICanvasEditorDelegate::OnKeyDown(const IKeyEvent& key)
{
    if (!mGraphics)
        return false;
    float x = 0.f, y = 0.f;
    mGraphics->GetMouseLocation(x, y);
    return mGraphics->OnKeyDown(x, y, key);
}

bool ICanvasEditorDelegate::OnKeyUp(const IKeyEvent& key)
{
    if (!mGraphics)
        return false;
    float x = 0.f, y = 0.f;
    mGraphics->GetMouseLocation(x, y);
    return mGraphics->OnKeyUp(x, y, key);
}

void ICanvasEditorDelegate::SendControlValueFromDelegate(int ctrlTag, double normalizedValue)
{
    if (mGraphics)
        mGraphics->SendControlValueFromDelegate(ctrlTag, normalizedValue);
}

void ICanvasEditorDelegate::SendControlMsgFromDelegate(int ctrlTag,
                                                       int msgTag,
                                                       int dataSize,
                                                       const void* pData)
{
    if (mGraphics)
        mGraphics->SendControlMsgFromDelegate(ctrlTag, msgTag, dataSize, pData);
}

void ICanvasEditorDelegate::SendMidiMsgFromDelegate(const MidiMessage& msg)
{
    if (mGraphics)
        mGraphics->SendMidiMsgFromDelegate(msg);
    OnMidiMsgUI(msg);
}

void ICanvasEditorDelegate::SendParameterValueFromDelegate(int paramIdx,
                                                           double value,
                                                           bool normalized)
{
    // Controls hold only finite values; the plug-in still hears of the change.
    if (mGraphics && std::isfinite(value))
    {
        if (!normalized)
        {
            if (const IParam* param = GetParam(paramIdx))
                value = param->ToNormalized(value);
        }
        mGraphics->SendParameterValueFromDelegate(paramIdx, value);
    }
    IEditorDelegate::SendParameterValueFromDelegate(paramIdx, value, normalized);
}

bool ICanvasEditorDelegate::SerializeEditorState(IStateChunk& chunk) const
{
    const int width = mGraphics ? mGraphics->Width() : mLastWidth;
    const int height = mGraphics ? mGraphics->Height() : mLastHeight;
    const float scale = mGraphics ? mGraphics->GetDrawScale() : mLastScale;
    bool ok = chunk.PutInt32(width);
    ok = chunk.PutInt32(height) && ok;
    ok = chunk.PutFloat(scale) && ok;
    return ok;
}

int ICanvasEditorDelegate::UnserializeEditorState(const IStateChunk& chunk, int startPos)
{
    int32_t width = 0, height = 0;
    float scale = 0.f;
    int pos = chunk.GetInt32(width, startPos);
    if (pos < 0)
        width = 0;
    pos = chunk.GetInt32(height, pos);
    if (pos < 0)
        height = 0;
    pos = chunk.GetFloat(scale, pos);
    if (pos < 0)
        scale = 0.f;
    // A restored size or scale that is not a positive number would break every later drawing;
    // read as 0, it is not applied.
    if (!std::isfinite(scale) || scale < 0.f)
        scale = 0.f;
    width = std::max(width, 0);
    height = std::max(height, 0);

    if (!mGraphics)
    {
        mLastWidth = width;
        mLastHeight = height;
        mLastScale = scale;
    }
    else if (width != 0 && height != 0 && scale != 0.f)
    {
        mGraphics->Resize(width, height, scale, true);
    }
    return pos;
}

void ICanvasEditorDelegate::SetScreenScale(float scale)
{
    if (mGraphics)
        mGraphics->SetScreenScale(scale);
}

} // namespace plugkit::canvas
