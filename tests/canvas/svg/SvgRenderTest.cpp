// A corpus document through the test rasteriser: fill rules and sub-path windings, gradients
// with their spreads, opacity and transforms, read back as pixels. The picture is written to
// build/<tree>/svg/corpus.png to look at.
#include "tests/canvas/svg/SvgRaster.h"
#include "tests/support/SvgTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
using namespace plugkit::canvas::svg;
using namespace plugkit::canvas::svg::test;

// Six cells of 50 by 50 in two rows.
const char* const kCorpus = R"~(<svg xmlns="http://www.w3.org/2000/svg" width="300" height="100">
  <defs>
    <linearGradient id="across"><stop offset="0" stop-color="#f00"/><stop offset="1" stop-color="#00f"/></linearGradient>
    <radialGradient id="glow" gradientUnits="userSpaceOnUse" cx="225" cy="25" r="20">
      <stop offset="0" stop-color="white"/><stop offset="1" stop-color="#008000"/>
    </radialGradient>
    <linearGradient id="stripes" href="#across" x2="0.25" spreadMethod="reflect"/>
  </defs>
  <path id="ring-nonzero" fill="#ffd700"
        d="M45 25 A20 20 0 1 1 5 25 A20 20 0 1 1 45 25 Z M35 25 A10 10 0 1 0 15 25 A10 10 0 1 0 35 25 Z"/>
  <path id="ring-evenodd" fill="#ffd700" fill-rule="evenodd"
        d="M95 25 A20 20 0 1 1 55 25 A20 20 0 1 1 95 25 Z M85 25 A10 10 0 1 1 65 25 A10 10 0 1 1 85 25 Z"/>
  <path id="disc-nonzero" fill="#ffd700"
        d="M145 25 A20 20 0 1 1 105 25 A20 20 0 1 1 145 25 Z M135 25 A10 10 0 1 1 115 25 A10 10 0 1 1 135 25 Z"/>
  <circle cx="225" cy="25" r="20" fill="url(#glow)"/>
  <rect x="155" y="5" width="40" height="40" fill="url(#across)"/>
  <rect x="255" y="5" width="40" height="40" fill="url(#stripes)"/>
  <g opacity="0.5"><rect x="5" y="55" width="40" height="40" fill="#ff0000"/></g>
  <rect x="60" y="60" width="30" height="30" fill="#00ffff" transform="rotate(45 75 75)"/>
  <rect x="110" y="60" width="30" height="30" fill="#ffffff" style="display:none"/>
</svg>)~";

TEST(SvgRender, FillRulesGradientsOpacityAndTransformsInPixels)
{
    const auto doc = Parse(kCorpus);
    ASSERT_NE(doc, nullptr);
    const Image image = Rasterise(*doc, 1.f, 0x000000);
    EXPECT_TRUE(WritePng(image, LUMENFALL_SVG_OUTPUT_DIR "/corpus.png"));
    EXPECT_TRUE(
        WritePng(Rasterise(*doc, 3.f, 0x000000), LUMENFALL_SVG_OUTPUT_DIR "/corpus@3x.png"));

    struct Probe
    {
        const char* what;
        int x;
        int y;
        int r, g, b;
    };
    const Probe probes[] = {
        {"non-zero ring, reversed inner circle: hole", 25, 25, 0, 0, 0},
        {"non-zero ring: body", 25, 8, 255, 215, 0},
        {"even-odd ring, same direction: hole", 75, 25, 0, 0, 0},
        {"even-odd ring: body", 75, 40, 255, 215, 0},
        {"non-zero, same direction: filled", 125, 25, 255, 215, 0},
        {"linear gradient: left end", 155, 25, 252, 0, 3},
        {"linear gradient: middle", 175, 25, 124, 0, 131},
        {"linear gradient: right end", 194, 25, 3, 0, 252},
        {"radial gradient: centre", 225, 25, 246, 250, 246},
        {"radial gradient: rim", 225, 44, 6, 131, 6},
        {"reflected stripes: blue at the first end", 264, 25, 13, 0, 242},
        {"reflected stripes: red again", 274, 25, 242, 0, 13},
        {"group opacity: half red", 25, 75, 128, 0, 0},
        {"rotated square: tip", 75, 57, 0, 255, 255},
        {"rotated square: cut corner", 61, 61, 0, 0, 0},
        {"display none", 125, 75, 0, 0, 0},
    };
    for (const Probe& p : probes)
    {
        const uint8_t* px = image.At(p.x, p.y);
        EXPECT_NEAR(px[0], p.r, 6) << p.what;
        EXPECT_NEAR(px[1], p.g, 6) << p.what;
        EXPECT_NEAR(px[2], p.b, 6) << p.what;
    }
}

} // namespace
