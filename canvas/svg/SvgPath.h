// Geometry of one element in its own user space, internal to plugkit_canvas_svg: the path
// grammar and the basic shapes, all turned into sub-paths of cubic segments.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace plugkit::canvas::svg
{

// Collects sub-paths as x, y pairs in double precision: each sub-path is its start point
// followed by three points per cubic segment. A sub-path without a segment is dropped. The
// sink stops taking points once `budget` points have been taken (Overflowed() turns true).
class PathSink
{
public:
    struct Span
    {
        size_t first = 0; // index of the sub-path's first x in `pts`
        size_t count = 0; // number of points
        bool closed = false;
    };

    void Reset(size_t budget);

    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void CubicTo(double x1, double y1, double x2, double y2, double x, double y);
    void QuadTo(double qx, double qy, double x, double y);
    // The elliptical arc of the path grammar from the current point to (x, y); at most four
    // cubics, one per quarter turn or less. Zero radii make a line, a zero-length arc
    // nothing; radii too small to reach the end are scaled up.
    void ArcTo(double rx, double ry, double degrees, bool largeArc, bool sweep, double x, double y);
    // Adds the closing line when the end is not the start, and marks the sub-path closed.
    void Close();

    double CurrentX() const { return mX; }
    double CurrentY() const { return mY; }
    bool Overflowed() const { return mOverflowed; }
    // The points taken so far, over every sub-path.
    size_t Taken() const { return mTaken; }

    std::vector<double> pts;
    std::vector<Span> spans;

private:
    // Makes sure a sub-path is open at the current point before a segment.
    void BeginSegment();
    void Push(double x, double y);
    void EndSubpath();

    double mX = 0.0;
    double mY = 0.0;
    double mStartX = 0.0;
    double mStartY = 0.0;
    bool mOpen = false;
    bool mOverflowed = false;
    size_t mBudget = 0;
    size_t mTaken = 0;
};

// Parses path data into `sink`. Stops at the first syntax error and keeps what came before
// it, as the SVG error rules ask. Returns false when a number is not a finite float: the
// attribute is then invalid as a whole.
bool ParsePathData(std::string_view d, PathSink& sink);

// Points of <polyline> and <polygon>: pairs of numbers; an odd last number is ignored. False
// for a non-finite number.
bool ParsePoints(std::string_view text, PathSink& sink, bool close);

void AddRect(PathSink& sink, double x, double y, double w, double h, double rx, double ry);
void AddEllipse(PathSink& sink, double cx, double cy, double rx, double ry);

} // namespace plugkit::canvas::svg
