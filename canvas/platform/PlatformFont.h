#pragma once

#include "canvas/platform/FontDescriptor.h"
#include "plugkit/HeapBuffer.h"

#include <memory>

namespace plugkit::canvas::platform
{

/// A font file's bytes with the face chosen in them, handed to the drawing back end's own
/// glyph rendering. The descriptor points into `bytes`.
struct PlatformFontData
{
    static constexpr int32_t kGranularity = 4096;

    HeapBuffer bytes{kGranularity};
    int faceIndex = -1; ///< -1 when no face was found
    FontDescriptor descriptor{nullptr, 0, -1};

    /// Has bytes, a face and the tables a face needs.
    bool IsUsable() const { return faceIndex >= 0 && descriptor.IsValid(); }
};

/// A font the platform has loaded: a native handle for the platform's own controls and a way
/// to read the font's bytes back for the drawing back end. The base has neither.
class PlatformFont
{
public:
    explicit PlatformFont(bool isSystem = false)
        : mSystem(isSystem)
    {
    }
    virtual ~PlatformFont() = default;
    PlatformFont(const PlatformFont&) = delete;
    PlatformFont& operator=(const PlatformFont&) = delete;

    /// The platform's handle (an HFONT on Windows); null in the base.
    virtual void* GetNativeHandle() const { return nullptr; }
    /// A new record of the font's bytes, owned by the caller (null only when memory is
    /// exhausted). The base's is empty: no bytes, face index -1.
    virtual std::unique_ptr<PlatformFontData> ReadFontBytes() const;

    /// True for a font found by family name among the installed ones; false for one loaded
    /// from memory, a file or a resource.
    bool IsSystem() const { return mSystem; }

private:
    bool mSystem;
};

using PlatformFontPtr = std::unique_ptr<PlatformFont>;

} // namespace plugkit::canvas::platform
