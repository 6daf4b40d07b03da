#include "canvas/DirtyRectList.h"

namespace plugkit::canvas
{

namespace
{
bool CoversNothing(const IBounds& r)
{
    return !(r.W() > 0.f && r.H() > 0.f);
}

/// Two rectangles whose union is exactly a rectangle: equal left and right with touching or
/// overlapping vertical spans, or equal top and bottom with touching horizontal spans.
bool Mergeable(const IBounds& a, const IBounds& b)
{
    if (a.L == b.L && a.R == b.R)
        return (a.T >= b.T && a.T <= b.B) || (b.T >= a.T && b.T <= a.B);
    if (a.T == b.T && a.B == b.B)
        return (a.L >= b.L && a.L <= b.R) || (b.L >= a.L && b.L <= a.R);
    return false;
}
} // namespace

IBounds DirtyRectList::Bounds() const
{
    if (mRects.empty())
        return {};
    IBounds u = mRects.front();
    for (const IBounds& r : mRects)
        u = u.Union(r);
    return u;
}

void DirtyRectList::PixelAlign(float scale)
{
    for (IBounds& r : mRects)
        r = r.GetPixelSnapped(scale);
}

int DirtyRectList::Subtract(const IBounds& r, const IBounds& hole, IBounds out[4])
{
    const IBounds x = r.Intersect(hole);
    if (x.Empty())
    {
        out[0] = r;
        return 1;
    }
    int n = 0;
    if (x.T > r.T)
        out[n++] = {r.L, r.T, r.R, x.T};
    if (x.B < r.B)
        out[n++] = {r.L, x.B, r.R, r.B};
    if (x.L > r.L)
        out[n++] = {r.L, x.T, x.L, x.B};
    if (x.R < r.R)
        out[n++] = {x.R, x.T, r.R, x.B};
    return n;
}

void DirtyRectList::CutBack(int i, const IBounds& hole)
{
    IBounds pieces[4];
    const int n = Subtract(Get(i), hole, pieces);
    // The hole lies inside the other rectangle of the pair, which stays in the list, so the
    // union is kept as long as every piece is.
    Get(i) = n > 0 ? pieces[0] : IBounds{};
    for (int k = 1; k < n; ++k)
        mRects.push_back(pieces[k]);
}

void DirtyRectList::Optimize()
{
    // First pass: remove covered rectangles and cut overlaps away.
    for (int i = 0; i < Size(); ++i)
    {
        for (int j = i + 1; j < Size();)
        {
            const IBounds a = Get(i);
            const IBounds b = Get(j);
            if (a.Contains(b))
            {
                RemoveAt(j);
                continue;
            }
            if (b.Contains(a))
            {
                RemoveAt(i);
                j = i + 1;
                if (i >= Size())
                    break;
                continue;
            }
            if (a.Intersects(b))
            {
                const IBounds x = a.Intersect(b);
                const bool spansA = (x.L == a.L && x.R == a.R) || (x.T == a.T && x.B == a.B);
                const bool spansB = (x.L == b.L && x.R == b.R) || (x.T == b.T && x.B == b.B);
                if (spansA)
                    CutBack(i, x);
                else if (spansB)
                    CutBack(j, x);
                else if (a.Area() < b.Area())
                    CutBack(i, x);
                else
                    CutBack(j, x);
            }
            ++j;
        }
    }

    // Second pass: drop what covers nothing, merge neighbours, until nothing changes.
    for (int i = Size() - 1; i >= 0; --i)
        if (CoversNothing(Get(i)))
            RemoveAt(i);
    bool merged = true;
    while (merged)
    {
        merged = false;
        for (int l = 0; l < Size() && !merged; ++l)
        {
            for (int i = l + 1; i < Size(); ++i)
            {
                if (Mergeable(Get(l), Get(i)))
                {
                    Get(i) = Get(i).Union(Get(l));
                    RemoveAt(l);
                    merged = true;
                    break;
                }
            }
        }
    }
}

} // namespace plugkit::canvas
