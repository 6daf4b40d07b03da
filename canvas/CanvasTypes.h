#pragma once

#include <cstdint>
#include <initializer_list>

namespace plugkit::canvas
{

/// A rectangle in editor units: left, top, right, bottom. All four exactly 0 is the
/// empty rectangle, which contains no point.
struct IBounds
{
    float L = 0.f;
    float T = 0.f;
    float R = 0.f;
    float B = 0.f;

    constexpr IBounds() = default;
    constexpr IBounds(float l, float t, float r, float b)
        : L(l)
        , T(t)
        , R(r)
        , B(b)
    {
    }

    constexpr float W() const { return R - L; }
    constexpr float H() const { return B - T; }
    constexpr float MW() const { return 0.5f * (L + R); }
    constexpr float MH() const { return 0.5f * (T + B); }
    constexpr float Area() const { return W() * H(); }

    /// True only for the all-zero rectangle (not for every zero-area one).
    constexpr bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }

    /// Left and top inclusive, right and bottom exclusive; false for the empty rectangle.
    constexpr bool Contains(float x, float y) const
    {
        return !Empty() && x >= L && x < R && y >= T && y < B;
    }

    /// True when `other` lies wholly inside this rectangle (edges may touch).
    constexpr bool Contains(const IBounds& other) const
    {
        return other.L >= L && other.R <= R && other.T >= T && other.B <= B;
    }

    /// True when the interiors overlap.
    constexpr bool Intersects(const IBounds& other) const
    {
        return L < other.R && other.L < R && T < other.B && other.T < B;
    }

    /// The common part; the empty rectangle when the interiors do not overlap.
    constexpr IBounds Intersect(const IBounds& other) const
    {
        if (!Intersects(other))
            return {};
        return {L > other.L ? L : other.L,
                T > other.T ? T : other.T,
                R < other.R ? R : other.R,
                B < other.B ? B : other.B};
    }

    /// The smallest rectangle holding both.
    constexpr IBounds Union(const IBounds& other) const
    {
        return {L < other.L ? L : other.L,
                T < other.T ? T : other.T,
                R > other.R ? R : other.R,
                B > other.B ? B : other.B};
    }

    /// Grown by `d` on every side.
    constexpr IBounds GetPadded(float d) const { return {L - d, T - d, R + d, B + d}; }

    /// A box of the given half sizes centred on this rectangle's middle.
    constexpr IBounds GetCentredInside(float halfWidth, float halfHeight) const
    {
        return {MW() - halfWidth, MH() - halfHeight, MW() + halfWidth, MH() + halfHeight};
    }

    /// Snapped outward to whole device pixels at `scale` (left and top floored, right and
    /// bottom ceiled), in editor units.
    IBounds GetPixelSnapped(float scale) const;

    constexpr bool operator==(const IBounds&) const = default;
};

/// Alpha, red, green, blue, each 0 to 255. Zero-initialised: transparent black.
struct IArgbColor
{
    int32_t A = 0;
    int32_t R = 0;
    int32_t G = 0;
    int32_t B = 0;

    constexpr bool operator==(const IArgbColor&) const = default;
};

inline constexpr IArgbColor kColorTransparent{0, 0, 0, 0};
inline constexpr IArgbColor kColorTranslucentBlack{10, 0, 0, 0};
inline constexpr IArgbColor kColorBlack{255, 0, 0, 0};
inline constexpr IArgbColor kColorHalfBlack{128, 0, 0, 0};
inline constexpr IArgbColor kColorMidGray{255, 127, 127, 127};
inline constexpr IArgbColor kColorPaleGray{255, 240, 240, 240};
inline constexpr IArgbColor kColorLightGray{255, 200, 200, 200};
inline constexpr IArgbColor kColorDarkGray{255, 70, 70, 70};
inline constexpr IArgbColor kColorWhite{255, 255, 255, 255};
inline constexpr IArgbColor kColorRed{255, 255, 0, 0};
inline constexpr IArgbColor kColorGreen{255, 0, 255, 0};
inline constexpr IArgbColor kColorBlue{255, 0, 0, 255};
inline constexpr IArgbColor kColorYellow{255, 255, 255, 0};
inline constexpr IArgbColor kColorOrange{255, 255, 127, 0};
inline constexpr IArgbColor kColorIndigo{255, 75, 0, 130};
inline constexpr IArgbColor kColorViolet{255, 148, 0, 211};
inline constexpr IArgbColor kColorShadow{60, 0, 0, 0};

inline constexpr IArgbColor kDefaultTextColor = kColorBlack;
inline constexpr IArgbColor kDefaultTextEntryBackgroundColor = kColorWhite;
inline constexpr IArgbColor kDefaultTextEntryTextColor = kColorBlack;

/// Blend kind 0 is ordinary source-over; the weight multiplies the colour's alpha.
/// Drawing calls take a pointer; null means weight 1.
struct IBlendSpec
{
    int32_t kind = 0;
    float weight = 1.f;

    constexpr bool operator==(const IBlendSpec&) const = default;
};

enum class EAlign : int32_t
{
    Near = 0,
    Centre = 1,
    Far = 2,
    kNumAligns
};

enum class EVAlign : int32_t
{
    Top = 0,
    Middle = 1,
    Bottom = 2,
    kNumVAligns
};

/// How a text is drawn and edited. The default is `kDefaultTextStyle`.
struct ITextStyle
{
    static constexpr int kFontNameSize = 64;

    char font[kFontNameSize] = "Roboto-Regular";
    float size = 14.f;
    IArgbColor color = kDefaultTextColor;
    IArgbColor entryBackgroundColor = kDefaultTextEntryBackgroundColor;
    IArgbColor entryTextColor = kDefaultTextEntryTextColor;
    float angle = 0.f;
    EAlign align = EAlign::Centre;
    EVAlign valign = EVAlign::Middle;

    constexpr ITextStyle() = default;
    constexpr ITextStyle(float textSize, EVAlign verticalAlign)
        : size(textSize)
        , valign(verticalAlign)
    {
    }

    bool operator==(const ITextStyle& other) const;
};

inline constexpr ITextStyle kDefaultTextStyle{14.f, EVAlign::Middle};
inline constexpr ITextStyle kLabelTextStyle{19.f, EVAlign::Top};
inline constexpr ITextStyle kValueTextStyle{14.f, EVAlign::Bottom};

struct IGradientStop
{
    IArgbColor color = kColorBlack;
    float offset = 0.f;
};

/// (x, y) maps to (xx x + xy y + tx, yx x + yy y + ty).
struct IAffineTransform
{
    double xx = 1.0;
    double yx = 0.0;
    double xy = 0.0;
    double yy = 1.0;
    double tx = 0.0;
    double ty = 0.0;

    constexpr bool operator==(const IAffineTransform&) const = default;

    /// This transform followed on the right by `m` (m is applied to points first).
    IAffineTransform Multiplied(const IAffineTransform& m) const;
    void Map(double& x, double& y) const;
};

enum class EPatternType : int32_t
{
    Solid = 0,
    Linear = 1,
    Radial = 2,
    kNumPatternTypes
};

/// The paint of strokes and fills: a solid colour or a gradient of up to 16 stops.
struct IFillPattern
{
    static constexpr int kMaxStops = 16;

    EPatternType type = EPatternType::Solid;
    int32_t extend = 1;
    IGradientStop stops[kMaxStops] = {};
    int32_t nStops = 0;
    IAffineTransform transform;

    explicit IFillPattern(EPatternType kind = EPatternType::Solid)
        : type(kind)
    {
    }

    /// A linear gradient along (x1, y1) -> (x2, y2): the transform maps (x1, y1) to 0 and
    /// (x2, y2) to 1 in its second coordinate. Stops past the sixteenth are dropped. End points
    /// that coincide (or are not finite) give no direction: the transform stays the identity.
    static IFillPattern
    Linear(float x1, float y1, float x2, float y2, std::initializer_list<IGradientStop> stops);

    /// The colour as the only stop.
    static IFillPattern Solid(const IArgbColor& color);

    /// Appends a stop; false (and nothing changes) when all sixteen are used.
    bool AddStop(const IArgbColor& color, float offset);
};

enum class ELineCap : int32_t
{
    Butt = 0,
    Round = 1,
    Square = 2,
    kNumLineCaps
};

enum class ELineJoin : int32_t
{
    Miter = 0,
    Round = 1,
    Bevel = 2,
    kNumLineJoins
};

struct IStrokeStyle
{
    static constexpr int kMaxDashes = 8;

    float miterLimit = 10.f;
    bool preserve = false;
    ELineCap cap = ELineCap::Butt;
    ELineJoin join = ELineJoin::Miter;
    float dashes[kMaxDashes] = {};
    int32_t nDashes = 0;
    float dashOffset = 0.f;
};

enum class EFillRule : int32_t
{
    Winding = 0, ///< non-zero winding
    EvenOdd = 1,
    Preserve = 2, ///< each sub-path keeps the winding `PathSetWinding` gave it (SVG shapes)
    kNumFillRules
};

/// The direction of an arc: clockwise on the screen (angles growing) or against it.
enum class EWinding : int32_t
{
    CW = 0,
    CCW = 1,
    kNumWindings
};

struct IFillStyle
{
    EFillRule rule = EFillRule::Winding;
    bool preserve = false;
};

struct IMouseModifiers
{
    bool L = false;
    bool R = false;
    bool S = false; ///< shift
    bool C = false; ///< control
    bool A = false; ///< alt
    int64_t touchID = 0;
    float touchRadius = 0.f;
};

/// One pointer of a press, release or drag; dX and dY are the movement since the
/// previous event of that pointer.
struct IMouseEvent
{
    float x = 0.f;
    float y = 0.f;
    float dX = 0.f;
    float dY = 0.f;
    IMouseModifiers ms;
};

/// Virtual key codes use the Windows values.
enum EVirtualKey : int32_t
{
    kVK_BACK = 8,
    kVK_TAB = 9,
    kVK_RETURN = 13,
    kVK_ESCAPE = 27,
    kVK_SPACE = 32,
    kVK_PRIOR = 33,
    kVK_NEXT = 34,
    kVK_END = 35,
    kVK_HOME = 36,
    kVK_LEFT = 37,
    kVK_UP = 38,
    kVK_RIGHT = 39,
    kVK_DOWN = 40,
    kVK_INSERT = 45,
    kVK_DELETE = 46,
    kVK_0 = 48,
    kVK_9 = 57,
    kVK_A = 65,
    kVK_Z = 90,
    kVK_NUMPAD0 = 96,
    kVK_NUMPAD9 = 105,
};

struct IKeyEvent
{
    int32_t VK = 0;
    char utf8[5] = {};
    bool S = false;
    bool C = false;
    bool A = false;
};

enum class ECursorShape : int32_t
{
    Arrow = 0,
    IBeam,
    Wait,
    Cross,
    UpArrow,
    SizeNWSE,
    SizeNESW,
    SizeWE,
    SizeNS,
    SizeAll,
    No,
    Hand,
    AppStarting,
    Help,
    kNumCursorShapes
};

/// The colour set of the stock widgets.
struct IWidgetColors
{
    static constexpr int kNumColors = 9;
    static constexpr IArgbColor kDefaults[kNumColors] = {kColorTransparent,
                                                         kColorLightGray,
                                                         kColorPaleGray,
                                                         kColorDarkGray,
                                                         kColorTranslucentBlack,
                                                         kColorShadow,
                                                         kColorBlack,
                                                         kColorGreen,
                                                         kColorBlue};

    IArgbColor colors[kNumColors];

    constexpr IWidgetColors()
        : IWidgetColors({})
    {
    }

    /// Entries 0 .. n-1 from the list (at most nine), the rest their defaults.
    constexpr IWidgetColors(std::initializer_list<IArgbColor> list)
        : colors()
    {
        int i = 0;
        for (const IArgbColor& c : list)
        {
            if (i == kNumColors)
                break;
            colors[i++] = c;
        }
        for (; i < kNumColors; ++i)
            colors[i] = kDefaults[i];
    }

    constexpr const IArgbColor& operator[](int i) const { return colors[i]; }
};

/// The style record of the stock widgets. No part of the toolkit reads the flags and
/// floats yet; they are kept for widgets that want them.
struct IWidgetStyle
{
    bool flags[6] = {true, true, true, true, true, false};
    float values[5] = {0.f, 1.f, 3.f, 1.f, 0.f};
    IWidgetColors colors;
    ITextStyle labelText = kLabelTextStyle;
    ITextStyle valueText = kValueTextStyle;
    int32_t option = 0;
};

inline constexpr IWidgetStyle kDefaultWidgetStyle{};

// The records' layouts, as the drawing back end and saved styles rely on them.
static_assert(sizeof(IBounds) == 16);
static_assert(sizeof(IArgbColor) == 16);
static_assert(sizeof(ITextStyle) == 128);
static_assert(sizeof(IGradientStop) == 20);

} // namespace plugkit::canvas
