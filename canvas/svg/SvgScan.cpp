#include "canvas/svg/SvgScan.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace plugkit::canvas::svg
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char ToLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool FitsFloat(double v)
{
    return std::isfinite(v) && std::fabs(v) <= FLT_MAX;
}

// 10^e for 0 <= e; exact up to 10^22, infinite past the double range.
double PowerOfTen(int e)
{
    static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double result = 1.0;
    while (e > 22)
    {
        result *= 1e22;
        e -= 22;
        if (!std::isfinite(result))
            return result;
    }
    return result * kExact[e];
}

struct NamedColor
{
    const char* name;
    uint32_t rgb;
};

// The CSS colour keywords, in alphabetical order.
constexpr NamedColor kNamedColors[] = {
    {"aliceblue", 0xF0F8FF},
    {"antiquewhite", 0xFAEBD7},
    {"aqua", 0x00FFFF},
    {"aquamarine", 0x7FFFD4},
    {"azure", 0xF0FFFF},
    {"beige", 0xF5F5DC},
    {"bisque", 0xFFE4C4},
    {"black", 0x000000},
    {"blanchedalmond", 0xFFEBCD},
    {"blue", 0x0000FF},
    {"blueviolet", 0x8A2BE2},
    {"brown", 0xA52A2A},
    {"burlywood", 0xDEB887},
    {"cadetblue", 0x5F9EA0},
    {"chartreuse", 0x7FFF00},
    {"chocolate", 0xD2691E},
    {"coral", 0xFF7F50},
    {"cornflowerblue", 0x6495ED},
    {"cornsilk", 0xFFF8DC},
    {"crimson", 0xDC143C},
    {"cyan", 0x00FFFF},
    {"darkblue", 0x00008B},
    {"darkcyan", 0x008B8B},
    {"darkgoldenrod", 0xB8860B},
    {"darkgray", 0xA9A9A9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xA9A9A9},
    {"darkkhaki", 0xBDB76B},
    {"darkmagenta", 0x8B008B},
    {"darkolivegreen", 0x556B2F},
    {"darkorange", 0xFF8C00},
    {"darkorchid", 0x9932CC},
    {"darkred", 0x8B0000},
    {"darksalmon", 0xE9967A},
    {"darkseagreen", 0x8FBC8F},
    {"darkslateblue", 0x483D8B},
    {"darkslategray", 0x2F4F4F},
    {"darkslategrey", 0x2F4F4F},
    {"darkturquoise", 0x00CED1},
    {"darkviolet", 0x9400D3},
    {"deeppink", 0xFF1493},
    {"deepskyblue", 0x00BFFF},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1E90FF},
    {"firebrick", 0xB22222},
    {"floralwhite", 0xFFFAF0},
    {"forestgreen", 0x228B22},
    {"fuchsia", 0xFF00FF},
    {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xF8F8FF},
    {"gold", 0xFFD700},
    {"goldenrod", 0xDAA520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xADFF2F},
    {"grey", 0x808080},
    {"honeydew", 0xF0FFF0},
    {"hotpink", 0xFF69B4},
    {"indianred", 0xCD5C5C},
    {"indigo", 0x4B0082},
    {"ivory", 0xFFFFF0},
    {"khaki", 0xF0E68C},
    {"lavender", 0xE6E6FA},
    {"lavenderblush", 0xFFF0F5},
    {"lawngreen", 0x7CFC00},
    {"lemonchiffon", 0xFFFACD},
    {"lightblue", 0xADD8E6},
    {"lightcoral", 0xF08080},
    {"lightcyan", 0xE0FFFF},
    {"lightgoldenrodyellow", 0xFAFAD2},
    {"lightgray", 0xD3D3D3},
    {"lightgreen", 0x90EE90},
    {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xFFB6C1},
    {"lightsalmon", 0xFFA07A},
    {"lightseagreen", 0x20B2AA},
    {"lightskyblue", 0x87CEFA},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xB0C4DE},
    {"lightyellow", 0xFFFFE0},
    {"lime", 0x00FF00},
    {"limegreen", 0x32CD32},
    {"linen", 0xFAF0E6},
    {"magenta", 0xFF00FF},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66CDAA},
    {"mediumblue", 0x0000CD},
    {"mediumorchid", 0xBA55D3},
    {"mediumpurple", 0x9370DB},
    {"mediumseagreen", 0x3CB371},
    {"mediumslateblue", 0x7B68EE},
    {"mediumspringgreen", 0x00FA9A},
    {"mediumturquoise", 0x48D1CC},
    {"mediumvioletred", 0xC71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xF5FFFA},
    {"mistyrose", 0xFFE4E1},
    {"moccasin", 0xFFE4B5},
    {"navajowhite", 0xFFDEAD},
    {"navy", 0x000080},
    {"oldlace", 0xFDF5E6},
    {"olive", 0x808000},
    {"olivedrab", 0x6B8E23},
    {"orange", 0xFFA500},
    {"orangered", 0xFF4500},
    {"orchid", 0xDA70D6},
    {"palegoldenrod", 0xEEE8AA},
    {"palegreen", 0x98FB98},
    {"paleturquoise", 0xAFEEEE},
    {"palevioletred", 0xDB7093},
    {"papayawhip", 0xFFEFD5},
    {"peachpuff", 0xFFDAB9},
    {"peru", 0xCD853F},
    {"pink", 0xFFC0CB},
    {"plum", 0xDDA0DD},
    {"powderblue", 0xB0E0E6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xFF0000},
    {"rosybrown", 0xBC8F8F},
    {"royalblue", 0x4169E1},
    {"saddlebrown", 0x8B4513},
    {"salmon", 0xFA8072},
    {"sandybrown", 0xF4A460},
    {"seagreen", 0x2E8B57},
    {"seashell", 0xFFF5EE},
    {"sienna", 0xA0522D},
    {"silver", 0xC0C0C0},
    {"skyblue", 0x87CEEB},
    {"slateblue", 0x6A5ACD},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xFFFAFA},
    {"springgreen", 0x00FF7F},
    {"steelblue", 0x4682B4},
    {"tan", 0xD2B48C},
    {"teal", 0x008080},
    {"thistle", 0xD8BFD8},
    {"tomato", 0xFF6347},
    {"turquoise", 0x40E0D0},
    {"violet", 0xEE82EE},
    {"wheat", 0xF5DEB3},
    {"white", 0xFFFFFF},
    {"whitesmoke", 0xF5F5F5},
    {"yellow", 0xFFFF00},
    {"yellowgreen", 0x9ACD32},
};

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    c = ToLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint8_t ClampToByte(double v)
{
    v = v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v);
    return static_cast<uint8_t>(v + 0.5);
}

// One rgb() channel, a number 0..255 or a percentage; moves `p` past it.
bool ScanChannel(const char*& p, const char* end, uint8_t& out)
{
    double v = 0.0;
    if (!ScanNumber(p, end, v))
        return false;
    if (p < end && *p == '%')
    {
        ++p;
        v = v * 255.0 / 100.0;
    }
    out = ClampToByte(v);
    return true;
}

bool ParseFunctionalColor(std::string_view text, Color& out)
{
    const bool withAlpha = text.size() > 5 && EqualsNoCase(text.substr(0, 5), "rgba(");
    if (!withAlpha && !(text.size() > 4 && EqualsNoCase(text.substr(0, 4), "rgb(")))
        return false;
    const char* p = text.data() + (withAlpha ? 5 : 4);
    const char* end = text.data() + text.size();
    Color c;
    uint8_t* channels[] = {&c.r, &c.g, &c.b};
    for (int i = 0; i < 3; ++i)
    {
        SkipSpace(p, end);
        if (!ScanChannel(p, end, *channels[i]))
            return false;
        SkipSpace(p, end);
        if (i < 2 || withAlpha)
        {
            if (p >= end || *p != ',')
                return false;
            ++p;
        }
    }
    if (withAlpha)
    {
        SkipSpace(p, end);
        double a = 0.0;
        if (!ScanNumber(p, end, a))
            return false;
        if (p < end && *p == '%')
        {
            ++p;
            a /= 100.0;
        }
        c.a = ClampToByte(a * 255.0);
        SkipSpace(p, end);
    }
    if (p >= end || *p != ')')
        return false;
    ++p;
    SkipSpace(p, end);
    if (p != end)
        return false;
    out = c;
    return true;
}

bool ParseHexColor(std::string_view text, Color& out)
{
    if (text.size() != 4 && text.size() != 7)
        return false;
    int digits[6] = {};
    const int n = static_cast<int>(text.size()) - 1;
    for (int i = 0; i < n; ++i)
    {
        digits[i] = HexValue(text[static_cast<size_t>(i) + 1]);
        if (digits[i] < 0)
            return false;
    }
    if (n == 3)
        out = {static_cast<uint8_t>(digits[0] * 17),
               static_cast<uint8_t>(digits[1] * 17),
               static_cast<uint8_t>(digits[2] * 17),
               255};
    else
        out = {static_cast<uint8_t>(digits[0] * 16 + digits[1]),
               static_cast<uint8_t>(digits[2] * 16 + digits[3]),
               static_cast<uint8_t>(digits[4] * 16 + digits[5]),
               255};
    return true;
}

// Fills `values` with up to `maxCount` numbers of a transform's argument list, "(...)".
bool ScanArguments(const char*& p, const char* end, double* values, int maxCount, int& count)
{
    SkipSpace(p, end);
    if (p >= end || *p != '(')
        return false;
    ++p;
    count = 0;
    SkipSpace(p, end);
    while (p < end && *p != ')')
    {
        if (count == maxCount || !ScanNumber(p, end, values[count]))
            return false;
        ++count;
        SkipCommaSpace(p, end);
    }
    if (p >= end)
        return false;
    ++p;
    return true;
}

bool IsFinite(const Matrix& t)
{
    for (double v : t.m)
        if (!std::isfinite(v))
            return false;
    return true;
}

} // namespace

Matrix Matrix::Rotate(double degrees)
{
    const double a = degrees * kPi / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {{c, s, -s, c, 0.0, 0.0}};
}

Matrix Matrix::operator*(const Matrix& o) const
{
    const double* a = m;
    const double* b = o.m;
    return {{a[0] * b[0] + a[2] * b[1],
             a[1] * b[0] + a[3] * b[1],
             a[0] * b[2] + a[2] * b[3],
             a[1] * b[2] + a[3] * b[3],
             a[0] * b[4] + a[2] * b[5] + a[4],
             a[1] * b[4] + a[3] * b[5] + a[5]}};
}

void Matrix::Apply(double x, double y, double& outX, double& outY) const
{
    outX = m[0] * x + m[2] * y + m[4];
    outY = m[1] * x + m[3] * y + m[5];
}

bool Matrix::Invert(Matrix& out) const
{
    const double det = Determinant();
    if (det == 0.0 || !std::isfinite(det))
        return false;
    const double r = 1.0 / det;
    const Matrix inv{{m[3] * r,
                      -m[1] * r,
                      -m[2] * r,
                      m[0] * r,
                      (m[2] * m[5] - m[3] * m[4]) * r,
                      (m[1] * m[4] - m[0] * m[5]) * r}};
    for (double v : inv.m)
        if (!FitsFloat(v))
            return false;
    out = inv;
    return true;
}

void SkipCommaSpace(const char*& p, const char* end)
{
    SkipSpace(p, end);
    if (p < end && *p == ',')
    {
        ++p;
        SkipSpace(p, end);
    }
}

bool ScanNumber(const char*& p, const char* end, double& out)
{
    // At most 19 significant digits fit a uint64; later digits only move the exponent.
    constexpr int kMaxDigits = 19;
    const char* s = p;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-'))
    {
        negative = *s == '-';
        ++s;
    }
    uint64_t mantissa = 0;
    int kept = 0;
    int exponent = 0;
    bool anyDigit = false;
    auto take = [&](int digit, bool fraction)
    {
        anyDigit = true;
        if (kept < kMaxDigits)
        {
            mantissa = mantissa * 10 + static_cast<uint64_t>(digit);
            if (mantissa != 0)
                ++kept;
            if (fraction)
                --exponent;
        }
        else if (!fraction)
            ++exponent;
    };
    while (s < end && IsDigit(*s))
        take(*s++ - '0', false);
    if (s < end && *s == '.')
    {
        ++s;
        while (s < end && IsDigit(*s))
            take(*s++ - '0', true);
    }
    if (!anyDigit)
        return false;
    if (s < end && (*s == 'e' || *s == 'E'))
    {
        const char* e = s + 1;
        bool negativeExponent = false;
        if (e < end && (*e == '+' || *e == '-'))
        {
            negativeExponent = *e == '-';
            ++e;
        }
        if (e < end && IsDigit(*e))
        {
            // Anything past 99999 is out of every range; stop growing there.
            int value = 0;
            while (e < end && IsDigit(*e))
            {
                if (value < 100000)
                    value = value * 10 + (*e - '0');
                ++e;
            }
            exponent += negativeExponent ? -value : value;
            s = e;
        }
    }
    double v = static_cast<double>(mantissa);
    if (mantissa != 0)
        v = exponent >= 0 ? v * PowerOfTen(exponent) : v / PowerOfTen(-exponent);
    if (!FitsFloat(v))
        return false;
    out = negative ? -v : v;
    p = s;
    return true;
}

std::string_view Trim(std::string_view text)
{
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsSpace(text[b]))
        ++b;
    while (e > b && IsSpace(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToLower(a[i]) != ToLower(b[i]))
            return false;
    return true;
}

Unit UnitFromName(std::string_view name)
{
    static constexpr struct
    {
        const char* name;
        Unit unit;
    } kUnits[] = {
        {"px", Unit::Px},
        {"pt", Unit::Pt},
        {"pc", Unit::Pc},
        {"mm", Unit::Mm},
        {"cm", Unit::Cm},
        {"in", Unit::In},
        {"em", Unit::Em},
        {"ex", Unit::Ex},
        {"%", Unit::Percent},
    };
    for (const auto& u : kUnits)
        if (EqualsNoCase(name, u.name))
            return u.unit;
    return Unit::None;
}

double UnitToPixels(Unit unit, double dpi)
{
    switch (unit)
    {
    case Unit::Pt:
        return dpi / 72.0;
    case Unit::Pc:
        return dpi / 6.0;
    case Unit::Mm:
        return dpi / 25.4;
    case Unit::Cm:
        return dpi / 2.54;
    case Unit::In:
        return dpi;
    case Unit::Em:
        return 16.0;
    case Unit::Ex:
        return 8.0;
    case Unit::Percent:
        return 0.0;
    default:
        return 1.0;
    }
}

bool ScanLength(const char*& p, const char* end, Length& out)
{
    const char* s = p;
    double v = 0.0;
    if (!ScanNumber(s, end, v))
        return false;
    const char* unitStart = s;
    if (s < end && *s == '%')
        ++s;
    else
        while (s < end && IsAlpha(*s))
            ++s;
    Unit unit = Unit::None;
    if (s != unitStart)
    {
        unit = UnitFromName(std::string_view(unitStart, static_cast<size_t>(s - unitStart)));
        if (unit == Unit::None)
            return false;
    }
    out = {v, unit};
    p = s;
    return true;
}

bool ParseLength(std::string_view text, Length& out)
{
    text = Trim(text);
    const char* p = text.data();
    const char* end = p + text.size();
    Length length;
    if (!ScanLength(p, end, length) || p != end)
        return false;
    out = length;
    return true;
}

bool ParseColor(std::string_view text, Color& out)
{
    text = Trim(text);
    if (text.empty())
        return false;
    if (text[0] == '#')
        return ParseHexColor(text, out);
    if (ParseFunctionalColor(text, out))
        return true;
    if (EqualsNoCase(text, "transparent"))
    {
        out = {0, 0, 0, 0};
        return true;
    }
    // The table is in alphabetical order: compare in lower case and search it by halves.
    char lower[24] = {};
    if (text.size() >= sizeof lower)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        lower[i] = ToLower(text[i]);
    const std::string_view name(lower, text.size());
    const NamedColor* end = std::end(kNamedColors);
    const NamedColor* found = std::lower_bound(std::begin(kNamedColors),
                                               end,
                                               name,
                                               [](const NamedColor& entry, std::string_view key)
                                               { return std::string_view(entry.name) < key; });
    if (found == end || std::string_view(found->name) != name)
        return false;
    out = {static_cast<uint8_t>(found->rgb >> 16),
           static_cast<uint8_t>(found->rgb >> 8),
           static_cast<uint8_t>(found->rgb),
           255};
    return true;
}

bool ParseTransform(std::string_view text, Matrix& out)
{
    const char* p = text.data();
    const char* end = p + text.size();
    Matrix result;
    for (;;)
    {
        SkipCommaSpace(p, end);
        if (p >= end)
            break;
        const char* name = p;
        while (p < end && IsAlpha(*p))
            ++p;
        const std::string_view kind(name, static_cast<size_t>(p - name));
        double a[6] = {};
        int n = 0;
        if (kind.empty() || !ScanArguments(p, end, a, 6, n))
            return false;
        Matrix t;
        if (kind == "matrix" && n == 6)
            t = {{a[0], a[1], a[2], a[3], a[4], a[5]}};
        else if (kind == "translate" && (n == 1 || n == 2))
            t = Matrix::Translate(a[0], n == 2 ? a[1] : 0.0);
        else if (kind == "scale" && (n == 1 || n == 2))
            t = Matrix::Scale(a[0], n == 2 ? a[1] : a[0]);
        else if (kind == "rotate" && n == 1)
            t = Matrix::Rotate(a[0]);
        else if (kind == "rotate" && n == 3)
            t = Matrix::Translate(a[1], a[2]) * Matrix::Rotate(a[0]) *
                Matrix::Translate(-a[1], -a[2]);
        else if (kind == "skewX" && n == 1)
            t = {{1.0, 0.0, std::tan(a[0] * kPi / 180.0), 1.0, 0.0, 0.0}};
        else if (kind == "skewY" && n == 1)
            t = {{1.0, std::tan(a[0] * kPi / 180.0), 0.0, 1.0, 0.0, 0.0}};
        else
            return false;
        result = result * t;
        if (!IsFinite(result))
            return false;
    }
    out = result;
    return true;
}

} // namespace plugkit::canvas::svg
