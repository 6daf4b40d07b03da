// A small rasteriser for the SVG parser's tests: it fills the visible shapes of a document
// (solid colours and gradients, non-zero or even-odd) into an RGBA image with 4 x 4
// supersampling, so that tests can look at pixels and write PNGs to look at by eye.
// Strokes are not drawn.
#pragma once

#include "canvas/svg/SvgDocument.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plugkit::canvas::svg::test
{

struct Image
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; ///< rows top to bottom, 4 bytes a pixel

    const uint8_t* At(int x, int y) const
    {
        return rgba.data() + 4 * (static_cast<size_t>(y) * static_cast<size_t>(width) + x);
    }
};

/// The document at `scale` pixels per unit over an opaque `background` (0xRRGGBB).
Image Rasterise(const Document& doc, float scale, uint32_t background);

/// Writes `image` as a PNG file; false when it cannot.
bool WritePng(const Image& image, const std::string& path);

} // namespace plugkit::canvas::svg::test
