#include "tests/canvas/TestClock.h"
#include "tests/support/CanvasTestHelpers.h"

#include "canvas/ICornerResizerControl.h"
#include "canvas/ITextEntryControl.h"

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::TestControl;

using CanvasDrawTest = lumenfall::test::CanvasFixture;

TEST_F(CanvasDrawTest, AttachOrderCallbacksAndTags)
{
    struct Probe : TestControl
    {
        using TestControl::TestControl;
        std::vector<std::string>* calls;
        void OnInit() override { calls->push_back(GetUI() ? "init" : "init without owner"); }
        void OnResize() override { calls->push_back("resize"); }
        void OnRescale() override { calls->push_back("rescale"); }
        void OnAttached() override { calls->push_back(std::string("attached ") + GetGroup()); }
    };
    std::vector<std::string> calls;
    auto* first = new Probe({0, 0, 10, 10});
    first->calls = &calls;
    EXPECT_EQ(g.AttachControl(first, 5, "knobs"), first);
    EXPECT_EQ(calls, (std::vector<std::string>{"init", "resize", "rescale", "attached knobs"}));
    EXPECT_EQ(first->GetDelegate(), &dlg);

    // A taken tag: refused, not attached, still the caller's.
    TestControl duplicate({0, 0, 1, 1});
    EXPECT_EQ(g.AttachControl(&duplicate, 5), nullptr);
    EXPECT_EQ(g.NControls(), 1);
    EXPECT_EQ(duplicate.GetUI(), nullptr);

    auto* untagged = Attach(new TestControl({0, 0, 1, 1}));
    EXPECT_EQ(g.GetControlWithTag(5), first);
    EXPECT_EQ(g.GetControlWithTag(-1), nullptr);
    EXPECT_EQ(g.GetControlIdx(untagged), 1);

    // Messages and values addressed by tag.
    g.SendControlValueFromDelegate(5, 0.7);
    EXPECT_EQ(first->GetValue(), 0.7);
    g.SendControlValueFromDelegate(6, 0.1);
    EXPECT_EQ(untagged->GetValue(), 0.0);

    g.RemoveAllControls();
    EXPECT_EQ(g.NControls(), 0);
    EXPECT_EQ(g.GetControlWithTag(5), nullptr);
}

TEST_F(CanvasDrawTest, DirtyCycleSnapsOutwardAtEachScale)
{
    struct Case
    {
        float screenScale;
        const char* clip;
    };
    // Bounds 10.3 .. 20.6 padded by 0.75: 9.55 .. 21.35, then snapped outward.
    const Case cases[] = {
        {1.f, "Clip 9 9 22 22"},
        {1.5f, "Clip 9.33333 9.33333 22 22"},
        {2.f, "Clip 9.5 9.5 21.5 21.5"},
    };
    for (const Case& c : cases)
    {
        g.SetScreenScale(c.screenScale);
        g.RemoveAllControls();
        auto* control = Attach(new TestControl({10.3f, 10.3f, 20.6f, 20.6f}, -1, "a"));
        ASSERT_TRUE(Frame());
        EXPECT_EQ(g.LinesStartingWith("Clip"), (std::vector<std::string>{c.clip})) << c.screenScale;
        EXPECT_EQ(g.Log().front(), "BeginFrame");
        EXPECT_EQ(g.Log().back(), "EndFrame");
        EXPECT_EQ(control->draws, 1);
        // Clean now: the next frame has nothing to do and begins no frame.
        EXPECT_FALSE(Frame());
        EXPECT_TRUE(g.Log().empty());
    }
}

TEST_F(CanvasDrawTest, EachControlDrawsClippedToTheAreasItTouches)
{
    auto* background = Attach(new TestControl({0, 0, 400, 300}, -1, "background"));
    auto* left = Attach(new TestControl({10, 10, 20, 20}, -1, "left"));
    auto* right = Attach(new TestControl({300, 10, 310, 20}, -1, "right"));
    Frame();
    g.ClearLog();

    left->SetDirty(false);
    EXPECT_TRUE(Frame());
    // The background and the dirty control draw inside the dirty area; the far one not.
    const std::vector<std::string> expected = {"BeginFrame",
                                               "Transform 1 0 0 1 0 0",
                                               "PathClear",
                                               "Clip 9 9 21 21",
                                               "draw background",
                                               "Drawn 9 9 21 21",
                                               "Transform 1 0 0 1 0 0",
                                               "PathClear",
                                               "Clip 9 9 21 21",
                                               "draw left",
                                               "Drawn 9 9 21 21",
                                               "EndFrame"};
    EXPECT_EQ(g.Log(), expected);
    EXPECT_EQ(right->draws, 1);
    EXPECT_EQ(background->draws, 2);
}

TEST_F(CanvasDrawTest, HiddenControlsAreNotDrawnExceptTheBackground)
{
    auto* background = Attach(new TestControl({0, 0, 400, 300}, -1, "background"));
    auto* hidden = Attach(new TestControl({10, 10, 20, 20}, -1, "hidden"));
    Frame();
    background->Hide(true);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(background->draws, 2);
    EXPECT_EQ(hidden->draws, 2);

    // Hiding a control still redraws the area it leaves, without it.
    hidden->Hide(true);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(hidden->draws, 2);
    EXPECT_EQ(g.LinesStartingWith("draw"), (std::vector<std::string>{"draw background"}));
    EXPECT_EQ(g.LinesStartingWith("Drawn"), (std::vector<std::string>{"Drawn 9 9 21 21"}));
}

TEST_F(CanvasDrawTest, AnimatedControlsStayDirtyAndDrawEveryFrame)
{
    lumenfall::test::TestClock clock;
    auto* c = Attach(new TestControl({0, 0, 10, 10}));
    int steps = 0;
    c->SetAnimation([&](IControl*) { ++steps; });
    c->StartAnimation(100);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Frame());
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(c->draws, 3);
}

TEST_F(CanvasDrawTest, SpecialControlsJoinTheCycleAfterTheList)
{
    Attach(new TestControl({0, 0, 10, 10}, -1, "plain"));
    g.AttachCornerResizer(EUIResizerMode::Scale, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    g.AttachTextEntryControl();
    std::vector<IControl*> order;
    g.ForEachControl([&](IControl& c) { order.push_back(&c); });
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[1], g.GetCornerResizer());
    EXPECT_EQ(order[2], g.GetTextEntryControl());
    EXPECT_EQ(g.GetControlIdx(g.GetCornerResizer()), -1);

    // The closed text field (zero bounds) is never drawn; the resizer draws its triangle.
    Frame();
    EXPECT_EQ(g.LinesStartingWith("FillTriangle"),
              (std::vector<std::string>{"FillTriangle 255 255 0 0 380 300 400 280 400 300"}));
    EXPECT_EQ(g.Count("Drawn"), 2);
}

TEST_F(CanvasDrawTest, AControlThatMovesRedrawsTheAreaItLeft)
{
    auto* control = Attach(new TestControl({10, 10, 50, 50}));
    Frame();
    ASSERT_FALSE(Frame());

    struct Case
    {
        const char* what;
        std::function<void()> change;
        std::vector<IBounds> areas; ///< the dirty areas before drawing
    };
    const Case cases[] = {
        {"moved",
         [&] { control->SetPosition(100, 100); },
         {{9.25f, 9.25f, 50.75f, 50.75f}, {99.25f, 99.25f, 140.75f, 140.75f}}},
        {"shrunk",
         [&] { control->SetSize(10, 10); },
         {{99.25f, 99.25f, 140.75f, 140.75f}, {99.25f, 99.25f, 110.75f, 110.75f}}},
        {"bounds set to the same",
         [&] {
             control->SetTargetAndDrawRECTs({100, 100, 110, 110});
         },
         {}},
        {"closed to nothing", [&] { control->SetRECT({}); }, {{99.25f, 99.25f, 110.75f, 110.75f}}},
    };
    for (const Case& c : cases)
    {
        c.change();
        DirtyRectList rects;
        g.IsDirty(rects);
        std::vector<IBounds> areas;
        for (int i = 0; i < rects.Size(); ++i)
            areas.push_back(rects.Get(i));
        EXPECT_EQ(areas, c.areas) << c.what;
    }
}

} // namespace
