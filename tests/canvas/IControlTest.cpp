#include "tests/canvas/TestClock.h"
#include "tests/support/CanvasTestHelpers.h"

#include "plugkit/IParam.h"

#include <cmath>
#include <limits>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::TestControl;
using Host = FakeEditorDelegate::HostEvent;

class ControlTest : public lumenfall::test::CanvasFixture
{
};

TEST_F(ControlTest, SetDirtyHoldsValuesInRangeAndInformsTheHostOnlyWhenAsked)
{
    int actions = 0;
    auto* c = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kGain));
    c->SetActionFunction([&](IControl*) { ++actions; });

    struct Case
    {
        double stored, expected;
    };
    for (const Case k : {Case{1.7, 1.0}, Case{-0.2, 0.0}, Case{0.4, 0.4}})
    {
        c->SetValue(k.stored);
        c->SetDirty(false);
        EXPECT_EQ(c->GetValue(), k.expected);
    }
    EXPECT_TRUE(dlg.HostEvents().empty());
    EXPECT_EQ(actions, 0);

    c->SetDirty(true);
    EXPECT_EQ(dlg.CountOf(Host::Perform, FakeEditorDelegate::kGain), 1);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kGain)->Value(), 0.4);
    EXPECT_EQ(actions, 1);

    // The stored value again: nothing reaches the host and no action runs.
    dlg.ClearHostEvents();
    c->SetValueFromUserInput(0.4);
    EXPECT_TRUE(dlg.HostEvents().empty());
    EXPECT_EQ(actions, 1);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(ControlTest, NonFiniteValuesAreIgnoredOnEveryPath)
{
    auto* c = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kGain));
    c->SetValueFromDelegate(0.3);
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()})
    {
        c->SetValue(bad);
        c->SetValueFromDelegate(bad);
        c->SetValueFromUserInput(bad);
        EXPECT_EQ(c->GetValue(), 0.3);
    }
    EXPECT_TRUE(dlg.HostEvents().empty());
}

TEST_F(ControlTest, TwoValueControl)
{
    dlg.GetParam(FakeEditorDelegate::kTime)->Set(80.0);
    auto* c = Attach(
        new TestControl({0, 0, 10, 10}, {FakeEditorDelegate::kGain, FakeEditorDelegate::kTime}));
    c->DisablePrompt(false);
    EXPECT_EQ(c->GetValIdxForPos(5, 5), kNoValIdx);

    c->SetValue(0.5, 0);
    c->SetValue(0.5, 1);
    c->IControl::OnMouseDown(5, 5, Right());
    EXPECT_EQ(g.Count("PopupMenu"), 0);
    EXPECT_EQ(g.Count("PlatformTextEntry"), 0);

    // The default double click resets both, each reaching the host inside a gesture, in order.
    c->IControl::OnMouseDblClick(5, 5, Left());
    EXPECT_EQ(c->GetValue(0), 0.0);
    EXPECT_EQ(c->GetValue(1), 0.25);
    ASSERT_EQ(dlg.CountOf(Host::Perform), 2);
    std::vector<int> performed;
    for (const Host& e : dlg.HostEvents())
        if (e.kind == Host::Perform)
            performed.push_back(e.paramIdx);
    EXPECT_EQ(performed, (std::vector<int>{FakeEditorDelegate::kGain, FakeEditorDelegate::kTime}));
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 25.0);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(ControlTest, RightClickPromptsOnlyWhenEnabled)
{
    dlg.GetParam(FakeEditorDelegate::kMode)->Set(2.0);
    auto* menu = Attach(new TestControl({0, 0, 100, 20}, FakeEditorDelegate::kMode));
    auto* typed = Attach(new TestControl({0, 50, 100, 70}, FakeEditorDelegate::kTime));
    menu->IControl::OnMouseDown(5, 5, Right());
    EXPECT_EQ(g.Count("PopupMenu"), 0); // prompts start disabled

    menu->DisablePrompt(false);
    menu->IControl::OnMouseDown(5, 5, Left());
    EXPECT_EQ(g.Count("PopupMenu"), 0); // only the right button prompts
    menu->IControl::OnMouseDown(5, 5, Right());
    // A menu of the display texts over the whole control, the current one checked.
    ASSERT_EQ(g.LinesStartingWith("PopupMenu"),
              (std::vector<std::string>{"PopupMenu 5 Mode 0 0 100 20"}));
    IPopupMenu& prompt = g.GetPromptMenu();
    for (int i = 0; i < prompt.NItems(); ++i)
        EXPECT_EQ(prompt.GetItem(i)->GetChecked(), i == 2);

    // A switch with display texts is a menu too, titled with its name, its value checked.
    dlg.GetParam(FakeEditorDelegate::kSwitch)->Set(1.0);
    auto* toggle = Attach(new TestControl({0, 100, 100, 120}, FakeEditorDelegate::kSwitch));
    toggle->DisablePrompt(false);
    toggle->PromptUserInput(0);
    EXPECT_EQ(g.LinesStartingWith("PopupMenu").back(), "PopupMenu 2 Switch 0 100 100 120");
    ASSERT_EQ(prompt.NItems(), 2);
    EXPECT_FALSE(prompt.GetItem(0)->GetChecked());
    EXPECT_TRUE(prompt.GetItem(1)->GetChecked());
    EXPECT_STREQ(prompt.GetItemText(1), "on");

    // A double gets a 40 x 16 text box centred on the control, with its unit when asked.
    typed->DisablePrompt(false);
    typed->SetPromptShowsParamLabel(true);
    typed->IControl::OnMouseDown(5, 55, Right());
    EXPECT_EQ(g.LinesStartingWith("PlatformTextEntry"),
              (std::vector<std::string>{"PlatformTextEntry 3 7 25.0 ms 30 52 70 68"}));
}

TEST_F(ControlTest, ValueFromTheDelegateWaitsWhileThePointerHoldsTheControl)
{
    auto* c = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kGain));
    Press(5, 5);
    Drag(5, 4, 0, -30);
    const double dragged = c->GetValue();
    EXPECT_NEAR(dragged, 0.3, 1e-12);
    g.SendParameterValueFromDelegate(FakeEditorDelegate::kGain, 0.9);
    EXPECT_EQ(c->GetValue(), dragged);
    Release(5, 4);
    g.SendParameterValueFromDelegate(FakeEditorDelegate::kGain, 0.9);
    EXPECT_EQ(c->GetValue(), 0.9);
}

TEST_F(ControlTest, PeersBoundToTheSameParameterFollow)
{
    auto* a = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kGain));
    auto* b = Attach(
        new TestControl({20, 0, 30, 10}, {FakeEditorDelegate::kTime, FakeEditorDelegate::kGain}));
    auto* other = Attach(new TestControl({40, 0, 50, 10}, FakeEditorDelegate::kTime));
    a->SetValueFromUserInput(0.6);
    EXPECT_EQ(b->GetValue(1), 0.6);
    EXPECT_EQ(b->GetValue(0), 0.0);
    EXPECT_EQ(other->GetValue(), 0.0);
}

TEST_F(ControlTest, GeometryFlagsAndHitTest)
{
    TestControl c({10, 20, 30, 60});
    c.SetTargetRECT({12, 22, 28, 58});
    c.SetPosition(-5, 3);
    EXPECT_EQ(c.GetRECT(), IBounds(0, 3, 20, 43));
    EXPECT_EQ(c.GetTargetRECT(), IBounds(2, 5, 18, 41));
    c.SetSize(-1, 7);
    EXPECT_EQ(c.GetRECT(), IBounds(0, 3, 0, 10));
    EXPECT_EQ(c.GetTargetRECT(), c.GetRECT());

    c.SetTargetRECT({});
    EXPECT_FALSE(c.IsHit(0, 0));

    c.SetDisabled(true);
    EXPECT_EQ(c.GetBlend().weight, 0.25f);
    c.SetDisabled(false);
    EXPECT_EQ(c.GetBlend().weight, 1.f);
}

TEST_F(ControlTest, AnimationRunsOnTheInjectedClock)
{
    lumenfall::test::TestClock clock;
    TestControl c({0, 0, 10, 10});
    int ended = 0;
    EXPECT_EQ(c.GetAnimationProgress(), 0.0);
    c.SetAnimationEndActionFunction([&](IControl*) { ++ended; });
    c.SetAnimation(
        [](IControl* self)
        {
            if (self->GetAnimationProgress() >= 1.0)
                self->OnEndAnimation();
        });
    c.StartAnimation(200);
    clock.Advance(50);
    EXPECT_DOUBLE_EQ(c.GetAnimationProgress(), 0.25);
    c.SetClean();
    EXPECT_TRUE(c.IsDirty()); // an animation keeps the control dirty
    c.Animate();
    EXPECT_EQ(ended, 0);
    clock.Advance(150);
    c.Animate();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(c.GetAnimationFunction());
    c.SetClean();
    EXPECT_FALSE(c.IsDirty());

    // An animation of no duration is complete at once (no division by zero).
    c.SetAnimation([](IControl*) {});
    c.StartAnimation(0);
    EXPECT_EQ(c.GetAnimationProgress(), 1.0);
}

TEST_F(ControlTest, MenuChoiceBecomesTheNormalisedValue)
{
    auto* c = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kMode));
    c->DisablePrompt(false);
    IPopupMenu menu("", {"A", "B", "C", "D", "E"});
    menu.SetChosenItemIdx(3);
    c->OnPopupMenuSelection(&menu, 0);
    EXPECT_EQ(c->GetValue(), 0.75);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 3.0);
    c->OnPopupMenuSelection(nullptr, 0);
    EXPECT_EQ(c->GetValue(), 0.75);
    EXPECT_TRUE(dlg.GesturesBalanced());

    // A choice for the second value is a value of that value's parameter, not the first's.
    auto* pair = Attach(
        new TestControl({20, 0, 30, 10}, {FakeEditorDelegate::kTime, FakeEditorDelegate::kMode}));
    pair->DisablePrompt(false);
    menu.SetChosenItemIdx(2);
    pair->OnPopupMenuSelection(&menu, 1);
    EXPECT_EQ(pair->GetValue(1), 0.5);
    EXPECT_EQ(pair->GetValue(0), 0.0);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 2.0);
}

TEST_F(ControlTest, SnapToMouseReadsThePositionAlongItsDirection)
{
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        float x, y;
        int direction;
        IBounds r;
        double lo, hi, expected;
    };
    const Case cases[] = {
        {"horizontal", 25, 0, 1, {0, 0, 100, 0}, 0, 1, 0.25},
        {"vertical, up increases", 0, 25, 0, {0, 0, 0, 100}, 0, 1, 0.75},
        {"rounded to 0.001", 100.f / 3.f, 0, 1, {0, 0, 100, 10}, 0, 1, 0.333},
        {"outside held to the rectangle", 150, 0, 1, {0, 0, 100, 10}, 0, 1, 1.0},
        {"held within lo..hi", 90, 0, 1, {0, 0, 100, 10}, 0.2, 0.6, 0.6},
        {"no width to read", 25, 5, 1, {50, 0, 50, 10}, 0, 1, 0.4},
        {"no height to read", 5, 25, 0, {0, 50, 10, 50}, 0, 1, 0.4},
        {"position not finite", kNaN, 5, 1, {0, 0, 100, 10}, 0, 1, 0.4},
    };
    for (const Case& k : cases)
    {
        auto* c = Attach(new TestControl({0, 0, 10, 10}, FakeEditorDelegate::kGain));
        c->SetValueFromDelegate(0.4);
        dlg.ClearHostEvents();
        c->SnapToMouse(k.x, k.y, k.direction, k.r, kNoValIdx, k.lo, k.hi);
        EXPECT_NEAR(c->GetValue(), k.expected, 1e-12) << k.name;
        EXPECT_EQ(dlg.CountOf(Host::Perform), k.expected == 0.4 ? 0 : 1) << k.name;
    }
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(ControlTest, TypedEventsAndDrops)
{
    TestControl c({0, 0, 10, 10});
    EXPECT_FALSE(c.WantsTypedEvents());
    EXPECT_FALSE(c.OnTypedEvent({7, nullptr}));
    c.SetTypedEventHandler(7, [](IControl*, const ITypedEvent& e) { return e.data != nullptr; });
    EXPECT_TRUE(c.WantsTypedEvents());
    int data = 0;
    EXPECT_TRUE(c.OnTypedEvent({7, &data}));
    EXPECT_EQ(c.GetLastTypedEventKind(), 7);

    c.OnDropMultiple({});
    EXPECT_EQ(c.drops, 0);
    c.OnDropMultiple({"a", "b"});
    EXPECT_EQ(c.drops, 1);
}

} // namespace
