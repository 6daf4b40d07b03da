#pragma once

#include "canvas/CanvasTypes.h"

#include <cstddef>
#include <vector>

namespace plugkit::canvas
{

/// The areas to redraw in one frame.
///
/// `Optimize` guarantee: the union of the rectangles is unchanged (no area is lost and none
/// is added); rectangles covered by another are removed, overlaps are cut away from one of
/// each overlapping pair (every remaining piece kept) and neighbours sharing a full edge
/// are merged.
class DirtyRectList
{
public:
    void Add(const IBounds& r) { mRects.push_back(r); }
    void Clear() { mRects.clear(); }
    int Size() const { return static_cast<int>(mRects.size()); }
    bool Empty() const { return mRects.empty(); }
    const IBounds& Get(int i) const { return mRects[static_cast<std::size_t>(i)]; }
    IBounds& Get(int i) { return mRects[static_cast<std::size_t>(i)]; }
    /// The smallest rectangle holding every entry; empty when there are none.
    IBounds Bounds() const;

    /// Snaps every rectangle outward to whole device pixels at `scale`.
    void PixelAlign(float scale);
    /// See the class comment; the order of the result is unspecified.
    void Optimize();

    /// Appends to `out` the parts of `r` outside `hole` (at most four disjoint pieces).
    static int Subtract(const IBounds& r, const IBounds& hole, IBounds out[4]);

private:
    void RemoveAt(int i) { mRects.erase(mRects.begin() + i); }
    /// Replaces entry i by `r` minus `hole`, appending any further pieces.
    void CutBack(int i, const IBounds& hole);

    std::vector<IBounds> mRects;
};

} // namespace plugkit::canvas
