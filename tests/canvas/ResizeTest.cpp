#include "tests/support/CanvasTestHelpers.h"

#include "canvas/ICornerResizerControl.h"

#include <limits>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::FakeEditorDelegate;
using lumenfall::test::RecordingCanvas;
using lumenfall::test::TestControl;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class ResizeTest : public lumenfall::test::CanvasFixture
{
};

TEST_F(ResizeTest, ScaleIsHeldWithinItsLimits)
{
    struct Case
    {
        float requested, expected;
    };
    for (const Case c : {Case{10.f, 4.f},
                         Case{0.1f, 0.5f},
                         Case{-2.f, 0.5f},
                         Case{2.5f, 2.5f},
                         Case{kInf, 2.5f},
                         Case{kNaN, 2.5f}})
    {
        g.Resize(400, 300, c.requested);
        EXPECT_EQ(g.GetDrawScale(), c.expected) << c.requested;
    }

    // A canvas made with an unusable scale starts at 1.
    for (const float bad : {0.f, -1.f, kNaN, kInf})
        EXPECT_EQ(RecordingCanvas(dlg, 400, 300, bad).GetDrawScale(), 1.f) << bad;

    g.SetScaleConstraints(1.5f, 0.85f);
    EXPECT_EQ(g.GetMinScale(), 0.85f);
    EXPECT_EQ(g.GetMaxScale(), 1.5f);
    for (const float bad : {0.f, -1.f, kNaN, kInf})
    {
        g.SetScaleConstraints(bad, 2.f);
        EXPECT_EQ(g.GetMinScale(), 0.85f);
        EXPECT_EQ(g.GetMaxScale(), 1.5f);
    }
}

TEST_F(ResizeTest, ResizeTellsTheDelegateTheWindowSizeAndRedrawsEverything)
{
    auto* c = Attach(new TestControl({0, 0, 10, 10}));
    g.SetPlatformWindowScale(1.25f);
    dlg.SetResizeAnswer(false);
    DirtyRectList rects;
    g.IsDirty(rects);
    g.ClearLog();

    g.Resize(500, 350, 1.5f, false);
    EXPECT_EQ(g.Width(), 500);
    EXPECT_EQ(g.Height(), 350);
    ASSERT_EQ(dlg.ResizeRequests().size(), 1u);
    // int(1.25 x int(500 x 1.5)) by int(1.25 x int(350 x 1.5)).
    EXPECT_EQ(dlg.ResizeRequests()[0].width, 937);
    EXPECT_EQ(dlg.ResizeRequests()[0].height, 656);
    EXPECT_FALSE(dlg.ResizeRequests()[0].needsPlatformResize);
    EXPECT_EQ(g.Log(),
              (std::vector<std::string>{"PlatformResize 0", "DrawResize", "OnResizeComplete"}));
    EXPECT_TRUE(c->IsDirty());

    // The same size and scale again: nothing happens.
    g.ClearLog();
    g.Resize(500, 350, 1.5f);
    EXPECT_TRUE(g.Log().empty());
    EXPECT_EQ(dlg.ResizeRequests().size(), 1u);

    // The delegate's limits apply first.
    dlg.SetSizeConstraints(366, 3300, 253, 2280);
    g.Resize(100, 5000, 1.5f);
    EXPECT_EQ(g.Width(), 366);
    EXPECT_EQ(g.Height(), 2280);
    EXPECT_EQ(dlg.LayoutCalls(), 0);
}

TEST_F(ResizeTest, ScreenScaleChangesOnlyForUsableValues)
{
    int rescales = 0;
    struct Probe : TestControl
    {
        using TestControl::TestControl;
        int* rescales;
        void OnRescale() override { ++*rescales; }
    };
    auto* probe = new Probe({0, 0, 10, 10});
    probe->rescales = &rescales;
    Attach(probe);
    rescales = 0;

    for (const float bad : {0.f, -1.f, kNaN, kInf})
        g.SetScreenScale(bad);
    EXPECT_EQ(g.GetScreenScale(), 1.f);
    EXPECT_EQ(rescales, 0);
    EXPECT_TRUE(dlg.ResizeRequests().empty());

    g.SetScreenScale(2.f);
    EXPECT_EQ(g.GetScreenScale(), 2.f);
    EXPECT_EQ(g.GetTotalScale(), 2.f);
    EXPECT_EQ(g.Width(), 400);
    EXPECT_EQ(rescales, 1);
    ASSERT_EQ(dlg.ResizeRequests().size(), 1u);
    EXPECT_EQ(dlg.ResizeRequests()[0].width, 400);
    EXPECT_TRUE(dlg.ResizeRequests()[0].needsPlatformResize);
}

TEST_F(ResizeTest, CornerResizerKeepsItsDeviceSizeAtEveryScale)
{
    struct Case
    {
        float drawScale, size;
        IBounds expected;
    };
    const Case cases[] = {
        {1.f, 20.f, {380, 280, 400, 300}},
        {2.f, 10.f, {395, 295, 400, 300}},
        {1.25f, 20.f, {384, 284, 400, 300}},
        {0.5f, 10.f, {380, 280, 400, 300}},
    };
    for (const Case& c : cases)
    {
        FakeEditorDelegate delegate;
        RecordingCanvas canvas(delegate, 400, 300, c.drawScale);
        canvas.AttachCornerResizer(
            EUIResizerMode::Scale, false, kColorRed, kColorGreen, kColorBlue, c.size);
        EXPECT_EQ(canvas.GetCornerResizer()->GetRECT(), c.expected) << c.drawScale;
        EXPECT_EQ(canvas.GetCornerResizer()->GetTargetRECT(), c.expected) << c.drawScale;
    }
}

TEST_F(ResizeTest, DraggingTheCornerByScaleFollowsTheSmallerAxis)
{
    FakeEditorDelegate delegate;
    RecordingCanvas canvas(delegate, 1100, 760, 1.f);
    canvas.AttachCornerResizer(
        EUIResizerMode::Scale, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    auto* control = canvas.AttachControl(new TestControl({0, 0, 10, 10}));
    canvas.OnMouseDown(At(1090, 750));
    EXPECT_TRUE(canvas.IsResizing());

    canvas.OnMouseDrag(At(1199, 750, Left(), 109, 0)); // min(1.0, 1.1): unchanged
    EXPECT_EQ(canvas.GetDrawScale(), 1.f);
    EXPECT_TRUE(delegate.ResizeRequests().empty());

    canvas.OnMouseDrag(At(1199, 825, Left(), 0, 75)); // min(1.1, 1.1)
    EXPECT_FLOAT_EQ(canvas.GetDrawScale(), 1.1f);
    EXPECT_EQ(canvas.Width(), 1100);
    ASSERT_EQ(delegate.ResizeRequests().size(), 1u);
    EXPECT_EQ(delegate.ResizeRequests()[0].width, 1210);
    // The handle shrinks in editor units so it stays 20 device pixels.
    EXPECT_NEAR(canvas.GetCornerResizer()->GetRECT().W(), 20.f / 1.1f, 1e-3f);

    DirtyRectList rects;
    canvas.IsDirty(rects);
    canvas.OnMouseUp(At(1199, 825));
    EXPECT_FALSE(canvas.IsResizing());
    EXPECT_TRUE(control->IsDirty()); // a rescale redraws everything

    // A double click on the handle returns to the attached size at scale 1.
    const IBounds handle = canvas.GetCornerResizer()->GetRECT();
    canvas.OnMouseDblClick(handle.MW(), handle.MH(), Left());
    EXPECT_EQ(canvas.GetDrawScale(), 1.f);
    EXPECT_EQ(canvas.Width(), 1100);
    EXPECT_EQ(canvas.Height(), 760);
}

TEST_F(ResizeTest, DraggingTheCornerBySizeMovesTheBottomRightCorner)
{
    g.AttachCornerResizer(EUIResizerMode::Size, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    g.SetScaleConstraints(0.5f, 4.f);
    g.Resize(400, 300, 2.f);
    Press(395, 295);
    g.OnMouseDrag(At(500.7f, 420.2f, Left(), 105, 125));
    EXPECT_EQ(g.Width(), 500);
    EXPECT_EQ(g.Height(), 420);
    EXPECT_EQ(g.GetDrawScale(), 2.f);
    EXPECT_EQ(g.GetCornerResizer()->GetRECT(), IBounds(490, 410, 500, 420));
    // A position that is not finite, or far beyond any screen, resizes to nothing undefined.
    g.OnMouseDrag(At(kNaN, 400, Left(), 1, 1));
    g.OnMouseDrag(At(450, kInf, Left(), 1, 1));
    EXPECT_EQ(g.Width(), 500);
    EXPECT_EQ(g.Height(), 420);
    g.OnMouseDrag(At(3e9f, -3e9f, Left(), 1, 1));
    EXPECT_EQ(g.Width(), 100000); // the delegate's default limits
    EXPECT_EQ(g.Height(), 10);
    g.OnMouseDrag(At(500, 420, Left(), 1, 1));
    Release(500, 420);
    EXPECT_FALSE(g.IsResizing());
    // While not resizing, a drag without capture does nothing.
    g.OnMouseDrag(At(600, 600, Left(), 100, 100));
    EXPECT_EQ(g.Width(), 500);
}

TEST_F(ResizeTest, LosingTheCaptureEndsACornerDragSoTheNextDragMovesAControl)
{
    for (const EUIResizerMode mode : {EUIResizerMode::Size, EUIResizerMode::Scale})
    {
        FakeEditorDelegate delegate;
        RecordingCanvas canvas(delegate, 400, 300, 1.f);
        canvas.AttachCornerResizer(mode, false, kColorRed, kColorGreen, kColorBlue, 20.f);
        auto* slider = static_cast<TestControl*>(
            canvas.AttachControl(new TestControl({0, 0, 100, 100}, FakeEditorDelegate::kGain)));
        canvas.OnMouseDown(At(390, 290));
        canvas.OnMouseDrag(At(420, 330, Left(), 30, 40)); // the editor grows
        const int width = canvas.Width();
        const float scale = canvas.GetDrawScale();
        ASSERT_TRUE(canvas.IsResizing());

        canvas.ReleaseMouseCapture(); // the window lost the capture: no release will come
        EXPECT_FALSE(canvas.IsResizing());

        canvas.OnMouseDown(At(50, 50));
        canvas.OnMouseDrag(At(50, 40, Left(), 0, -10));
        canvas.OnMouseUp(At(50, 40));
        EXPECT_EQ(slider->drags, 1);
        EXPECT_EQ(canvas.Width(), width);
        EXPECT_EQ(canvas.GetDrawScale(), scale);
        EXPECT_TRUE(delegate.GesturesBalanced());
    }
}

TEST_F(ResizeTest, LayoutRunsAgainOnResizeWhenAsked)
{
    for (const bool layoutOnResize : {false, true})
    {
        FakeEditorDelegate delegate;
        RecordingCanvas canvas(delegate, 400, 300, 1.f);
        canvas.AttachCornerResizer(
            EUIResizerMode::Size, layoutOnResize, kColorRed, kColorGreen, kColorBlue, 20.f);
        canvas.Resize(500, 300, 1.f);
        canvas.Resize(500, 300, 1.f); // unchanged: no layout either
        EXPECT_EQ(delegate.LayoutCalls(), layoutOnResize ? 1 : 0);
    }
}

TEST_F(ResizeTest, HandleColourFollowsItsState)
{
    g.AttachCornerResizer(EUIResizerMode::Scale, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    g.EnableMouseOver(true);
    auto colourDrawn = [this]
    {
        g.ClearLog();
        g.GetCornerResizer()->Draw(g);
        const std::vector<std::string> lines = g.LinesStartingWith("FillTriangle");
        return lines.size() == 1 ? lines[0].substr(0, lines[0].find(" 380")) : "";
    };
    EXPECT_EQ(colourDrawn(), "FillTriangle 255 255 0 0"); // idle
    g.OnMouseOver(390, 290, {});
    EXPECT_EQ(colourDrawn(), "FillTriangle 255 0 255 0"); // under the pointer
    Press(390, 290);
    EXPECT_EQ(colourDrawn(), "FillTriangle 255 0 0 255"); // dragging
    Release(390, 290);
    g.OnMouseOver(100, 100, {});
    EXPECT_EQ(colourDrawn(), "FillTriangle 255 255 0 0");
}

TEST_F(ResizeTest, HoverOnTheHandleSetsTheResizeCursorAndRestoresIt)
{
    g.AttachCornerResizer(EUIResizerMode::Scale, false, kColorRed, kColorGreen, kColorBlue, 20.f);
    g.SetMouseCursor(ECursorShape::Hand);
    g.EnableMouseOver(true);
    g.OnMouseOver(390, 290, {});
    EXPECT_EQ(g.GetCursorShape(), ECursorShape::SizeNWSE);
    g.OnMouseOver(390, 291, {});
    g.OnMouseOver(100, 100, {});
    EXPECT_EQ(g.GetCursorShape(), ECursorShape::Hand);
    EXPECT_EQ(g.Count("SetMouseCursor 5"), 1);
}

} // namespace
