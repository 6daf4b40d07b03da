#pragma once

#include "canvas/IControl.h"

namespace plugkit::canvas
{

/// Which pointer movement turns a knob.
enum class EDirection : int
{
    Vertical = 0,   ///< drag up to increase
    Horizontal = 1, ///< drag right to increase
    kNumDirections
};

/// The base of controls that change their first value by dragging or turning the wheel.
///
/// Drag law: v = dragValue + dY / (top - bottom) / g vertically (dX / (right - left) / g
/// horizontally) over `GetKnobDragBounds`, with g the gearing, times 10 under Shift or
/// Control; v is held in [0, 1] and kept unstepped as the running drag value, while a stepped
/// parameter receives its nearest step. Wheel law: value + delta x 0.01 (0.001 under Shift or
/// Control); a stepped parameter moves exactly one step per event whatever the delta.
/// The host gesture around a drag is opened and closed by the canvas.
class IKnobControlBase : public IControl
{
public:
    static constexpr double kDefaultGearing = 4.0;

    explicit IKnobControlBase(const IBounds& bounds,
                              int paramIdx = kNoParameter,
                              EDirection direction = EDirection::Vertical,
                              double gearing = kDefaultGearing);

    /// Starts a drag from the current value; derived controls call it from their own press.
    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseUp(float x, float y, const IMouseModifiers& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const IMouseModifiers& mod) override;
    void OnMouseWheel(float x, float y, const IMouseModifiers& mod, float delta) override;
    void OnCaptureLost() override;

    /// The rectangle whose height (vertical) or width (horizontal) is one drag span.
    /// Default: the target bounds.
    virtual IBounds GetKnobDragBounds() const { return mTargetRECT; }

    void SetHideCursorOnDrag(bool hide) { mHideCursorOnDrag = hide; }
    bool GetHideCursorOnDrag() const { return mHideCursorOnDrag; }
    EDirection GetDirection() const { return mDirection; }
    void SetDirection(EDirection direction) { mDirection = direction; }
    double GetGearing() const { return mGearing; }
    void SetGearing(double gearing) { mGearing = gearing; }
    bool GetMouseDown() const { return mMouseDown; }
    double GetDragValue() const { return mMouseDragValue; }

private:
    /// The parameter of value 0 when it is stepped with a step above 0, else null.
    const IParam* GetSteppedParam() const;
    void EndDrag();

    bool mHideCursorOnDrag = false;
    EDirection mDirection = EDirection::Vertical;
    double mGearing = kDefaultGearing;
    bool mMouseDown = false;
    double mMouseDragValue = 0.0;
};

} // namespace plugkit::canvas
