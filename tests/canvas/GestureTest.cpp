#include "tests/support/CanvasTestHelpers.h"

#include "canvas/IKnobControlBase.h"
#include "canvas/ITextEntryControl.h"
#include "plugkit/IParam.h"

#include <cctype>
#include <string>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::TestControl;
using Host = FakeEditorDelegate::HostEvent;

class GestureTest;

struct GestureCase
{
    const char* name;
    void (*script)(GestureTest&);
    int performs; ///< value changes that must reach the host
};

class GestureTest : public lumenfall::test::CanvasFixture,
                    public ::testing::WithParamInterface<GestureCase>
{
public:
    void SetUp() override { AttachGestureControls(); }

    static IKeyEvent Key(int vk)
    {
        IKeyEvent key;
        key.VK = vk;
        return key;
    }
};

const GestureCase kGestureCases[] = {
    {"press, drag, release",
     [](GestureTest& t)
     {
         t.Press(10, 40);
         t.Drag(10, 30, 0, -10);
         t.Drag(10, 20, 0, -10);
         t.Release(10, 20);
     },
     2},
    {"click without movement", [](GestureTest& t) { t.Press(10, 40), t.Release(10, 40); }, 0},
    {"right click on a bound control",
     [](GestureTest& t)
     { t.Press(10, 10, GestureTest::Right()), t.Release(10, 10, GestureTest::Right()); },
     0},
    {"double click resets to the default",
     [](GestureTest& t)
     {
         t.gain->SetValueFromDelegate(0.5);
         t.Press(10, 10), t.Release(10, 10);
         t.g.OnMouseDblClick(10, 10, GestureTest::Left());
         t.Release(10, 10);
     },
     1},
    {"wheel", [](GestureTest& t) { t.g.OnMouseWheel(10, 10, {}, 2.f); }, 1},
    {"wheel during a drag",
     [](GestureTest& t)
     {
         t.Press(10, 40);
         t.g.OnMouseWheel(10, 40, {}, 1.f);
         t.Drag(10, 30, 0, -10);
         t.Release(10, 30);
     },
     2},
    {"keys",
     [](GestureTest& t)
     {
         t.g.OnKeyDown(10, 10, GestureTest::Key(kVK_UP));
         t.g.OnKeyDown(10, 10, GestureTest::Key(kVK_UP));
         t.g.OnKeyDown(10, 10, GestureTest::Key(kVK_DOWN));
         t.g.OnKeyDown(10, 10, GestureTest::Key(kVK_LEFT));
     },
     3},
    {"menu opened by a press",
     [](GestureTest& t)
     {
         t.g.SetMenuChoice(3);
         t.Press(110, 10);
         t.Release(110, 10);
     },
     1},
    {"menu opened by a key",
     [](GestureTest& t)
     {
         t.g.SetMenuChoice(2);
         t.g.OnKeyDown(110, 10, GestureTest::Key('M'));
     },
     1},
    {"menu closed without a choice",
     [](GestureTest& t)
     {
         t.g.SetMenuChoice(-1);
         t.Press(110, 10);
         t.Release(110, 10);
     },
     0},
    {"menu answered later",
     [](GestureTest& t)
     {
         t.g.SetMenuChoice(0, true);
         t.Press(110, 10);
         t.Release(110, 10);
         IPopupMenu* menu = t.g.LastMenu();
         menu->SetChosenItemIdx(4);
         t.g.DeliverPopupMenuResult(menu);
     },
     1},
    {"typed value",
     [](GestureTest& t)
     {
         t.g.AttachTextEntryControl();
         t.Press(210, 10, GestureTest::Right());
         t.Release(210, 10, GestureTest::Right());
         t.time->PromptUserInput(0);
         ITextEntryControl* field = t.g.GetTextEntryControl();
         field->SetEditText("60");
         field->OnKeyDown(0, 0, GestureTest::Key(kVK_RETURN));
     },
     1},
    {"resize during a drag",
     [](GestureTest& t)
     {
         t.Press(10, 40);
         t.Drag(10, 30, 0, -10);
         t.g.Resize(500, 400, 1.f);
         t.Drag(10, 20, 0, -10);
         t.Release(10, 20);
     },
     1},
    {"window loses the capture",
     [](GestureTest& t)
     {
         t.Press(10, 40);
         t.Drag(10, 30, 0, -10);
         t.g.ReleaseMouseCapture();
         t.Release(10, 30);
     },
     1},
    {"controls removed during a drag",
     [](GestureTest& t)
     {
         t.Press(10, 40);
         t.Drag(10, 30, 0, -10);
         t.g.RemoveAllControls();
         t.Drag(10, 20, 0, -10);
         t.Release(10, 20);
     },
     1},
};

TEST_P(GestureTest, BalancesAndKeepsEveryPerformInsideAGesture)
{
    GetParam().script(*this);
    EXPECT_TRUE(dlg.Violations().empty()) << ::testing::PrintToString(dlg.Violations());
    EXPECT_TRUE(dlg.GesturesBalanced());
    EXPECT_EQ(dlg.CountOf(Host::Begin), dlg.CountOf(Host::End));
    EXPECT_EQ(dlg.CountOf(Host::Perform), GetParam().performs);
    for (int p = 0; p < FakeEditorDelegate::kNumParams; ++p)
        EXPECT_EQ(g.GetOpenGestureCount(p), 0) << p;
}

INSTANTIATE_TEST_SUITE_P(Paths,
                         GestureTest,
                         ::testing::ValuesIn(kGestureCases),
                         [](const ::testing::TestParamInfo<GestureCase>& info)
                         {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

class GestureCountTest : public lumenfall::test::CanvasFixture
{
};

TEST_F(GestureCountTest, HostHearsTheFirstBeginAndTheLastEndOnly)
{
    // Two pointers on two controls bound to one parameter.
    auto* a = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain));
    auto* b = Attach(new TestControl({100, 0, 150, 50}, FakeEditorDelegate::kGain));
    auto touch = [](float x, int64_t id)
    {
        IMouseEvent e;
        e.x = x;
        e.y = 10;
        e.ms.L = true;
        e.ms.touchID = id;
        return e;
    };
    g.OnMouseDown({touch(10, 1), touch(110, 2)});
    EXPECT_EQ(g.GetOpenGestureCount(FakeEditorDelegate::kGain), 2);
    g.OnMouseUp({touch(10, 1)});
    EXPECT_EQ(dlg.CountOf(Host::End), 0);
    g.OnMouseUp({touch(110, 2)});
    EXPECT_EQ(dlg.CountOf(Host::Begin), 1);
    EXPECT_EQ(dlg.CountOf(Host::End), 1);
    EXPECT_EQ(a->ups + b->ups, 2);

    // An end for a gesture never begun, or for a parameter that does not exist, is dropped.
    g.EndParamGesture(FakeEditorDelegate::kGain);
    g.BeginParamGesture(99);
    g.EndParamGesture(99);
    g.EndParamGesture(-1);
    EXPECT_EQ(dlg.HostEvents().size(), 2u);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(GestureCountTest, LosingTheCaptureTellsTheControlOnce)
{
    auto* c = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kGain));
    Press(10, 10);
    g.Resize(500, 400, 1.f);
    EXPECT_EQ(c->captureLosses, 1);
    EXPECT_EQ(dlg.CountOf(Host::End), 1);
    Release(10, 10);
    EXPECT_EQ(c->ups, 0); // the release no longer belongs to it
    EXPECT_EQ(c->captureLosses, 1);
    EXPECT_TRUE(dlg.GesturesBalanced());

    // Captures that never delivered a press have nothing to undo: the right click on a bound
    // control (its context menu) and a double click.
    Press(10, 10, Right());
    Release(10, 10, Right());
    g.OnMouseDblClick(10, 10, Left());
    Release(10, 10);
    EXPECT_EQ(c->downs, 1);
    EXPECT_EQ(c->dblClicks, 1);
    EXPECT_EQ(c->captureLosses, 1);

    // Two pointers on one control that takes both: told once.
    c->SetWantsMultiTouch(true);
    IMouseEvent first = At(10, 10)[0], second = At(20, 20)[0];
    second.ms.touchID = 2;
    g.OnMouseDown({first, second});
    g.ReleaseMouseCapture();
    EXPECT_EQ(c->captureLosses, 2);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(GestureCountTest, RemovingTheControlsForgetsTheMenuAndTextOwners)
{
    auto* menuOwner = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kMode));
    auto* textOwner = Attach(new TestControl({100, 0, 150, 50}, FakeEditorDelegate::kTime));
    menuOwner->DisablePrompt(false);
    g.SetMenuChoice(1, true);
    menuOwner->PromptUserInput(0);
    g.CreateTextEntry(*textOwner, kDefaultTextStyle, {100, 0, 150, 20}, "25.0");
    EXPECT_EQ(g.GetPopupOwner(), menuOwner);
    EXPECT_EQ(g.GetTextEntryOwner(), textOwner);

    g.RemoveAllControls();
    EXPECT_EQ(g.Count("CancelPlatformTextEntry"), 1); // the platform's field closes too
    EXPECT_EQ(g.GetPopupOwner(), nullptr);
    EXPECT_EQ(g.GetTextEntryOwner(), nullptr);
    // The platform answering late reaches nobody (the sanitizer would see a deleted owner).
    IPopupMenu* menu = g.LastMenu();
    menu->SetChosenItemIdx(1);
    g.DeliverPopupMenuResult(menu);
    g.SetControlValueAfterTextEdit("50");
    EXPECT_TRUE(dlg.HostEvents().empty());
}

TEST_F(GestureCountTest, AMenuChoiceReachesTheValueWhoseMenuWasOpened)
{
    // Both values of the pair open a menu (a switch and a mode), so a choice handed to the wrong
    // value would change the switch.
    for (const bool async : {false, true})
    {
        SCOPED_TRACE(async ? "answered later" : "answered at once");
        g.RemoveAllControls();
        dlg.GetParam(FakeEditorDelegate::kSwitch)->Set(0.0);
        dlg.GetParam(FakeEditorDelegate::kMode)->Set(0.0);
        auto* pair = Attach(new TestControl(
            {0, 0, 50, 50}, {FakeEditorDelegate::kSwitch, FakeEditorDelegate::kMode}));
        pair->DisablePrompt(false);
        g.ClearLog();
        g.SetMenuChoice(3, async);
        pair->PromptUserInput(1);
        EXPECT_EQ(g.Count("PopupMenu 5 Mode"), 1); // the second value's menu
        if (async)
        {
            EXPECT_EQ(pair->lastMenuChoice, -2);
            IPopupMenu* menu = g.LastMenu();
            menu->SetChosenItemIdx(3);
            g.DeliverPopupMenuResult(menu);
        }
        EXPECT_EQ(pair->lastMenuChoice, 3);
        EXPECT_EQ(pair->GetValue(1), 0.75);
        EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 3.0);
        EXPECT_EQ(pair->GetValue(0), 0.0);
        EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kSwitch)->Value(), 0.0);
        EXPECT_TRUE(dlg.GesturesBalanced());
    }
}

TEST_F(GestureCountTest, ATypedValueWhoseActionRebuildsTheEditorTouchesNoDeletedControl)
{
    // The owner's action removes every control, the open text field included, while the field
    // is committing (the sanitizer would see any use of it afterwards).
    auto* owner = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kTime));
    owner->SetActionFunction([this](IControl*) { g.RemoveAllControls(); });
    g.AttachTextEntryControl();
    g.CreateTextEntry(*owner, kDefaultTextStyle, {0, 0, 50, 20}, "25.0");
    ITextEntryControl* field = g.GetTextEntryControl();
    field->SetEditText("60");
    IKeyEvent enter;
    enter.VK = kVK_RETURN;
    EXPECT_TRUE(field->OnKeyDown(0, 0, enter));
    EXPECT_EQ(g.NControls(), 0);
    EXPECT_EQ(g.GetTextEntryControl(), nullptr);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kTime)->Value(), 60.0);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

TEST_F(GestureCountTest, AMenuChoiceWhoseActionRebuildsTheEditorTouchesNoDeletedControl)
{
    // The platform menu answers at once and the chosen value's action removes every control, the
    // prompting one included (the sanitizer would see any use of it after the prompt).
    auto* owner = Attach(new TestControl({0, 0, 50, 50}, FakeEditorDelegate::kMode));
    owner->DisablePrompt(false);
    owner->SetActionFunction([this](IControl*) { g.RemoveAllControls(); });
    g.SetMenuChoice(3);
    owner->PromptUserInput(0);
    EXPECT_EQ(g.NControls(), 0);
    EXPECT_EQ(dlg.GetParam(FakeEditorDelegate::kMode)->Value(), 3.0);
    EXPECT_TRUE(dlg.GesturesBalanced());
}

} // namespace
