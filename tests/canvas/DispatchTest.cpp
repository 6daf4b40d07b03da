#include "tests/support/CanvasTestHelpers.h"

#include "canvas/ICornerResizerControl.h"
#include "canvas/ITextEntryControl.h"

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::TestControl;

class DispatchTest : public lumenfall::test::CanvasFixture
{
protected:
    void BuildLayers()
    {
        background = Attach(new TestControl({0, 0, 400, 300}, -1, "background"));
        a = Attach(new TestControl({10, 10, 50, 50}, -1, "a"));
        b = Attach(new TestControl({30, 30, 70, 70}, -1, "b"));
        disabled = Attach(new TestControl({100, 100, 150, 150}, -1, "disabled"));
        disabled->SetDisabled(true);
        clicksWhenDisabled = Attach(new TestControl({200, 100, 250, 150}, -1, "clicks"));
        clicksWhenDisabled->SetDisabled(true);
        clicksWhenDisabled->SetMouseEventsWhenDisabled(true);
        overWhenDisabled = Attach(new TestControl({300, 100, 350, 150}, -1, "over"));
        overWhenDisabled->SetDisabled(true);
        overWhenDisabled->SetMouseOverWhenDisabled(true);
        // On top of everything, but neither may block what lies beneath.
        auto* hidden = Attach(new TestControl({0, 0, 400, 300}, -1, "hidden"));
        hidden->Hide(true);
        auto* ignoring = Attach(new TestControl({0, 0, 400, 300}, -1, "ignoring"));
        ignoring->SetIgnoreMouse(true);
        g.AttachCornerResizer(
            EUIResizerMode::Size, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    }

    std::string NameAt(float x, float y, bool mouseOver)
    {
        IControl* c = g.GetControlAtPoint(x, y, false, mouseOver, 0);
        if (!c)
            return "none";
        if (c == g.GetCornerResizer())
            return "resizer";
        if (c == g.GetTextEntryControl())
            return "text entry";
        return static_cast<TestControl*>(c)->name;
    }

    TestControl *background = nullptr, *a = nullptr, *b = nullptr, *disabled = nullptr,
                *clicksWhenDisabled = nullptr, *overWhenDisabled = nullptr;
};

TEST_F(DispatchTest, ControlAtPointPriorityAndSkipRules)
{
    BuildLayers();
    g.EnableMouseOver(true);
    struct Case
    {
        float x, y;
        const char* press;
        const char* mouseOver;
    };
    const Case cases[] = {
        {40, 40, "b", "b"}, // the later attached lies on top
        {15, 15, "a", "a"},
        {5, 5, "background", "none"},     // the background never takes mouse-over
        {120, 120, "background", "none"}, // disabled
        {220, 120, "clicks", "none"},     // takes presses while disabled
        {320, 120, "background", "over"}, // takes mouse-over while disabled
        {390, 290, "resizer", "resizer"},
        {50, 50, "b", "b"}, // right and bottom edges are outside a
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(NameAt(c.x, c.y, false), c.press) << c.x << ", " << c.y;
        EXPECT_EQ(NameAt(c.x, c.y, true), c.mouseOver) << c.x << ", " << c.y;
    }
    g.EnableMouseOver(false);
    EXPECT_EQ(NameAt(40, 40, true), "none");

    // An open text field takes every point; a capture beats even that.
    g.AttachTextEntryControl();
    Press(15, 15);
    g.GetTextEntryControl()->CreateTextEntry(-1, kDefaultTextStyle, {0, 0, 40, 20}, 7, "x");
    EXPECT_EQ(NameAt(15, 15, false), "a");
    EXPECT_EQ(NameAt(390, 290, false), "a");
    Release(15, 15);
    EXPECT_EQ(NameAt(390, 290, false), "text entry");
    EXPECT_EQ(NameAt(220, 120, false), "text entry");
}

TEST_F(DispatchTest, CaptureFollowsThePointerUntilRelease)
{
    a = Attach(new TestControl({10, 10, 50, 50}, -1, "a"));
    // A press on empty space captures nothing: the drag goes nowhere.
    Press(200, 200);
    Drag(20, 20, -180, -180);
    EXPECT_EQ(a->drags, 0);
    Release(20, 20);
    EXPECT_EQ(a->ups, 0);

    Press(20, 20);
    Drag(300, 300, 280, 280);
    Drag(300, 300, 0, 0); // no movement: not delivered
    Release(300, 300);
    EXPECT_EQ(a->downs, 1);
    EXPECT_EQ(a->drags, 1);
    EXPECT_EQ(a->ups, 1);
    EXPECT_FALSE(g.IsControlCaptured(a));
}

TEST_F(DispatchTest, MouseOverTrackingAndLeavingTheWindow)
{
    BuildLayers();
    g.EnableTooltips(true);
    EXPECT_TRUE(g.MouseOverEnabled());
    EXPECT_TRUE(g.OnMouseOver(15, 15, {}));
    EXPECT_EQ(g.GetMouseOverControl(), a);
    EXPECT_EQ(g.GetMouseOverIdx(), 1);
    EXPECT_TRUE(a->GetMouseIsOver());
    g.OnMouseOver(40, 40, {});
    EXPECT_EQ(a->outs, 1);
    EXPECT_FALSE(a->GetMouseIsOver());
    EXPECT_EQ(g.GetMouseOverIdx(), 2);
    EXPECT_FALSE(g.OnMouseOver(5, 5, {}));
    EXPECT_EQ(g.GetMouseOverControl(), nullptr);
    EXPECT_EQ(b->outs, 1);

    g.OnMouseOver(40, 40, {});
    g.OnMouseOut();
    EXPECT_EQ(g.GetMouseOverIdx(), -1);
    EXPECT_EQ(g.GetMouseOverControl(), nullptr);
    EXPECT_FALSE(b->GetMouseIsOver());
    EXPECT_EQ(background->outs, 1); // every control is told
}

TEST_F(DispatchTest, KeysWheelAndDropsGoToTheControlUnderThePointer)
{
    BuildLayers();
    a->onKeyDown = [](TestControl&, const IKeyEvent&) { return true; };
    IKeyEvent key;
    key.VK = kVK_UP;
    EXPECT_FALSE(g.OnKeyDown(5, 5, key)); // not offered to the background
    EXPECT_EQ(background->keys, 0);
    EXPECT_TRUE(g.OnKeyDown(15, 15, key));
    EXPECT_FALSE(g.OnKeyDown(40, 40, key)); // b does not handle it
    EXPECT_EQ(b->keys, 1);

    EXPECT_TRUE(g.OnMouseWheel(15, 15, {}, 1.f));
    EXPECT_EQ(a->wheels, 1);
    g.OnDrop("file", 40, 40);
    g.OnDropMultiple({"one", "two"}, 15, 15);
    EXPECT_EQ(b->drops, 1);
    EXPECT_EQ(a->drops, 1);
}

TEST_F(DispatchTest, RightClickOnABoundControlOpensTheParameterMenuOnly)
{
    auto* bound = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain, "bound"));
    auto* unbound = Attach(new TestControl({100, 0, 150, 50}, -1, "unbound"));
    Press(10, 10, Right());
    EXPECT_EQ(bound->downs, 0);
    EXPECT_FALSE(g.IsControlCaptured(bound));
    EXPECT_EQ(g.LinesStartingWith("ParamContextMenu"),
              (std::vector<std::string>{"ParamContextMenu 0 10 10"}));
    EXPECT_TRUE(dlg.HostEvents().empty());
    Release(10, 10, Right());

    Press(110, 10, Right()); // an ordinary press
    EXPECT_EQ(unbound->downs, 1);
    Release(110, 10, Right());
    EXPECT_EQ(unbound->ups, 1);
}

TEST_F(DispatchTest, DoubleClickDeliveredAsClickOrAsDoubleClick)
{
    auto* plain = Attach(new TestControl({0, 0, 50, 50}, -1, "plain"));
    auto* single = Attach(new TestControl({100, 0, 150, 50}, -1, "single"));
    single->SetDblAsSingleClick(true);

    EXPECT_TRUE(g.OnMouseDblClick(10, 10, Left()));
    EXPECT_EQ(plain->dblClicks, 1);
    EXPECT_EQ(plain->downs, 0);
    EXPECT_FALSE(g.IsControlCaptured(plain)); // released after the double click

    EXPECT_TRUE(g.OnMouseDblClick(110, 10, Left()));
    EXPECT_EQ(single->dblClicks, 0);
    EXPECT_EQ(single->downs, 1);
    EXPECT_TRUE(g.IsControlCaptured(single)); // a press: held until its release
    Release(110, 10);
    EXPECT_EQ(single->ups, 1);

    EXPECT_FALSE(g.OnMouseDblClick(300, 200, Left()));
}

TEST_F(DispatchTest, WhileATextEntryIsOpenOnlyTheFieldTakesDrags)
{
    auto* c = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kTime, "c"));
    Press(10, 10);
    g.CreateTextEntry(*c, kDefaultTextStyle, {0, 0, 50, 20}, "25.0");
    Drag(12, 12, 2, 2);
    EXPECT_EQ(c->drags, 0);
    Release(12, 12);
    g.SetControlValueAfterTextEdit("40");
    EXPECT_EQ(c->GetValue(), 0.4);
    Press(10, 10);
    Drag(12, 12, 2, 2);
    EXPECT_EQ(c->drags, 1);
    Release(12, 12);
}

TEST_F(DispatchTest, ASecondPointerTakesACapturedControlOnlyWhenItWantsMultipleTouches)
{
    background = Attach(new TestControl({0, 0, 400, 300}, -1, "background"));
    a = Attach(new TestControl({10, 10, 50, 50}, FakeEditorDelegate::kGain, "a"));
    auto touch = [](int64_t id)
    {
        IMouseEvent e;
        e.x = 20;
        e.y = 20;
        e.ms.L = true;
        e.ms.touchID = id;
        return e;
    };
    for (const bool multi : {false, true})
    {
        a->SetWantsMultiTouch(multi);
        a->downs = background->downs = 0;
        g.OnMouseDown({touch(1)});
        g.OnMouseDown({touch(2)});
        EXPECT_EQ(a->downs, multi ? 2 : 1);
        EXPECT_EQ(background->downs, multi ? 0 : 1);
        EXPECT_EQ(g.GetOpenGestureCount(FakeEditorDelegate::kGain), multi ? 2 : 1);
        g.OnMouseUp({touch(1), touch(2)});
        EXPECT_EQ(g.GetOpenGestureCount(FakeEditorDelegate::kGain), 0);
    }
    EXPECT_TRUE(dlg.GesturesBalanced());
}

} // namespace
