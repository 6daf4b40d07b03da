#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plugkit::canvas::svg
{

/// A colour with straight alpha, each channel 0 to 255. The alpha already holds the opacity
/// of the paint that carries it (fill-opacity, stroke-opacity or stop-opacity times the
/// colour's own alpha), but not the shape's group opacity, which `Shape::opacity` keeps.
struct Color
{
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;

    constexpr bool operator==(const Color&) const = default;
};

enum class PaintKind : int32_t
{
    None = 0,
    Color = 1,
    LinearGradient = 2,
    RadialGradient = 3,
    kNumPaintKinds
};

/// What a gradient does outside its 0 to 1 range.
enum class Spread : int32_t
{
    Pad = 0,
    Reflect = 1,
    Repeat = 2,
    kNumSpreads
};

enum class LineCap : int32_t
{
    Butt = 0,
    Round = 1,
    Square = 2,
    kNumLineCaps
};

enum class LineJoin : int32_t
{
    Miter = 0,
    Round = 1,
    Bevel = 2,
    kNumLineJoins
};

enum class FillRule : int32_t
{
    NonZero = 0,
    EvenOdd = 1,
    kNumFillRules
};

struct GradientStop
{
    Color color;
    float offset = 0.f; ///< 0 to 1, never decreasing along a gradient's stops
};

/// A gradient in its own unit space. `xform` maps document coordinates into that space:
/// x' = xform[0] x + xform[2] y + xform[4], y' = xform[1] x + xform[3] y + xform[5]
/// (the element order of `IAffineTransform`). A linear gradient runs from offset 0 at (0, 0)
/// to offset 1 at (0, 1); a radial gradient is centred at (0, 0) with radius 1, its focal
/// point at (fx, fy). Every value is finite; a gradient whose space would be degenerate (a
/// zero-length line, a zero radius) is not made: the parser gives a solid colour of its last
/// stop instead.
struct Gradient
{
    float xform[6] = {1.f, 0.f, 0.f, 1.f, 0.f, 0.f};
    Spread spread = Spread::Pad;
    float fx = 0.f;
    float fy = 0.f;
    std::vector<GradientStop> stops; ///< at least one
};

struct Paint
{
    PaintKind kind = PaintKind::None;
    Color color;       ///< for `PaintKind::Color`
    Gradient gradient; ///< for the two gradient kinds
};

/// One sub-path of cubic segments in document coordinates: `pts` holds x, y pairs, the start
/// point followed by three points (two controls and the end) per segment, so its point count
/// is 1 + 3 n. Lines, arcs and quadratic curves are already converted.
struct Path
{
    std::vector<float> pts;
    bool closed = false;
    float bounds[4] = {}; ///< min x, min y, max x, max y of the points

    int NumPoints() const { return static_cast<int>(pts.size() / 2); }
};

/// One drawable element with its resolved style and its geometry, transforms applied.
struct Shape
{
    std::string id;
    Paint fill;
    Paint stroke;
    float opacity = 1.f; ///< the element's (and its groups') opacity, 0 to 1
    float strokeWidth = 1.f;
    float strokeDashOffset = 0.f;
    std::vector<float> strokeDashArray; ///< at most 8 values, all positive
    float miterLimit = 4.f;
    LineCap strokeLineCap = LineCap::Butt;
    LineJoin strokeLineJoin = LineJoin::Miter;
    FillRule fillRule = FillRule::NonZero;
    bool visible = true;  ///< false for `display:none` or `visibility:hidden`
    float bounds[4] = {}; ///< min x, min y, max x, max y over every path
    std::vector<Path> paths;
};

/// A parsed document: its size in pixels at the dpi it was parsed with, and its shapes in
/// document order. A document the parser returns has a positive, finite size and at least
/// one visible shape.
struct Document
{
    float width = 0.f;
    float height = 0.f;
    std::vector<Shape> shapes;
};

} // namespace plugkit::canvas::svg
