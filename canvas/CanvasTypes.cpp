#include "canvas/CanvasTypes.h"

#include <cmath>
#include <cstring>

namespace plugkit::canvas
{

IBounds IBounds::GetPixelSnapped(float scale) const
{
    return {std::floor(L * scale) / scale,
            std::floor(T * scale) / scale,
            std::ceil(R * scale) / scale,
            std::ceil(B * scale) / scale};
}

bool ITextStyle::operator==(const ITextStyle& other) const
{
    return std::strncmp(font, other.font, kFontNameSize) == 0 && size == other.size &&
           color == other.color && entryBackgroundColor == other.entryBackgroundColor &&
           entryTextColor == other.entryTextColor && angle == other.angle && align == other.align &&
           valign == other.valign;
}

IAffineTransform IAffineTransform::Multiplied(const IAffineTransform& m) const
{
    return {xx * m.xx + xy * m.yx,
            yx * m.xx + yy * m.yx,
            xx * m.xy + xy * m.yy,
            yx * m.xy + yy * m.yy,
            xx * m.tx + xy * m.ty + tx,
            yx * m.tx + yy * m.ty + ty};
}

void IAffineTransform::Map(double& x, double& y) const
{
    const double mx = xx * x + xy * y + tx;
    const double my = yx * x + yy * y + ty;
    x = mx;
    y = my;
}

IFillPattern IFillPattern::Linear(
    float x1, float y1, float x2, float y2, std::initializer_list<IGradientStop> stops)
{
    IFillPattern p(EPatternType::Linear);
    const double dx = double(x2) - x1;
    const double dy = double(y2) - y1;
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len > 0.0 && std::isfinite(len))
    {
        const double theta = std::atan2(dx, dy);
        const double c = std::cos(theta) / len;
        const double s = std::sin(theta) / len;
        // Rounded to float precision, as the back end stores the matrix in floats.
        p.transform.xx = float(c);
        p.transform.yx = float(s);
        p.transform.xy = float(-s);
        p.transform.yy = float(c);
        p.transform.tx = float(-(x1 * c - y1 * s));
        p.transform.ty = float(-(y1 * c + x1 * s));
    }
    for (const IGradientStop& stop : stops)
        p.AddStop(stop.color, stop.offset);
    return p;
}

IFillPattern IFillPattern::Solid(const IArgbColor& color)
{
    IFillPattern p(EPatternType::Solid);
    p.AddStop(color, 0.f);
    return p;
}

bool IFillPattern::AddStop(const IArgbColor& color, float offset)
{
    if (nStops >= kMaxStops)
        return false;
    stops[nStops++] = {color, offset};
    return true;
}

} // namespace plugkit::canvas
