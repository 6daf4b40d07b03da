#include "canvas/svg/SvgParser.h"

#include "canvas/svg/SvgPath.h"
#include "canvas/svg/SvgScan.h"
#include "canvas/svg/SvgXml.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plugkit::canvas::svg
{
namespace
{

constexpr int kMaxDashes = 8;

enum class PaintType : uint8_t
{
    None,
    Color,
    CurrentColor,
    Url,
    kNumPaintTypes
};

// A paint as written: resolved against the element's colour and the gradients once the
// whole document is read, since a gradient may come after its first use.
struct PaintSpec
{
    PaintType type = PaintType::None;
    Color color;
    std::string_view url;                 // the id after '#'
    PaintType fallback = PaintType::None; // when the id names no gradient
    Color fallbackColor;

    static PaintSpec Of(PaintType type, Color color = {})
    {
        PaintSpec spec;
        spec.type = type;
        spec.color = color;
        return spec;
    }
};

struct Style
{
    // Inherited by children.
    PaintSpec fill = PaintSpec::Of(PaintType::Color);
    PaintSpec stroke;
    double fillOpacity = 1.0;
    double strokeOpacity = 1.0;
    Color color; // for currentColor
    double strokeWidth = 1.0;
    LineCap cap = LineCap::Butt;
    LineJoin join = LineJoin::Miter;
    double miterLimit = 4.0;
    double dashes[kMaxDashes] = {};
    int dashCount = 0;
    double dashOffset = 0.0;
    FillRule fillRule = FillRule::NonZero;
    bool visible = true;
    // The element's own; reset for each element.
    double opacity = 1.0;
    bool displayNone = false;
    Color stopColor;
    bool stopColorIsCurrent = false;
    double stopOpacity = 1.0;

    void ResetOwn()
    {
        opacity = 1.0;
        displayNone = false;
        stopColor = Color{};
        stopColorIsCurrent = false;
        stopOpacity = 1.0;
    }
};

enum class Element
{
    Group, // also <a> and <switch>
    Defs,
    Path,
    Rect,
    Circle,
    Ellipse,
    Line,
    Polyline,
    Polygon,
    LinearGradient,
    RadialGradient,
    Stop,
    Other,
    kNumElements
};

Element ElementFromName(std::string_view name)
{
    static constexpr struct
    {
        std::string_view name;
        Element element;
    } kElements[] = {
        {"g", Element::Group},
        {"a", Element::Group},
        {"switch", Element::Group},
        {"defs", Element::Defs},
        {"path", Element::Path},
        {"rect", Element::Rect},
        {"circle", Element::Circle},
        {"ellipse", Element::Ellipse},
        {"line", Element::Line},
        {"polyline", Element::Polyline},
        {"polygon", Element::Polygon},
        {"linearGradient", Element::LinearGradient},
        {"radialGradient", Element::RadialGradient},
        {"stop", Element::Stop},
    };
    for (const auto& e : kElements)
        if (e.name == name)
            return e.element;
    return Element::Other;
}

bool IsShape(Element e)
{
    return e >= Element::Path && e <= Element::Polygon;
}

struct Frame
{
    Style style;
    Matrix transform;     // user space to document space
    double opacity = 1.0; // own times the ancestors'
    bool hidden = false;  // display:none here or above
    bool rendered = true; // false inside defs, gradients and unsupported elements
    bool isSwitch = false;
    bool switchChose = false; // a <switch> draws only its first drawable child
    int gradient = -1;        // index into the gradients while this element is one
};

enum GradientAttribute
{
    kX1,
    kY1,
    kX2,
    kY2,
    kCx,
    kCy,
    kR,
    kFx,
    kFy,
    kNumGradientAttributes
};

struct GradientDef
{
    std::string_view id;
    std::string_view href;
    int link = -1; // the gradient `href` names, once the document is read
    bool radial = false;
    Length attributes[kNumGradientAttributes];
    bool has[kNumGradientAttributes] = {};
    bool userSpace = false;
    bool hasUnits = false;
    Matrix transform;
    bool hasTransform = false;
    Spread spread = Spread::Pad;
    bool hasSpread = false;
    std::vector<GradientStop> stops;
};

// A gradient paint waiting for the end of the document.
struct PendingPaint
{
    size_t shape = 0;
    bool stroke = false;
    PaintSpec spec;
    Color currentColor;
    double opacity = 1.0; // fill-opacity or stroke-opacity
    Matrix toDocument;
    double box[4] = {}; // the shape's bounding box in its user space
};

std::string_view FindAttribute(const std::vector<XmlAttribute>& attributes, std::string_view name)
{
    for (const XmlAttribute& a : attributes)
        if (a.name == name)
            return a.value;
    return {};
}

bool FitsFloat(double v)
{
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

uint8_t ScaleAlpha(double opacity, uint8_t alpha)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(opacity * alpha));
}

Color WithOpacity(Color c, double opacity)
{
    c.a = ScaleAlpha(opacity, c.a);
    return c;
}

bool ParseOpacity(std::string_view text, double& out)
{
    Length l;
    if (!ParseLength(text, l) || (l.unit != Unit::None && l.unit != Unit::Percent))
        return false;
    out = std::clamp(l.unit == Unit::Percent ? l.value / 100.0 : l.value, 0.0, 1.0);
    return true;
}

// "url(#id)" with an optional fallback colour, "none", "currentColor" or a colour.
bool ParsePaint(std::string_view text, PaintSpec& out)
{
    text = Trim(text);
    if (text == "none")
    {
        out = PaintSpec{};
        return true;
    }
    if (text == "currentColor")
    {
        out = PaintSpec::Of(PaintType::CurrentColor);
        return true;
    }
    if (text.starts_with("url("))
    {
        const size_t close = text.find(')');
        if (close == std::string_view::npos)
            return false;
        std::string_view ref = Trim(text.substr(4, close - 4));
        if (ref.size() >= 2 && (ref.front() == '"' || ref.front() == '\'') &&
            ref.back() == ref.front())
            ref = Trim(ref.substr(1, ref.size() - 2));
        if (ref.size() < 2 || ref.front() != '#')
            return false;
        PaintSpec paint = PaintSpec::Of(PaintType::Url);
        paint.url = ref.substr(1);
        const std::string_view rest = Trim(text.substr(close + 1));
        if (rest == "currentColor")
            paint.fallback = PaintType::CurrentColor;
        else if (!rest.empty() && rest != "none")
        {
            if (!ParseColor(rest, paint.fallbackColor))
                return false;
            paint.fallback = PaintType::Color;
        }
        out = paint;
        return true;
    }
    Color c;
    if (!ParseColor(text, c))
        return false;
    out = PaintSpec::Of(PaintType::Color, c);
    return true;
}

template <typename T, size_t N>
bool ParseKeyword(std::string_view text, const std::pair<std::string_view, T> (&table)[N], T& out)
{
    text = Trim(text);
    for (const auto& entry : table)
        if (entry.first == text)
        {
            out = entry.second;
            return true;
        }
    return false;
}

// The bounding box of cubic sub-paths: the end points and the extremes of every segment,
// which lie where a coordinate's derivative a t^2 + b t + c vanishes inside (0, 1).
void TightBounds(const std::vector<double>& pts, const PathSink::Span& span, double box[4])
{
    auto include = [box](double x, double y)
    {
        box[0] = std::min(box[0], x);
        box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x);
        box[3] = std::max(box[3], y);
    };
    const double* p = pts.data() + span.first;
    include(p[0], p[1]);
    for (size_t i = 1; i + 2 < span.count; i += 3)
    {
        const double* q = p + 2 * (i - 1);
        include(q[6], q[7]);
        for (int axis = 0; axis < 2; ++axis)
        {
            const double p0 = q[axis], p1 = q[2 + axis], p2 = q[4 + axis], p3 = q[6 + axis];
            const double a = -p0 + 3.0 * p1 - 3.0 * p2 + p3;
            const double b = 2.0 * (p0 - 2.0 * p1 + p2);
            const double c = p1 - p0;
            double roots[2];
            int n = 0;
            if (std::fabs(a) < 1e-12)
            {
                if (std::fabs(b) > 1e-12)
                    roots[n++] = -c / b;
            }
            else
            {
                const double disc = b * b - 4.0 * a * c;
                if (disc >= 0.0)
                {
                    const double s = std::sqrt(disc);
                    roots[n++] = (-b + s) / (2.0 * a);
                    roots[n++] = (-b - s) / (2.0 * a);
                }
            }
            for (int r = 0; r < n; ++r)
            {
                const double t = roots[r];
                if (!(t > 0.0 && t < 1.0))
                    continue;
                const double u = 1.0 - t;
                double xy[2];
                for (int k = 0; k < 2; ++k)
                    xy[k] = u * u * u * q[k] + 3.0 * u * u * t * q[2 + k] +
                            3.0 * u * t * t * q[4 + k] + t * t * t * q[6 + k];
                include(xy[0], xy[1]);
            }
        }
    }
}

class Parser
{
public:
    Parser(double dpi, const char* units)
        : mDpi(dpi)
    {
        const Unit unit = units != nullptr ? UnitFromName(units) : Unit::None;
        mOutputScale =
            unit == Unit::None || unit == Unit::Percent ? 1.0 : 1.0 / UnitToPixels(unit, dpi);
    }

    std::unique_ptr<Document> Run(const char* text, size_t size);

private:
    // What a percentage is of: the viewport's width, height or normalised diagonal.
    enum class Axis
    {
        X,
        Y,
        Diagonal,
        kNumAxes
    };

    bool BeginRoot(const std::vector<XmlAttribute>& attributes);
    void StartElement(std::string_view name, const std::vector<XmlAttribute>& attributes);
    void ApplyStyles(Style& style, const std::vector<XmlAttribute>& attributes);
    void ApplyProperty(Style& style, std::string_view name, std::string_view value);
    void ApplyStyleAttribute(Style& style, std::string_view text);
    bool ParseDashArray(std::string_view text, Style& style);

    double ToUser(const Length& l, Axis axis) const;
    // The attribute as a length in user units; `fallback` when absent or invalid.
    double LengthAttribute(const std::vector<XmlAttribute>& attributes,
                           std::string_view name,
                           Axis axis,
                           double fallback,
                           bool* present = nullptr) const;

    void BuildShape(Element element, const std::vector<XmlAttribute>& attributes, const Frame& f);
    void EmitShape(const std::vector<XmlAttribute>& attributes, const Frame& f);
    Paint ResolveSolid(const PaintSpec& spec, Color currentColor, double opacity) const;

    void BeginGradient(Element element, const std::vector<XmlAttribute>& attributes, Frame& f);
    void AddStop(int gradient, const std::vector<XmlAttribute>& attributes, const Style& style);
    // `named` is the gradient the paint names, -1 for none.
    Paint ResolveGradient(const PendingPaint& pending, int named) const;
    std::unique_ptr<Document> Finish();

    double mDpi;
    double mOutputScale;
    double mViewportWidth = 0.0; // for percentages, in user units
    double mViewportHeight = 0.0;
    double mWidth = 0.0; // the document's size in px; 0 when it comes from the drawing
    double mHeight = 0.0;
    bool mFailed = false;
    size_t mPointsUsed = 0;

    std::vector<Frame> mFrames;
    PathSink mSink;
    std::vector<GradientDef> mGradients;
    std::vector<PendingPaint> mPending;
    std::unique_ptr<Document> mDocument = std::make_unique<Document>();
};

double Parser::ToUser(const Length& l, Axis axis) const
{
    if (l.unit != Unit::Percent)
        return l.value * UnitToPixels(l.unit, mDpi);
    double reference = 0.0;
    switch (axis)
    {
    case Axis::X:
        reference = mViewportWidth;
        break;
    case Axis::Y:
        reference = mViewportHeight;
        break;
    default:
        reference =
            std::sqrt((mViewportWidth * mViewportWidth + mViewportHeight * mViewportHeight) / 2.0);
        break;
    }
    return l.value / 100.0 * reference;
}

double Parser::LengthAttribute(const std::vector<XmlAttribute>& attributes,
                               std::string_view name,
                               Axis axis,
                               double fallback,
                               bool* present) const
{
    Length l;
    const bool valid = ParseLength(FindAttribute(attributes, name), l);
    if (present != nullptr)
        *present = valid;
    if (!valid)
        return fallback;
    const double v = ToUser(l, axis);
    return FitsFloat(v) ? v : fallback;
}

bool Parser::ParseDashArray(std::string_view text, Style& style)
{
    text = Trim(text);
    if (text == "none")
    {
        style.dashCount = 0;
        return true;
    }
    double values[kMaxDashes] = {};
    int n = 0;
    double sum = 0.0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end)
    {
        Length l;
        if (n == kMaxDashes || !ScanLength(p, end, l))
            return false;
        values[n] = ToUser(l, Axis::Diagonal);
        if (!(values[n] >= 0.0) || !FitsFloat(values[n]))
            return false;
        sum += values[n++];
        SkipCommaSpace(p, end);
    }
    if (n == 0)
        return false;
    // An odd list repeats once to make it even; a list whose values are all zero, or that
    // holds a zero (which a stroke cannot draw as a dash), strokes solid.
    if (n % 2 == 1)
    {
        if (2 * n > kMaxDashes)
            return false;
        for (int i = 0; i < n; ++i)
            values[n + i] = values[i];
        n *= 2;
    }
    const bool anyZero = std::any_of(values, values + n, [](double v) { return v == 0.0; });
    if (sum == 0.0 || anyZero)
        n = 0;
    std::copy(values, values + n, style.dashes);
    style.dashCount = n;
    return true;
}

void Parser::ApplyProperty(Style& s, std::string_view name, std::string_view value)
{
    static constexpr std::pair<std::string_view, LineCap> kCaps[] = {
        {"butt", LineCap::Butt}, {"round", LineCap::Round}, {"square", LineCap::Square}};
    static constexpr std::pair<std::string_view, LineJoin> kJoins[] = {
        {"miter", LineJoin::Miter}, {"round", LineJoin::Round}, {"bevel", LineJoin::Bevel}};
    static constexpr std::pair<std::string_view, FillRule> kRules[] = {
        {"nonzero", FillRule::NonZero}, {"evenodd", FillRule::EvenOdd}};

    value = Trim(value);
    if (name == "fill")
        ParsePaint(value, s.fill);
    else if (name == "stroke")
        ParsePaint(value, s.stroke);
    else if (name == "fill-opacity")
        ParseOpacity(value, s.fillOpacity);
    else if (name == "stroke-opacity")
        ParseOpacity(value, s.strokeOpacity);
    else if (name == "opacity")
        ParseOpacity(value, s.opacity);
    else if (name == "stop-opacity")
        ParseOpacity(value, s.stopOpacity);
    else if (name == "fill-rule")
        ParseKeyword(value, kRules, s.fillRule);
    else if (name == "stroke-linecap")
        ParseKeyword(value, kCaps, s.cap);
    else if (name == "stroke-linejoin")
        ParseKeyword(value, kJoins, s.join);
    else if (name == "stroke-width" || name == "stroke-dashoffset" || name == "stroke-miterlimit")
    {
        Length l;
        if (!ParseLength(value, l))
            return;
        if (name == "stroke-miterlimit")
        {
            if (l.unit == Unit::None && l.value >= 1.0)
                s.miterLimit = l.value;
            return;
        }
        const double v = ToUser(l, Axis::Diagonal);
        if (!FitsFloat(v))
            return;
        if (name == "stroke-dashoffset")
            s.dashOffset = v;
        else if (v >= 0.0)
            s.strokeWidth = v;
    }
    else if (name == "stroke-dasharray")
        ParseDashArray(value, s);
    else if (name == "display")
        s.displayNone = value == "none";
    else if (name == "visibility")
    {
        if (value == "visible")
            s.visible = true;
        else if (value == "hidden" || value == "collapse")
            s.visible = false;
    }
    else if (name == "color")
        ParseColor(value, s.color);
    else if (name == "stop-color")
    {
        if (value == "currentColor")
            s.stopColorIsCurrent = true;
        else if (ParseColor(value, s.stopColor))
            s.stopColorIsCurrent = false;
    }
}

void Parser::ApplyStyleAttribute(Style& style, std::string_view text)
{
    while (!text.empty())
    {
        const size_t semicolon = text.find(';');
        const std::string_view declaration = text.substr(0, semicolon);
        text =
            semicolon == std::string_view::npos ? std::string_view{} : text.substr(semicolon + 1);
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view value = Trim(declaration.substr(colon + 1));
        constexpr std::string_view kImportant = "!important";
        if (value.ends_with(kImportant))
            value = value.substr(0, value.size() - kImportant.size());
        ApplyProperty(style, Trim(declaration.substr(0, colon)), value);
    }
}

void Parser::ApplyStyles(Style& style, const std::vector<XmlAttribute>& attributes)
{
    // Presentation attributes first, then the style attribute, which wins over them.
    for (const XmlAttribute& a : attributes)
        if (a.name != "style")
            ApplyProperty(style, a.name, a.value);
    for (const XmlAttribute& a : attributes)
        if (a.name == "style")
            ApplyStyleAttribute(style, a.value);
}

bool Parser::BeginRoot(const std::vector<XmlAttribute>& attributes)
{
    // Width and height in px; 0 for absent, "auto" or a percentage (of a viewport we do not
    // know). Any other value must be a positive finite length.
    auto size = [&](std::string_view name, double& out)
    {
        out = 0.0;
        const std::string_view text = Trim(FindAttribute(attributes, name));
        Length l;
        if (text.empty() || text == "auto")
            return true;
        if (!ParseLength(text, l))
            return false;
        if (l.unit == Unit::Percent)
            return true;
        out = l.value * UnitToPixels(l.unit, mDpi);
        return out > 0.0 && FitsFloat(out);
    };
    double width = 0.0;
    double height = 0.0;
    if (!size("width", width) || !size("height", height))
        return false;

    double box[4] = {};
    bool hasBox = false;
    {
        const std::string_view text = FindAttribute(attributes, "viewBox");
        const char* p = text.data();
        const char* end = p + text.size();
        int n = 0;
        SkipSpace(p, end);
        while (n < 4 && ScanNumber(p, end, box[n]))
        {
            ++n;
            SkipCommaSpace(p, end);
        }
        // A negative size makes the viewBox invalid (ignored); a zero size disables drawing.
        hasBox = n == 4 && p == end && box[2] >= 0.0 && box[3] >= 0.0;
        if (hasBox && (box[2] == 0.0 || box[3] == 0.0))
            return false;
    }

    Matrix fit;
    if (hasBox)
    {
        if (width == 0.0 && height == 0.0)
        {
            width = box[2];
            height = box[3];
        }
        else if (width == 0.0)
            width = height * box[2] / box[3];
        else if (height == 0.0)
            height = width * box[3] / box[2];
        if (!FitsFloat(width) || !FitsFloat(height) || width <= 0.0 || height <= 0.0)
            return false;

        double alignX = 0.5;
        double alignY = 0.5;
        bool slice = false;
        bool stretch = false;
        const std::string_view aspect = Trim(FindAttribute(attributes, "preserveAspectRatio"));
        for (size_t at = 0; at < aspect.size();)
        {
            const size_t space = aspect.find(' ', at);
            const std::string_view word =
                aspect.substr(at, space == std::string_view::npos ? aspect.npos : space - at);
            at = space == std::string_view::npos ? aspect.size() : space + 1;
            if (word == "none")
                stretch = true;
            else if (word == "slice")
                slice = true;
            else if (word.size() == 8 && word[0] == 'x' && word[4] == 'Y')
            {
                auto align = [](std::string_view a) {
                    return a == "Min" ? 0.0 : a == "Max" ? 1.0 : 0.5;
                };
                alignX = align(word.substr(1, 3));
                alignY = align(word.substr(5, 3));
            }
        }
        double sx = width / box[2];
        double sy = height / box[3];
        if (!stretch)
            sx = sy = slice ? std::max(sx, sy) : std::min(sx, sy);
        fit = Matrix{{sx,
                      0.0,
                      0.0,
                      sy,
                      -box[0] * sx + alignX * (width - box[2] * sx),
                      -box[1] * sy + alignY * (height - box[3] * sy)}};
        mViewportWidth = box[2];
        mViewportHeight = box[3];
    }
    else
    {
        mViewportWidth = width;
        mViewportHeight = height;
    }
    mWidth = width;
    mHeight = height;

    Frame root;
    root.transform = Matrix::Scale(mOutputScale, mOutputScale) * fit;
    ApplyStyles(root.style, attributes);
    root.opacity = root.style.opacity;
    root.hidden = root.style.displayNone;
    mFrames.push_back(root);
    return true;
}

void Parser::StartElement(std::string_view name, const std::vector<XmlAttribute>& attributes)
{
    Frame& parent = mFrames.back();
    const Element element = ElementFromName(name);
    Frame f;
    f.style = parent.style;
    f.style.ResetOwn();
    f.hidden = parent.hidden;
    f.rendered = parent.rendered && element != Element::Defs && element != Element::Other;
    const bool drawable = element == Element::Group || IsShape(element);
    if (parent.isSwitch && drawable)
    {
        f.rendered = f.rendered && !parent.switchChose;
        parent.switchChose = true;
    }
    f.isSwitch = name == "switch";

    ApplyStyles(f.style, attributes);
    Matrix own;
    const std::string_view transform = FindAttribute(attributes, "transform");
    if (!transform.empty())
        ParseTransform(transform, own);
    f.transform = parent.transform * own;
    f.opacity = parent.opacity * f.style.opacity;
    f.hidden = f.hidden || f.style.displayNone;

    if (IsShape(element) && f.rendered)
        BuildShape(element, attributes, f);
    else if (element == Element::LinearGradient || element == Element::RadialGradient)
    {
        BeginGradient(element, attributes, f);
        f.rendered = false;
    }
    else if (element == Element::Stop && parent.gradient >= 0)
        AddStop(parent.gradient, attributes, f.style);
    mFrames.push_back(f);
}

void Parser::BuildShape(Element element,
                        const std::vector<XmlAttribute>& attributes,
                        const Frame& f)
{
    mSink.Reset(static_cast<size_t>(kMaxPoints) - mPointsUsed);
    auto length = [&](std::string_view name, Axis axis, bool* present = nullptr)
    { return LengthAttribute(attributes, name, axis, 0.0, present); };
    switch (element)
    {
    case Element::Path:
        if (!ParsePathData(FindAttribute(attributes, "d"), mSink))
            return;
        break;
    case Element::Rect:
    {
        const double w = length("width", Axis::X);
        const double h = length("height", Axis::Y);
        if (!(w > 0.0 && h > 0.0))
            return;
        bool hasRx = false;
        bool hasRy = false;
        double rx = length("rx", Axis::X, &hasRx);
        double ry = length("ry", Axis::Y, &hasRy);
        hasRx = hasRx && rx >= 0.0;
        hasRy = hasRy && ry >= 0.0;
        if (!hasRx)
            rx = hasRy ? ry : 0.0;
        if (!hasRy)
            ry = hasRx ? rx : 0.0;
        AddRect(mSink,
                length("x", Axis::X),
                length("y", Axis::Y),
                w,
                h,
                std::min(rx, w / 2.0),
                std::min(ry, h / 2.0));
        break;
    }
    case Element::Circle:
    {
        const double r = length("r", Axis::Diagonal);
        if (!(r > 0.0))
            return;
        AddEllipse(mSink, length("cx", Axis::X), length("cy", Axis::Y), r, r);
        break;
    }
    case Element::Ellipse:
    {
        const double rx = length("rx", Axis::X);
        const double ry = length("ry", Axis::Y);
        if (!(rx > 0.0 && ry > 0.0))
            return;
        AddEllipse(mSink, length("cx", Axis::X), length("cy", Axis::Y), rx, ry);
        break;
    }
    case Element::Line:
        mSink.MoveTo(length("x1", Axis::X), length("y1", Axis::Y));
        mSink.LineTo(length("x2", Axis::X), length("y2", Axis::Y));
        break;
    case Element::Polyline:
    case Element::Polygon:
        if (!ParsePoints(FindAttribute(attributes, "points"), mSink, element == Element::Polygon))
            return;
        break;
    default:
        return;
    }
    if (mSink.Overflowed())
    {
        mFailed = true;
        return;
    }
    if (!mSink.spans.empty())
        EmitShape(attributes, f);
}

Paint Parser::ResolveSolid(const PaintSpec& spec, Color currentColor, double opacity) const
{
    Paint paint;
    if (spec.type == PaintType::Color || spec.type == PaintType::CurrentColor)
    {
        paint.kind = PaintKind::Color;
        paint.color =
            WithOpacity(spec.type == PaintType::Color ? spec.color : currentColor, opacity);
    }
    return paint;
}

void Parser::EmitShape(const std::vector<XmlAttribute>& attributes, const Frame& f)
{
    const Style& s = f.style;
    const Matrix& m = f.transform;
    // Stroke lengths scale by the square root of the area scale, exact for rotations and
    // uniform scales.
    const double lengthScale = std::sqrt(std::fabs(m.Determinant()));
    Shape shape;
    shape.fill = ResolveSolid(s.fill, s.color, s.fillOpacity);
    const double strokeWidth = s.strokeWidth * lengthScale;
    if (strokeWidth > 0.0)
        shape.stroke = ResolveSolid(s.stroke, s.color, s.strokeOpacity);
    const bool fillPending = s.fill.type == PaintType::Url;
    const bool strokePending = s.stroke.type == PaintType::Url && strokeWidth > 0.0;
    if (shape.fill.kind == PaintKind::None && shape.stroke.kind == PaintKind::None &&
        !fillPending && !strokePending)
        return;
    if (mDocument->shapes.size() >= static_cast<size_t>(kMaxShapes))
    {
        mFailed = true;
        return;
    }

    if (!FitsFloat(strokeWidth) || !FitsFloat(s.dashOffset * lengthScale))
        return;
    shape.id = std::string(FindAttribute(attributes, "id"));
    shape.opacity = static_cast<float>(std::clamp(f.opacity, 0.0, 1.0));
    shape.strokeWidth = static_cast<float>(strokeWidth);
    shape.strokeDashOffset = static_cast<float>(s.dashOffset * lengthScale);
    for (int i = 0; i < s.dashCount; ++i)
    {
        const double dash = s.dashes[i] * lengthScale;
        if (!FitsFloat(dash))
            return;
        shape.strokeDashArray.push_back(static_cast<float>(dash));
    }
    if (std::any_of(shape.strokeDashArray.begin(),
                    shape.strokeDashArray.end(),
                    [](float d) { return d <= 0.f; }))
        shape.strokeDashArray.clear();
    shape.miterLimit = static_cast<float>(s.miterLimit);
    shape.strokeLineCap = s.cap;
    shape.strokeLineJoin = s.join;
    shape.fillRule = s.fillRule;
    shape.visible = s.visible && !f.hidden;

    double shapeBounds[4] = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (const PathSink::Span& span : mSink.spans)
    {
        Path path;
        path.closed = span.closed;
        path.pts.resize(2 * span.count);
        double bounds[4] = {DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
        for (size_t i = 0; i < span.count; ++i)
        {
            double x, y;
            m.Apply(mSink.pts[span.first + 2 * i], mSink.pts[span.first + 2 * i + 1], x, y);
            if (!FitsFloat(x) || !FitsFloat(y))
                return;
            path.pts[2 * i] = static_cast<float>(x);
            path.pts[2 * i + 1] = static_cast<float>(y);
            bounds[0] = std::min(bounds[0], x);
            bounds[1] = std::min(bounds[1], y);
            bounds[2] = std::max(bounds[2], x);
            bounds[3] = std::max(bounds[3], y);
        }
        for (int k = 0; k < 4; ++k)
        {
            path.bounds[k] = static_cast<float>(bounds[k]);
            shapeBounds[k] =
                k < 2 ? std::min(shapeBounds[k], bounds[k]) : std::max(shapeBounds[k], bounds[k]);
        }
        shape.paths.push_back(std::move(path));
    }
    for (int k = 0; k < 4; ++k)
        shape.bounds[k] = static_cast<float>(shapeBounds[k]);
    mPointsUsed += mSink.Taken();

    if (fillPending || strokePending)
    {
        PendingPaint pending;
        pending.shape = mDocument->shapes.size();
        pending.currentColor = s.color;
        pending.toDocument = m;
        pending.box[0] = pending.box[1] = DBL_MAX;
        pending.box[2] = pending.box[3] = -DBL_MAX;
        for (const PathSink::Span& span : mSink.spans)
            TightBounds(mSink.pts, span, pending.box);
        if (fillPending)
        {
            pending.spec = s.fill;
            pending.opacity = s.fillOpacity;
            mPending.push_back(pending);
        }
        if (strokePending)
        {
            pending.stroke = true;
            pending.spec = s.stroke;
            pending.opacity = s.strokeOpacity;
            mPending.push_back(pending);
        }
    }
    mDocument->shapes.push_back(std::move(shape));
}

void Parser::BeginGradient(Element element, const std::vector<XmlAttribute>& attributes, Frame& f)
{
    if (mGradients.size() >= static_cast<size_t>(kMaxGradients))
    {
        mFailed = true;
        return;
    }
    GradientDef g;
    g.radial = element == Element::RadialGradient;
    g.id = FindAttribute(attributes, "id");
    std::string_view href = FindAttribute(attributes, "xlink:href");
    if (href.empty())
        href = FindAttribute(attributes, "href");
    href = Trim(href);
    if (href.size() > 1 && href.front() == '#')
        g.href = href.substr(1);

    static constexpr std::string_view kNames[kNumGradientAttributes] = {
        "x1", "y1", "x2", "y2", "cx", "cy", "r", "fx", "fy"};
    for (int i = 0; i < kNumGradientAttributes; ++i)
        g.has[i] = ParseLength(FindAttribute(attributes, kNames[i]), g.attributes[i]);
    g.has[kR] = g.has[kR] && g.attributes[kR].value >= 0.0;

    const std::string_view units = Trim(FindAttribute(attributes, "gradientUnits"));
    g.hasUnits = units == "userSpaceOnUse" || units == "objectBoundingBox";
    g.userSpace = units == "userSpaceOnUse";
    const std::string_view transform = FindAttribute(attributes, "gradientTransform");
    g.hasTransform = !transform.empty() && ParseTransform(transform, g.transform);
    static constexpr std::pair<std::string_view, Spread> kSpreads[] = {
        {"pad", Spread::Pad}, {"reflect", Spread::Reflect}, {"repeat", Spread::Repeat}};
    g.hasSpread = ParseKeyword(FindAttribute(attributes, "spreadMethod"), kSpreads, g.spread);

    f.gradient = static_cast<int>(mGradients.size());
    mGradients.push_back(std::move(g));
}

void Parser::AddStop(int gradient, const std::vector<XmlAttribute>& attributes, const Style& style)
{
    std::vector<GradientStop>& stops = mGradients[static_cast<size_t>(gradient)].stops;
    if (stops.size() >= static_cast<size_t>(kMaxGradientStops))
    {
        mFailed = true;
        return;
    }
    double offset = 0.0;
    ParseOpacity(FindAttribute(attributes, "offset"), offset);
    if (!stops.empty())
        offset = std::max(offset, double{stops.back().offset});
    const Color color = style.stopColorIsCurrent ? style.color : style.stopColor;
    stops.push_back({WithOpacity(color, style.stopOpacity), static_cast<float>(offset)});
}

Paint Parser::ResolveGradient(const PendingPaint& pending, int named) const
{
    if (named < 0)
    {
        const PaintSpec& spec = pending.spec;
        return ResolveSolid(PaintSpec::Of(spec.fallback, spec.fallbackColor),
                            pending.currentColor,
                            pending.opacity);
    }
    const GradientDef* chain[kMaxGradientLinks + 1];
    int links = 0;
    for (int at = named; at >= 0 && links <= kMaxGradientLinks;
         at = mGradients[static_cast<size_t>(at)].link)
        chain[links++] = &mGradients[static_cast<size_t>(at)];
    const GradientDef& first = *chain[0];

    const std::vector<GradientStop>* stops = nullptr;
    bool userSpace = false;
    const Matrix* transform = nullptr;
    Spread spread = Spread::Pad;
    for (int i = links - 1; i >= 0; --i) // nearest last, so it wins
    {
        const GradientDef& g = *chain[i];
        if (!g.stops.empty())
            stops = &g.stops;
        if (g.hasUnits)
            userSpace = g.userSpace;
        if (g.hasTransform)
            transform = &g.transform;
        if (g.hasSpread)
            spread = g.spread;
    }
    Paint paint;
    if (stops == nullptr)
        return paint; // no stops: no paint
    Gradient gradient;
    for (const GradientStop& stop : *stops)
        gradient.stops.push_back({WithOpacity(stop.color, pending.opacity), stop.offset});
    if (gradient.stops.size() == 1)
    {
        paint.kind = PaintKind::Color;
        paint.color = gradient.stops.back().color;
        return paint;
    }

    // The geometry attributes come only from gradients of the same kind.
    Length values[kNumGradientAttributes] = {
        {0.0, Unit::Percent},
        {0.0, Unit::Percent},
        {100.0, Unit::Percent},
        {0.0, Unit::Percent},
        {50.0, Unit::Percent},
        {50.0, Unit::Percent},
        {50.0, Unit::Percent},
    };
    bool has[kNumGradientAttributes] = {};
    for (int i = links - 1; i >= 0; --i)
        if (chain[i]->radial == first.radial)
            for (int k = 0; k < kNumGradientAttributes; ++k)
                if (chain[i]->has[k])
                {
                    values[k] = chain[i]->attributes[k];
                    has[k] = true;
                }
    if (!has[kFx])
        values[kFx] = values[kCx];
    if (!has[kFy])
        values[kFy] = values[kCy];
    static constexpr Axis kAxes[kNumGradientAttributes] = {
        Axis::X, Axis::Y, Axis::X, Axis::Y, Axis::X, Axis::Y, Axis::Diagonal, Axis::X, Axis::Y};
    double v[kNumGradientAttributes];
    for (int k = 0; k < kNumGradientAttributes; ++k)
        v[k] = userSpace || values[k].unit != Unit::Percent ? ToUser(values[k], kAxes[k])
                                                            : values[k].value / 100.0;

    Matrix space = pending.toDocument;
    if (!userSpace)
    {
        const double* b = pending.box;
        space = space * Matrix{{b[2] - b[0], 0.0, 0.0, b[3] - b[1], b[0], b[1]}};
    }
    if (transform != nullptr)
        space = space * *transform;
    Matrix unit;
    if (first.radial)
        unit = Matrix{{v[kR], 0.0, 0.0, v[kR], v[kCx], v[kCy]}};
    else
    {
        // The gradient runs along the unit space's y axis; x is the perpendicular.
        const double dx = v[kX2] - v[kX1];
        const double dy = v[kY2] - v[kY1];
        unit = Matrix{{dy, -dx, dx, dy, v[kX1], v[kY1]}};
    }
    Matrix inverse;
    if (!(space * unit).Invert(inverse))
    {
        // Degenerate (a zero-length line, a zero radius, a flat box): the last stop's colour.
        paint.kind = PaintKind::Color;
        paint.color = gradient.stops.back().color;
        return paint;
    }
    for (int k = 0; k < 6; ++k)
        gradient.xform[k] = static_cast<float>(inverse.m[k]);
    gradient.spread = spread;
    if (first.radial)
    {
        double fx = (v[kFx] - v[kCx]) / v[kR];
        double fy = (v[kFy] - v[kCy]) / v[kR];
        const double d = std::hypot(fx, fy);
        if (!std::isfinite(d))
            fx = fy = 0.0;
        else if (d > 1.0)
        {
            fx /= d;
            fy /= d;
        }
        gradient.fx = static_cast<float>(fx);
        gradient.fy = static_cast<float>(fy);
    }
    paint.kind = first.radial ? PaintKind::RadialGradient : PaintKind::LinearGradient;
    paint.gradient = std::move(gradient);
    return paint;
}

std::unique_ptr<Document> Parser::Finish()
{
    if (mFailed)
        return nullptr;
    // Each id is looked up once: an href once per gradient, a reference once per place in
    // the text (shapes that inherit a paint share it), so long ids cost no more than their
    // length in the input.
    std::unordered_map<std::string_view, int> ids;
    for (size_t i = 0; i < mGradients.size(); ++i)
        if (!mGradients[i].id.empty())
            ids.emplace(mGradients[i].id, static_cast<int>(i)); // the first one wins
    auto find = [&ids](std::string_view id)
    {
        const auto found = ids.find(id);
        return found == ids.end() ? -1 : found->second;
    };
    for (GradientDef& g : mGradients)
        g.link = g.href.empty() ? -1 : find(g.href);
    std::unordered_map<const char*, int> references;
    std::vector<Shape>& shapes = mDocument->shapes;
    for (const PendingPaint& pending : mPending)
    {
        const auto [at, added] = references.try_emplace(pending.spec.url.data(), -1);
        if (added)
            at->second = find(pending.spec.url);
        Shape& shape = shapes[pending.shape];
        (pending.stroke ? shape.stroke : shape.fill) = ResolveGradient(pending, at->second);
    }
    std::erase_if(shapes,
                  [](const Shape& s)
                  { return s.fill.kind == PaintKind::None && s.stroke.kind == PaintKind::None; });

    double width = mWidth * mOutputScale;
    double height = mHeight * mOutputScale;
    bool anyVisible = false;
    double right = 0.0;
    double bottom = 0.0;
    for (const Shape& s : shapes)
        if (s.visible)
        {
            anyVisible = true;
            right = std::max(right, double{s.bounds[2]});
            bottom = std::max(bottom, double{s.bounds[3]});
        }
    if (width == 0.0)
        width = right;
    if (height == 0.0)
        height = bottom;
    if (!anyVisible || !(width > 0.0 && height > 0.0) || !FitsFloat(width) || !FitsFloat(height))
        return nullptr;
    mDocument->width = static_cast<float>(width);
    mDocument->height = static_cast<float>(height);
    return std::move(mDocument);
}

std::unique_ptr<Document> Parser::Run(const char* text, size_t size)
{
    XmlReader xml(text, size);
    if (xml.Next() != XmlEvent::StartTag || xml.Name() != "svg")
        return nullptr;
    if (!BeginRoot(xml.Attributes()) || xml.SelfClosing())
        return nullptr;
    // A tag that cannot be read ends the document there, as a truncated file would.
    while (!mFrames.empty() && !mFailed)
    {
        const XmlEvent event = xml.Next();
        if (event == XmlEvent::End)
            break;
        if (event == XmlEvent::EndTag)
        {
            mFrames.pop_back();
            continue;
        }
        if (mFrames.size() >= static_cast<size_t>(kMaxElementDepth))
            return nullptr;
        StartElement(xml.Name(), xml.Attributes());
        if (xml.SelfClosing())
            mFrames.pop_back();
    }
    return Finish();
}

} // namespace

std::unique_ptr<Document> ParseSvg(const char* text, size_t size, const char* units, float dpi)
{
    if (text == nullptr || size > kMaxInputBytes || !(dpi > 0.f) || !std::isfinite(dpi))
        return nullptr;
    Parser parser(dpi, units);
    return parser.Run(text, size);
}

} // namespace plugkit::canvas::svg
