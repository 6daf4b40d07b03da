#pragma once

#include "canvas/svg/SvgDocument.h"

#include <cstddef>
#include <memory>

namespace plugkit::canvas::svg
{

/// Limits on untrusted input. A document that goes past any of them is refused as a whole,
/// so memory and time stay bounded by these figures and the input size.
inline constexpr size_t kMaxInputBytes = size_t{8} << 20;
/// Open elements at once, the root included.
inline constexpr int kMaxElementDepth = 64;
/// Shapes in the document, hidden ones included.
inline constexpr int kMaxShapes = 4096;
/// Path points (x, y pairs) over every shape.
inline constexpr int kMaxPoints = 1 << 20;
inline constexpr int kMaxGradients = 1024;
inline constexpr int kMaxGradientStops = 64; ///< per gradient element
/// Gradients followed through href links from one reference; a longer chain (or a cycle)
/// ends there.
inline constexpr int kMaxGradientLinks = 16;

/// Parses the SVG document in text[0, size) (no NUL terminator needed; the bytes are only
/// read). Lengths with units are converted at `dpi` (1 in = dpi px, em = 16 px, ex = 8 px),
/// and the result is expressed in `units` ("px", "pt", "pc", "mm", "cm", "in", "em", "ex";
/// null, "%" or an unknown name mean px). The root's width and height give the size; a
/// missing one comes from the viewBox, and without a viewBox from the right and bottom
/// edges of the drawing. A viewBox maps into that size by its preserveAspectRatio (default
/// xMidYMid meet).
///
/// Returns null for: no `<svg>` root element, more than `kMaxInputBytes`, a dpi that is not
/// positive and finite, a width, height or viewBox size that is zero, negative or not a
/// finite float, a document past any other limit above, or no visible shape. Otherwise every
/// value in the document is finite (see `Document`).
///
/// What is not supported (text, images, use, filters, masks, clip paths, patterns, markers,
/// CSS classes and style sheets) is skipped with its content; an attribute with an invalid or
/// non-finite value is ignored as if absent (path data: drawn up to a syntax error; a
/// non-finite number drops the whole path).
std::unique_ptr<Document> ParseSvg(const char* text, size_t size, const char* units, float dpi);

} // namespace plugkit::canvas::svg
