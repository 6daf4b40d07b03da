#include "canvas/ITextEntryControl.h"

#include "canvas/ICanvas.h"

namespace plugkit::canvas
{

ITextEntryControl::ITextEntryControl()
    : IControl(IBounds{}, kNoParameter)
{
}

void ITextEntryControl::CreateTextEntry(
    int paramIdx, const ITextStyle& style, const IBounds& bounds, int, const char* text)
{
    mMouseIsOver = false;
    SetTargetAndDrawRECTs(bounds);
    SetText(style);
    mText.color = style.entryTextColor;
    mEditParamIdx = paramIdx;
    SetEditText(text);
    SetDirty(true);
    mEditing = true;
}

void ITextEntryControl::Close()
{
    mEditing = false;
    SetTargetAndDrawRECTs(IBounds{});
    if (mGraphics)
        mGraphics->SetAllControlsDirty();
}

void ITextEntryControl::CommitEntry()
{
    if (!mEditing)
        return;
    // Closed before the value is handed on: the owner's reaction may remove every control,
    // this field included, so nothing here may be touched afterwards.
    const std::string text = mEditText;
    ICanvas* graphics = mGraphics;
    Close();
    if (graphics)
        graphics->SetControlValueAfterTextEdit(text.c_str());
}

void ITextEntryControl::CancelEntry()
{
    if (!mEditing)
        return;
    if (mGraphics)
        mGraphics->ClearTextEntryOwner();
    Close();
}

bool ITextEntryControl::OnKeyDown(float, float, const IKeyEvent& key)
{
    if (!mEditing)
        return false;
    switch (key.VK)
    {
    case kVK_RETURN:
        CommitEntry();
        return true;
    case kVK_ESCAPE:
        CancelEntry();
        return true;
    case kVK_TAB:
        return false;
    default:
        break;
    }
    if (key.utf8[0] == 0)
        return false;
    mEditText += key.utf8;
    SetDirty(false);
    return true;
}

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseModifiers&)
{
    // A press outside the open field commits it.
    if (mEditing && !mRECT.Contains(x, y))
        CommitEntry();
}

void ITextEntryControl::Draw(ICanvas&) {}

} // namespace plugkit::canvas
