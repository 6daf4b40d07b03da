#include "tests/support/CanvasTestHelpers.h"

#include "canvas/svg/SvgDocument.h"

#include <cmath>
#include <functional>
#include <random>

namespace
{
using namespace plugkit::canvas;
using lumenfall::test::RecordingBitmap;
using Lines = std::vector<std::string>;

constexpr IArgbColor kRed{255, 255, 0, 0};
const std::string kRedStroke = "PathStroke solid 255 255 0 0 width 1 cap 0 join 0 miter 10";
const std::string kRedFill = "PathFill solid 255 255 0 0 rule 0";

class DrawingTest : public lumenfall::test::CanvasFixture
{
protected:
    /// The log of `draw` without transforms and clips.
    Lines PathOf(const std::function<void(ICanvas&)>& draw)
    {
        g.ClearLog();
        draw(g);
        Lines lines;
        for (const std::string& line : g.Log())
            if (line.rfind("Transform", 0) != 0 && line.rfind("Clip", 0) != 0)
                lines.push_back(line);
        return lines;
    }
};

TEST_F(DrawingTest, EachShapeIsOnePathPaintedOnce)
{
    const float xs[] = {0.f, 10.f, 5.f};
    const float ys[] = {0.f, 0.f, 8.f};
    const IBlendSpec quarter{0, 0.25f};
    struct Case
    {
        const char* what;
        std::function<void(ICanvas&)> draw;
        Lines expected;
    };
    const Case cases[] = {
        {"line",
         [](ICanvas& c) { c.DrawLine(kRed, 1, 2, 3, 4, nullptr, 2.f); },
         {"PathClear",
          "PathMoveTo 1 2",
          "PathLineTo 3 4",
          "PathStroke solid 255 255 0 0 width 2 cap 0 join 0 miter 10"}},
        {"triangle",
         [](ICanvas& c) { c.DrawTriangle(kRed, 1, 2, 3, 4, 5, 6); },
         {"PathClear",
          "PathMoveTo 1 2",
          "PathLineTo 3 4",
          "PathLineTo 5 6",
          "PathClose",
          kRedStroke}},
        {"rect with a blend",
         [&](ICanvas& c) {
             c.DrawRect(kRed, {1, 2, 3, 4}, &quarter);
         },
         {"PathClear",
          "PathMoveTo 1 2",
          "PathLineTo 3 2",
          "PathLineTo 3 4",
          "PathLineTo 1 4",
          "PathClose",
          kRedStroke + " blend 0 0.25"}},
        {"round rect corners",
         [](ICanvas& c) {
             c.DrawRoundRectCorners(kRed, {0, 0, 100, 50}, 1, 2, 3, 4);
         },
         {"PathClear",
          "PathMoveTo 0 1",
          "PathArc 1 1 1 270 360 0",
          "PathArc 98 2 2 0 90 0",
          "PathArc 97 47 3 90 180 0",
          "PathArc 4 46 4 180 270 0",
          "PathClose",
          kRedStroke}},
        {"arc: a quarter from 12 to 3 o'clock",
         [](ICanvas& c) { c.DrawArc(kRed, 50, 50, 20, 0, 90); },
         {"PathClear", "PathArc 50 50 20 0 90 0", kRedStroke}},
        {"circle",
         [](ICanvas& c) { c.DrawCircle(kRed, 10, 20, 5); },
         {"PathClear", "PathMoveTo 10 15", "PathArc 10 20 5 0 360 0", "PathClose", kRedStroke}},
        {"ellipse: a unit circle under a transform",
         [](ICanvas& c) { c.DrawEllipse(kRed, 10, 20, 4, 2, 30); },
         {"PathClear", "PathMoveTo 0 -1", "PathArc 0 0 1 0 360 0", "PathClose", kRedStroke}},
        {"ellipse without a radius",
         [](ICanvas& c) { c.DrawEllipse(kRed, 10, 20, 0, 2); },
         {"PathClear"}},
        {"filled ellipse without a radius",
         [](ICanvas& c) {
             c.FillEllipseInBounds(kRed, {5, 5, 5, 9});
         },
         {"PathClear"}},
        {"polygon",
         [&](ICanvas& c) { c.DrawConvexPolygon(kRed, xs, ys, 3); },
         {"PathClear",
          "PathMoveTo 0 0",
          "PathLineTo 10 0",
          "PathLineTo 5 8",
          "PathClose",
          kRedStroke}},
        {"polygon without points",
         [&](ICanvas& c) { c.FillConvexPolygon(kRed, xs, ys, 0); },
         {"PathClear"}},
        {"dotted line",
         [](ICanvas& c) { c.DrawDottedLine(kRed, 0, 0, 10, 0, nullptr, 1.f, 3.f); },
         {"PathClear", "PathMoveTo 0 0", "PathLineTo 10 0", kRedStroke + " dashes 3 3 offset 0"}},
        {"filled triangle",
         [](ICanvas& c) { c.FillTriangle(kRed, 1, 2, 3, 4, 5, 6); },
         {"FillTriangle 255 255 0 0 1 2 3 4 5 6",
          "PathClear",
          "PathMoveTo 1 2",
          "PathLineTo 3 4",
          "PathLineTo 5 6",
          "PathClose",
          kRedFill}},
        {"pie slice",
         [](ICanvas& c) { c.FillArc(kRed, 50, 50, 20, 90, 180); },
         {"PathClear", "PathMoveTo 50 50", "PathArc 50 50 20 90 180 0", "PathClose", kRedFill}},
        {"point: the unit square",
         [](ICanvas& c) { c.DrawPoint(kRed, 7, 8); },
         {"PathClear",
          "PathMoveTo 7 8",
          "PathLineTo 8 8",
          "PathLineTo 8 9",
          "PathLineTo 7 9",
          "PathClose",
          kRedFill}},
        {"grid: inner lines only, one stroke; a step of 1 draws none",
         [](ICanvas& c) {
             c.DrawGrid(kRed, {0, 0, 10, 10}, 4, 1);
         },
         {"PathClear",
          "PathMoveTo 4 0",
          "PathLineTo 4 10",
          "PathMoveTo 8 0",
          "PathLineTo 8 10",
          kRedStroke}},
        {"data plot of two points: left edge to right edge",
         [](ICanvas& c)
         {
             const float y[] = {0.f, 1.f};
             c.DrawDataPlot(kRed, {0, 0, 100, 50}, y, 2);
         },
         {"PathClear", "PathMoveTo 0 50", "PathLineTo 100 0", kRedStroke}},
        {"filled data plot with x values",
         [](ICanvas& c)
         {
             const float y[] = {0.5f, 0.f, 1.f};
             const float x[] = {0.9f, 0.25f, 1.f};
             const IArgbColor blue = kColorBlue;
             c.DrawDataPlot(kRed, {0, 0, 100, 50}, y, 3, x, nullptr, 1.f, &blue);
         },
         {"PathClear",
          "PathMoveTo 0 25",
          "PathLineTo 25 50",
          "PathLineTo 100 0",
          "PathFill solid 255 0 0 255 rule 0 preserve",
          kRedStroke}},
        {"data plot without points",
         [](ICanvas& c)
         {
             const float y[] = {0.f};
             c.DrawDataPlot(kRed, {0, 0, 100, 50}, y, 0);
         },
         {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathOf(c.draw), c.expected) << c.what;
}

TEST_F(DrawingTest, RoundRectWithoutRadiusIsExactlyARect)
{
    const IBounds r{1, 2, 30, 40};
    EXPECT_EQ(PathOf([&](ICanvas& c) { c.FillRoundRect(kRed, r, 0.f); }),
              PathOf([&](ICanvas& c) { c.FillRect(kRed, r); }));
    EXPECT_EQ(PathOf([&](ICanvas& c) { c.DrawRoundRectCorners(kRed, r, 0, -1, 0, 0); }),
              PathOf([&](ICanvas& c) { c.DrawRect(kRed, r); }));
}

TEST_F(DrawingTest, TransformsComposeClockwiseAndRestore)
{
    g.PathTransformTranslate(10.f, 5.f);
    g.PathTransformSave();
    g.PathTransformRotate(90.f);
    g.PathTransformScale(2.f);
    // (1, 0) is scaled to (2, 0), turned clockwise to point down, then moved.
    double x = 1.0, y = 0.0;
    g.GetTransform().Map(x, y);
    EXPECT_NEAR(x, 10.0, 1e-6);
    EXPECT_NEAR(y, 7.0, 1e-6);

    g.ClearLog();
    g.PathTransformRestore();
    EXPECT_EQ(g.Log(), Lines{"Transform 1 0 0 1 10 5"});
    g.PathTransformRestore(); // nothing saved: nothing happens
    EXPECT_EQ(g.Log().size(), 1u);

    // An ellipse is a unit circle moved, turned and stretched, then the transform comes back.
    g.PathTransformReset(true);
    g.ClearLog();
    g.DrawEllipse(kRed, 10, 20, 4, 2, 90);
    const Lines transforms = g.LinesStartingWith("Transform");
    ASSERT_EQ(transforms.size(), 2u);
    EXPECT_EQ(transforms[1], "Transform 1 0 0 1 0 0");
    IAffineTransform ellipse;
    ASSERT_EQ(std::sscanf(transforms[0].c_str(),
                          "Transform %lf %lf %lf %lf %lf %lf",
                          &ellipse.xx,
                          &ellipse.yx,
                          &ellipse.xy,
                          &ellipse.yy,
                          &ellipse.tx,
                          &ellipse.ty),
              6);
    x = 1.0; // the end of the x radius, turned to point down
    y = 0.0;
    ellipse.Map(x, y);
    EXPECT_NEAR(x, 10.0, 1e-4);
    EXPECT_NEAR(y, 24.0, 1e-4);
}

TEST_F(DrawingTest, ClipsStayInsideTheDrawnArea)
{
    auto* control = Attach(new lumenfall::test::TestControl({10, 10, 50, 50}));
    control->SetDirty(false);
    DirtyRectList rects;
    g.IsDirty(rects);
    g.DrawDirtyRects(rects); // the area being drawn is now 9 9 51 51
    g.PathTransformTranslate(3, 3);
    struct Case
    {
        IBounds r;
        const char* clip;
    };
    const Case cases[] = {
        {{20, 20, 80, 30}, "Clip 20 20 51 30"},
        {{}, "Clip 9 9 51 51"},
        {{60, 60, 70, 70}, "Clip 0 0 0 0"},
    };
    for (const Case& c : cases)
    {
        g.ClearLog();
        g.PathClipRegion(c.r);
        // Set in untransformed units; the transform comes back after.
        EXPECT_EQ(g.Log(), (Lines{"Transform 1 0 0 1 0 0", c.clip, "Transform 1 0 0 1 3 3"}));
    }
}

TEST_F(DrawingTest, BitmapsAreFittedAndTurnedByTransform)
{
    const IBitmapHandle bitmap = g.LoadBitmapFromData("dot.png", "20 10", 5, 1, false, 1);
    ASSERT_TRUE(bitmap.IsValid());
    g.ClearLog();
    g.DrawFittedBitmap(bitmap, {100, 100, 140, 110});
    EXPECT_EQ(g.Log(),
              (Lines{"Transform 2 0 0 1 100 100",
                     "DrawBitmap dot.png 0 0 0 0 20 10",
                     "Transform 1 0 0 1 0 0"}));

    g.ClearLog();
    g.DrawRotatedBitmap(bitmap, 50, 60, 180);
    ASSERT_EQ(g.Log().size(), 3u);
    EXPECT_EQ(g.Log()[1], "DrawBitmap dot.png 0 0 -10 -5 10 5");

    g.ClearLog();
    g.DrawFittedBitmap(IBitmapHandle(), {0, 0, 10, 10});
    g.DrawRotatedBitmap(IBitmapHandle(), 5, 5, 10);
    EXPECT_TRUE(g.Log().empty());
}

TEST_F(DrawingTest, TextIsDrawnAndMeasuredOnlyWhenThereIsSome)
{
    ITextStyle style;
    IBounds bounds{0, 0, 100, 20};
    EXPECT_EQ(g.MeasureText(style, "", bounds), 0.f);
    EXPECT_EQ(g.MeasureText(style, nullptr, bounds), 0.f);
    EXPECT_EQ(bounds, IBounds(0, 0, 100, 20));
    EXPECT_EQ(g.MeasureText(style, "abcd", bounds), 28.f);
    EXPECT_EQ(bounds, IBounds(36, 3, 64, 17));

    g.ClearLog();
    g.DrawText(style, "", {0, 0, 10, 10});
    g.DrawText(style, nullptr, {0, 0, 10, 10});
    EXPECT_TRUE(g.Log().empty());
    g.DrawText(style, "Hall", {0, 0, 10, 10});
    g.DrawMultiLineText(style, "two\nlines", {0, 0, 10, 10});
    EXPECT_EQ(
        g.Log(),
        (Lines{"DrawText Hall 255 0 0 0 0 0 10 10", "DrawText Unsupported 255 0 0 0 0 0 10 10"}));
}

TEST_F(DrawingTest, TurnedTextIsRealignedInItsBounds)
{
    struct Case
    {
        float angle;
        EAlign align;
        EVAlign valign;
        IBounds expected; ///< the turned 20 x 10 box moved into 0 0 100 100
    };
    const Case cases[] = {
        {0.f, EAlign::Centre, EVAlign::Middle, {0, 0, 20, 10}}, // upright: untouched
        {90.f, EAlign::Centre, EVAlign::Middle, {45, 40, 55, 60}},
        {90.f, EAlign::Near, EVAlign::Top, {0, 0, 10, 20}},
        {-90.f, EAlign::Far, EVAlign::Bottom, {90, 80, 100, 100}},
        {180.f, EAlign::Far, EVAlign::Top, {80, 0, 100, 10}},
    };
    for (const Case& c : cases)
    {
        ITextStyle style;
        style.angle = c.angle;
        style.align = c.align;
        style.valign = c.valign;
        IBounds textRect{0, 0, 20, 10};
        double dx = 0.0, dy = 0.0;
        ICanvas::CalculateTextRotation(style, {0, 0, 100, 100}, textRect, dx, dy);
        const IBounds moved(float(textRect.L + dx),
                            float(textRect.T + dy),
                            float(textRect.R + dx),
                            float(textRect.B + dy));
        EXPECT_NEAR(moved.L, c.expected.L, 1e-4) << c.angle;
        EXPECT_NEAR(moved.T, c.expected.T, 1e-4) << c.angle;
        EXPECT_NEAR(moved.R, c.expected.R, 1e-4) << c.angle;
        EXPECT_NEAR(moved.B, c.expected.B, 1e-4) << c.angle;
    }
}

// ---- SVG

svg::Path Square(float l, float t, float r, float b)
{
    // Four straight cubic segments, closed: 13 points.
    svg::Path path;
    const float corners[5][2] = {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}};
    path.pts = {l, t};
    for (int i = 1; i < 5; ++i)
        for (int k = 0; k < 3; ++k)
            path.pts.insert(path.pts.end(), {corners[i][0], corners[i][1]});
    path.closed = true;
    path.bounds[0] = l;
    path.bounds[1] = t;
    path.bounds[2] = r;
    path.bounds[3] = b;
    return path;
}

svg::Paint ColorPaint(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
{
    svg::Paint paint;
    paint.kind = svg::PaintKind::Color;
    paint.color = {r, g, b, a};
    return paint;
}

std::shared_ptr<svg::Document> Document(float width, float height)
{
    auto document = std::make_shared<svg::Document>();
    document->width = width;
    document->height = height;
    return document;
}

TEST_F(DrawingTest, SvgFitsItsBoundsWithItsAspectKept)
{
    auto document = Document(100, 50);
    svg::Shape shape;
    shape.fill = ColorPaint(10, 20, 30);
    shape.paths.push_back(Square(0, 0, 100, 50));
    document->shapes.push_back(shape);

    g.ClearLog();
    g.DrawSvg(ISvgHandle(document), {0, 0, 200, 200});
    // Scale min(200/100, 200/50) = 2 at the top-left: the lower 100 units stay empty.
    const Lines transforms = g.LinesStartingWith("Transform");
    EXPECT_EQ(transforms, (Lines{"Transform 2 0 0 2 0 0", "Transform 1 0 0 1 0 0"}));
    EXPECT_EQ(g.LinesStartingWith("PathFill"), Lines{"PathFill solid 255 10 20 30 rule 2"});

    // Turned: the box is centred on the point, then the document fitted inside it.
    g.ClearLog();
    g.DrawRotatedSvg(ISvgHandle(document), 50, 50, 40, 20, 0);
    EXPECT_EQ(g.LinesStartingWith("Transform")[1], "Transform 0.4 0 0 0.4 30 40");

    // Nothing to draw, and no transform of NaN: an empty handle, a document without a size,
    // bounds without an extent.
    g.ClearLog();
    g.DrawSvg(ISvgHandle(), {0, 0, 10, 10});
    g.DrawSvg(ISvgHandle(Document(0, 50)), {0, 0, 10, 10});
    g.DrawSvg(ISvgHandle(Document(100, -1)), {0, 0, 10, 10});
    g.DrawSvg(ISvgHandle(document), {5, 5, 5, 20});
    EXPECT_TRUE(g.Log().empty());
}

TEST_F(DrawingTest, SvgShapesAreFilledThenStrokedAlongOnePath)
{
    svg::Document document = *Document(100, 100);
    svg::Shape ring;
    ring.fill = ColorPaint(1, 2, 3);
    ring.stroke = ColorPaint(4, 5, 6);
    ring.strokeWidth = 3.f;
    ring.strokeLineCap = svg::LineCap::Round;
    ring.strokeLineJoin = svg::LineJoin::Bevel;
    ring.miterLimit = 4.f;
    ring.strokeDashArray = {5.f, 2.f};
    ring.strokeDashOffset = 1.f;
    ring.paths.push_back(Square(0, 0, 100, 100));
    ring.paths.push_back(Square(25, 25, 75, 75)); // inside the first: a hole
    svg::Shape hidden = ring;
    hidden.visible = false;
    document.shapes = {ring, hidden};

    g.ClearLog();
    g.DrawSvgShapes(document);
    const Lines log = g.Log();
    ASSERT_EQ(log.size(), 17u);
    EXPECT_EQ(log[0], "PathClear");
    EXPECT_EQ(log[1], "PathMoveTo 0 0");
    EXPECT_EQ(log[2], "PathCubicBezierTo 100 0 100 0 100 0");
    EXPECT_EQ(log[6], "PathClose");
    EXPECT_EQ(log[7], "PathSetWinding 0");
    EXPECT_EQ(log[8], "PathMoveTo 25 25");
    EXPECT_EQ(log[14], "PathSetWinding 1");
    EXPECT_EQ(log[15], "PathFill solid 255 1 2 3 rule 2 preserve");
    EXPECT_EQ(log[16],
              "PathStroke solid 255 4 5 6 width 3 cap 1 join 2 miter 4 dashes 5 2 offset 1");

    // Given colours replace the paints.
    g.ClearLog();
    const IArgbColor stroke = kColorGreen, fill = kColorBlue;
    g.DrawSvgShapes(document, nullptr, &stroke, &fill);
    EXPECT_EQ(g.LinesStartingWith("PathFill"), Lines{"PathFill solid 255 0 0 255 rule 2 preserve"});
    EXPECT_EQ(g.LinesStartingWith("PathStroke")[0].substr(0, 28), "PathStroke solid 255 0 255 0");
}

TEST_F(DrawingTest, SvgHoleTestsAreBoundedPerDrawing)
{
    // The hole test costs every other sub-path's points for each sub-path: thousands of
    // sub-paths in one shape (a hostile file) would take minutes a frame. Nested squares whose
    // corners' rays cross the left edges of all squares around them: the count is exact until
    // the drawing's budget is spent, then the remaining sub-paths keep the outside winding.
    constexpr int kSquares = 1500;
    auto document = Document(4000, 6000);
    svg::Shape nest;
    nest.fill = ColorPaint(1, 2, 3);
    for (int k = 0; k < kSquares; ++k)
        nest.paths.push_back(Square(float(k), 1.5f * k, 4000.f - k, 6000.f - 1.5f * k));
    document->shapes.push_back(nest);

    g.ClearLog();
    g.DrawSvgShapes(*document);
    const Lines windings = g.LinesStartingWith("PathSetWinding");
    ASSERT_EQ(windings.size(), size_t(kSquares));
    for (int k = 0; k < 500; ++k)
        ASSERT_EQ(windings[size_t(k)], k % 2 ? "PathSetWinding 1" : "PathSetWinding 0") << k;
    EXPECT_EQ(windings.back(), "PathSetWinding 0");
    EXPECT_EQ(g.Count("PathFill"), 1);
}

TEST(SvgPaint, OpacityScalesEveryAlpha)
{
    struct Case
    {
        const char* what;
        svg::Paint paint;
        float opacity;
        std::string expected; ///< as the recording canvas logs patterns
    };
    svg::Paint linear;
    linear.kind = svg::PaintKind::LinearGradient;
    linear.gradient.xform[0] = 0.5f;
    linear.gradient.xform[5] = -2.f;
    linear.gradient.spread = svg::Spread::Reflect;
    linear.gradient.stops = {{{255, 0, 0, 200}, 0.f}, {{0, 0, 255, 255}, 1.f}};
    svg::Paint flat = linear; // a zero-length gradient: no space to map into
    flat.gradient.xform[0] = 0.f;
    flat.gradient.xform[1] = 0.f;
    svg::Paint radial = linear;
    radial.kind = svg::PaintKind::RadialGradient;
    radial.gradient.spread = svg::Spread::Repeat;
    svg::Paint none;
    const Case cases[] = {
        {"colour", ColorPaint(10, 20, 30, 128), 0.5f, "solid 64 10 20 30"},
        {"opaque colour", ColorPaint(10, 20, 30), 1.f, "solid 255 10 20 30"},
        {"opacity out of range", ColorPaint(10, 20, 30), 7.f, "solid 255 10 20 30"},
        {"linear",
         linear,
         0.5f,
         "linear extend 2 stops 100 255 0 0 @0 128 0 0 255 @1 matrix 0.5 0 0 1 0 -2"},
        {"radial",
         radial,
         1.f,
         "radial extend 3 stops 200 255 0 0 @0 255 0 0 255 @1 matrix 0.5 0 0 1 0 -2"},
        {"zero-length gradient", flat, 0.5f, "solid 128 0 0 255"},
        {"no paint", none, 0.25f, "solid 64 0 0 0"},
    };
    lumenfall::test::FakeEditorDelegate dlg;
    lumenfall::test::RecordingCanvas g(dlg);
    for (const Case& c : cases)
    {
        g.ClearLog();
        g.PathFill(ICanvas::SvgPaintToFillPattern(c.paint, c.opacity));
        EXPECT_EQ(g.Log(), Lines{"PathFill " + c.expected + " rule 0"}) << c.what;
    }

    svg::Paint many = linear;
    many.gradient.stops.resize(17, {{1, 2, 3, 255}, 1.f});
    EXPECT_EQ(ICanvas::SvgPaintToFillPattern(many, 1.f).nStops, 16);
}

// ---- Layer drop shadow

/// The blur as a plain 2-D sum: each direction's taps, ends left out, divided per pass.
std::vector<int> ReferenceBlur(const std::vector<int>& alpha, int w, int h, float blur)
{
    const double size = std::max(1.0, double(blur) + 1.0);
    const int taps = int(std::ceil(size));
    std::vector<int> kernel(static_cast<size_t>(taps));
    int divisor = 0;
    for (int l = 0; l < taps; ++l)
    {
        kernel[size_t(l)] = int(std::floor(255.0 * std::exp(-l * l * 4.5 / (size * size)) + 0.5));
        divisor += (l ? 2 : 1) * kernel[size_t(l)];
    }
    std::vector<int> rows(alpha.size()), out(alpha.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            int sum = 0;
            for (int k = -taps + 1; k < taps; ++k)
                if (x + k >= 0 && x + k < w)
                    sum += kernel[size_t(std::abs(k))] * alpha[size_t(y * w + x + k)];
            rows[size_t(y * w + x)] = std::min(sum / divisor, 255);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            int sum = 0;
            for (int k = -taps + 1; k < taps; ++k)
                if (y + k >= 0 && y + k < h)
                    sum += kernel[size_t(std::abs(k))] * rows[size_t((y + k) * w + x)];
            out[size_t(y * w + x)] = std::min(sum / divisor, 255);
        }
    return out;
}

TEST_F(DrawingTest, DropShadowBlursTheAlphaOfTheLayer)
{
    enum Pattern
    {
        kDot,    ///< one opaque pixel in the middle
        kBlocks, ///< blocks of 255 (runs the blur passes through unconvolved) among random alpha
        kStep,   ///< another value at the start of each line, then one long run
        kNumPatterns
    };
    struct Case
    {
        int width, height;
        float blur;
        Pattern pattern;
    };
    const Case cases[] = {{9, 1, 1.f, kDot},
                          {24, 17, 2.5f, kBlocks},
                          {30, 30, 4.f, kBlocks},
                          {12, 9, 0.f, kBlocks},
                          {14, 12, 2.5f, kStep},
                          // A blur wider than the layer: taps past both ends still divide.
                          {5, 3, 8.f, kBlocks},
                          {1, 1, 3.f, kBlocks}};
    for (const Case& c : cases)
    {
        g.BeginLayer(nullptr, {0, 0, float(c.width), float(c.height)});
        ILayerPtr layer = g.FinishLayer();
        ASSERT_NE(layer, nullptr);
        auto& pixels = static_cast<RecordingBitmap*>(layer->GetAPIBitmap())->Pixels();
        std::vector<int> alpha(size_t(c.width * c.height));
        std::mt19937 random(c.width);
        for (int i = 0; i < c.width * c.height; ++i)
        {
            const int x = i % c.width, y = i / c.width;
            switch (c.pattern)
            {
            case kDot:
                alpha[size_t(i)] = i == c.width * c.height / 2 ? 255 : 0;
                break;
            case kBlocks:
                alpha[size_t(i)] = (x / 4 + y / 3) % 3 == 0 ? 255 : int(random() % 256);
                break;
            default:
                alpha[size_t(i)] = (x == 0 || y == 0) ? 60 : 255;
                break;
            }
            pixels[size_t(i) * 4 + 3] = uint8_t(alpha[size_t(i)]);
            pixels[size_t(i) * 4] = 77; // colour is not touched
        }
        ILayerShadow shadow;
        shadow.blurSize = c.blur;
        g.ClearLog();
        g.ApplyLayerDropShadow(layer, shadow);
        EXPECT_EQ(g.Count("ApplyShadowMask"), 1);

        const std::vector<int> expected = ReferenceBlur(alpha, c.width, c.height, c.blur);
        for (int i = 0; i < c.width * c.height; ++i)
        {
            ASSERT_EQ(pixels[size_t(i) * 4 + 3], expected[size_t(i)]) << c.width << " at " << i;
            ASSERT_EQ(pixels[size_t(i) * 4], 77);
        }
        if (c.pattern == kDot)
        {
            // Worked by hand: kernel 255, 83; divisor 421.
            EXPECT_EQ(expected, (std::vector<int>{0, 0, 0, 30, 93, 30, 0, 0, 0}));
        }
    }

    // A layer without pixels: nothing.
    ILayerPtr empty;
    g.ClearLog();
    g.ApplyLayerDropShadow(empty, ILayerShadow());
    EXPECT_EQ(g.Count("ApplyShadowMask"), 0);
}

} // namespace
