// The NanoVG back end's pixels, read back from its main framebuffer: natively in a headless Mesa
// context, and built with mingw under Wine in a WGL window, with the same expected pixels.

#include "canvas/platform/nanovg/NanoVgGl.h"
#include "tests/canvas/platform/nanovg/NanoVgTestSupport.h"
#include "tests/support/FakeEditorDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

namespace
{
using namespace plugkit;
using namespace plugkit::canvas;
using namespace lumenfall::test;

constexpr int kW = 200;
constexpr int kH = 120;
constexpr IArgbColor kRedHalf{128, 255, 0, 0};
constexpr IArgbColor kBlueMost{192, 0, 0, 255};

/// Premultiplied colour as stored in the framebuffer.
IArgbColor Premultiplied(const IArgbColor& c)
{
    auto p = [&](int v) { return static_cast<int>(std::lround(v * c.A / 255.0)); };
    return {c.A, p(c.R), p(c.G), p(c.B)};
}

class NanoVgDraw : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sDelegate = new FakeEditorDelegate();
        sCanvas = new HeadlessCanvas(*sDelegate, kW, kH);
    }
    static void TearDownTestSuite()
    {
        delete sCanvas;
        delete sDelegate;
        sCanvas = nullptr;
        sDelegate = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(sCanvas->IsValid());
        sCanvas->GetContext().MakeCurrent();
        DrawFrame(*sCanvas, ClearAll);
    }

    HeadlessCanvas& G() { return *sCanvas; }
    IArgbColor At(int x, int y) { return sCanvas->PixelAt(x, y); }

    static FakeEditorDelegate* sDelegate;
    static HeadlessCanvas* sCanvas;
};

FakeEditorDelegate* NanoVgDraw::sDelegate = nullptr;
HeadlessCanvas* NanoVgDraw::sCanvas = nullptr;

TEST_F(NanoVgDraw, NameContextAndFormats)
{
    EXPECT_STREQ(G().GetDrawingApiName(), "NanoVG | GL2");
    EXPECT_NE(G().GetDrawContext(), nullptr);
    EXPECT_EQ(G().AlphaChannelIndex(), 3);
    EXPECT_TRUE(G().IsLayerFlipped());
    // Opaque black, wherever it is asked.
    for (const float xy : {0.f, 10.f, -5.f, 1e6f})
        EXPECT_EQ(G().GetPixelColor(xy, xy), kColorBlack) << xy;
    for (const char* yes : {"png", "PNG", "apng", "jpg", "JPEG"})
        EXPECT_TRUE(G().IsBitmapFormatSupported(yes)) << yes;
    for (const char* no : {"gif", "svg", "", "pn"})
        EXPECT_FALSE(G().IsBitmapFormatSupported(no)) << no;
}

TEST_F(NanoVgDraw, EveryBlendKindCombinesAsItsFactorsSay)
{
    // Destination: half-transparent red; source: mostly opaque blue, both premultiplied.
    enum Factor
    {
        Zero,
        One,
        SrcAlpha,
        OneMinusSrcAlpha,
        DstAlpha,
        OneMinusDstAlpha
    };
    struct Case
    {
        int kind;
        Factor src;
        Factor dst;
    };
    const Case cases[] = {
        {0, One, OneMinusSrcAlpha},
        {1, DstAlpha, Zero},
        {2, OneMinusDstAlpha, Zero},
        {3, DstAlpha, OneMinusSrcAlpha},
        {4, OneMinusDstAlpha, One},
        {5, Zero, SrcAlpha},
        {6, Zero, OneMinusSrcAlpha},
        {7, OneMinusDstAlpha, SrcAlpha},
        {8, SrcAlpha, DstAlpha},
        {9, OneMinusDstAlpha, OneMinusSrcAlpha},
        {10, One, OneMinusSrcAlpha}, // unknown kinds draw source-over
    };
    const IArgbColor d = Premultiplied(kRedHalf);
    const IArgbColor s = Premultiplied(kBlueMost);
    auto factor = [&](Factor f)
    {
        switch (f)
        {
        case Zero:
            return 0.0;
        case One:
            return 1.0;
        case SrcAlpha:
            return s.A / 255.0;
        case OneMinusSrcAlpha:
            return 1.0 - s.A / 255.0;
        case DstAlpha:
            return d.A / 255.0;
        default:
            return 1.0 - d.A / 255.0;
        }
    };
    for (const Case& c : cases)
    {
        const float left = 10.f * static_cast<float>(c.kind);
        const IBlendSpec blend{c.kind, 1.f};
        DrawFrame(G(),
                  [&](ICanvas& g)
                  {
                      g.FillRect(kRedHalf, IBounds(left, 10.f, left + 10.f, 30.f));
                      g.FillRect(kBlueMost, IBounds(left, 20.f, left + 10.f, 40.f), &blend);
                  });
        auto mix = [&](int sv, int dv) {
            return static_cast<int>(
                std::lround(std::min(255.0, sv * factor(c.src) + dv * factor(c.dst))));
        };
        const IArgbColor expected{mix(s.A, d.A), mix(s.R, d.R), mix(s.G, d.G), mix(s.B, d.B)};
        const int x = static_cast<int>(left) + 5;
        EXPECT_TRUE(Near(At(x, 25), expected)) << "blend kind " << c.kind;
        // Where there was no destination only the source factor counts.
        auto alone = [&](int sv)
        {
            return static_cast<int>(
                std::lround(std::min(255.0,
                                     sv * (c.src == DstAlpha           ? 0.0
                                           : c.src == OneMinusDstAlpha ? 1.0
                                                                       : factor(c.src)))));
        };
        EXPECT_TRUE(Near(At(x, 35), IArgbColor{alone(s.A), alone(s.R), alone(s.G), alone(s.B)}))
            << "blend kind " << c.kind << " over nothing";
        // The next drawing is plain source-over again.
        EXPECT_TRUE(Near(At(x, 15), d)) << "blend kind " << c.kind;
    }
    DrawFrame(G(), [&](ICanvas& g) { g.FillRect(kBlueMost, IBounds(0.f, 50.f, 10.f, 60.f)); });
    EXPECT_TRUE(Near(At(5, 55), s)) << "blend reset to source-over after the last draw";
}

TEST_F(NanoVgDraw, BlendWeightScalesTheSourceAlpha)
{
    const IBlendSpec half{0, 0.5f};
    DrawFrame(G(),
              [&](ICanvas& g) { g.FillRect(kColorWhite, IBounds(10.f, 10.f, 30.f, 30.f), &half); });
    EXPECT_TRUE(Near(At(20, 20), IArgbColor{128, 128, 128, 128}));
}

TEST_F(NanoVgDraw, LinearAndRadialPaints)
{
    IFillPattern linear =
        IFillPattern::Linear(20.f, 0.f, 120.f, 0.f, {{kColorRed, 0.f}, {kColorBlue, 1.f}});
    IFillPattern radial(EPatternType::Radial);
    radial.AddStop(kColorWhite, 0.f);
    radial.AddStop(kColorBlack, 1.f);
    // Pattern space: the circle of radius 40 around (150, 60) is the unit circle.
    radial.transform = {1.0 / 40.0, 0.0, 0.0, 1.0 / 40.0, -150.0 / 40.0, -60.0 / 40.0};
    DrawFrame(G(),
              [&](ICanvas& g)
              {
                  g.PathClear();
                  g.PathRect(IBounds(0.f, 0.f, 140.f, 40.f));
                  g.PathFill(linear, IFillStyle());
                  g.PathClear();
                  g.PathRect(IBounds(100.f, 10.f, 200.f, 110.f));
                  g.PathFill(radial, IFillStyle());
              });
    // Linear: the first stop before the start, the last after the end, a straight mix between.
    EXPECT_TRUE(Near(At(5, 20), kColorRed));
    EXPECT_TRUE(Near(At(135, 5), kColorBlue));
    EXPECT_TRUE(Near(At(70, 20), IArgbColor{255, 128, 0, 128}, 3));
    EXPECT_TRUE(Near(At(45, 20), IArgbColor{255, 191, 0, 64}, 3));
    // Radial: white at the centre, black from the radius on, grey halfway.
    EXPECT_TRUE(Near(At(150, 60), kColorWhite, 6)) << "the pixel's centre is half a pixel off";
    EXPECT_TRUE(Near(At(150, 100 + 5), kColorBlack));
    EXPECT_TRUE(Near(At(170, 60), IArgbColor{255, 128, 128, 128}, 4));
    EXPECT_TRUE(Near(At(150, 40), IArgbColor{255, 128, 128, 128}, 4));
}

TEST_F(NanoVgDraw, ArcsStartAtTwelveAndRunClockwise)
{
    DrawFrame(G(),
              [&](ICanvas& g)
              {
                  g.DrawArc(kColorRed, 50.f, 60.f, 40.f, 0.f, 90.f, nullptr, 4.f);
                  g.FillArc(kColorBlue, 150.f, 60.f, 40.f, 0.f, 90.f);
              });
    const float r = 40.f * 0.7071f;
    // The stroked quarter: from 12 to 3 o'clock only.
    EXPECT_TRUE(Near(At(static_cast<int>(50 + r), static_cast<int>(60 - r)), kColorRed, 40));
    EXPECT_EQ(At(static_cast<int>(50 - r), static_cast<int>(60 - r)).A, 0);
    EXPECT_EQ(At(static_cast<int>(50 + r), static_cast<int>(60 + r)).A, 0);
    EXPECT_TRUE(Near(At(50, 21), kColorRed, 60)) << "starts at 12 o'clock";
    EXPECT_TRUE(Near(At(89, 58), kColorRed, 60)) << "ends at 3 o'clock";
    EXPECT_EQ(At(89, 62).A, 0) << "and no further";
    // The pie slice fills the upper right quadrant.
    EXPECT_TRUE(Near(At(165, 45), kColorBlue));
    EXPECT_EQ(At(135, 45).A, 0);
    EXPECT_EQ(At(165, 75).A, 0);
    EXPECT_EQ(At(135, 75).A, 0);
}

TEST_F(NanoVgDraw, DottedLineAlternatesDashAndGap)
{
    // Length 60, dash 10: six pieces, dashes on the first, third and fifth.
    DrawFrame(G(),
              [&](ICanvas& g)
              { g.DrawDottedLine(kColorBlack, 10.f, 20.f, 70.f, 20.f, nullptr, 2.f, 10.f); });
    for (int x : {13, 17, 33, 37, 53, 57})
        EXPECT_TRUE(Near(At(x, 20), kColorBlack)) << x;
    for (int x : {23, 27, 43, 47, 63, 67, 75})
        EXPECT_EQ(At(x, 20).A, 0) << x;

    DrawFrame(
        G(),
        [&](ICanvas& g)
        { g.DrawDottedRect(kColorBlack, IBounds(100.f, 10.f, 180.f, 50.f), nullptr, 2.f, 10.f); });
    // Dashes from the top-left corner rightward along the top, down the right edge, then back
    // along the bottom and up the left; nothing leaves the bounds.
    EXPECT_TRUE(Near(At(105, 10), kColorBlack, 60));
    EXPECT_EQ(At(115, 10).A, 0);
    EXPECT_TRUE(Near(At(125, 10), kColorBlack, 60));
    EXPECT_TRUE(Near(At(179, 15), kColorBlack, 60));
    EXPECT_EQ(At(179, 25).A, 0);
    EXPECT_EQ(At(185, 30).A, 0);
    EXPECT_EQ(At(140, 30).A, 0);
}

TEST_F(NanoVgDraw, FillRuleAndHoles)
{
    // Two circles, the small one first: "keep" leaves each sub-path's own winding (the inner
    // marked as a hole), so the outer circle drawn last does not close the hole.
    struct Case
    {
        const char* what;
        EFillRule rule;
        bool innerIsHole;
        bool centreFilled;
    };
    const Case cases[] = {
        {"non-zero fills both", EFillRule::Winding, false, true},
        {"even-odd leaves a hole", EFillRule::EvenOdd, false, false},
        {"kept windings: the inner hole stays", EFillRule::Preserve, true, false},
        {"kept windings: two solids fill", EFillRule::Preserve, false, true},
    };
    for (const Case& c : cases)
    {
        DrawFrame(G(),
                  [&](ICanvas& g)
                  {
                      ClearAll(g);
                      g.PathClear();
                      if (c.rule == EFillRule::EvenOdd)
                      {
                          g.PathCircle(100.f, 60.f, 50.f);
                          g.PathCircle(100.f, 60.f, 20.f);
                      }
                      else
                      {
                          g.PathCircle(100.f, 60.f, 20.f);
                          g.PathSetWinding(c.innerIsHole);
                          g.PathCircle(100.f, 60.f, 50.f);
                          g.PathSetWinding(false);
                      }
                      IFillStyle style;
                      style.rule = c.rule;
                      g.PathFill(IFillPattern::Solid(kColorGreen), style);
                  });
        EXPECT_TRUE(Near(At(100, 20), kColorGreen)) << c.what;
        EXPECT_EQ(At(100, 60).A, c.centreFilled ? 255 : 0) << c.what;
    }
}

TEST_F(NanoVgDraw, BoxShadowIsSoftHalfBlack)
{
    DrawFrame(
        G(),
        [&](ICanvas& g)
        {
            g.DrawBoxShadow(
                IBounds(40.f, 30.f, 120.f, 80.f), IBounds(20.f, 10.f, 140.f, 100.f), 4.f, 3.f, 8.f);
        });
    EXPECT_TRUE(Near(At(84, 59), IArgbColor{128, 0, 0, 0}, 3)) << "inside: half black";
    EXPECT_EQ(At(22, 12).A, 0) << "outside the blur: nothing";
    const int edge = At(124, 59).A;
    EXPECT_GT(edge, 10);
    EXPECT_LT(edge, 120) << "the edge fades";
    EXPECT_EQ(At(150, 59).A, 0) << "only the outer bounds are painted";
}

} // namespace
