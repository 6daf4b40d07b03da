// ICanvas: drawing operations built on the back end's path operations, transforms, clips and
// layers.
#include "canvas/ICanvas.h"

#include "canvas/IControl.h"
#include "canvas/svg/SvgDocument.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/Rounding.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plugkit::canvas
{

namespace
{
/// pi as the drawing interface converts degrees: radians = degrees / 180 x 3.1415927.
constexpr double kPi = 3.1415927;

/// More lines than this per direction are not added to a grid.
constexpr int kMaxGridLines = 4096;

IAffineTransform Translation(double x, double y)
{
    return {1.0, 0.0, 0.0, 1.0, x, y};
}

IAffineTransform Scaling(double sx, double sy)
{
    return {sx, 0.0, 0.0, sy, 0.0, 0.0};
}

/// Clockwise on the screen (y grows downward).
IAffineTransform Rotation(double degrees)
{
    const double radians = degrees / 180.0 * kPi;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    return {c, s, -s, c, 0.0, 0.0};
}

bool IsFinite(const IBounds& r)
{
    return std::isfinite(r.L) && std::isfinite(r.T) && std::isfinite(r.R) && std::isfinite(r.B);
}

IStrokeStyle DashedStroke(float dashLength)
{
    IStrokeStyle style;
    style.dashes[0] = dashLength;
    style.dashes[1] = dashLength;
    style.nDashes = 2;
    return style;
}

/// round(opacity x alpha), held to 0..255.
int32_t ScaledAlpha(float opacity, int alpha)
{
    return static_cast<int32_t>(std::clamp(RoundHalfAway(double(opacity) * alpha), 0.0, 255.0));
}

IArgbColor SvgColor(const svg::Color& c, float opacity)
{
    return {ScaledAlpha(opacity, c.a), c.r, c.g, c.b};
}

/// Whether a back end can invert the gradient's space.
bool IsInvertible(const float (&m)[6])
{
    for (float v : m)
        if (!std::isfinite(v))
            return false;
    return std::isnormal(double(m[0]) * m[3] - double(m[2]) * m[1]);
}

/// What moves the span [rectLow, rectHigh] onto [low, high] by alignment 0 (low ends), 1
/// (centres) or 2 (high ends).
double AlignmentOffset(int alignment, float low, float high, float rectLow, float rectHigh)
{
    switch (alignment)
    {
    case 0:
        return double(low) - rectLow;
    case 2:
        return double(high) - rectHigh;
    default:
        return (double(low) + high) / 2.0 - (double(rectLow) + rectHigh) / 2.0;
    }
}

/// How many edges of the shape's other paths (of more than 3 points, each closed) a ray from the
/// first point of path `index`, pointing away from its bounds' top-left corner, crosses. An odd
/// count puts the path inside another: it is a hole.
int CountCrossings(const svg::Shape& shape, size_t index)
{
    const svg::Path& path = shape.paths[index];
    const double x0 = path.pts[0];
    const double y0 = path.pts[1];
    const double dx = path.bounds[0] - 1.0 - x0;
    const double dy = path.bounds[1] - 1.0 - y0;
    int crossings = 0;
    for (size_t other = 0; other < shape.paths.size(); ++other)
    {
        const svg::Path& edges = shape.paths[other];
        const int n = edges.NumPoints();
        if (other == index || n <= 3)
            continue;
        for (int i = 0; i < n; ++i)
        {
            const int j = (i + 1) % n;
            const double ax = edges.pts[2 * i], ay = edges.pts[2 * i + 1];
            const double ex = edges.pts[2 * j] - ax, ey = edges.pts[2 * j + 1] - ay;
            const double denominator = dx * ey - dy * ex;
            if (std::fabs(denominator) < 1e-8)
                continue; // parallel
            const double wx = ax - x0, wy = ay - y0;
            const double t = (wx * ey - wy * ex) / denominator; // along the ray
            const double s = (wx * dy - wy * dx) / denominator; // along the edge
            if (t >= 0.0 && s >= 0.0 && s < 1.0)
                ++crossings;
        }
    }
    return crossings;
}
/// Edge tests the hole test of one SVG drawing may make. Each sub-path costs the points of the
/// shape's other sub-paths, so a shape of many thousand sub-paths (a hostile file within the
/// parser's limits) would take minutes a frame; past the budget, sub-paths keep the outside
/// winding. Artwork comes nowhere near it.
constexpr int64_t kMaxHoleTests = int64_t{1} << 24;

/// Layers wider or taller than this many pixels are not made (no GL context takes them).
constexpr double kMaxLayerPixels = 16384.0;

/// A shadow blur is held to this many pixels: its divisor stays a short sum, and no layer comes
/// near that size.
constexpr double kMaxShadowTaps = 1 << 20;

/// ceil(ceil(extent) x scale) as a pixel count; 0 when that is not a usable size.
int LayerPixels(float extent, float scale)
{
    const double pixels = std::ceil(std::ceil(double(extent)) * scale);
    return (pixels >= 1.0 && pixels <= kMaxLayerPixels) ? static_cast<int>(pixels) : 0;
}
} // namespace

// ---- The shape family

void ICanvas::StrokePath(const IArgbColor& color, float thickness, const IBlendSpec* blend)
{
    PathStroke(IFillPattern::Solid(color), thickness, IStrokeStyle(), blend);
}

void ICanvas::FillPath(const IArgbColor& color, const IBlendSpec* blend)
{
    PathFill(IFillPattern::Solid(color), IFillStyle(), blend);
}

void ICanvas::DrawPoint(const IArgbColor& color, float x, float y, const IBlendSpec* blend)
{
    FillRect(color, IBounds(x, y, x + 1.f, y + 1.f), blend);
}

void ICanvas::DrawLine(const IArgbColor& color,
                       float x1,
                       float y1,
                       float x2,
                       float y2,
                       const IBlendSpec* blend,
                       float thickness)
{
    PathClear();
    PathMoveTo(x1, y1);
    PathLineTo(x2, y2);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawDottedLine(const IArgbColor& color,
                             float x1,
                             float y1,
                             float x2,
                             float y2,
                             const IBlendSpec* blend,
                             float thickness,
                             float dashLength)
{
    PathClear();
    PathMoveTo(x1, y1);
    PathLineTo(x2, y2);
    PathStroke(IFillPattern::Solid(color), thickness, DashedStroke(dashLength), blend);
}

void ICanvas::DrawTriangle(const IArgbColor& color,
                           float x1,
                           float y1,
                           float x2,
                           float y2,
                           float x3,
                           float y3,
                           const IBlendSpec* blend,
                           float thickness)
{
    PathClear();
    PathTriangle(x1, y1, x2, y2, x3, y3);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawRect(const IArgbColor& color,
                       const IBounds& bounds,
                       const IBlendSpec* blend,
                       float thickness)
{
    PathClear();
    PathRect(bounds);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawRoundRectCorners(const IArgbColor& color,
                                   const IBounds& bounds,
                                   float tl,
                                   float tr,
                                   float br,
                                   float bl,
                                   const IBlendSpec* blend,
                                   float thickness)
{
    PathClear();
    PathRoundRect(bounds, tl, tr, br, bl);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawRoundRect(const IArgbColor& color,
                            const IBounds& bounds,
                            float cornerRadius,
                            const IBlendSpec* blend,
                            float thickness)
{
    PathClear();
    PathRoundRect(bounds, cornerRadius);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawArc(const IArgbColor& color,
                      float cx,
                      float cy,
                      float r,
                      float angle1,
                      float angle2,
                      const IBlendSpec* blend,
                      float thickness)
{
    PathClear();
    PathArc(cx, cy, r, angle1, angle2);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawCircle(
    const IArgbColor& color, float cx, float cy, float r, const IBlendSpec* blend, float thickness)
{
    PathClear();
    PathCircle(cx, cy, r);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawEllipse(const IArgbColor& color,
                          float cx,
                          float cy,
                          float rx,
                          float ry,
                          float angle,
                          const IBlendSpec* blend,
                          float thickness)
{
    PathClear();
    if (!(rx > 0.f && ry > 0.f))
        return;
    PathEllipse(cx, cy, rx, ry, angle);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawEllipseInBounds(const IArgbColor& color,
                                  const IBounds& bounds,
                                  const IBlendSpec* blend,
                                  float thickness)
{
    DrawEllipse(
        color, bounds.MW(), bounds.MH(), bounds.W() / 2.f, bounds.H() / 2.f, 0.f, blend, thickness);
}

void ICanvas::DrawConvexPolygon(const IArgbColor& color,
                                const float* x,
                                const float* y,
                                int nPoints,
                                const IBlendSpec* blend,
                                float thickness)
{
    PathClear();
    if (!x || !y || nPoints <= 0)
        return;
    PathConvexPolygon(x, y, nPoints);
    StrokePath(color, thickness, blend);
}

void ICanvas::DrawDottedRect(const IArgbColor& color,
                             const IBounds& bounds,
                             const IBlendSpec* blend,
                             float thickness,
                             float dashLength)
{
    PathClear();
    PathRect(bounds);
    PathStroke(IFillPattern::Solid(color), thickness, DashedStroke(dashLength), blend);
}

void ICanvas::FillTriangle(const IArgbColor& color,
                           float x1,
                           float y1,
                           float x2,
                           float y2,
                           float x3,
                           float y3,
                           const IBlendSpec* blend)
{
    PathClear();
    PathTriangle(x1, y1, x2, y2, x3, y3);
    FillPath(color, blend);
}

void ICanvas::FillRect(const IArgbColor& color, const IBounds& bounds, const IBlendSpec* blend)
{
    PathClear();
    PathRect(bounds);
    FillPath(color, blend);
}

void ICanvas::FillRoundRectCorners(const IArgbColor& color,
                                   const IBounds& bounds,
                                   float tl,
                                   float tr,
                                   float br,
                                   float bl,
                                   const IBlendSpec* blend)
{
    PathClear();
    PathRoundRect(bounds, tl, tr, br, bl);
    FillPath(color, blend);
}

void ICanvas::FillRoundRect(const IArgbColor& color,
                            const IBounds& bounds,
                            float cornerRadius,
                            const IBlendSpec* blend)
{
    PathClear();
    PathRoundRect(bounds, cornerRadius);
    FillPath(color, blend);
}

void ICanvas::FillCircle(
    const IArgbColor& color, float cx, float cy, float r, const IBlendSpec* blend)
{
    PathClear();
    PathCircle(cx, cy, r);
    FillPath(color, blend);
}

void ICanvas::FillEllipse(const IArgbColor& color,
                          float cx,
                          float cy,
                          float rx,
                          float ry,
                          float angle,
                          const IBlendSpec* blend)
{
    PathClear();
    if (!(rx > 0.f && ry > 0.f))
        return;
    PathEllipse(cx, cy, rx, ry, angle);
    FillPath(color, blend);
}

void ICanvas::FillEllipseInBounds(const IArgbColor& color,
                                  const IBounds& bounds,
                                  const IBlendSpec* blend)
{
    FillEllipse(color, bounds.MW(), bounds.MH(), bounds.W() / 2.f, bounds.H() / 2.f, 0.f, blend);
}

void ICanvas::FillArc(const IArgbColor& color,
                      float cx,
                      float cy,
                      float r,
                      float angle1,
                      float angle2,
                      const IBlendSpec* blend)
{
    PathClear();
    PathMoveTo(cx, cy);
    PathArc(cx, cy, r, angle1, angle2);
    PathClose();
    FillPath(color, blend);
}

void ICanvas::FillConvexPolygon(
    const IArgbColor& color, const float* x, const float* y, int nPoints, const IBlendSpec* blend)
{
    PathClear();
    if (!x || !y || nPoints <= 0)
        return;
    PathConvexPolygon(x, y, nPoints);
    FillPath(color, blend);
}

void ICanvas::DrawGrid(const IArgbColor& color,
                       const IBounds& bounds,
                       float xStep,
                       float yStep,
                       const IBlendSpec* blend,
                       float thickness)
{
    PathClear();
    if (!IsFinite(bounds))
        return;
    bool anyLine = false;
    if (xStep > 1.f)
    {
        for (int k = 1; k <= kMaxGridLines; ++k)
        {
            const float x = bounds.L + float(k) * xStep;
            if (!(x < bounds.R))
                break;
            PathMoveTo(x, bounds.T);
            PathLineTo(x, bounds.B);
            anyLine = true;
        }
    }
    if (yStep > 1.f)
    {
        for (int k = 1; k <= kMaxGridLines; ++k)
        {
            const float y = bounds.T + float(k) * yStep;
            if (!(y < bounds.B))
                break;
            PathMoveTo(bounds.L, y);
            PathLineTo(bounds.R, y);
            anyLine = true;
        }
    }
    if (anyLine)
        StrokePath(color, thickness, blend);
}

void ICanvas::DrawDataPlot(const IArgbColor& color,
                           const IBounds& bounds,
                           const float* y,
                           int n,
                           const float* x,
                           const IBlendSpec* blend,
                           float thickness,
                           const IArgbColor* fillColor)
{
    if (!y || n <= 0)
        return;
    PathClear();
    const float width = bounds.W();
    const float height = bounds.H();
    // The first point is on the left edge, with or without x values.
    PathMoveTo(bounds.L, bounds.B - height * y[0]);
    for (int i = 1; i < n; ++i)
    {
        const float px = x ? bounds.L + width * x[i] : bounds.L + width / float(n - 1) * float(i);
        PathLineTo(px, bounds.B - height * y[i]);
    }
    if (fillColor)
    {
        IFillStyle keep;
        keep.preserve = true;
        PathFill(IFillPattern::Solid(*fillColor), keep, blend);
    }
    StrokePath(color, thickness, blend);
}

// ---- Bitmaps and SVG

void ICanvas::DrawFittedBitmap(const IBitmapHandle& bitmap,
                               const IBounds& bounds,
                               const IBlendSpec* blend)
{
    if (!bitmap.IsValid() || bitmap.W() <= 0 || bitmap.H() <= 0)
        return;
    PathTransformSave();
    ConcatTransform(
        Translation(bounds.L, bounds.T)
            .Multiplied(Scaling(double(bounds.W()) / bitmap.W(), double(bounds.H()) / bitmap.H())));
    DrawBitmap(bitmap, IBounds(0.f, 0.f, float(bitmap.W()), float(bitmap.H())), 0, 0, blend);
    PathTransformRestore();
}

void ICanvas::DrawRotatedBitmap(
    const IBitmapHandle& bitmap, float cx, float cy, double angle, const IBlendSpec* blend)
{
    if (!bitmap.IsValid())
        return;
    const float w = bitmap.W() / bitmap.GetDrawScale();
    const float h = bitmap.H() / bitmap.GetDrawScale();
    PathTransformSave();
    ConcatTransform(Translation(cx, cy).Multiplied(Rotation(angle)));
    DrawBitmap(bitmap, IBounds(-w / 2.f, -h / 2.f, w / 2.f, h / 2.f), 0, 0, blend);
    PathTransformRestore();
}

void ICanvas::DrawSvg(const ISvgHandle& svg,
                      const IBounds& bounds,
                      const IBlendSpec* blend,
                      const IArgbColor* strokeColor,
                      const IArgbColor* fillColor)
{
    const svg::Document* document = svg.GetDocument();
    // A document without a size has no scale to draw at.
    if (!document || !(document->width > 0.f && document->height > 0.f))
        return;
    const double scale =
        std::min(double(bounds.W()) / document->width, double(bounds.H()) / document->height);
    if (!(scale > 0.0 && std::isfinite(scale)) || !std::isfinite(bounds.L) ||
        !std::isfinite(bounds.T))
        return;
    PathTransformSave();
    ConcatTransform(Translation(bounds.L, bounds.T).Multiplied(Scaling(scale, scale)));
    DrawSvgShapes(*document, blend, strokeColor, fillColor);
    PathTransformRestore();
}

void ICanvas::DrawRotatedSvg(const ISvgHandle& svg,
                             float cx,
                             float cy,
                             float width,
                             float height,
                             double angle,
                             const IBlendSpec* blend)
{
    PathTransformSave();
    ConcatTransform(Translation(cx, cy).Multiplied(Rotation(angle)));
    DrawSvg(svg, IBounds(-width / 2.f, -height / 2.f, width / 2.f, height / 2.f), blend);
    PathTransformRestore();
}

void ICanvas::DrawSvgShapes(const svg::Document& document,
                            const IBlendSpec* blend,
                            const IArgbColor* strokeColor,
                            const IArgbColor* fillColor)
{
    int64_t holeTests = kMaxHoleTests;
    for (const svg::Shape& shape : document.shapes)
    {
        if (!shape.visible)
            continue;
        PathClear();
        int64_t shapePoints = 0;
        for (const svg::Path& path : shape.paths)
            shapePoints += path.NumPoints();
        for (size_t p = 0; p < shape.paths.size(); ++p)
        {
            const svg::Path& path = shape.paths[p];
            const int n = path.NumPoints();
            if (n < 1)
                continue;
            const float* pts = path.pts.data();
            PathMoveTo(pts[0], pts[1]);
            for (int i = 1; i + 2 < n; i += 3)
                PathCubicBezierTo(pts[2 * i],
                                  pts[2 * i + 1],
                                  pts[2 * i + 2],
                                  pts[2 * i + 3],
                                  pts[2 * i + 4],
                                  pts[2 * i + 5]);
            if (path.closed)
                PathClose();
            bool hole = false;
            if (shapePoints - n <= holeTests)
            {
                holeTests -= shapePoints - n;
                hole = CountCrossings(shape, p) % 2 == 1;
            }
            PathSetWinding(hole);
        }

        const bool hasFill = shape.fill.kind != svg::PaintKind::None;
        const bool hasStroke = shape.stroke.kind != svg::PaintKind::None;
        if (hasFill)
        {
            IFillStyle style;
            style.rule = EFillRule::Preserve;
            style.preserve = hasStroke; // the stroke follows the same path
            PathFill(fillColor ? IFillPattern::Solid(*fillColor)
                               : SvgPaintToFillPattern(shape.fill, shape.opacity),
                     style,
                     blend);
        }
        if (hasStroke)
        {
            IStrokeStyle style;
            style.miterLimit = shape.miterLimit;
            style.cap = static_cast<ELineCap>(shape.strokeLineCap);
            style.join = static_cast<ELineJoin>(shape.strokeLineJoin);
            style.dashOffset = shape.strokeDashOffset;
            style.nDashes = static_cast<int32_t>(
                std::min<size_t>(shape.strokeDashArray.size(), IStrokeStyle::kMaxDashes));
            std::copy_n(shape.strokeDashArray.begin(), style.nDashes, style.dashes);
            PathStroke(strokeColor ? IFillPattern::Solid(*strokeColor)
                                   : SvgPaintToFillPattern(shape.stroke, shape.opacity),
                       shape.strokeWidth,
                       style,
                       blend);
        }
    }
}

IFillPattern ICanvas::SvgPaintToFillPattern(const svg::Paint& paint, float opacity)
{
    opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.f, 1.f) : 1.f;
    switch (paint.kind)
    {
    case svg::PaintKind::Color:
        return IFillPattern::Solid(SvgColor(paint.color, opacity));
    case svg::PaintKind::LinearGradient:
    case svg::PaintKind::RadialGradient:
    {
        const svg::Gradient& gradient = paint.gradient;
        if (gradient.stops.empty())
            return IFillPattern::Solid({ScaledAlpha(opacity, 255), 0, 0, 0});
        // A gradient without an extent (a zero-length line, a zero radius) has no space to
        // map into: its last colour, not a pattern of NaN.
        if (!IsInvertible(gradient.xform))
            return IFillPattern::Solid(SvgColor(gradient.stops.back().color, opacity));
        IFillPattern pattern(paint.kind == svg::PaintKind::LinearGradient ? EPatternType::Linear
                                                                          : EPatternType::Radial);
        pattern.extend = static_cast<int32_t>(gradient.spread) + 1;
        for (const svg::GradientStop& stop : gradient.stops)
            if (!pattern.AddStop(SvgColor(stop.color, opacity), stop.offset))
                break;
        const float* m = gradient.xform;
        pattern.transform = {m[0], m[1], m[2], m[3], m[4], m[5]};
        return pattern;
    }
    default:
        return IFillPattern::Solid({ScaledAlpha(opacity, 255), 0, 0, 0});
    }
}

// ---- Text

void ICanvas::DrawText(const ITextStyle& style,
                       const char* text,
                       const IBounds& bounds,
                       const IBlendSpec* blend)
{
    if (text && *text)
        DoDrawText(style, text, bounds, blend);
}

float ICanvas::MeasureText(const ITextStyle& style, const char* text, IBounds& bounds)
{
    if (!text || !*text)
        return 0.f;
    return DoMeasureText(style, text, bounds);
}

void ICanvas::DrawMultiLineText(const ITextStyle& style,
                                const char*,
                                const IBounds& bounds,
                                const IBlendSpec* blend)
{
    DoDrawText(style, "Unsupported", bounds, blend);
}

void ICanvas::CalculateTextRotation(
    const ITextStyle& style, const IBounds& bounds, IBounds& textRect, double& dx, double& dy)
{
    if (style.angle == 0.f)
        return;
    const IAffineTransform turn = Rotation(style.angle);
    double xs[4] = {textRect.L, textRect.R, textRect.R, textRect.L};
    double ys[4] = {textRect.T, textRect.T, textRect.B, textRect.B};
    for (int i = 0; i < 4; ++i)
        turn.Map(xs[i], ys[i]);
    textRect = IBounds(float(*std::min_element(xs, xs + 4)),
                       float(*std::min_element(ys, ys + 4)),
                       float(*std::max_element(xs, xs + 4)),
                       float(*std::max_element(ys, ys + 4)));
    dx = AlignmentOffset(int(style.align), bounds.L, bounds.R, textRect.L, textRect.R);
    dy = AlignmentOffset(int(style.valign), bounds.T, bounds.B, textRect.T, textRect.B);
}

void ICanvas::OffsetBoundsForTextRotation(const ITextStyle& style, IBounds& bounds)
{
    IBounds turned = bounds;
    double dx = 0.0;
    double dy = 0.0;
    CalculateTextRotation(style, bounds, turned, dx, dy);
    bounds = IBounds(
        float(turned.L + dx), float(turned.T + dy), float(turned.R + dx), float(turned.B + dy));
}

// ---- Path helpers

void ICanvas::PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
{
    PathMoveTo(x1, y1);
    PathLineTo(x2, y2);
    PathLineTo(x3, y3);
    PathClose();
}

void ICanvas::PathRect(const IBounds& bounds)
{
    PathMoveTo(bounds.L, bounds.T);
    PathLineTo(bounds.R, bounds.T);
    PathLineTo(bounds.R, bounds.B);
    PathLineTo(bounds.L, bounds.B);
    PathClose();
}

void ICanvas::PathRoundRect(const IBounds& bounds, float tl, float tr, float br, float bl)
{
    if (tl <= 0.f && tr <= 0.f && br <= 0.f && bl <= 0.f)
    {
        PathRect(bounds);
        return;
    }
    PathMoveTo(bounds.L, bounds.T + tl);
    PathArc(bounds.L + tl, bounds.T + tl, tl, 270.f, 360.f);
    PathArc(bounds.R - tr, bounds.T + tr, tr, 0.f, 90.f);
    PathArc(bounds.R - br, bounds.B - br, br, 90.f, 180.f);
    PathArc(bounds.L + bl, bounds.B - bl, bl, 180.f, 270.f);
    PathClose();
}

void ICanvas::PathRoundRect(const IBounds& bounds, float cornerRadius)
{
    PathRoundRect(bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius);
}

void ICanvas::PathCircle(float cx, float cy, float r)
{
    PathMoveTo(cx, cy - r);
    PathArc(cx, cy, r, 0.f, 360.f);
    PathClose();
}

void ICanvas::PathEllipse(float cx, float cy, float rx, float ry, float angle)
{
    if (!(rx > 0.f && ry > 0.f))
        return;
    PathTransformSave();
    ConcatTransform(Translation(cx, cy).Multiplied(Rotation(angle)).Multiplied(Scaling(rx, ry)));
    PathCircle(0.f, 0.f, 1.f);
    PathTransformRestore();
}

void ICanvas::PathEllipse(const IBounds& bounds)
{
    PathEllipse(bounds.MW(), bounds.MH(), bounds.W() / 2.f, bounds.H() / 2.f);
}

void ICanvas::PathConvexPolygon(const float* x, const float* y, int nPoints)
{
    if (!x || !y || nPoints <= 0)
        return;
    PathMoveTo(x[0], y[0]);
    for (int i = 1; i < nPoints; ++i)
        PathLineTo(x[i], y[i]);
    PathClose();
}

// ---- Transforms

void ICanvas::PathTransformReset(bool clearStack)
{
    mTransform = IAffineTransform{};
    if (clearStack)
        mTransformStack.clear();
    PathTransformSetMatrix(mTransform);
}

void ICanvas::PathTransformSave()
{
    mTransformStack.push_back(mTransform);
}

void ICanvas::PathTransformRestore()
{
    if (mTransformStack.empty())
        return;
    mTransform = mTransformStack.back();
    mTransformStack.pop_back();
    PathTransformSetMatrix(mTransform);
}

void ICanvas::PathTransformTranslate(float x, float y)
{
    ConcatTransform(Translation(x, y));
}

void ICanvas::PathTransformScale(float sx, float sy)
{
    ConcatTransform(Scaling(sx, sy));
}

void ICanvas::PathTransformRotate(float degrees)
{
    ConcatTransform(Rotation(degrees));
}

void ICanvas::ConcatTransform(const IAffineTransform& m)
{
    mTransform = mTransform.Multiplied(m);
    PathTransformSetMatrix(mTransform);
}

// ---- Clip

void ICanvas::PathClipRegion(const IBounds& r)
{
    const IBounds area = mLayers.empty() ? mDrawArea : mLayers.back()->GetBounds();
    const IBounds clip = r.Empty() ? area : r.Intersect(area);
    // The clip is in untransformed editor units.
    PathTransformSetMatrix(IAffineTransform{});
    SetClipRegion(clip);
    PathTransformSetMatrix(mTransform);
}

// ---- Layers

void ICanvas::BeginLayer(IControl* control, const IBounds& r, bool cacheable)
{
    const float scale = GetTotalScale();
    const IBounds aligned = r.GetPixelSnapped(scale);
    const int width = LayerPixels(aligned.W(), scale);
    const int height = LayerPixels(aligned.H(), scale);
    std::unique_ptr<APIBitmap> bitmap;
    if (width > 0 && height > 0)
        bitmap = CreateApiBitmap(width, height, mScreenScale, mDrawScale, cacheable);
    PushLayer(std::make_unique<IOffscreenLayer>(
        std::move(bitmap), aligned, control, control ? control->GetRECT() : IBounds()));
}

ILayerPtr ICanvas::FinishLayer()
{
    return PopLayer();
}

void ICanvas::PushLayer(ILayerPtr layer)
{
    if (!layer)
        return;
    mLayers.push_back(std::move(layer));
    UpdateLayer();
    PathTransformReset();
    PathClipRegion(mLayers.back()->GetBounds());
    PathClear();
}

ILayerPtr ICanvas::PopLayer()
{
    ILayerPtr layer;
    if (!mLayers.empty())
    {
        layer = std::move(mLayers.back());
        mLayers.pop_back();
    }
    UpdateLayer();
    PathTransformReset();
    PathClipRegion();
    PathClear();
    return layer;
}

IOffscreenLayer* ICanvas::GetTopLayer() const
{
    return mLayers.empty() ? nullptr : mLayers.back().get();
}

namespace
{
/// One pass of the shadow blur over `count` values (`inStride` apart in `in`, written
/// `outStride` apart to `out`): out[i] is the kernel-weighted sum of in[i - taps + 1 ..
/// i + taps - 1] (values beyond the ends left out), divided by `divisor`, at most 255. `kernel`
/// holds at least the first min(taps, count) weights. Where the whole window lies in the line and
/// holds one value the sum is that value times the divisor, so it is written as it is without
/// convolving.
void BlurLine(const uint8_t* in,
              int inStride,
              uint8_t* out,
              int outStride,
              int count,
              int taps,
              const std::vector<int64_t>& kernel,
              int64_t divisor)
{
    const auto at = [&](int i) { return in[i * inStride]; };
    // The start of the run of equal values that ends at the window's last value.
    int runStart = 0;
    for (int j = 1; j < std::min(taps - 1, count); ++j)
        if (at(j) != at(j - 1))
            runStart = j;
    for (int i = 0; i < count; ++i)
    {
        const int last = i + taps - 1;
        if (last < count)
        {
            if (last > 0 && at(last) != at(last - 1))
                runStart = last;
            if (i - taps + 1 >= runStart)
            {
                out[i * outStride] = at(i);
                continue;
            }
        }
        int64_t sum = kernel[0] * at(i);
        for (int k = 1; k < std::min(taps, count); ++k)
        {
            if (i - k >= 0)
                sum += kernel[size_t(k)] * at(i - k);
            if (i + k < count)
                sum += kernel[size_t(k)] * at(i + k);
        }
        out[i * outStride] = static_cast<uint8_t>(std::min<int64_t>(sum / divisor, 255));
    }
}
} // namespace

void ICanvas::ApplyLayerDropShadow(ILayerPtr& layer, const ILayerShadow& shadow)
{
    const APIBitmap* bitmap = layer ? layer->GetAPIBitmap() : nullptr;
    if (!bitmap)
        return;
    HeapBuffer pixels;
    GetLayerBitmapData(layer, pixels);
    const int width = bitmap->GetWidth();
    const int height = bitmap->GetHeight();
    if (width <= 0 || height <= 0 || pixels.Size() < int64_t(width) * height * 4)
        return;

    // The blur size in pixels, and a Gaussian kernel of 8-bit weights over it. Every tap counts
    // in the divisor, also those past the layer's ends, so a blur wider than the layer fades as
    // much as the layer is small; only the taps a line can reach are kept for the passes.
    const double blur = std::isfinite(shadow.blurSize) ? std::max(0.f, shadow.blurSize) : 0.0;
    const double size =
        std::min(kMaxShadowTaps,
                 std::max(1.0, bitmap->GetScale() * double(bitmap->GetDrawScale()) * blur + 1.0));
    const int taps = static_cast<int>(std::ceil(size));
    std::vector<int64_t> kernel(size_t(std::min(taps, std::max(width, height))));
    int64_t divisor = 0;
    for (int l = 0; l < taps; ++l)
    {
        const auto weight =
            static_cast<int64_t>(RoundHalfAway(255.0 * std::exp(-l * l * 4.5 / (size * size))));
        if (l < int(kernel.size()))
            kernel[size_t(l)] = weight;
        divisor += (l == 0 ? 1 : 2) * weight;
    }
    if (divisor <= 0)
        return;

    // Rows into a scratch plane of alpha, then columns back into the pixels' alpha. The kernel
    // is symmetric, so the order of the rows (top-down or bottom-up) does not change the result.
    auto* data = static_cast<uint8_t*>(pixels.Get());
    const int alpha = AlphaChannelIndex();
    std::vector<uint8_t> plane(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        BlurLine(data + size_t(y) * width * 4 + alpha,
                 4,
                 plane.data() + size_t(y) * width,
                 1,
                 width,
                 taps,
                 kernel,
                 divisor);
    for (int x = 0; x < width; ++x)
        BlurLine(plane.data() + x,
                 width,
                 data + size_t(x) * 4 + alpha,
                 width * 4,
                 height,
                 taps,
                 kernel,
                 divisor);
    ApplyShadowMask(layer, pixels, shadow);
}

} // namespace plugkit::canvas
