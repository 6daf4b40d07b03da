#pragma once

#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

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

    /// Collects and draws one frame (the log then holds only the drawing); returns what
    /// IsDirty said.
    bool Frame()
    {
        plugkit::canvas::DirtyRectList rects;
        const bool dirty = g.IsDirty(rects);
        g.ClearLog();
        g.DrawDirtyRects(rects);
        return dirty;
    }

    /// The controls of the scripted gesture tests: a background, a gain that the up and down
    /// keys step, a mode whose press or "M" opens its menu, and a time value that can be typed.
    void AttachGestureControls()
    {
        using plugkit::canvas::IKeyEvent;
        Attach(new TestControl({0, 0, 400, 300}, -1, "background"));
        gain = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain, "gain"));
        mode = Attach(new TestControl({100, 0, 150, 50}, FakeEditorDelegate::kMode, "mode"));
        time = Attach(new TestControl({200, 0, 250, 50}, FakeEditorDelegate::kTime, "time"));
        mode->DisablePrompt(false);
        time->DisablePrompt(false);
        gain->onKeyDown = [](TestControl& c, const IKeyEvent& key)
        {
            if (key.VK != plugkit::canvas::kVK_UP && key.VK != plugkit::canvas::kVK_DOWN)
                return false;
            c.SetValueFromUserInput(c.GetValue() +
                                    (key.VK == plugkit::canvas::kVK_UP ? 0.1 : -0.1));
            return true;
        };
        mode->onKeyDown = [](TestControl& c, const IKeyEvent& key)
        {
            if (key.VK != 'M')
                return false;
            c.PromptUserInput(0);
            return true;
        };
        mode->onMouseDown = [](TestControl& c) { c.PromptUserInput(0); };
    }

    FakeEditorDelegate dlg;
    RecordingCanvas g{dlg};
    TestControl *gain = nullptr, *mode = nullptr, *time = nullptr;
};

} // namespace lumenfall::test
