#pragma once

#include "canvas/platform/nanovg/FontDescriptor.h"
#include "plugkit/HeapBuffer.h"

#include <cstdint>

namespace plugkit::canvas
{

/// A font file's bytes with the face chosen in them, as `PlatformFont::ReadFontBytes` hands
/// them to the drawing back end's glyph rendering. The descriptor points into `bytes`.
struct PlatformFontData
{
    static constexpr int32_t kGranularity = 4096;

    HeapBuffer bytes{kGranularity};
    int faceIndex = -1; ///< -1 when no face was found
    platform::FontDescriptor descriptor{nullptr, 0, -1};

    /// Has bytes and a face with the tables a face needs.
    bool IsUsable() const { return faceIndex >= 0 && descriptor.IsValid(); }
};

} // namespace plugkit::canvas
