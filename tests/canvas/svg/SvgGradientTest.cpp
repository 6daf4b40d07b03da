// SVG gradients: the matrix that takes document points into the gradient's unit space (a
// linear gradient's offset is the y there, a radial one's the distance from the origin),
// units, transforms, href inheritance, stops and the degenerate cases.
#include "canvas/svg/SvgParser.h"
#include "tests/support/SvgTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
using namespace plugkit::canvas::svg;
using plugkit::canvas::svg::test::Parse;
using plugkit::canvas::svg::test::Svg;

const std::string kRedBlue =
    R"~(<stop offset="0" stop-color="red"/><stop offset="1" stop-color="blue"/>)~";

void ToUnitSpace(const Gradient& g, float x, float y, float& u, float& v)
{
    u = g.xform[0] * x + g.xform[2] * y + g.xform[4];
    v = g.xform[1] * x + g.xform[3] * y + g.xform[5];
}

// The offset of a linear gradient at a document point.
float LinearOffset(const Gradient& g, float x, float y)
{
    float u, v;
    ToUnitSpace(g, x, y, u, v);
    return v;
}

float RadialDistance(const Gradient& g, float x, float y)
{
    float u, v;
    ToUnitSpace(g, x, y, u, v);
    return std::hypot(u, v);
}

// The fill of the first shape of `body` (no document gives an empty paint).
Paint FirstFill(const std::string& body)
{
    const auto doc = Parse(Svg(body, R"~(width="400" height="200")~"));
    return doc == nullptr || doc->shapes.empty() ? Paint{} : doc->shapes[0].fill;
}

TEST(SvgGradient, LinearOffsetsAlongTheLine)
{
    struct Probe
    {
        float x;
        float y;
        float offset;
    };
    struct Case
    {
        const char* name;
        std::string body;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"user space",
         R"~(<linearGradient id="g" gradientUnits="userSpaceOnUse" x1="10" x2="110">)~" + kRedBlue +
             R"~(</linearGradient><rect width="200" height="50" fill="url(#g)"/>)~",
         {{10, 25, 0}, {60, 7, 0.5f}, {110, 0, 1}, {160, 40, 1.5f}}},
        {"bounding box by default, across the box",
         R"~(<linearGradient id="g">)~" + kRedBlue +
             R"~(</linearGradient><rect x="20" y="10" width="40" height="10" fill="url(#g)"/>)~",
         {{20, 15, 0}, {40, 12, 0.5f}, {60, 19, 1}}},
        {"bounding box under the shape's transform",
         R"~(<linearGradient id="g">)~" + kRedBlue +
             R"~(</linearGradient><g transform="translate(100,0) scale(2)">
                 <rect x="20" y="10" width="40" height="10" fill="url(#g)"/></g>)~",
         {{140, 25, 0}, {180, 30, 0.5f}, {220, 35, 1}}},
        {"percentages and a gradient transform",
         R"~(<linearGradient id="g" x2="0%" y2="50%" gradientTransform="translate(0 .5)">)~" +
             kRedBlue +
             R"~(</linearGradient><rect y="100" width="10" height="20" fill="url(#g)"/>)~",
         {{5, 110, 0}, {5, 115, 0.5f}, {0, 120, 1}}},
        {"rotated in the box",
         R"~(<linearGradient id="g" gradientTransform="rotate(90)">)~" + kRedBlue +
             R"~(</linearGradient><rect width="10" height="10" fill="url(#g)"/>)~",
         {{5, 0, 0}, {0, 5, 0.5f}, {5, 10, 1}}},
        {"the box of a curve, not of its control points",
         R"~(<linearGradient id="g" x1="0" y1="0" x2="0" y2="1">)~" + kRedBlue +
             R"~(</linearGradient><path d="M0 0 C0 40 10 40 10 0 Z" fill="url(#g)"/>)~",
         {{5, 0, 0}, {5, 15, 0.5f}, {5, 30, 1}}},
    };
    for (const Case& c : cases)
    {
        const Paint paint = FirstFill(c.body);
        ASSERT_EQ(paint.kind, PaintKind::LinearGradient) << c.name;
        EXPECT_EQ(paint.gradient.stops.size(), 2u) << c.name;
        for (const Probe& p : c.probes)
            EXPECT_NEAR(LinearOffset(paint.gradient, p.x, p.y), p.offset, 1e-4)
                << c.name << " at " << p.x << ", " << p.y;
    }
}

TEST(SvgGradient, RadialCentreRadiusAndFocus)
{
    const Paint user = FirstFill(
        R"~(<radialGradient id="g" gradientUnits="userSpaceOnUse" cx="50" cy="50" r="20" fx="60">)~" +
        kRedBlue + R"~(</radialGradient><rect width="100" height="100" fill="url(#g)"/>)~");
    ASSERT_EQ(user.kind, PaintKind::RadialGradient);
    EXPECT_NEAR(RadialDistance(user.gradient, 50, 50), 0, 1e-5);
    EXPECT_NEAR(RadialDistance(user.gradient, 70, 50), 1, 1e-5);
    EXPECT_NEAR(RadialDistance(user.gradient, 50, 40), 0.5f, 1e-5);
    EXPECT_NEAR(user.gradient.fx, 0.5f, 1e-6);
    EXPECT_NEAR(user.gradient.fy, 0.f, 1e-6);

    // The defaults in a wide box make an ellipse; a focus outside moves onto the circle.
    const Paint box =
        FirstFill(R"~(<radialGradient id="g" fx="50%" fy="-100%">)~" + kRedBlue +
                  R"~(</radialGradient><rect width="100" height="50" fill="url(#g)"/>)~");
    ASSERT_EQ(box.kind, PaintKind::RadialGradient);
    EXPECT_NEAR(RadialDistance(box.gradient, 50, 25), 0, 1e-5);
    EXPECT_NEAR(RadialDistance(box.gradient, 100, 25), 1, 1e-5);
    EXPECT_NEAR(RadialDistance(box.gradient, 50, 50), 1, 1e-5);
    EXPECT_NEAR(box.gradient.fx, 0.f, 1e-6);
    EXPECT_NEAR(box.gradient.fy, -1.f, 1e-6);
}

TEST(SvgGradient, StopsAreOrderedAndCarryTheirOpacity)
{
    const Paint paint = FirstFill(R"~(
        <linearGradient id="g">
          <stop offset="0.5" stop-color="#102030"/>
          <stop offset="20%" style="stop-color:lime;stop-opacity:0.5" stop-opacity="1"/>
          <stop offset="2" stop-color="currentColor" color="teal" stop-opacity="0"/>
          <rect width="9" height="9"/>
        </linearGradient>
        <rect width="10" height="10" fill="url(#g)" fill-opacity="0.5"/>)~");
    ASSERT_EQ(paint.kind, PaintKind::LinearGradient);
    const std::vector<GradientStop>& stops = paint.gradient.stops;
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(stops[0].offset, 0.5f);
    EXPECT_EQ(stops[1].offset, 0.5f); // never below the one before
    EXPECT_EQ(stops[2].offset, 1.f);  // held to 1
    EXPECT_EQ(stops[0].color, (Color{0x10, 0x20, 0x30, 128}));
    EXPECT_EQ(stops[1].color, (Color{0, 255, 0, 64})); // round(0.5 x round(0.5 x 255))
    EXPECT_EQ(stops[2].color, (Color{0, 128, 128, 0}));
}

TEST(SvgGradient, HrefInheritsStopsAndUnsetAttributes)
{
    const std::string defs = R"~(
        <linearGradient id="base" gradientUnits="userSpaceOnUse" x2="50" spreadMethod="repeat">)~" +
                             kRedBlue + R"~(</linearGradient>
        <linearGradient id="vertical" xlink:href="#base" x2="0" y2="20" spreadMethod="reflect"/>
        <linearGradient id="plain" href=" #base"/>
        <radialGradient id="round" href="#base" r="10"/>
        <linearGradient id="loopA" href="#loopB"/><linearGradient id="loopB" href="#loopA"/>)~";
    auto fill = [&defs](const std::string& id)
    {
        return FirstFill(defs + R"~(<rect width="9" height="9" stroke="red" fill="url(#)~" + id +
                         R"~()"/>)~");
    };
    struct Case
    {
        const char* id;
        PaintKind kind;
        Spread spread;
        float x;
        float y; // where the offset or radial distance is 0.5
    };
    const Case cases[] = {
        {"vertical", PaintKind::LinearGradient, Spread::Reflect, 30, 10},
        {"plain", PaintKind::LinearGradient, Spread::Repeat, 25, 70},
        // No line ends from a linear gradient, only its own r and the user-space units:
        // centred at 50% of the 400 by 200 viewport.
        {"round", PaintKind::RadialGradient, Spread::Repeat, 205, 100},
    };
    for (const Case& c : cases)
    {
        const Paint paint = fill(c.id);
        ASSERT_EQ(paint.kind, c.kind) << c.id;
        EXPECT_EQ(paint.gradient.spread, c.spread) << c.id;
        EXPECT_EQ(paint.gradient.stops.size(), 2u) << c.id;
        const float at = c.kind == PaintKind::LinearGradient
                             ? LinearOffset(paint.gradient, c.x, c.y)
                             : RadialDistance(paint.gradient, c.x, c.y);
        EXPECT_NEAR(at, 0.5f, 1e-5) << c.id;
    }
    // A cycle ends; with no stops anywhere it paints nothing.
    EXPECT_EQ(fill("loopA").kind, PaintKind::None);
}

TEST(SvgGradient, DegenerateGradientsPaintTheirLastStop)
{
    const std::string rect = R"~(<rect width="10" height="10" fill="url(#g)"/>)~";
    struct Case
    {
        const char* name;
        std::string body;
    };
    const Case cases[] = {
        {"zero-length line",
         R"~(<linearGradient id="g" x1="0.5" x2="0.5">)~" + kRedBlue + "</linearGradient>" + rect},
        {"zero radius",
         R"~(<radialGradient id="g" r="0">)~" + kRedBlue + "</radialGradient>" + rect},
        {"flat bounding box",
         R"~(<linearGradient id="g" x2="0" y2="1">)~" + kRedBlue +
             R"~(</linearGradient><path d="M0 5 H10" fill="url(#g)"/>)~"},
        {"singular gradient transform",
         R"~(<linearGradient id="g" gradientTransform="scale(0)">)~" + kRedBlue +
             "</linearGradient>" + rect},
        {"one stop",
         R"~(<linearGradient id="g"><stop offset="0.3" stop-color="blue"/></linearGradient>)~" +
             rect},
    };
    for (const Case& c : cases)
    {
        const Paint paint = FirstFill(c.body);
        EXPECT_EQ(paint.kind, PaintKind::Color) << c.name;
        EXPECT_EQ(paint.color, (Color{0, 0, 255, 255})) << c.name;
    }
}

TEST(SvgGradient, ReferencesResolveAfterTheWholeDocument)
{
    const auto doc = Parse(Svg(R"~(
        <rect id="before" width="10" height="10" fill="url(#later)" stroke="url('#later')"/>
        <rect id="missing" width="10" height="10" fill="url(#nope)" stroke="red"/>
        <rect id="fallback" width="10" height="10" fill="url(#nope) green"/>
        <g color="navy"><rect id="current" width="10" height="10" fill="url(#nope) currentColor"/></g>
        <rect id="empty" width="10" height="10" fill="url(#nostops)" stroke="red"/>
        <rect id="nothing" width="10" height="10" fill="url(#nostops)"/>
        <defs><linearGradient id="later">)~" +
                               kRedBlue +
                               R"~(</linearGradient><linearGradient id="nostops"/></defs>
        <linearGradient id="later"><stop stop-color="white"/></linearGradient>)~"));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->shapes.size(), 5u);
    EXPECT_EQ(doc->shapes[0].fill.kind, PaintKind::LinearGradient); // the first of equal ids
    EXPECT_EQ(doc->shapes[0].stroke.kind, PaintKind::LinearGradient);
    EXPECT_EQ(doc->shapes[1].fill.kind, PaintKind::None);
    EXPECT_EQ(doc->shapes[2].fill.color, (Color{0, 128, 0, 255}));
    EXPECT_EQ(doc->shapes[3].fill.color, (Color{0, 0, 128, 255}));
    EXPECT_EQ(doc->shapes[4].id, "empty");
    EXPECT_EQ(doc->shapes[4].fill.kind, PaintKind::None);
}

} // namespace
