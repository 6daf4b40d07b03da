#pragma once

#include "plugkit/HeapString.h"

#include "plugkit/HeapBuffer.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace plugkit::canvas::platform
{

/// What the font layer needs to know of one face of TrueType/OpenType bytes: where its table
/// directory lies, a few tables, its family and style names and its vertical metrics.
///
/// The bytes are untrusted. Every directory, table record, table field and name string is
/// checked against `size` before it is read: bytes that are not a font, a face that does not
/// exist, or a face with any table record reaching outside the bytes (a truncated file) give a
/// descriptor whose `GetData()` is null; a name string outside its table reads as empty. The
/// descriptor keeps a pointer into the bytes: they must outlive it. All multi-byte values in
/// font data are big-endian.
class FontDescriptor
{
public:
    /// Single fonts (00 01 00 00, "1\0\0\0", "OTTO", "typ1") have face 0 only; a collection
    /// ("ttcf", version 1 or 2) has the faces its count gives.
    FontDescriptor(const uint8_t* data, size_t size, int faceIndex);

    /// The face's table directory inside the bytes; null when none was found.
    const uint8_t* GetData() const { return mData; }
    /// The face exists and has the "head", "name" and "hhea" tables.
    bool IsValid() const;

    /// Offset (from the start of the bytes) of the first table tagged `tag` (four letters) in
    /// the face's directory; 0 when there is none.
    uint32_t FindFontTable(const char* tag) const;

    /// The text of name `nameId` from the first record of the wanted platform (Windows:
    /// 3/1/1033, UTF-16BE converted to UTF-8; Macintosh: 1/0/0, byte for byte); empty when
    /// there is no such record or it lies outside the "name" table.
    HeapString FontNameTableReader(uint16_t nameId, bool windows) const;

    const HeapString& GetFamily() const { return mFamily; }
    const HeapString& GetStyle() const { return mStyle; }
    uint16_t GetMacStyle() const { return mMacStyle; }
    uint16_t GetUnitsPerEm() const { return mUnitsPerEm; }
    int16_t GetAscender() const { return mAscender; }
    int16_t GetDescender() const { return mDescender; }
    int16_t GetLineGap() const { return mLineGap; }

    uint32_t GetHeadOffset() const { return mHeadOffset; }
    uint32_t GetNameOffset() const { return mNameOffset; }
    uint32_t GetHheaOffset() const { return mHheaOffset; }
    uint32_t GetFdscOffset() const { return mFdscOffset; }

private:
    /// Offset and length of the table tagged `tag`, checked against the bytes.
    bool FindTable(const char* tag, uint32_t& offset, uint32_t& length) const;
    /// Name `nameId` from a Windows record, else from a Macintosh one.
    HeapString ReadName(uint16_t nameId) const;

    const uint8_t* mBytes;
    size_t mSize;
    const uint8_t* mData = nullptr;
    uint32_t mHeadOffset = 0;
    uint32_t mNameOffset = 0;
    uint32_t mNameLength = 0;
    uint32_t mHheaOffset = 0;
    uint32_t mFdscOffset = 0;
    HeapString mFamily;
    HeapString mStyle;
    uint16_t mMacStyle = 0;
    uint16_t mUnitsPerEm = 0;
    int16_t mAscender = 0;
    int16_t mDescender = 0;
    int16_t mLineGap = 0;
};

/// Appends the UTF-8 form of `count` big-endian UTF-16 units at `units` to `out`. A high
/// surrogate followed by a low one forms one code point; a lone surrogate, which UTF-8 cannot
/// carry, becomes U+FFFD.
void AppendUtf16BeAsUtf8(const uint8_t* units, size_t count, HeapString& out);

/// Reads font data as the system's font layer (GetFontData) does: `size` bytes of the table
/// tagged `table` (0: the font's file) into `buffer`, returning the count read, or with a null
/// buffer the table's size; `kFontDataError` on failure.
using FontDataReader = std::function<uint32_t(uint32_t table, void* buffer, uint32_t size)>;
inline constexpr uint32_t kFontDataError = 0xFFFFFFFFu;
/// The whole collection a font lives in: "ttcf" as a little-endian tag.
inline constexpr uint32_t kCollectionTable = 0x66637474u;

/// Reads the bytes of a font's file into `bytes`: the whole collection when the font lives in
/// one (read with the collection's own size), otherwise the font's file. False, and `bytes`
/// empty, when neither reads whole.
bool ReadFontFile(const FontDataReader& read, HeapBuffer& bytes);

/// The first face in `bytes` whose style name is not empty and equals `style` (any non-empty
/// style when `style` is empty); -1 when none does before a face without its tables.
int FindFaceByStyle(const uint8_t* bytes, size_t size, const char* style);

} // namespace plugkit::canvas::platform
