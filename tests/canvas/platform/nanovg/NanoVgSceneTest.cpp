// SVG through the NanoVG back end (a ring with its hole, the maker's logo) and one test scene of
// shapes, gradients, text and the logo written as PNG files at scales 1 and 1.5, to be looked at.

#include "tests/canvas/platform/nanovg/NanoVgTestSupport.h"
#include "tests/support/FakeEditorDelegate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace plugkit;
using namespace plugkit::canvas;
using namespace lumenfall::test;

#if defined(_WIN32)
constexpr const char* kTree = "wine";
#else
constexpr const char* kTree = "native";
#endif

class NanoVgSvg : public ::testing::Test
{
protected:
    FakeEditorDelegate mDelegate;
};

TEST_F(NanoVgSvg, RingKeepsItsHole)
{
    HeadlessCanvas g(mDelegate, 120, 120);
    ASSERT_TRUE(g.IsValid());
    // The inner circle runs the other way round: a hole by the non-zero rule.
    const char ring[] = R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100">
        <path fill="#00a000" d="M50 10 A40 40 0 1 1 49.99 10 Z M50 30 A20 20 0 1 0 50.01 30 Z"/>
        </svg>)";
    const ISvgHandle svg = g.LoadSvgFromData("ring.svg", ring, static_cast<int>(std::strlen(ring)));
    ASSERT_TRUE(svg.IsValid());
    DrawFrame(g, [&](ICanvas& c) { c.DrawSvg(svg, IBounds(10.f, 10.f, 110.f, 110.f)); });
    EXPECT_EQ(g.PixelAt(60, 60).A, 0) << "the hole";
    const IArgbColor ringPixel = g.PixelAt(60, 30);
    EXPECT_EQ(ringPixel.A, 255);
    EXPECT_EQ(ringPixel.G, 160);
    EXPECT_EQ(g.PixelAt(5, 5).A, 0);
}

#if defined(LUMENFALL_LOGO_SVG)
TEST_F(NanoVgSvg, LogoDrawsAtEveryScaleInItsBounds)
{
    double fraction[2] = {};
    const float scales[2] = {1.f, 1.5f};
    for (int i = 0; i < 2; ++i)
    {
        HeadlessCanvas g(mDelegate, 260, 80, 1.f, scales[i]);
        ASSERT_TRUE(g.IsValid());
        const ISvgHandle logo = g.LoadSvg(LUMENFALL_LOGO_SVG);
        ASSERT_TRUE(logo.IsValid());
        EXPECT_NEAR(logo.W(), 210.f, 0.5f);
        EXPECT_NEAR(logo.H(), 42.f, 0.5f);
        DrawFrame(g, [&](ICanvas& c) { c.DrawSvg(logo, IBounds(20.f, 20.f, 230.f, 62.f)); });
        const float s = scales[i];
        auto px = [&](float v) { return static_cast<int>(v * s); };
        const int inside = CountInk(g, px(20), px(20), px(230), px(62));
        const int all = CountInk(g, 0, 0, px(260), px(80));
        EXPECT_EQ(inside, all) << "nothing outside the logo's bounds";
        // Ink in the left fifth (the mark) and across the right (the lettering).
        EXPECT_GT(CountInk(g, px(20), px(20), px(62), px(62)), 0);
        EXPECT_GT(CountInk(g, px(130), px(20), px(230), px(62)), 0);
        fraction[i] = static_cast<double>(inside) / (px(210) * px(42));
    }
    EXPECT_GT(fraction[0], 0.08);
    EXPECT_NEAR(fraction[1], fraction[0], 0.1 * fraction[0]) << "the same drawing at both scales";
}
#endif

/// Shapes, gradients, dashes, a shadowed layer, text in several sizes and the logo.
void DrawScene(HeadlessCanvas& g, const ISvgHandle& logo)
{
    DrawFrame(
        g,
        [&](ICanvas& c)
        {
            c.PathClear();
            c.PathRect(IBounds(0.f, 0.f, 480.f, 320.f));
            c.PathFill(IFillPattern::Linear(0.f,
                                            0.f,
                                            0.f,
                                            320.f,
                                            {{IArgbColor{255, 40, 44, 54}, 0.f},
                                             {IArgbColor{255, 16, 18, 24}, 1.f}}),
                       IFillStyle());

            // Shapes.
            c.FillRoundRect(IArgbColor{255, 58, 64, 78}, IBounds(16.f, 16.f, 156.f, 116.f), 10.f);
            c.DrawRoundRect(IArgbColor{255, 110, 120, 140},
                            IBounds(16.f, 16.f, 156.f, 116.f),
                            10.f,
                            nullptr,
                            1.5f);
            c.FillCircle(IArgbColor{255, 230, 90, 70}, 56.f, 66.f, 28.f);
            c.DrawCircle(kColorWhite, 56.f, 66.f, 34.f, nullptr, 2.f);
            c.FillTriangle(IArgbColor{255, 250, 200, 60}, 100.f, 96.f, 148.f, 96.f, 124.f, 36.f);
            c.DrawDottedLine(kColorLightGray, 16.f, 128.f, 156.f, 128.f, nullptr, 1.f, 4.f);

            // A knob: radial body, track and value arcs.
            IFillPattern body(EPatternType::Radial);
            body.AddStop(IArgbColor{255, 150, 160, 180}, 0.f);
            body.AddStop(IArgbColor{255, 36, 40, 50}, 1.f);
            body.transform = {
                1.0 / 34.0, 0.0, 0.0, 1.0 / 34.0, -(214.0 - 10.0) / 34.0, -(56.0 - 12.0) / 34.0};
            c.PathClear();
            c.PathCircle(214.f, 66.f, 34.f);
            c.PathFill(body, IFillStyle());
            c.DrawArc(IArgbColor{255, 70, 76, 90}, 214.f, 66.f, 42.f, -135.f, 135.f, nullptr, 4.f);
            c.DrawArc(IArgbColor{255, 90, 200, 255}, 214.f, 66.f, 42.f, -135.f, 60.f, nullptr, 4.f);

            // A linear gradient bar and a layer with a drop shadow.
            c.PathClear();
            c.PathRect(IBounds(280.f, 24.f, 460.f, 52.f));
            c.PathFill(
                IFillPattern::Linear(280.f, 0.f, 460.f, 0.f, {{kColorRed, 0.f}, {kColorBlue, 1.f}}),
                IFillStyle());
            c.BeginLayer(nullptr, IBounds(280.f, 60.f, 470.f, 130.f));
            c.FillRoundRect(IArgbColor{255, 90, 200, 255}, IBounds(290.f, 66.f, 440.f, 110.f), 8.f);
            ILayerPtr layer = c.FinishLayer();
            ILayerShadow shadow;
            shadow.blurSize = 4.f;
            shadow.xOffset = 6.f;
            shadow.yOffset = 6.f;
            shadow.pattern = IFillPattern::Solid(IArgbColor{200, 0, 0, 0});
            c.ApplyLayerDropShadow(layer, shadow);
            c.DrawBitmap(
                IBitmapHandle(layer->GetAPIBitmap(), 1, false, ""), layer->GetBounds(), 0, 0);

            // Text.
            ITextStyle text(12.f, EVAlign::Top);
            text.align = EAlign::Near;
            text.color = kColorWhite;
            float y = 146.f;
            for (float size : {10.f, 12.f, 14.f, 18.f, 24.f})
            {
                text.size = size;
                char line[64];
                std::snprintf(line, sizeof(line), "Lumenfall %g px: Decay 2.40 s, Mix 35 %%", size);
                c.DrawText(text, line, IBounds(16.f, y, 464.f, y + size + 4.f));
                y += size + 8.f;
            }
            ITextStyle block(13.f, EVAlign::Middle);
            block.color = IArgbColor{255, 200, 205, 215};
            c.FillRect(IArgbColor{255, 30, 34, 42}, IBounds(300.f, 146.f, 464.f, 226.f));
            c.DrawMultiLineText(block,
                                "Multi-line text wraps into rows, centred as a block.",
                                IBounds(300.f, 146.f, 464.f, 226.f));

            if (logo.IsValid())
                c.DrawSvg(logo, IBounds(16.f, 266.f, 226.f, 308.f));
        });
}

TEST_F(NanoVgSvg, SceneAsPngAtScalesOneAndOneAndAHalf)
{
    std::filesystem::create_directories(LUMENFALL_PNG_DIR);
    for (float scale : {1.f, 1.5f})
    {
        HeadlessCanvas g(mDelegate, 480, 320, 1.f, scale);
        ASSERT_TRUE(g.IsValid());
        ASSERT_TRUE(g.LoadFont("Roboto-Regular", LUMENFALL_ROBOTO_TTF));
        ISvgHandle logo;
#if defined(LUMENFALL_LOGO_SVG)
        logo = g.LoadSvg(LUMENFALL_LOGO_SVG);
        EXPECT_TRUE(logo.IsValid());
#endif
        DrawScene(g, logo);
        char path[512];
        std::snprintf(path, sizeof(path), "%s/scene_%s_%gx.png", LUMENFALL_PNG_DIR, kTree, scale);
        EXPECT_TRUE(g.WritePng(path)) << path;
        // A few fixed points: the panel, the red disc, the gradient bar's ends.
        auto at = [&](float x, float y)
        { return g.PixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale)); };
        EXPECT_EQ(at(56.f, 66.f), (IArgbColor{255, 230, 90, 70}));
        EXPECT_EQ(at(140.f, 30.f), (IArgbColor{255, 58, 64, 78}));
        EXPECT_GT(at(282.f, 38.f).R, 240);
        EXPECT_GT(at(458.f, 38.f).B, 240);
    }
}

} // namespace
