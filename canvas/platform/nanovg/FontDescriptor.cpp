#include "canvas/platform/nanovg/FontDescriptor.h"

#include <cstring>

namespace plugkit::canvas::platform
{

namespace
{

constexpr size_t kDirectoryHeaderSize = 12;
constexpr size_t kTableRecordSize = 16;
constexpr size_t kNameHeaderSize = 6;
constexpr size_t kNameRecordSize = 12;

// The fields read from "head" and "hhea" end at these offsets.
constexpr uint32_t kHeadUnitsPerEm = 18;
constexpr uint32_t kHeadMacStyle = 44;
constexpr uint32_t kHheaAscender = 4;
constexpr uint32_t kHheaDescender = 6;
constexpr uint32_t kHheaLineGap = 8;

// A lone surrogate has no UTF-8 form; it reads as U+FFFD, as the system's own converter gives.
constexpr uint32_t kReplacementCharacter = 0xFFFD;

constexpr uint16_t kNameIdFamily = 1;
constexpr uint16_t kNameIdStyle = 2;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t U32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

/// True when [offset, offset + length) lies inside a block of `size` bytes.
bool Inside(uint64_t offset, uint64_t length, size_t size)
{
    return offset <= size && length <= size - offset;
}

void AppendCodePoint(uint32_t c, HeapString& out)
{
    char b[4];
    int32_t n;
    if (c < 0x80)
    {
        b[0] = static_cast<char>(c);
        n = 1;
    }
    else if (c < 0x800)
    {
        b[0] = static_cast<char>(0xC0 | (c >> 6));
        b[1] = static_cast<char>(0x80 | (c & 0x3F));
        n = 2;
    }
    else if (c < 0x10000)
    {
        b[0] = static_cast<char>(0xE0 | (c >> 12));
        b[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (c & 0x3F));
        n = 3;
    }
    else
    {
        b[0] = static_cast<char>(0xF0 | (c >> 18));
        b[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        b[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        b[3] = static_cast<char>(0x80 | (c & 0x3F));
        n = 4;
    }
    out.InsertRaw(out.GetLength(), b, n, 0);
}

} // namespace

void AppendUtf16BeAsUtf8(const uint8_t* units, size_t count, HeapString& out)
{
    for (size_t i = 0; i < count; ++i)
    {
        uint32_t c = U16(units + 2 * i);
        if (c >= 0xD800 && c < 0xE000)
        {
            const uint32_t low = i + 1 < count ? U16(units + 2 * (i + 1)) : 0;
            if (c < 0xDC00 && low >= 0xDC00 && low < 0xE000)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
            else
            {
                c = kReplacementCharacter;
            }
        }
        AppendCodePoint(c, out);
    }
}

FontDescriptor::FontDescriptor(const uint8_t* data, size_t size, int faceIndex)
    : mBytes(data)
    , mSize(data ? size : 0)
{
    if (!data || size < 4 || faceIndex < 0)
        return;

    uint64_t directory = 0;
    if (std::memcmp(data, "ttcf", 4) == 0)
    {
        if (size < 12)
            return;
        const uint32_t version = U32(data + 4);
        if (version != 0x10000 && version != 0x20000)
            return;
        if (static_cast<uint32_t>(faceIndex) >= U32(data + 8))
            return;
        const uint64_t entry = 12 + 4 * static_cast<uint64_t>(faceIndex);
        if (!Inside(entry, 4, size))
            return;
        directory = U32(data + entry);
    }
    else
    {
        static constexpr uint8_t kTrueType[4] = {0, 1, 0, 0};
        static constexpr uint8_t kDigitOne[4] = {'1', 0, 0, 0};
        const bool single = std::memcmp(data, kTrueType, 4) == 0 ||
                            std::memcmp(data, kDigitOne, 4) == 0 ||
                            std::memcmp(data, "OTTO", 4) == 0 || std::memcmp(data, "typ1", 4) == 0;
        if (!single || faceIndex != 0)
            return;
    }
    if (!Inside(directory, kDirectoryHeaderSize, size))
        return;
    // Every table of the face must lie inside the bytes, not only those read here: the glyph
    // renderer that gets the bytes next trusts the directory.
    const uint16_t count = U16(data + directory + 4);
    if (!Inside(directory + kDirectoryHeaderSize, kTableRecordSize * count, size))
        return;
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint8_t* record = data + directory + kDirectoryHeaderSize + kTableRecordSize * i;
        if (!Inside(U32(record + 8), U32(record + 12), size))
            return;
    }
    mData = data + directory;

    uint32_t headLength = 0;
    uint32_t hheaLength = 0;
    uint32_t fdscLength = 0;
    if (!FindTable("head", mHeadOffset, headLength) || headLength < kHeadMacStyle + 2)
        mHeadOffset = 0;
    if (!FindTable("name", mNameOffset, mNameLength) || mNameLength < kNameHeaderSize)
        mNameOffset = mNameLength = 0;
    if (!FindTable("hhea", mHheaOffset, hheaLength) || hheaLength < kHheaLineGap + 2)
        mHheaOffset = 0;
    FindTable("fdsc", mFdscOffset, fdscLength);
    if (!IsValid())
        return;

    const uint8_t* head = mBytes + mHeadOffset;
    mUnitsPerEm = U16(head + kHeadUnitsPerEm);
    mMacStyle = U16(head + kHeadMacStyle);
    mFamily = ReadName(kNameIdFamily);
    mStyle = ReadName(kNameIdStyle);
    const uint8_t* hhea = mBytes + mHheaOffset;
    mAscender = static_cast<int16_t>(U16(hhea + kHheaAscender));
    mDescender = static_cast<int16_t>(U16(hhea + kHheaDescender));
    mLineGap = static_cast<int16_t>(U16(hhea + kHheaLineGap));
}

bool FontDescriptor::IsValid() const
{
    return mData && mHeadOffset && mNameOffset && mHheaOffset;
}

bool FontDescriptor::FindTable(const char* tag, uint32_t& offset, uint32_t& length) const
{
    offset = length = 0;
    if (!mData)
        return false;
    const uint16_t count = U16(mData + 4);
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint8_t* r = mData + kDirectoryHeaderSize + kTableRecordSize * i;
        if (std::memcmp(r, tag, 4) != 0)
            continue;
        offset = U32(r + 8);
        length = U32(r + 12);
        return offset != 0;
    }
    return false;
}

uint32_t FontDescriptor::FindFontTable(const char* tag) const
{
    uint32_t offset;
    uint32_t length;
    return FindTable(tag, offset, length) ? offset : 0;
}

HeapString FontDescriptor::FontNameTableReader(uint16_t nameId, bool windows) const
{
    HeapString text;
    if (!mNameOffset)
        return text;
    const uint8_t* table = mBytes + mNameOffset;
    const uint16_t platform = windows ? 3 : 1;
    const uint16_t encoding = windows ? 1 : 0;
    const uint16_t language = windows ? 1033 : 0;
    const uint16_t count = U16(table + 2);
    const uint16_t storage = U16(table + 4);
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint64_t at = kNameHeaderSize + kNameRecordSize * i;
        if (!Inside(at, kNameRecordSize, mNameLength))
            break;
        const uint8_t* r = table + at;
        if (U16(r) != platform || U16(r + 2) != encoding || U16(r + 4) != language ||
            U16(r + 6) != nameId)
            continue;
        const uint16_t length = U16(r + 8);
        const uint64_t start = static_cast<uint64_t>(storage) + U16(r + 10);
        if (!Inside(start, length, mNameLength))
            break;
        if (windows)
            AppendUtf16BeAsUtf8(table + start, length / 2, text);
        else
            text.InsertRaw(0, reinterpret_cast<const char*>(table + start), length, 0);
        break;
    }
    return text;
}

HeapString FontDescriptor::ReadName(uint16_t nameId) const
{
    HeapString name = FontNameTableReader(nameId, true);
    if (name.IsEmpty())
        name = FontNameTableReader(nameId, false);
    return name;
}

bool ReadFontFile(const FontDataReader& read, HeapBuffer& bytes)
{
    // A font of a collection reads as the whole collection only with the collection's tag,
    // and then only whole with the collection's size (its own file size is smaller).
    for (const uint32_t table : {kCollectionTable, 0u})
    {
        const uint32_t size = read(table, nullptr, 0);
        if (size == kFontDataError || size == 0 || size > INT32_MAX)
            continue;
        if (bytes.Resize(static_cast<int32_t>(size)) && read(table, bytes.Get(), size) == size)
            return true;
    }
    bytes.Resize(0);
    return false;
}

int FindFaceByStyle(const uint8_t* bytes, size_t size, const char* style)
{
    for (int face = 0;; ++face)
    {
        const FontDescriptor descriptor(bytes, size, face);
        if (!descriptor.IsValid())
            return -1;
        const char* faceStyle = descriptor.GetStyle().Get();
        if (*faceStyle && (!style || !*style || std::strcmp(faceStyle, style) == 0))
            return face;
    }
}

} // namespace plugkit::canvas::platform
