#include "canvas/ICornerResizerControl.h"

#include "canvas/ICanvas.h"

namespace plugkit::canvas
{

ICornerResizerControl::ICornerResizerControl(const IBounds& editorBounds,
                                             float size,
                                             const IArgbColor& idleColor,
                                             const IArgbColor& mouseOverColor,
                                             const IArgbColor& dragColor)
    : IControl(editorBounds, kNoParameter)
    , mSize(size)
    , mInitialBounds(editorBounds)
    , mIdleColor(idleColor)
    , mMouseOverColor(mouseOverColor)
    , mDragColor(dragColor)
{
}

void ICornerResizerControl::OnMouseDown(float, float, const IMouseModifiers&)
{
    if (mGraphics)
        mGraphics->StartResizeGesture();
}

void ICornerResizerControl::OnMouseDblClick(float, float, const IMouseModifiers&)
{
    if (mGraphics)
        mGraphics->Resize(
            static_cast<int>(mInitialBounds.W()), static_cast<int>(mInitialBounds.H()), 1.f, true);
}

void ICornerResizerControl::OnMouseOver(float x, float y, const IMouseModifiers& mod)
{
    if (!mCursorChanged && mGraphics)
    {
        mPrevCursor = mGraphics->SetMouseCursor(ECursorShape::SizeNWSE);
        mCursorChanged = true;
    }
    IControl::OnMouseOver(x, y, mod);
}

void ICornerResizerControl::OnMouseOut()
{
    if (mCursorChanged && mGraphics)
        mGraphics->SetMouseCursor(mPrevCursor);
    mCursorChanged = false;
    IControl::OnMouseOut();
}

void ICornerResizerControl::OnRescale()
{
    if (!mGraphics)
        return;
    const float side = mSize / mGraphics->GetDrawScale();
    const float w = static_cast<float>(mGraphics->Width());
    const float h = static_cast<float>(mGraphics->Height());
    SetTargetAndDrawRECTs({w - side, h - side, w, h});
}

void ICornerResizerControl::Draw(ICanvas& g)
{
    const IArgbColor& color = g.IsResizing() ? mDragColor
                              : mMouseIsOver ? mMouseOverColor
                                             : mIdleColor;
    g.FillTriangle(color, mRECT.L, mRECT.B, mRECT.R, mRECT.T, mRECT.R, mRECT.B, &mBlend);
}

} // namespace plugkit::canvas
