#pragma once

// Font files built byte by byte for the font tests: a minimal single font with the tables the
// font layer reads, name records of any platform, and collections of fonts.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumenfall::test
{

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v >> 16);
    Put16(b, at + 2, v);
}

inline uint32_t Get32(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}

struct NameRecord
{
    uint16_t platform;
    uint16_t encoding;
    uint16_t language;
    uint16_t nameId;
    Bytes text; ///< as stored: UTF-16BE for Windows, bytes for Macintosh
};

inline Bytes Utf16Be(const std::u16string& s)
{
    Bytes b;
    for (char16_t c : s)
    {
        b.push_back(static_cast<uint8_t>(c >> 8));
        b.push_back(static_cast<uint8_t>(c));
    }
    return b;
}

inline NameRecord WindowsName(uint16_t nameId, const std::u16string& s)
{
    return {3, 1, 1033, nameId, Utf16Be(s)};
}

inline NameRecord MacName(uint16_t nameId, const std::string& s)
{
    return {1, 0, 0, nameId, Bytes(s.begin(), s.end())};
}

inline Bytes NameTable(const std::vector<NameRecord>& records)
{
    const size_t storage = 6 + 12 * records.size();
    Bytes b(storage);
    Put16(b, 2, static_cast<uint32_t>(records.size()));
    Put16(b, 4, static_cast<uint32_t>(storage));
    size_t offset = 0;
    for (size_t i = 0; i < records.size(); ++i)
    {
        const NameRecord& r = records[i];
        const size_t at = 6 + 12 * i;
        Put16(b, at, r.platform);
        Put16(b, at + 2, r.encoding);
        Put16(b, at + 4, r.language);
        Put16(b, at + 6, r.nameId);
        Put16(b, at + 8, static_cast<uint32_t>(r.text.size()));
        Put16(b, at + 10, static_cast<uint32_t>(offset));
        b.insert(b.end(), r.text.begin(), r.text.end());
        offset += r.text.size();
    }
    return b;
}

inline Bytes HeadTable(uint16_t unitsPerEm, uint16_t macStyle)
{
    Bytes b(54);
    Put32(b, 0, 0x10000);
    Put32(b, 12, 0x5F0F3CF5);
    Put16(b, 18, unitsPerEm);
    Put16(b, 44, macStyle);
    return b;
}

inline Bytes HheaTable(int16_t ascender, int16_t descender, int16_t lineGap)
{
    Bytes b(36);
    Put32(b, 0, 0x10000);
    Put16(b, 4, static_cast<uint16_t>(ascender));
    Put16(b, 6, static_cast<uint16_t>(descender));
    Put16(b, 8, static_cast<uint16_t>(lineGap));
    return b;
}

struct Table
{
    std::string tag;
    Bytes body;
};

/// A single font: signature, directory, then the tables in order, each 4-byte aligned; the
/// last table ends at the end of the bytes.
inline Bytes BuildFont(const std::vector<Table>& tables, const char* signature = "\0\1\0\0")
{
    const size_t n = tables.size();
    Bytes b(12 + 16 * n);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(signature[i]);
    Put16(b, 4, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i)
    {
        while (b.size() % 4)
            b.push_back(0);
        const size_t record = 12 + 16 * i;
        for (int k = 0; k < 4; ++k)
            b[record + k] = static_cast<uint8_t>(tables[i].tag[k]);
        Put32(b, record + 8, static_cast<uint32_t>(b.size()));
        Put32(b, record + 12, static_cast<uint32_t>(tables[i].body.size()));
        b.insert(b.end(), tables[i].body.begin(), tables[i].body.end());
    }
    return b;
}

/// The usual small face: "head", "hhea" and a "name" table with Windows family and style.
inline Bytes SmallFont(const std::u16string& family = u"Small Sans",
                       const std::u16string& style = u"Regular",
                       uint16_t macStyle = 0)
{
    return BuildFont({{"head", HeadTable(1000, macStyle)},
                      {"hhea", HheaTable(800, -200, 90)},
                      {"name", NameTable({WindowsName(1, family), WindowsName(2, style)})}});
}

/// A collection ("ttcf", version 1) of whole single fonts; each face's table offsets are
/// moved to where its font lands in the collection.
inline Bytes BuildCollection(const std::vector<Bytes>& fonts, uint32_t version = 0x10000)
{
    Bytes b(12 + 4 * fonts.size());
    b[0] = 't';
    b[1] = 't';
    b[2] = 'c';
    b[3] = 'f';
    Put32(b, 4, version);
    Put32(b, 8, static_cast<uint32_t>(fonts.size()));
    for (size_t f = 0; f < fonts.size(); ++f)
    {
        while (b.size() % 4)
            b.push_back(0);
        const uint32_t base = static_cast<uint32_t>(b.size());
        Put32(b, 12 + 4 * f, base);
        b.insert(b.end(), fonts[f].begin(), fonts[f].end());
        const uint32_t count = (uint32_t(b[base + 4]) << 8) | b[base + 5];
        for (uint32_t i = 0; i < count; ++i)
        {
            const size_t record = base + 12 + 16 * i;
            Put32(b, record + 8, Get32(b, record + 8) + base);
        }
    }
    return b;
}

inline uint32_t Get16(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 8) | b[at + 1];
}

/// The single font `font` rebuilt with a new "name" table naming it `family` (ids 1, 4 and 6)
/// in style "Regular" (id 2), so that it can be told from any installed font.
inline Bytes RenameFamily(const Bytes& font, const std::u16string& family)
{
    std::vector<Table> tables;
    const uint32_t count = Get16(font, 4);
    for (uint32_t i = 0; i < count; ++i)
    {
        const size_t record = 12 + 16 * i;
        Table t;
        t.tag.assign(reinterpret_cast<const char*>(font.data() + record), 4);
        const uint32_t offset = Get32(font, record + 8);
        const uint32_t length = Get32(font, record + 12);
        if (t.tag == "name")
            t.body = NameTable({WindowsName(1, family),
                                WindowsName(2, u"Regular"),
                                WindowsName(4, family),
                                WindowsName(6, u"LumenfallTest-Regular")});
        else
            t.body.assign(font.begin() + offset, font.begin() + offset + length);
        tables.push_back(std::move(t));
    }
    return BuildFont(tables);
}

inline Bytes ReadFileBytes(const char* path)
{
    Bytes b;
    if (FILE* f = std::fopen(path, "rb"))
    {
        uint8_t chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0)
            b.insert(b.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return b;
}

} // namespace lumenfall::test
