#pragma once

#include "tests/canvas/FakeEditorDelegate.h"
#include "tests/canvas/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumenfall::test
{

/// A delegate with its canvas, and shorthands for pointer events.
class CanvasFixture : public ::testing::Test
{
public:
    using IBounds = plugkit::canvas::IBounds;
    using IMouseModifiers = plugkit::canvas::IMouseModifiers;
    using IMouseEvent = plugkit::canvas::IMouseEvent;

    template <class T>
    T* Attach(T* control, int tag = -1)
    {
        return static_cast<T*>(g.AttachControl(control, tag));
    }

    static IMouseModifiers Left() { return {true, false, false, false, false, 0, 0.f}; }
    static IMouseModifiers Right() { return {false, true, false, false, false, 0, 0.f}; }
    static std::vector<IMouseEvent>
    At(float x, float y, IMouseModifiers mod = Left(), float dX = 0.f, float dY = 0.f)
    {
        IMouseEvent e;
        e.x = x;
        e.y = y;
        e.dX = dX;
        e.dY = dY;
        e.ms = mod;
        return {e};
    }
    void Press(float x, float y, IMouseModifiers mod = Left()) { g.OnMouseDown(At(x, y, mod)); }
    void Drag(float x, float y, float dX, float dY, IMouseModifiers mod = Left())
    {
        g.OnMouseDrag(At(x, y, mod, dX, dY));
    }
    void Release(float x, float y, IMouseModifiers mod = Left()) { g.OnMouseUp(At(x, y, mod)); }

    FakeEditorDelegate dlg;
    RecordingCanvas g{dlg};
};

} // namespace lumenfall::test
