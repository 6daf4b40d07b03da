#include "tests/support/CanvasTestHelpers.h"

#include "canvas/IKnobControlBase.h"
#include "plugkit/IParam.h"

#include <limits>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;

/// The smallest knob: a 100-unit square, so one drag span is 100 units either way.
class Knob : public IKnobControlBase
{
public:
    using IKnobControlBase::IKnobControlBase;
    void Draw(ICanvas&) override {}
};

class KnobTest : public lumenfall::test::CanvasFixture
{
protected:
    Knob* MakeKnob(int paramIdx = FakeEditorDelegate::kGain,
                   EDirection direction = EDirection::Vertical,
                   double gearing = 4.0)
    {
        return Attach(new Knob({0, 0, 100, 100}, paramIdx, direction, gearing));
    }
    static IMouseModifiers Mods(bool shift, bool control)
    {
        IMouseModifiers m = Left();
        m.S = shift;
        m.C = control;
        return m;
    }
};

TEST_F(KnobTest, DragLaw)
{
    struct Case
    {
        EDirection direction;
        float dX, dY;
        bool shift, control;
        double expected;
    };
    const Case cases[] = {
        {EDirection::Vertical, 0, -100, false, false, 0.25},
        {EDirection::Vertical, 0, -100, true, false, 0.025},
        {EDirection::Vertical, 0, -100, false, true, 0.025},
        {EDirection::Vertical, 0, 100, false, false, 0.0}, // down from 0 holds at 0
        {EDirection::Vertical, 50, 0, false, false, 0.0},  // sideways does nothing
        {EDirection::Horizontal, 100, 0, false, false, 0.25},
        {EDirection::Horizontal, 0, -100, false, false, 0.0},
    };
    for (const Case& c : cases)
    {
        Knob* knob = MakeKnob(FakeEditorDelegate::kGain, c.direction);
        const IMouseModifiers mods = Mods(c.shift, c.control);
        Press(50, 50, mods);
        Drag(50 + c.dX, 50 + c.dY, c.dX, c.dY, mods);
        Release(50, 50, mods);
        EXPECT_NEAR(knob->GetValue(), c.expected, 1e-12)
            << "dX " << c.dX << " dY " << c.dY << " shift " << c.shift << " ctrl " << c.control;
        g.RemoveAllControls();
    }
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(KnobTest, DragPastTheEndHoldsTheRunningValueToo)
{
    Knob* knob = MakeKnob();
    Press(50, 50);
    Drag(50, -550, 0, -600); // +1.5
    EXPECT_EQ(knob->GetValue(), 1.0);
    Drag(50, -560, 0, 40); // reversing moves at once: -0.1
    EXPECT_NEAR(knob->GetValue(), 0.9, 1e-12);
    Release(50, -560);
}

TEST_F(KnobTest, SteppedParameterMovesInStepsWhileTheDragValueRunsOn)
{
    // "Steps" is 0..4 in whole steps: normalised 0, 0.25, 0.5, 0.75, 1.
    Knob* knob = MakeKnob(FakeEditorDelegate::kSteps, EDirection::Vertical, 1.0);
    Press(50, 50);
    std::vector<double> values, dragValues;
    for (int i = 0; i < 5; ++i)
    {
        Drag(50, 50 - 10.f * (i + 1), 0, -10);
        values.push_back(knob->GetValue());
        dragValues.push_back(knob->GetDragValue());
    }
    Release(50, 0);
    EXPECT_EQ(values, (std::vector<double>{0.0, 0.25, 0.25, 0.5, 0.5}));
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(dragValues[static_cast<size_t>(i)], 0.1 * (i + 1), 1e-12);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kSteps)->Value(), 2.0);
}

TEST_F(KnobTest, WheelLaw)
{
    struct Case
    {
        int paramIdx;
        double start;
        float delta;
        bool control;
        double expected;
    };
    const Case cases[] = {
        {FakeEditorDelegate::kGain, 0.5, 1.f, false, 0.51},
        {FakeEditorDelegate::kGain, 0.5, 1.f, true, 0.501},
        {FakeEditorDelegate::kGain, 0.5, -3.f, false, 0.47},
        {FakeEditorDelegate::kGain, 0.995, 1.f, false, 1.0},
        {FakeEditorDelegate::kGain, 0.005, -1.f, false, 0.0},
        {FakeEditorDelegate::kSteps, 0.5, 0.3f, false, 0.75},
        {FakeEditorDelegate::kSteps, 0.5, -5.f, false, 0.25},
        {FakeEditorDelegate::kSteps, 0.5, 0.f, false, 0.5},
        {FakeEditorDelegate::kSteps, 1.0, 1.f, false, 1.0},
        {FakeEditorDelegate::kGain, 0.5, std::numeric_limits<float>::quiet_NaN(), false, 0.5},
    };
    for (const Case& c : cases)
    {
        Knob* knob = MakeKnob(c.paramIdx);
        knob->SetValueFromDelegate(c.start);
        g.OnMouseWheel(50, 50, Mods(false, c.control), c.delta);
        EXPECT_NEAR(knob->GetValue(), c.expected, 1e-12)
            << "param " << c.paramIdx << " start " << c.start << " delta " << c.delta;
        g.RemoveAllControls();
    }
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(KnobTest, ZeroSpanOrBadDeltaLeavesTheValue)
{
    Knob* knob = Attach(new Knob({0, 0, 100, 0}, FakeEditorDelegate::kGain));
    knob->SetValueFromDelegate(0.4);
    knob->OnMouseDown(50, 0, Left());
    knob->OnMouseDrag(50, -10, 0, -10, Left());
    EXPECT_EQ(knob->GetValue(), 0.4);
    EXPECT_EQ(knob->GetDragValue(), 0.4);

    Knob* good = MakeKnob();
    good->OnMouseDown(50, 50, Left());
    good->OnMouseDrag(50, 50, 0, std::numeric_limits<float>::infinity(), Left());
    EXPECT_EQ(good->GetValue(), 0.0);
    EXPECT_EQ(dlg.CountOf(FakeEditorDelegate::HostEvent::Perform), 0);
}

TEST_F(KnobTest, HiddenCursorDuringTheDragComesBackOnReleaseOrLostCapture)
{
    Knob* knob = MakeKnob();
    knob->SetHideCursorOnDrag(true);
    Press(50, 50);
    EXPECT_TRUE(g.IsCursorHidden());
    Release(50, 50);
    EXPECT_FALSE(g.IsCursorHidden());
    EXPECT_EQ(g.LinesStartingWith("HideMouseCursor"),
              (std::vector<std::string>{"HideMouseCursor 1 1", "HideMouseCursor 0 1"}));

    Press(50, 50);
    EXPECT_TRUE(knob->GetMouseDown());
    g.ReleaseMouseCapture();
    EXPECT_FALSE(g.IsCursorHidden());
    EXPECT_FALSE(knob->GetMouseDown());
    EXPECT_EQ(g.Count("HideMouseCursor"), 4);
}

} // namespace
