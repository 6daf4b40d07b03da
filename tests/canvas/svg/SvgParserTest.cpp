// The SVG parser against hand-derived point lists: every path command (absolute, relative
// and implicit), arcs, the basic shapes, transforms, viewBox and units, and the style rules.
#include "canvas/svg/SvgParser.h"
#include "tests/support/SvgTestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas::svg;
using plugkit::canvas::svg::test::Parse;
using plugkit::canvas::svg::test::Svg;

// 4/3 tan(pi/8): the control distance of a quarter circle of radius 1.
constexpr float kK = 0.5522847498f;

// Expected geometry written the way the document stores it: lines are cubics with their
// controls at the thirds.
struct Outline
{
    struct Sub
    {
        std::vector<float> pts;
        bool closed = false;
    };
    std::vector<Sub> subs;

    Outline& M(float x, float y)
    {
        subs.push_back({{x, y}, false});
        return *this;
    }
    Outline& L(float x, float y)
    {
        const std::vector<float>& p = subs.back().pts;
        const float x0 = p[p.size() - 2];
        const float y0 = p[p.size() - 1];
        return C(x0 + (x - x0) / 3,
                 y0 + (y - y0) / 3,
                 x0 + 2 * (x - x0) / 3,
                 y0 + 2 * (y - y0) / 3,
                 x,
                 y);
    }
    Outline& C(float x1, float y1, float x2, float y2, float x, float y)
    {
        subs.back().pts.insert(subs.back().pts.end(), {x1, y1, x2, y2, x, y});
        return *this;
    }
    Outline& Z()
    {
        subs.back().closed = true;
        return *this;
    }
};

::testing::AssertionResult
SameOutline(const Shape& shape, const Outline& expected, float tolerance = 2e-3f)
{
    if (shape.paths.size() != expected.subs.size())
        return ::testing::AssertionFailure()
               << shape.paths.size() << " sub-paths, expected " << expected.subs.size();
    for (size_t i = 0; i < shape.paths.size(); ++i)
    {
        const Path& path = shape.paths[i];
        const Outline::Sub& sub = expected.subs[i];
        if (path.closed != sub.closed)
            return ::testing::AssertionFailure() << "sub-path " << i << " closed " << path.closed;
        if (path.pts.size() != sub.pts.size())
            return ::testing::AssertionFailure() << "sub-path " << i << ": " << path.NumPoints()
                                                 << " points, expected " << sub.pts.size() / 2;
        for (size_t k = 0; k < path.pts.size(); ++k)
            if (!(std::fabs(path.pts[k] - sub.pts[k]) <= tolerance))
                return ::testing::AssertionFailure()
                       << "sub-path " << i << " point " << k / 2 << (k % 2 ? " y " : " x ")
                       << path.pts[k] << ", expected " << sub.pts[k];
    }
    return ::testing::AssertionSuccess();
}

struct GeometryCase
{
    const char* name;
    std::string body;
    Outline expected;
};

void ExpectGeometry(const std::vector<GeometryCase>& cases,
                    const std::string& root = R"(width="100" height="100")")
{
    for (const GeometryCase& c : cases)
    {
        const auto doc = Parse(Svg(c.body, root));
        ASSERT_NE(doc, nullptr) << c.name;
        ASSERT_EQ(doc->shapes.size(), 1u) << c.name;
        EXPECT_TRUE(SameOutline(doc->shapes[0], c.expected)) << c.name;
    }
}

std::string PathWith(const std::string& d)
{
    return R"(<path d=")" + d + R"("/>)";
}

TEST(SvgParser, PathCommandsAbsoluteRelativeAndImplicit)
{
    ExpectGeometry({
        {"lines and close",
         PathWith("M10 20 L30 20 l0 10 h-5 v5 H10 V20 z"),
         Outline().M(10, 20).L(30, 20).L(30, 30).L(25, 30).L(25, 35).L(10, 35).L(10, 20).Z()},
        {"implicit linetos after M",
         PathWith("M0 0 10 0 10 10"),
         Outline().M(0, 0).L(10, 0).L(10, 10)},
        {"implicit relative linetos after m",
         PathWith("m5 5 10 0 0 10"),
         Outline().M(5, 5).L(15, 5).L(15, 15)},
        {"packed numbers",
         PathWith("M1.5.5L1e1-2e-1,3E+1-.5"),
         Outline().M(1.5f, 0.5f).L(10, -0.2f).L(30, -0.5f)},
        {"repeated commands",
         PathWith("M0 0 H10 20 V5 10"),
         Outline().M(0, 0).L(10, 0).L(20, 0).L(20, 5).L(20, 10)},
        {"cubic and smooth reflection",
         PathWith("M0 0 C0 10 10 10 10 0 S20 -10 20 0"),
         Outline().M(0, 0).C(0, 10, 10, 10, 10, 0).C(10, -10, 20, -10, 20, 0)},
        {"relative cubic and smooth",
         PathWith("M0 0 c0 10 10 10 10 0 s10 -10 10 0"),
         Outline().M(0, 0).C(0, 10, 10, 10, 10, 0).C(10, -10, 20, -10, 20, 0)},
        {"smooth without a cubic before",
         PathWith("M0 0 S10 10 20 0"),
         Outline().M(0, 0).C(0, 0, 10, 10, 20, 0)},
        {"quadratic and smooth quadratic",
         PathWith("M0 0 Q10 10 20 0 T40 0"),
         Outline()
             .M(0, 0)
             .C(20.f / 3, 20.f / 3, 40.f / 3, 20.f / 3, 20, 0)
             .C(80.f / 3, -20.f / 3, 100.f / 3, -20.f / 3, 40, 0)},
        {"relative quadratic",
         PathWith("M10 0 q10 10 20 0 t20 0"),
         Outline()
             .M(10, 0)
             .C(10 + 20.f / 3, 20.f / 3, 10 + 40.f / 3, 20.f / 3, 30, 0)
             .C(10 + 80.f / 3, -20.f / 3, 10 + 100.f / 3, -20.f / 3, 50, 0)},
        {"close adds the closing line and the next segment starts there",
         PathWith("M0 0 L10 0 L10 10 Z L0 10"),
         Outline().M(0, 0).L(10, 0).L(10, 10).L(0, 0).Z().M(0, 0).L(0, 10)},
        {"relative move after close",
         PathWith("M1 1 L10 1 z m5 5 l1 0"),
         Outline().M(1, 1).L(10, 1).L(1, 1).Z().M(6, 6).L(7, 6)},
        {"a lone moveto draws nothing",
         PathWith("M50 50 M0 0 L1 0 M7 7"),
         Outline().M(0, 0).L(1, 0)},
    });
}

TEST(SvgParser, ArcsBecomeQuarterCubics)
{
    const float k10 = 10 * kK;
    const float k5 = 5 * kK;
    const Outline halfCircleUp =
        Outline().M(0, 0).C(0, -k5, 5 - k5, -5, 5, -5).C(5 + k5, -5, 10, -k5, 10, 0);
    ExpectGeometry({
        {"quarter circle",
         PathWith("M10 0 A10 10 0 0 1 0 10"),
         Outline().M(10, 0).C(10, k10, k10, 10, 0, 10)},
        {"half circle in two quarters", PathWith("M0 0 A5 5 0 1 1 10 0"), halfCircleUp},
        {"radii too small are scaled up", PathWith("M0 0 A1 1 0 0 1 10 0"), halfCircleUp},
        {"relative, flags packed, counter-clockwise",
         PathWith("M10 0a10 10 0 0010 10"),
         Outline().M(10, 0).C(10, k10, 20 - k10, 10, 20, 10)},
        {"large arc takes three quarters",
         PathWith("M10 0 A10 10 0 1 0 0 10"),
         Outline()
             .M(10, 0)
             .C(10, -k10, k10, -10, 0, -10)
             .C(-k10, -10, -10, -k10, -10, 0)
             .C(-10, k10, -k10, 10, 0, 10)},
        {"rotated ellipse axes",
         PathWith("M0 0 A20 10 90 0 1 10 -20"),
         Outline().M(0, 0).C(0, -20 * kK, 10 - k10, -20, 10, -20)},
        {"zero radius is a line", PathWith("M0 0 A0 5 0 0 1 30 0"), Outline().M(0, 0).L(30, 0)},
        {"zero length arc is left out",
         PathWith("M0 0 A5 5 0 0 1 0 0 L3 0"),
         Outline().M(0, 0).L(3, 0)},
    });
}

TEST(SvgParser, PathDataStopsAtTheFirstError)
{
    ExpectGeometry({
        {"missing coordinate", PathWith("M0 0 L10 0 L20"), Outline().M(0, 0).L(10, 0)},
        {"unknown letter", PathWith("M0 0 L10 0 X 5 5 L0 9"), Outline().M(0, 0).L(10, 0)},
        {"numbers after close",
         PathWith("M0 0 L10 0 Z 5 5"),
         Outline().M(0, 0).L(10, 0).L(0, 0).Z()},
        {"bad arc flag", PathWith("M0 0 L1 0 A5 5 0 2 1 9 9"), Outline().M(0, 0).L(1, 0)},
    });
    // Without a leading moveto there is nothing to draw, so no document either.
    EXPECT_EQ(Parse(Svg(PathWith("L10 10 20 20"))), nullptr);
}

TEST(SvgParser, BasicShapesFollowTheirEquivalentPaths)
{
    const float a = 2 * kK; // corner controls of rx 2, ry 1
    const float b = kK;
    ExpectGeometry({
        {"rect",
         R"(<rect x="1" y="2" width="10" height="5"/>)",
         Outline().M(1, 2).L(11, 2).L(11, 7).L(1, 7).L(1, 2).Z()},
        {"rounded rect",
         R"(<rect width="10" height="6" rx="2" ry="1"/>)",
         Outline()
             .M(2, 0)
             .L(8, 0)
             .C(8 + a, 0, 10, 1 - b, 10, 1)
             .L(10, 5)
             .C(10, 5 + b, 8 + a, 6, 8, 6)
             .L(2, 6)
             .C(2 - a, 6, 0, 5 + b, 0, 5)
             .L(0, 1)
             .C(0, 1 - b, 2 - a, 0, 2, 0)
             .Z()},
        {"rx alone sets ry, both held to half the size",
         R"(<rect width="10" height="10" rx="20"/>)",
         Outline()
             .M(5, 0)
             .C(5 + 5 * kK, 0, 10, 5 - 5 * kK, 10, 5)
             .C(10, 5 + 5 * kK, 5 + 5 * kK, 10, 5, 10)
             .C(5 - 5 * kK, 10, 0, 5 + 5 * kK, 0, 5)
             .C(0, 5 - 5 * kK, 5 - 5 * kK, 0, 5, 0)
             .Z()},
        {"circle",
         R"(<circle cx="50" cy="50" r="10"/>)",
         Outline()
             .M(60, 50)
             .C(60, 50 + 10 * kK, 50 + 10 * kK, 60, 50, 60)
             .C(50 - 10 * kK, 60, 40, 50 + 10 * kK, 40, 50)
             .C(40, 50 - 10 * kK, 50 - 10 * kK, 40, 50, 40)
             .C(50 + 10 * kK, 40, 60, 50 - 10 * kK, 60, 50)
             .Z()},
        {"ellipse",
         R"(<ellipse rx="20" ry="10"/>)",
         Outline()
             .M(20, 0)
             .C(20, 10 * kK, 20 * kK, 10, 0, 10)
             .C(-20 * kK, 10, -20, 10 * kK, -20, 0)
             .C(-20, -10 * kK, -20 * kK, -10, 0, -10)
             .C(20 * kK, -10, 20, -10 * kK, 20, 0)
             .Z()},
        {"line", R"(<line x1="1" y1="2" x2="7" y2="8" stroke="red"/>)", Outline().M(1, 2).L(7, 8)},
        {"polyline",
         R"(<polyline points="0,0 10,0 10,10"/>)",
         Outline().M(0, 0).L(10, 0).L(10, 10)},
        {"polygon closes",
         R"(<polygon points="0 0,10 0 10 10"/>)",
         Outline().M(0, 0).L(10, 0).L(10, 10).L(0, 0).Z()},
        {"odd point list drops the last number",
         R"(<polyline points="0,0 10,0 10"/>)",
         Outline().M(0, 0).L(10, 0)},
        {"percentages of the viewport",
         R"(<rect x="10%" y="50%" width="20%" height="10%"/>)",
         Outline().M(10, 50).L(30, 50).L(30, 60).L(10, 60).L(10, 50).Z()},
    });
    // Degenerate shapes draw nothing.
    for (const char* body : {R"(<rect width="0" height="5"/>)",
                             R"(<rect width="-1" height="5"/>)",
                             R"(<circle r="0"/>)",
                             R"(<circle r="-3"/>)",
                             R"(<ellipse rx="5"/>)",
                             R"(<polygon points="5"/>)",
                             R"(<path/>)"})
        EXPECT_EQ(Parse(Svg(body)), nullptr) << body;
}

TEST(SvgParser, TransformsMapEveryPoint)
{
    ExpectGeometry({
        {"nested translate and scale",
         R"~(<g transform="translate(10,20)"><rect width="1" height="1" transform="scale(2)"/></g>)~",
         Outline().M(10, 20).L(12, 20).L(12, 22).L(10, 22).L(10, 20).Z()},
        {"rotate about a centre",
         R"~(<path d="M0 0 L10 0 L10 10" transform="rotate(90 5 5)"/>)~",
         Outline().M(10, 0).L(10, 10).L(0, 10)},
        {"a list applies right to left",
         R"~(<path d="M0 0 L0 10" transform="matrix(1 0 0 1 3 4) skewX(45)"/>)~",
         Outline().M(3, 4).L(13, 14)},
        {"skewY and scale with one value",
         R"~(<path d="M0 0 L10 0" transform="skewY(45),scale(.5)"/>)~",
         Outline().M(0, 0).L(5, 5)},
        {"translate with one value",
         R"(<path d="M0 0 L1 1" transform=" translate( 7 ) "/>)",
         Outline().M(7, 0).L(8, 1)},
        {"an invalid list is no transform",
         R"~(<path d="M0 0 L1 1" transform="translate(1,2) spin(4)"/>)~",
         Outline().M(0, 0).L(1, 1)},
    });
}

TEST(SvgParser, ViewBoxUnitsAndDpiSetSizeAndScale)
{
    struct Case
    {
        const char* name;
        std::string root;
        const char* units;
        float dpi;
        float width;
        float height;
        Outline expected; // of <path d="M10 10 L20 20"/>
    };
    const Case cases[] = {
        {"plain pixels",
         R"(width="40" height="30")",
         "px",
         96,
         40,
         30,
         Outline().M(10, 10).L(20, 20)},
        {"viewBox scales and translates",
         R"(width="100" height="100" viewBox="10 10 50 50")",
         "px",
         96,
         100,
         100,
         Outline().M(0, 0).L(20, 20)},
        {"meet centres the wider side",
         R"(width="200" height="100" viewBox="0 0 100 100")",
         "px",
         96,
         200,
         100,
         Outline().M(60, 10).L(70, 20)},
        {"xMinYMax slice",
         R"(width="200" height="100" viewBox="0 0 100 100" preserveAspectRatio="xMinYMax slice")",
         "px",
         96,
         200,
         100,
         Outline().M(20, -80).L(40, -60)},
        {"none stretches",
         R"(width="200" height="100" viewBox="0 0 100 100" preserveAspectRatio="none")",
         "px",
         96,
         200,
         100,
         Outline().M(20, 10).L(40, 20)},
        {"size from the viewBox",
         R"(viewBox="0 0 50 25")",
         "px",
         96,
         50,
         25,
         Outline().M(10, 10).L(20, 20)},
        {"missing height keeps the viewBox aspect",
         R"(width="100" viewBox="0 0 50 25")",
         "px",
         96,
         100,
         50,
         Outline().M(20, 20).L(40, 40)},
        {"inches at 96 dpi",
         R"(width="1in" height="0.5in" viewBox="0 0 96 48")",
         "px",
         96,
         96,
         48,
         Outline().M(10, 10).L(20, 20)},
        {"millimetres at 72 dpi",
         R"(width="25.4mm" height="12.7mm" viewBox="0 0 10 5")",
         "px",
         72,
         72,
         36,
         Outline().M(72, 72).L(144, 144)},
        {"output in points",
         R"(width="96" height="48")",
         "pt",
         96,
         72,
         36,
         Outline().M(7.5f, 7.5f).L(15, 15)},
        {"output in inches",
         R"(width="192" height="96")",
         "in",
         96,
         2,
         1,
         Outline().M(10.f / 96, 10.f / 96).L(20.f / 96, 20.f / 96)},
        {"null units mean pixels",
         R"(width="10pt" height="20pc")",
         nullptr,
         72,
         10,
         240,
         Outline().M(10, 10).L(20, 20)},
        {"size from the drawing", "", "px", 96, 20, 20, Outline().M(10, 10).L(20, 20)},
    };
    for (const Case& c : cases)
    {
        const std::string text = Svg(R"(<path d="M10 10 L20 20" stroke="black"/>)", c.root);
        const auto doc = Parse(text, c.units, c.dpi);
        ASSERT_NE(doc, nullptr) << c.name;
        EXPECT_FLOAT_EQ(doc->width, c.width) << c.name;
        EXPECT_FLOAT_EQ(doc->height, c.height) << c.name;
        ASSERT_EQ(doc->shapes.size(), 1u) << c.name;
        EXPECT_TRUE(SameOutline(doc->shapes[0], c.expected)) << c.name;
    }
    // Lengths with units inside the drawing use the same dpi.
    const auto doc = Parse(Svg(R"(<rect width="1in" height="2.54cm"/>)"), "px", 120);
    ASSERT_NE(doc, nullptr);
    EXPECT_FLOAT_EQ(doc->shapes[0].bounds[2], 120);
    EXPECT_FLOAT_EQ(doc->shapes[0].bounds[3], 120);
}

Color Rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
{
    return {r, g, b, a};
}

// The fill of the only shape of `body`.
Paint FillOf(const std::string& body)
{
    const auto doc = Parse(Svg(body));
    if (doc == nullptr || doc->shapes.size() != 1)
        return {};
    return doc->shapes[0].fill;
}

TEST(SvgParser, ColoursInEveryNotation)
{
    struct Case
    {
        const char* fill;
        Color expected;
    };
    const Case cases[] = {
        {"#abc", Rgba(0xaa, 0xbb, 0xcc)},
        {"#A0b1C2", Rgba(0xa0, 0xb1, 0xc2)},
        {"rgb(10, 20, 30)", Rgba(10, 20, 30)},
        {"rgb( 100% ,50%,0% )", Rgba(255, 128, 0)},
        {"rgb(300, -5, 12.6)", Rgba(255, 0, 13)},
        {"rgba(10,20,30,0.5)", Rgba(10, 20, 30, 128)},
        {"DarkSlateGray", Rgba(47, 79, 79)},
        {"aliceblue", Rgba(240, 248, 255)},
        {"yellowgreen", Rgba(154, 205, 50)},
        {"rebeccapurple", Rgba(102, 51, 153)},
        {"transparent", Rgba(0, 0, 0, 0)},
        {" red ", Rgba(255, 0, 0)},
        // Invalid values leave the default black.
        {"#12", Rgba(0, 0, 0)},
        {"#12345g", Rgba(0, 0, 0)},
        {"rgb(1,2)", Rgba(0, 0, 0)},
        {"rgb(1,2,3) x", Rgba(0, 0, 0)},
        {"rgb(1e39,0,0)", Rgba(0, 0, 0)},
        {"notacolour", Rgba(0, 0, 0)},
    };
    for (const Case& c : cases)
    {
        const Paint paint =
            FillOf(std::string(R"(<rect width="5" height="5" fill=")") + c.fill + R"("/>)");
        EXPECT_EQ(paint.kind, PaintKind::Color) << c.fill;
        EXPECT_EQ(paint.color, c.expected) << c.fill;
    }
    const Paint current =
        FillOf(R"(<g color="teal"><rect width="5" height="5" fill="currentColor"/></g>)");
    EXPECT_EQ(current.color, Rgba(0, 128, 128));
    const Paint none = FillOf(R"(<rect width="5" height="5" fill="none" stroke="red"/>)");
    EXPECT_EQ(none.kind, PaintKind::None);
}

TEST(SvgParser, StyleWinsOverAttributesAndChildrenInherit)
{
    const auto doc = Parse(Svg(R"(
        <g fill="red" stroke="blue" stroke-width="3">
          <rect id="a" width="5" height="5" style="fill: #00ff00 !important ;stroke:none" fill="yellow"/>
          <rect id="b" width="5" height="5" style="stroke-width:2;fill-rule:evenodd"/>
          <g style="fill:white"><rect id="c" width="5" height="5" stroke-linecap="round"/></g>
          <rect id="d" width="5" height="5" style="bogus; fill;:;stroke-linejoin: bevel" fill="black"/>
        </g>)"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 4u);
    const Shape& a = doc->shapes[0];
    EXPECT_EQ(a.id, "a");
    EXPECT_EQ(a.fill.color, Rgba(0, 255, 0));
    EXPECT_EQ(a.stroke.kind, PaintKind::None);
    const Shape& b = doc->shapes[1];
    EXPECT_EQ(b.fill.color, Rgba(255, 0, 0));
    EXPECT_EQ(b.stroke.color, Rgba(0, 0, 255));
    EXPECT_EQ(b.strokeWidth, 2.f);
    EXPECT_EQ(b.fillRule, FillRule::EvenOdd);
    const Shape& c = doc->shapes[2];
    EXPECT_EQ(c.fill.color, Rgba(255, 255, 255));
    EXPECT_EQ(c.strokeWidth, 3.f);
    EXPECT_EQ(c.strokeLineCap, LineCap::Round);
    const Shape& d = doc->shapes[3];
    EXPECT_EQ(d.fill.color, Rgba(0, 0, 0));
    EXPECT_EQ(d.strokeLineJoin, LineJoin::Bevel);
}

TEST(SvgParser, DisplayNoneAndVisibilityHideShapes)
{
    const auto doc = Parse(Svg(R"(
        <rect id="shown" width="5" height="5"/>
        <rect id="none" width="5" height="5" style="display:none"/>
        <g display="none"><rect id="in-none-group" width="5" height="5" display="inline"/></g>
        <g visibility="hidden">
          <rect id="hidden" width="5" height="5"/>
          <rect id="visible-again" width="5" height="5" visibility="visible"/>
        </g>)"));
    ASSERT_NE(doc, nullptr);
    std::vector<std::pair<std::string, bool>> seen;
    for (const Shape& s : doc->shapes)
        seen.emplace_back(s.id, s.visible);
    const std::vector<std::pair<std::string, bool>> expected = {{"shown", true},
                                                                {"none", false},
                                                                {"in-none-group", false},
                                                                {"hidden", false},
                                                                {"visible-again", true}};
    EXPECT_EQ(seen, expected);
    // Nothing visible: no document, so the caller falls back to its text.
    EXPECT_EQ(Parse(Svg(R"(<rect width="5" height="5" display="none"/>)")), nullptr);
}

TEST(SvgParser, OpacitiesScaleThePaintAlpha)
{
    const auto doc = Parse(Svg(R"~(
        <g opacity="0.5">
          <rect width="5" height="5" fill="#ff0000" fill-opacity="0.5" opacity="0.5"
                stroke="rgba(0,0,255,0.5)" stroke-opacity="50%"/>
        </g>
        <rect width="5" height="5" fill="red" style="fill-opacity:2" opacity="-1"/>)~"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 2u);
    const Shape& s = doc->shapes[0];
    EXPECT_EQ(s.fill.color, Rgba(255, 0, 0, 128));  // round(0.5 x 255)
    EXPECT_EQ(s.stroke.color, Rgba(0, 0, 255, 64)); // round(0.5 x 128)
    EXPECT_FLOAT_EQ(s.opacity, 0.25f);
    // Out-of-range opacities are held to 0..1.
    EXPECT_EQ(doc->shapes[1].fill.color.a, 255);
    EXPECT_EQ(doc->shapes[1].opacity, 0.f);
}

TEST(SvgParser, StrokeLengthsScaleWithTheTransform)
{
    const auto doc = Parse(Svg(R"~(
        <g transform="scale(3)">
          <path d="M0 0 L10 0" stroke="black" stroke-width="2" stroke-dasharray="1 2 3"
                stroke-dashoffset="1" stroke-miterlimit="7" stroke-linejoin="round"/>
        </g>
        <path d="M0 0 L10 0" stroke="black" transform="rotate(30)" stroke-dasharray="0 4"/>
        <path d="M0 0 L10 0" stroke="black" stroke-width="0"/>
        <path d="M0 0 L10 0" stroke="black" stroke-width="-2" stroke-miterlimit="0.5" stroke-dasharray="1,-1"/>)~"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 4u);
    const Shape& scaled = doc->shapes[0];
    EXPECT_FLOAT_EQ(scaled.strokeWidth, 6.f);
    EXPECT_EQ(scaled.strokeDashArray, (std::vector<float>{3, 6, 9, 3, 6, 9})); // odd lists repeat
    EXPECT_FLOAT_EQ(scaled.strokeDashOffset, 3.f);
    EXPECT_FLOAT_EQ(scaled.miterLimit, 7.f);
    EXPECT_EQ(scaled.strokeLineJoin, LineJoin::Round);
    const Shape& rotated = doc->shapes[1];
    EXPECT_NEAR(rotated.strokeWidth, 1.f, 1e-6);
    EXPECT_TRUE(rotated.strokeDashArray.empty()); // a zero dash strokes solid
    // A zero width means no stroke; invalid values keep the defaults.
    EXPECT_EQ(doc->shapes[2].stroke.kind, PaintKind::None);
    const Shape& invalid = doc->shapes[3];
    EXPECT_EQ(invalid.strokeWidth, 1.f);
    EXPECT_EQ(invalid.miterLimit, 4.f);
    EXPECT_TRUE(invalid.strokeDashArray.empty());
}

TEST(SvgParser, RefusesWhatItCannotDraw)
{
    struct Case
    {
        const char* name;
        std::string text;
    };
    const std::string rect = R"(<rect width="5" height="5"/>)";
    const Case cases[] = {
        {"empty", ""},
        {"no root", "hello"},
        {"another root", "<html><svg width=\"5\" height=\"5\">" + rect + "</svg></html>"},
        {"zero width", Svg(rect, R"(width="0" height="5")")},
        {"negative height", Svg(rect, R"(width="5" height="-5")")},
        {"width past float", Svg(rect, R"(width="1e39" height="5")")},
        {"zero viewBox", Svg(rect, R"(viewBox="0 0 0 10")")},
        {"self-closing root", R"(<svg width="5" height="5"/>)"},
        {"no shapes", Svg("")},
        {"only in defs", Svg("<defs>" + rect + "</defs>")},
        {"only in a clip path", Svg("<clipPath>" + rect + "</clipPath>")},
        {"no paint", Svg(R"(<rect width="5" height="5" fill="none"/>)")},
        {"no size anywhere", Svg(R"(<path d="M0 0 L-5 -5" stroke="red"/>)", "")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.text), nullptr) << c.name;
    const std::string good = Svg(rect);
    EXPECT_EQ(ParseSvg(nullptr, 10, "px", 96), nullptr);
    for (float dpi : {0.f, -96.f, NAN, INFINITY})
        EXPECT_EQ(ParseSvg(good.data(), good.size(), "px", dpi), nullptr) << dpi;
    EXPECT_NE(Parse(good), nullptr);
}

TEST(SvgParser, NonFiniteValuesInvalidateTheirAttribute)
{
    // Each body holds one shape whose attribute overflows a float, beside a valid rect.
    const char* bodies[] = {
        R"(<path d="M0 0 L1e39 0" stroke="red"/>)",
        R"(<path d="M0 0 L10 0 L10 10 L-1e99999 5" stroke="red"/>)",
        R"(<circle r="1e39"/>)",
        R"(<polygon points="0 0 1 1 2 1e40"/>)",
    };
    for (const char* body : bodies)
    {
        const auto doc =
            Parse(Svg(std::string(body) + R"(<rect id="kept" width="5" height="5"/>)"));
        ASSERT_NE(doc, nullptr) << body;
        ASSERT_EQ(doc->shapes.size(), 1u) << body;
        EXPECT_EQ(doc->shapes[0].id, "kept") << body;
    }
    // Finite values whose product overflows drop the shape too.
    EXPECT_EQ(Parse(Svg(R"~(<rect width="3e38" height="5" transform="scale(1e10)"/>)~")), nullptr);
    // A transform, width or opacity that overflows is ignored as if absent.
    const auto doc = Parse(Svg(R"~(<rect width="5" height="5" transform="scale(1e39)" stroke="red"
                                        stroke-width="1e39" opacity="1e39x"/>)~"));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->shapes[0].bounds[2], 5.f);
    EXPECT_EQ(doc->shapes[0].strokeWidth, 1.f);
    EXPECT_EQ(doc->shapes[0].opacity, 1.f);
}

TEST(SvgParser, SkipsWhatItDoesNotSupportAndReadsTheRest)
{
    const std::string text = R"~(<?xml version="1.0" encoding="UTF-8"?>
        <!-- a comment with <rect width="9" height="9"/> -->
        <!DOCTYPE svg [ <!ENTITY lol "<rect width='9' height='9'/>"> <!ATTLIST svg a CDATA ">"> ]>
        <svg xmlns="http://www.w3.org/2000/svg" xmlns:inkscape="x" width="20" height="20">
          <style><![CDATA[ rect { fill: red } </svg> ]]></style>
          <title>Logo</title>
          <sodipodi:namedview inkscape:zoom="2"><rect width="9" height="9"/></sodipodi:namedview>
          <text x="1" y="1">TEXT<tspan>more</tspan></text>
          <mask id="m"><rect width="9" height="9"/></mask>
          <switch><foreignObject/><g id="chosen"><rect id="one" width="2" height="2" class="x"
                  filter="url(#f)" clip-path="url(#c)"/></g><g><rect id="not-drawn" width="9" height="9"/></g></switch>
          <a href="#"><circle id="two" r="1"/></a>
          &lol;
        </svg>)~";
    const auto doc = Parse(text);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 2u);
    EXPECT_EQ(doc->shapes[0].id, "one");
    EXPECT_EQ(doc->shapes[1].id, "two");
}

TEST(SvgParser, ReadsOnlyTheGivenBytes)
{
    // Truncated inside a tag: what was complete stays. The buffers carry no terminator, so
    // AddressSanitizer sees any read past them.
    const std::string full =
        Svg(R"(<rect id="a" width="5" height="5"/><rect id="b" width="5" height="5"/>)");
    const size_t cut = full.find("<rect id=\"b\"") + 8;
    const std::vector<char> truncated(full.begin(), full.begin() + static_cast<long>(cut));
    const auto doc = ParseSvg(truncated.data(), truncated.size(), "px", 96);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 1u);
    EXPECT_EQ(doc->shapes[0].id, "a");
    for (size_t n = 0; n < full.size(); ++n)
    {
        const std::vector<char> prefix(full.begin(), full.begin() + static_cast<long>(n));
        (void)ParseSvg(prefix.data(), prefix.size(), "px", 96);
    }
}

TEST(SvgParser, LimitsRefuseTheDocument)
{
    auto nested = [](int depth)
    {
        std::string body;
        for (int i = 1; i < depth - 1; ++i)
            body += "<g>";
        body += R"(<rect width="5" height="5"/>)";
        for (int i = 1; i < depth - 1; ++i)
            body += "</g>";
        return Svg(body);
    };
    EXPECT_NE(Parse(nested(kMaxElementDepth)), nullptr);
    EXPECT_EQ(Parse(nested(kMaxElementDepth + 1)), nullptr);

    auto shapes = [](int n)
    {
        std::string body;
        for (int i = 0; i < n; ++i)
            body += R"(<line x2="1" stroke="red"/>)";
        return Svg(body);
    };
    EXPECT_NE(Parse(shapes(kMaxShapes)), nullptr);
    EXPECT_EQ(Parse(shapes(kMaxShapes + 1)), nullptr);

    // Each line takes four points; two paths share the budget.
    auto points = [](int n)
    {
        std::string d = "M0 0";
        for (int i = 1; i < n; i += 3)
            d += " 1 1";
        return d;
    };
    const int half = kMaxPoints / 2 + 1; // 3 n + 1 points each
    EXPECT_NE(Parse(Svg(PathWith(points(half)))), nullptr);
    EXPECT_EQ(Parse(Svg(PathWith(points(half)) + PathWith(points(half)))), nullptr);

    std::string big = Svg(R"(<rect width="5" height="5"/>)");
    big.resize(kMaxInputBytes + 1, ' ');
    EXPECT_EQ(Parse(big), nullptr);
}

TEST(SvgParser, NumbersDoNotDependOnTheLocale)
{
    // A locale whose decimal mark is a comma, where one is installed (Wine has them all).
    const char* names[] = {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "German"};
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const char* chosen = nullptr;
    for (const char* name : names)
        if (std::setlocale(LC_ALL, name) != nullptr && *std::localeconv()->decimal_point == ',')
        {
            chosen = name;
            break;
        }
    if (chosen == nullptr)
    {
        std::setlocale(LC_ALL, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma here";
    }
    const auto doc = Parse(Svg(PathWith("M1.5 2.25 L0.5e1 .75"), R"(width="10.5" height="20")"));
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_NE(doc, nullptr) << chosen;
    EXPECT_EQ(doc->width, 10.5f);
    EXPECT_TRUE(SameOutline(doc->shapes[0], Outline().M(1.5f, 2.25f).L(5, 0.75f)));
}

} // namespace
