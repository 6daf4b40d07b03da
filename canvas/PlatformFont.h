#pragma once

namespace plugkit::canvas
{

/// The bytes of a font file and the face within them, as the platform layer reads them for the
/// drawing back end's glyph rendering. Defined by the platform layer.
struct PlatformFontData;

/// A font loaded by the platform (from a file, an embedded resource, memory, or an installed
/// family). The toolkit only passes it from the platform to the drawing back end and deletes it;
/// the platform layer derives its native form from it.
class PlatformFont
{
public:
    /// `isSystem`: found by family name among the installed fonts (not loaded from data).
    explicit PlatformFont(bool isSystem)
        : mSystem(isSystem)
    {
    }
    virtual ~PlatformFont() = default;
    PlatformFont(const PlatformFont&) = delete;
    PlatformFont& operator=(const PlatformFont&) = delete;

    /// The platform's handle of the font; null by default.
    virtual void* GetNativeHandle() const { return nullptr; }
    /// A new record of the font file's bytes, owned by the caller; null when they cannot be read
    /// (the default).
    virtual PlatformFontData* ReadFontBytes() const { return nullptr; }

    bool IsSystem() const { return mSystem; }

private:
    bool mSystem;
};

/// How a platform font is asked for by family name.
enum class ETextStyle : int
{
    Normal = 0,
    Bold = 1,
    Italic = 2,
    kNumTextStyles
};

} // namespace plugkit::canvas
