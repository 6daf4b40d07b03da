#pragma once

// Fonts on Windows: installed families found by name, fonts installed privately from memory, a
// file or an embedded resource, and the two process-wide caches behind them (the installed
// memory fonts, and the font handles the native text field uses). Windows only.

#include "canvas/PlatformFont.h"
#include "plugkit/HeapString.h"

#include <cstdint>

// The font handle type as <windows.h> declares it, which this header does not include (its
// macros rename toolkit calls such as LoadBitmap and DrawText).
struct HFONT__;
using HFONT = HFONT__*;

namespace plugkit::canvas::platform
{

/// A font with its Windows handle, which it owns and deletes.
class WinFont : public PlatformFont
{
public:
    /// `style`: "Regular", "Bold" or "Italic" for a font found by name; empty for one loaded
    /// from data, whose bytes then match any face.
    WinFont(HFONT font, bool isSystem, const char* style);
    ~WinFont() override;

    void* GetNativeHandle() const override { return mFont; }
    /// The font file's bytes as the font system holds them (a whole collection when the font
    /// lives in one, read with the collection's own size) and the face whose style name
    /// matches. Null only when memory is exhausted; the record is empty (face -1) when the
    /// bytes cannot be read or no face matches.
    PlatformFontData* ReadFontBytes() const override;

    const char* GetStyleName() const { return mStyle.Get(); }

private:
    HFONT mFont;
    HeapString mStyle;
};

/// The UTF-16 units a logical font's face name holds, without its terminator.
inline constexpr int kFaceNameUnits = 31;

/// Writes the UTF-8 `name` to `face` as a logical font's face name: at most `kFaceNameUnits`
/// UTF-16 units and a terminator, a surrogate pair kept whole or dropped whole. Returns the
/// units written before the terminator.
int CopyFaceName(const char* name, wchar_t (&face)[kFaceNameUnits + 1]);

/// The installed font whose face name is exactly `name` (UTF-8, letter case included), created
/// with the given weight, italic and underline flags and output quality; null when there is
/// none. The face name is cut to the 31 UTF-16 units a logical font holds, never inside a
/// surrogate pair. With `mustExist`, a family that the screen does not enumerate gives null
/// without creating anything.
HFONT FindSystemFont(
    const char* name, int weight, bool italic, bool underline, int quality, bool mustExist);

/// The installed family `family` in `style` (Bold: weight 700; Italic: weight 400 italic;
/// otherwise weight 400); null when it is not installed under exactly that name.
PlatformFont* LoadPlatformFontByName(const char* family, ETextStyle style);

/// Installs the font bytes privately for this process and finds the family they name (face 0;
/// weight, italic and underline from its macStyle). The installation is kept under `fontId` for
/// the life of the process: the same bytes under the same id are installed once, however many
/// editors open and close. Null, with nothing installed or kept, when the bytes are not a font
/// or the family cannot be created.
PlatformFont* LoadPlatformFontFromMemory(const char* fontId, const void* data, int32_t size);

/// As `LoadPlatformFontFromMemory` with the bytes of the embedded "ttf" resource `name` in
/// `module`, or of the file `name` (mapped read-only); null when neither exists.
PlatformFont* LoadPlatformFontFile(const char* fontId, const char* name, void* module);

/// Keeps a copy of `font`'s handle under `fontId` for the native text field, unless one is
/// kept already.
void CachePlatformFont(const char* fontId, const PlatformFont& font);

/// The handle kept under `fontId`; null when none. Owned by the cache.
HFONT GetCachedFontHandle(const char* fontId);

/// Memory fonts installed in this process (one per id).
int InstalledMemoryFontCount();

/// Each open editor is a user of the handle cache; when the last leaves, every kept handle is
/// deleted. Memory fonts stay installed.
void AddPlatformFontCacheUser();
void RemovePlatformFontCacheUser();

} // namespace plugkit::canvas::platform
