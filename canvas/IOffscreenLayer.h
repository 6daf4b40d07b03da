#pragma once

#include "canvas/APIBitmap.h"
#include "canvas/CanvasTypes.h"

#include <memory>
#include <utility>

namespace plugkit::canvas
{

class IControl;

/// An offscreen render target: a back-end bitmap that drawing goes into while the layer is on
/// `ICanvas`'s layer stack, with the control it was made for and its bounds in editor units
/// (pixel aligned). The layer owns its bitmap until `TakeBitmap` hands it on.
class IOffscreenLayer
{
public:
    IOffscreenLayer(std::unique_ptr<APIBitmap> bitmap,
                    const IBounds& bounds,
                    IControl* control,
                    const IBounds& controlBounds)
        : mBitmap(std::move(bitmap))
        , mControl(control)
        , mControlBounds(controlBounds)
        , mBounds(bounds)
    {
    }
    IOffscreenLayer(const IOffscreenLayer&) = delete;
    IOffscreenLayer& operator=(const IOffscreenLayer&) = delete;

    /// Null once the bitmap was taken.
    APIBitmap* GetAPIBitmap() const { return mBitmap.get(); }
    /// Hands the bitmap to the caller; the layer has none afterwards.
    std::unique_ptr<APIBitmap> TakeBitmap() { return std::move(mBitmap); }
    const IBounds& GetBounds() const { return mBounds; }
    /// May be null.
    IControl* GetControl() const { return mControl; }
    /// The control's bounds when the layer was begun (all zero without a control).
    const IBounds& GetControlBounds() const { return mControlBounds; }
    /// A layer to be drawn again: its control invalidates it when what it shows changes.
    void Invalidate() { mInvalid = true; }
    bool IsValid() const { return !mInvalid && mBitmap != nullptr; }

private:
    std::unique_ptr<APIBitmap> mBitmap;
    IControl* mControl;
    IBounds mControlBounds;
    IBounds mBounds;
    bool mInvalid = false;
};

/// An owning layer handle; `ICanvas::FinishLayer` returns one.
using ILayerPtr = std::unique_ptr<IOffscreenLayer>;

/// A drop shadow of a layer's content: the pattern the shadow is painted with, its blur size
/// in editor units, its offset, its opacity (0 to 1), and whether the layer's own content is
/// drawn on top of it (otherwise only the shadow remains).
struct ILayerShadow
{
    IFillPattern pattern = IFillPattern::Solid(kColorShadow);
    float blurSize = 10.f;
    float xOffset = 5.f;
    float yOffset = 5.f;
    float opacity = 1.f;
    bool drawForeground = true;
};

} // namespace plugkit::canvas
