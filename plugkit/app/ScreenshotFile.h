#pragma once

#include "plugkit/HeapString.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace plugkit::app
{

/// Encodes `rgba` (`width` x `height` pixels of red, green, blue and alpha bytes, top row first)
/// as a PNG file at `path` (UTF-8). False, with no file left at the path, when the image is empty,
/// the encoding fails, the file cannot be created or not every byte reached it.
bool WritePngFile(const uint8_t* rgba, int width, int height, const char* path);

/// Turns `count` pixels of blue, green, red and an unused byte (a GDI section's layout) into
/// opaque red, green, blue and alpha, in place.
void BgrxToOpaqueRgba(uint8_t* pixels, size_t count);

/// The screenshot command's file: `folder` (ending in a separator), then
/// "<product>_screenshot_<YYYYmmdd_HHMMSS>.png" at `localTime`. False (and `out` empty) when the
/// time cannot be formatted.
bool FormatScreenshotPath(HeapString& out,
                          const char* folder,
                          const char* product,
                          const std::tm& localTime);

} // namespace plugkit::app
