#include "canvas/IKnobControlBase.h"

#include "canvas/ICanvas.h"
#include "plugkit/IParam.h"

#include <algorithm>
#include <cmath>

namespace plugkit::canvas
{

IKnobControlBase::IKnobControlBase(const IBounds& bounds,
                                   int paramIdx,
                                   EDirection direction,
                                   double gearing)
    : IControl(bounds, paramIdx)
    , mDirection(direction)
    , mGearing(gearing)
{
}

void IKnobControlBase::OnMouseDown(float x, float y, const IMouseModifiers& mod)
{
    mMouseDown = true;
    mMouseDragValue = GetValue(0);
    if (mHideCursorOnDrag && mGraphics)
        mGraphics->HideMouseCursor(true, true);
    IControl::OnMouseDown(x, y, mod);
}

void IKnobControlBase::OnMouseUp(float, float, const IMouseModifiers&)
{
    EndDrag();
}

void IKnobControlBase::OnCaptureLost()
{
    if (mMouseDown)
        EndDrag();
}

void IKnobControlBase::EndDrag()
{
    if (mHideCursorOnDrag && mGraphics)
        mGraphics->HideMouseCursor(false, true);
    mMouseDown = false;
    SetDirty(false);
}

const IParam* IKnobControlBase::GetSteppedParam() const
{
    const IParam* param = GetParam(0);
    return (param && param->GetStepped() && param->GetStep() > 0.0) ? param : nullptr;
}

void IKnobControlBase::OnMouseDrag(float, float, float dX, float dY, const IMouseModifiers& mod)
{
    const double gearing = (mod.S || mod.C) ? mGearing * 10.0 : mGearing;
    const IBounds r = GetKnobDragBounds();
    const bool vertical = mDirection == EDirection::Vertical;
    const double span = vertical ? double(r.T) - r.B : double(r.R) - r.L;
    const double delta = vertical ? dY : dX;
    const double step = delta / span / gearing;
    // A zero span or gearing, or a bad delta, would poison the running value: ignore it.
    if (!std::isfinite(step))
        return;

    mMouseDragValue = std::clamp(mMouseDragValue + step, 0.0, 1.0);
    double v = mMouseDragValue;
    if (const IParam* param = GetSteppedParam())
        v = std::clamp(param->ToNormalized(param->FromNormalized(v)), 0.0, 1.0);
    SetValue(v, 0);
    SetDirty(true, 0);
}

void IKnobControlBase::OnMouseWheel(float, float, const IMouseModifiers& mod, float delta)
{
    if (!std::isfinite(delta))
        return;
    double v = GetValue(0);
    if (const IParam* param = GetSteppedParam())
    {
        if (delta == 0.f)
            return;
        const double current = param->FromNormalized(v);
        v = param->ToNormalized(current + (delta > 0.f ? param->GetStep() : -param->GetStep()));
    }
    else
    {
        const double increment = (mod.S || mod.C) ? 0.001 : 0.01;
        v += delta * increment;
    }
    SetValue(v, 0);
    SetDirty(true, 0);
}

} // namespace plugkit::canvas
