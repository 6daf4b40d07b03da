#pragma once

#include "canvas/IControl.h"

namespace plugkit::canvas
{

/// The square handle in the editor's bottom-right corner that rescales or resizes the
/// editor when dragged (the canvas does the resizing; see `EUIResizerMode`). Its side is
/// `size` / draw scale in editor units, so it keeps its size in device pixels.
class ICornerResizerControl : public IControl
{
public:
    /// `editorBounds`: the editor at attachment, to which a double click returns.
    ICornerResizerControl(const IBounds& editorBounds,
                          float size,
                          const IArgbColor& idleColor = kColorTranslucentBlack,
                          const IArgbColor& mouseOverColor = kColorBlack,
                          const IArgbColor& dragColor = kColorBlack);

    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override;
    /// Back to the attached size at scale 1 (held by the scale limits).
    void OnMouseDblClick(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseOver(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseOut() override;
    void OnRescale() override;
    /// The lower-right half of the square.
    void Draw(ICanvas& g) override;

    float GetSize() const { return mSize; }
    const IBounds& GetInitialBounds() const { return mInitialBounds; }

private:
    float mSize;
    bool mCursorChanged = false;
    ECursorShape mPrevCursor = ECursorShape::Arrow;
    IBounds mInitialBounds;
    IArgbColor mIdleColor;
    IArgbColor mMouseOverColor;
    IArgbColor mDragColor;
};

} // namespace plugkit::canvas
