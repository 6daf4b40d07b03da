// The maker's logo: it parses as the editor loads it, and its pixels show nine letters of
// one cap height on one baseline beside the mark. The test also writes the logo as PNGs
// (build/<tree>/svg/logo.png and logo@4x.png) to look at.
#include "tests/canvas/svg/SvgRaster.h"
#include "tests/support/SvgTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas::svg;
using namespace plugkit::canvas::svg::test;

constexpr uint32_t kPanel = 0x1D2529; // the editor's dark panel

std::unique_ptr<Document> LoadLogo()
{
    // As the editor loads it: pixels at 72 dpi.
    return Parse(ReadFile(LUMENFALL_LOGO_SVG), "px", 72.f);
}

bool Inked(const Image& image, int x, int y)
{
    const uint8_t* p = image.At(x, y);
    const int bg[3] = {0x1D, 0x25, 0x29};
    return std::abs(p[0] - bg[0]) + std::abs(p[1] - bg[1]) + std::abs(p[2] - bg[2]) > 60;
}

TEST(SvgLogo, ParsesToVisibleShapesAt210By42)
{
    const auto logo = LoadLogo();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width, 210.f);
    EXPECT_EQ(logo->height, 42.f);
    ASSERT_GE(logo->shapes.size(), 10u); // the mark and nine letters
    for (const Shape& s : logo->shapes)
    {
        EXPECT_TRUE(s.visible) << s.id;
        EXPECT_NE(s.fill.kind, PaintKind::None);
        EXPECT_GE(s.bounds[0], 0.f);
        EXPECT_GE(s.bounds[1], 0.f);
        EXPECT_LE(s.bounds[2], 210.f);
        EXPECT_LE(s.bounds[3], 42.f);
    }
}

TEST(SvgLogo, NineLettersOnOneBaselineBesideTheMark)
{
    const auto logo = LoadLogo();
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(WritePng(Rasterise(*logo, 1.f, kPanel), LUMENFALL_SVG_OUTPUT_DIR "/logo.png"));
    constexpr int kScale = 4;
    const Image image = Rasterise(*logo, kScale, kPanel);
    EXPECT_TRUE(WritePng(image, LUMENFALL_SVG_OUTPUT_DIR "/logo@4x.png"));

    // Letters: runs of inked columns right of the mark, each with its top and bottom row.
    struct Run
    {
        int left, right, top, bottom;
    };
    std::vector<Run> runs;
    constexpr int kLettersFrom = 34 * kScale;
    for (int x = kLettersFrom; x < image.width; ++x)
    {
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < image.height; ++y)
            if (Inked(image, x, y))
            {
                top = top < 0 ? y : top;
                bottom = y;
            }
        if (top < 0)
            continue;
        if (runs.empty() || runs.back().right != x - 1)
            runs.push_back({x, x, top, bottom});
        runs.back().right = x;
        runs.back().top = std::min(runs.back().top, top);
        runs.back().bottom = std::max(runs.back().bottom, bottom);
    }
    ASSERT_EQ(runs.size(), 9u) << "TESSALINE";
    for (size_t i = 0; i < runs.size(); ++i)
    {
        // One cap height (12 to 30 units) for every letter, within a quarter unit.
        EXPECT_NEAR(runs[i].top, 12 * kScale, 1) << "letter " << i;
        EXPECT_NEAR(runs[i].bottom + 1, 30 * kScale, 1) << "letter " << i;
        if (i > 0)
        {
            const int gap = runs[i].left - runs[i - 1].right - 1;
            EXPECT_GE(gap, 2 * kScale) << "before letter " << i;
            EXPECT_LE(gap, 7 * kScale) << "before letter " << i;
        }
    }
    // The mark: ink left of the letters, centred on the letters' middle row.
    int markTop = image.height;
    int markBottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < kLettersFrom; ++x)
            if (Inked(image, x, y))
            {
                markTop = std::min(markTop, y);
                markBottom = std::max(markBottom, y);
            }
    ASSERT_GE(markBottom, 0);
    EXPECT_NEAR((markTop + markBottom + 1) / 2.0, 21 * kScale, kScale);
}

} // namespace
