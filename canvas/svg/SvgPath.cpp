#include "canvas/svg/SvgPath.h"

#include "canvas/svg/SvgScan.h"

#include <algorithm>
#include <cmath>

namespace plugkit::canvas::svg
{
namespace
{

constexpr double kPi = 3.14159265358979323846;

// True where ScanNumber would find a mantissa: so a failed scan there means a value out of
// the float range, not a missing number.
bool StartsNumber(const char* p, const char* end)
{
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    if (p < end && *p == '.')
        ++p;
    return p < end && *p >= '0' && *p <= '9';
}

enum class Scan
{
    Ok,
    Missing,  // a syntax error: the path ends here
    NotFinite // the attribute is invalid
};

Scan ScanNumbers(const char*& p, const char* end, double* out, int count)
{
    for (int i = 0; i < count; ++i)
    {
        SkipCommaSpace(p, end);
        if (!ScanNumber(p, end, out[i]))
            return StartsNumber(p, end) ? Scan::NotFinite : Scan::Missing;
    }
    return Scan::Ok;
}

bool ScanFlag(const char*& p, const char* end, bool& out)
{
    SkipCommaSpace(p, end);
    if (p >= end || (*p != '0' && *p != '1'))
        return false;
    out = *p++ == '1';
    return true;
}

// How many numbers one repetition of a command takes; 0 for Z and unknown letters.
int ArgumentCount(char upper)
{
    switch (upper)
    {
    case 'M':
    case 'L':
    case 'T':
        return 2;
    case 'H':
    case 'V':
        return 1;
    case 'C':
        return 6;
    case 'S':
    case 'Q':
        return 4;
    case 'A':
        return 7;
    default:
        return 0;
    }
}

bool IsCommand(char c)
{
    switch (c)
    {
    case 'M':
    case 'm':
    case 'Z':
    case 'z':
    case 'L':
    case 'l':
    case 'H':
    case 'h':
    case 'V':
    case 'v':
    case 'C':
    case 'c':
    case 'S':
    case 's':
    case 'Q':
    case 'q':
    case 'T':
    case 't':
    case 'A':
    case 'a':
        return true;
    default:
        return false;
    }
}

char ToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

void PathSink::Reset(size_t budget)
{
    pts.clear();
    spans.clear();
    mX = mY = mStartX = mStartY = 0.0;
    mOpen = false;
    mOverflowed = false;
    mBudget = budget;
    mTaken = 0;
}

void PathSink::Push(double x, double y)
{
    pts.push_back(x);
    pts.push_back(y);
    ++spans.back().count;
    ++mTaken;
    mX = x;
    mY = y;
}

void PathSink::BeginSegment()
{
    if (mOpen)
        return;
    spans.push_back({pts.size(), 0, false});
    mStartX = mX;
    mStartY = mY;
    mOpen = true;
    Push(mX, mY);
}

void PathSink::EndSubpath()
{
    mOpen = false;
}

void PathSink::MoveTo(double x, double y)
{
    EndSubpath();
    mX = mStartX = x;
    mY = mStartY = y;
}

void PathSink::CubicTo(double x1, double y1, double x2, double y2, double x, double y)
{
    const size_t need = mOpen ? 3 : 4;
    if (mOverflowed || mTaken + need > mBudget)
    {
        mOverflowed = true;
        return;
    }
    BeginSegment();
    Push(x1, y1);
    Push(x2, y2);
    Push(x, y);
}

void PathSink::LineTo(double x, double y)
{
    // Control points at the thirds keep the speed along the segment even.
    const double dx = x - mX;
    const double dy = y - mY;
    CubicTo(mX + dx / 3.0, mY + dy / 3.0, mX + 2.0 * dx / 3.0, mY + 2.0 * dy / 3.0, x, y);
}

void PathSink::QuadTo(double qx, double qy, double x, double y)
{
    CubicTo(mX + 2.0 / 3.0 * (qx - mX),
            mY + 2.0 / 3.0 * (qy - mY),
            x + 2.0 / 3.0 * (qx - x),
            y + 2.0 / 3.0 * (qy - y),
            x,
            y);
}

void PathSink::ArcTo(
    double rx, double ry, double degrees, bool largeArc, bool sweep, double x, double y)
{
    // Endpoint to centre parameterisation, as in the implementation notes of SVG 1.1.
    const double x1 = mX;
    const double y1 = mY;
    if (x1 == x && y1 == y)
        return;
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    if (rx == 0.0 || ry == 0.0)
    {
        LineTo(x, y);
        return;
    }
    const double phi = degrees * kPi / 180.0;
    const double cosPhi = std::cos(phi);
    const double sinPhi = std::sin(phi);
    const double hx = (x1 - x) / 2.0;
    const double hy = (y1 - y) / 2.0;
    const double x1p = cosPhi * hx + sinPhi * hy;
    const double y1p = -sinPhi * hx + cosPhi * hy;
    const double lambda = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
    if (lambda > 1.0)
    {
        const double grow = std::sqrt(lambda);
        rx *= grow;
        ry *= grow;
    }
    const double rx2 = rx * rx;
    const double ry2 = ry * ry;
    const double num = rx2 * ry2 - rx2 * y1p * y1p - ry2 * x1p * x1p;
    const double den = rx2 * y1p * y1p + ry2 * x1p * x1p;
    double coef = den > 0.0 ? std::sqrt(std::max(0.0, num / den)) : 0.0;
    if (largeArc == sweep)
        coef = -coef;
    const double cxp = coef * rx * y1p / ry;
    const double cyp = -coef * ry * x1p / rx;
    const double cx = cosPhi * cxp - sinPhi * cyp + (x1 + x) / 2.0;
    const double cy = sinPhi * cxp + cosPhi * cyp + (y1 + y) / 2.0;
    const double ux = (x1p - cxp) / rx;
    const double uy = (y1p - cyp) / ry;
    const double vx = (-x1p - cxp) / rx;
    const double vy = (-y1p - cyp) / ry;
    const double theta1 = std::atan2(uy, ux);
    double delta = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    if (!std::isfinite(theta1) || !std::isfinite(delta) || !std::isfinite(cx) || !std::isfinite(cy))
    {
        LineTo(x, y);
        return;
    }
    if (!sweep && delta > 0.0)
        delta -= 2.0 * kPi;
    else if (sweep && delta < 0.0)
        delta += 2.0 * kPi;

    // |delta| <= 2 pi, so at most four pieces; the tolerance keeps an exact quarter whole.
    const int pieces =
        std::clamp(static_cast<int>(std::ceil(std::fabs(delta) / (kPi / 2.0) - 1e-7)), 1, 4);
    const double step = delta / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4.0);
    auto point = [&](double a, double& px, double& py)
    {
        px = cx + rx * std::cos(a) * cosPhi - ry * std::sin(a) * sinPhi;
        py = cy + rx * std::cos(a) * sinPhi + ry * std::sin(a) * cosPhi;
    };
    auto tangent = [&](double a, double& tx, double& ty)
    {
        tx = -rx * std::sin(a) * cosPhi - ry * std::cos(a) * sinPhi;
        ty = -rx * std::sin(a) * sinPhi + ry * std::cos(a) * cosPhi;
    };
    double px = x1;
    double py = y1;
    for (int i = 0; i < pieces; ++i)
    {
        const double a0 = theta1 + step * i;
        const double a1 = a0 + step;
        double t0x, t0y, t1x, t1y, ex, ey;
        tangent(a0, t0x, t0y);
        tangent(a1, t1x, t1y);
        if (i + 1 == pieces)
        {
            ex = x;
            ey = y;
        }
        else
            point(a1, ex, ey);
        CubicTo(px + k * t0x, py + k * t0y, ex - k * t1x, ey - k * t1y, ex, ey);
        px = ex;
        py = ey;
    }
}

void PathSink::Close()
{
    if (!mOpen)
    {
        mX = mStartX;
        mY = mStartY;
        return;
    }
    if (mX != mStartX || mY != mStartY)
        LineTo(mStartX, mStartY);
    if (mOverflowed)
        return;
    spans.back().closed = true;
    EndSubpath();
    mX = mStartX;
    mY = mStartY;
}

bool ParsePathData(std::string_view d, PathSink& sink)
{
    const char* p = d.data();
    const char* end = p + d.size();
    char command = 0;
    char previous = 0; // the upper-case letter of the last segment, for S and T
    double controlX = 0.0;
    double controlY = 0.0;
    for (;;)
    {
        SkipCommaSpace(p, end);
        if (p >= end || sink.Overflowed())
            return true;
        if (IsCommand(*p))
            command = *p++;
        else if (command == 0 || ToUpper(command) == 'Z')
            return true; // numbers with no command to take them
        else if (command == 'M')
            command = 'L'; // pairs after a moveto are implicit linetos
        else if (command == 'm')
            command = 'l';
        const char upper = ToUpper(command);
        if (previous == 0 && upper != 'M')
            return true; // a path must begin with a moveto
        const bool relative = command != upper;
        const double ox = relative ? sink.CurrentX() : 0.0;
        const double oy = relative ? sink.CurrentY() : 0.0;
        double a[7] = {};
        Scan scan = Scan::Ok;
        if (upper == 'A')
        {
            bool largeArc = false;
            bool sweep = false;
            scan = ScanNumbers(p, end, a, 3);
            if (scan == Scan::Ok && !(ScanFlag(p, end, largeArc) && ScanFlag(p, end, sweep)))
                scan = Scan::Missing;
            if (scan == Scan::Ok)
                scan = ScanNumbers(p, end, a + 5, 2);
            if (scan == Scan::Ok)
                sink.ArcTo(a[0], a[1], a[2], largeArc, sweep, ox + a[5], oy + a[6]);
        }
        else
            scan = ScanNumbers(p, end, a, ArgumentCount(upper));
        if (scan == Scan::NotFinite)
            return false;
        if (scan == Scan::Missing)
            return true;

        const double cx = sink.CurrentX();
        const double cy = sink.CurrentY();
        switch (upper)
        {
        case 'M':
            sink.MoveTo(ox + a[0], oy + a[1]);
            break;
        case 'Z':
            sink.Close();
            break;
        case 'L':
            sink.LineTo(ox + a[0], oy + a[1]);
            break;
        case 'H':
            sink.LineTo(ox + a[0], cy);
            break;
        case 'V':
            sink.LineTo(cx, oy + a[0]);
            break;
        case 'C':
            sink.CubicTo(ox + a[0], oy + a[1], ox + a[2], oy + a[3], ox + a[4], oy + a[5]);
            controlX = ox + a[2];
            controlY = oy + a[3];
            break;
        case 'S':
        {
            const bool reflect = previous == 'C' || previous == 'S';
            const double x1 = reflect ? 2.0 * cx - controlX : cx;
            const double y1 = reflect ? 2.0 * cy - controlY : cy;
            sink.CubicTo(x1, y1, ox + a[0], oy + a[1], ox + a[2], oy + a[3]);
            controlX = ox + a[0];
            controlY = oy + a[1];
            break;
        }
        case 'Q':
            sink.QuadTo(ox + a[0], oy + a[1], ox + a[2], oy + a[3]);
            controlX = ox + a[0];
            controlY = oy + a[1];
            break;
        case 'T':
        {
            const bool reflect = previous == 'Q' || previous == 'T';
            controlX = reflect ? 2.0 * cx - controlX : cx;
            controlY = reflect ? 2.0 * cy - controlY : cy;
            sink.QuadTo(controlX, controlY, ox + a[0], oy + a[1]);
            break;
        }
        default: // 'A', drawn above
            break;
        }
        previous = upper;
    }
}

bool ParsePoints(std::string_view text, PathSink& sink, bool close)
{
    const char* p = text.data();
    const char* end = p + text.size();
    bool first = true;
    for (;;)
    {
        double xy[2];
        const Scan scan = ScanNumbers(p, end, xy, 2);
        if (scan == Scan::NotFinite)
            return false;
        if (scan == Scan::Missing)
            break;
        if (first)
            sink.MoveTo(xy[0], xy[1]);
        else
            sink.LineTo(xy[0], xy[1]);
        first = false;
    }
    if (close)
        sink.Close();
    return true;
}

void AddRect(PathSink& sink, double x, double y, double w, double h, double rx, double ry)
{
    if (rx <= 0.0 || ry <= 0.0)
    {
        sink.MoveTo(x, y);
        sink.LineTo(x + w, y);
        sink.LineTo(x + w, y + h);
        sink.LineTo(x, y + h);
        sink.Close();
        return;
    }
    // Straight edges only where the corners leave some.
    auto lineTo = [&sink](double px, double py)
    {
        if (px != sink.CurrentX() || py != sink.CurrentY())
            sink.LineTo(px, py);
    };
    sink.MoveTo(x + rx, y);
    lineTo(x + w - rx, y);
    sink.ArcTo(rx, ry, 0.0, false, true, x + w, y + ry);
    lineTo(x + w, y + h - ry);
    sink.ArcTo(rx, ry, 0.0, false, true, x + w - rx, y + h);
    lineTo(x + rx, y + h);
    sink.ArcTo(rx, ry, 0.0, false, true, x, y + h - ry);
    lineTo(x, y + ry);
    sink.ArcTo(rx, ry, 0.0, false, true, x + rx, y);
    sink.Close();
}

void AddEllipse(PathSink& sink, double cx, double cy, double rx, double ry)
{
    sink.MoveTo(cx + rx, cy);
    sink.ArcTo(rx, ry, 0.0, false, true, cx, cy + ry);
    sink.ArcTo(rx, ry, 0.0, false, true, cx - rx, cy);
    sink.ArcTo(rx, ry, 0.0, false, true, cx, cy - ry);
    sink.ArcTo(rx, ry, 0.0, false, true, cx + rx, cy);
    sink.Close();
}

} // namespace plugkit::canvas::svg
