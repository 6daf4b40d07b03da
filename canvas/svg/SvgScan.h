// Lexical pieces of the SVG parser: numbers, lengths, colours, transforms and the affine
// matrix they build. Internal to plugkit_canvas_svg. Every function reads only [p, end),
// never past it, and none depends on the C locale.
#pragma once

#include "canvas/svg/SvgDocument.h"

#include <string_view>

namespace plugkit::canvas::svg
{

// x' = m[0] x + m[2] y + m[4], y' = m[1] x + m[3] y + m[5], as `Gradient::xform`.
struct Matrix
{
    double m[6] = {1.0, 0.0, 0.0, 1.0, 0.0, 0.0};

    static Matrix Translate(double x, double y) { return {{1.0, 0.0, 0.0, 1.0, x, y}}; }
    static Matrix Scale(double sx, double sy) { return {{sx, 0.0, 0.0, sy, 0.0, 0.0}}; }
    // Clockwise in a y-down space, as SVG's rotate().
    static Matrix Rotate(double degrees);

    // this x other: `other` applies first.
    Matrix operator*(const Matrix& other) const;
    void Apply(double x, double y, double& outX, double& outY) const;
    double Determinant() const { return m[0] * m[3] - m[1] * m[2]; }
    // False (and `out` untouched) when the inverse is singular or not finite in float range.
    bool Invert(Matrix& out) const;
};

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline void SkipSpace(const char*& p, const char* end)
{
    while (p < end && IsSpace(*p))
        ++p;
}

// Skips white space and at most one comma between list items.
void SkipCommaSpace(const char*& p, const char* end);

// Scans one number: [sign] digits [. digits] [(e|E) [sign] digits], at least one mantissa
// digit. An exponent marker not followed by digits is left unread (so "1em" is a number and
// a unit), and a second '.' ends the number ("1.5.5" is 1.5 then .5). On success `p` moves
// past the number. Fails without moving `p` when there is no number or when its value is
// not a finite float.
bool ScanNumber(const char*& p, const char* end, double& out);

std::string_view Trim(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

enum class Unit
{
    None,
    Px,
    Pt,
    Pc,
    Mm,
    Cm,
    In,
    Em,
    Ex,
    Percent,
    kNumUnits
};

struct Length
{
    double value = 0.0;
    Unit unit = Unit::None;
};

// A whole attribute value that is one number with an optional unit, white space around it.
bool ParseLength(std::string_view text, Length& out);
// One length at `p` inside a list; moves `p` past it.
bool ScanLength(const char*& p, const char* end, Length& out);

// The size of one `unit` in pixels at `dpi`; "em" is taken as 16 px and "ex" as 8 px, as no
// font size is known; 0 for a percentage, which needs a reference.
double UnitToPixels(Unit unit, double dpi);
// The unit named by `name` ("px", "mm", ...); `Unit::None` for an unknown name.
Unit UnitFromName(std::string_view name);

// "#rgb", "#rrggbb", "rgb(r, g, b)" and "rgba(r, g, b, a)" with numbers or percentages, and
// the CSS colour names (any letter case, with "transparent"). Channels are clamped.
bool ParseColor(std::string_view text, Color& out);

// A transform list: matrix, translate, scale, rotate (with an optional centre), skewX,
// skewY, separated by white space or commas; their product in list order. Fails on any
// syntax error or non-finite value.
bool ParseTransform(std::string_view text, Matrix& out);

} // namespace plugkit::canvas::svg
