#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// An image read back from a PNG file: width x height RGBA pixels, top row first.
struct PngImage
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

/// Reads the PNG file at `path` (UTF-8); false when it is missing or is no PNG.
bool ReadPng(const std::string& path, PngImage& image);

} // namespace lumenfall::test
