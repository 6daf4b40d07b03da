#include "canvas/platform/nanovg/FontDescriptor.h"
#include "tests/canvas/platform/nanovg/FontBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace
{
using namespace plugkit::canvas::platform;
using namespace lumenfall::test;

FontDescriptor Describe(const Bytes& b, int face = 0)
{
    return FontDescriptor(b.data(), b.size(), face);
}

TEST(FontDescriptor, ReadsRobotoFromItsTables)
{
    const Bytes roboto = ReadFileBytes(LUMENFALL_ROBOTO_TTF);
    ASSERT_GT(roboto.size(), 100000u);
    const FontDescriptor d = Describe(roboto);
    ASSERT_TRUE(d.IsValid());
    EXPECT_EQ(d.GetData(), roboto.data());
    EXPECT_STREQ(d.GetFamily().Get(), "Roboto");
    EXPECT_STREQ(d.GetStyle().Get(), "Regular");
    EXPECT_EQ(d.GetUnitsPerEm(), 2048);
    EXPECT_EQ(d.GetMacStyle(), 0);
    EXPECT_EQ(d.GetAscender(), 1900);
    EXPECT_EQ(d.GetDescender(), -500);
    EXPECT_EQ(d.GetLineGap(), 0);
    EXPECT_EQ(d.GetFdscOffset(), 0u);
    EXPECT_NE(d.FindFontTable("glyf"), 0u);
    EXPECT_EQ(d.FindFontTable("glyp"), 0u);
    EXPECT_FALSE(Describe(roboto, 1).GetData()) << "a single font has face 0 only";
}

TEST(FontDescriptor, SignaturesAndFaceIndexes)
{
    struct Case
    {
        const char* signature;
        int face;
        bool valid;
    };
    const Case cases[] = {
        {"\0\1\0\0", 0, true},
        {"1\0\0\0", 0, true},
        {"OTTO", 0, true},
        {"typ1", 0, true},
        {"\0\1\0\0", 1, false},
        {"\0\1\0\0", -1, false},
        {"true", 0, false},
        {"wOFF", 0, false},
    };
    for (const Case& c : cases)
    {
        const Bytes font = BuildFont({{"head", HeadTable(1000, 0)},
                                      {"hhea", HheaTable(800, -200, 0)},
                                      {"name", NameTable({WindowsName(1, u"A")})}},
                                     c.signature);
        EXPECT_EQ(Describe(font, c.face).IsValid(), c.valid)
            << "signature " << std::string(c.signature, 4) << " face " << c.face;
    }
}

TEST(FontDescriptor, CollectionOfThreeAcceptsFacesZeroToTwo)
{
    const Bytes ttc = BuildCollection({SmallFont(u"Face Zero", u"Regular", 0),
                                       SmallFont(u"Face One", u"Bold", 1),
                                       SmallFont(u"Face Two", u"Italic", 2)});
    const char* families[] = {"Face Zero", "Face One", "Face Two"};
    const char* styles[] = {"Regular", "Bold", "Italic"};
    for (int face = 0; face < 3; ++face)
    {
        const FontDescriptor d = Describe(ttc, face);
        ASSERT_TRUE(d.IsValid()) << face;
        EXPECT_STREQ(d.GetFamily().Get(), families[face]);
        EXPECT_STREQ(d.GetStyle().Get(), styles[face]);
        EXPECT_EQ(d.GetMacStyle(), face);
        EXPECT_EQ(d.GetData(), ttc.data() + Get32(ttc, 12 + 4 * face));
    }
    EXPECT_FALSE(Describe(ttc, 3).GetData());
    EXPECT_FALSE(Describe(ttc, -1).GetData());

    // Versions other than 1 and 2 are refused; version 2 is read like version 1.
    EXPECT_TRUE(Describe(BuildCollection({SmallFont()}, 0x20000)).IsValid());
    EXPECT_FALSE(Describe(BuildCollection({SmallFont()}, 0x30000)).GetData());
}

TEST(FontDescriptor, MissingTableMakesTheFaceInvalid)
{
    for (const char* dropped : {"head", "hhea", "name"})
    {
        std::vector<Table> tables = {{"head", HeadTable(1000, 0)},
                                     {"hhea", HheaTable(800, -200, 0)},
                                     {"name", NameTable({WindowsName(1, u"A")})}};
        std::erase_if(tables, [&](const Table& t) { return t.tag == dropped; });
        const Bytes font = BuildFont(tables);
        const FontDescriptor d = Describe(font);
        EXPECT_TRUE(d.GetData()) << dropped;
        EXPECT_FALSE(d.IsValid()) << dropped;
        EXPECT_TRUE(d.GetFamily().IsEmpty()) << dropped;
    }
}

TEST(FontNameTable, PlatformsFallbacksAndUtf16)
{
    struct Case
    {
        const char* what;
        std::vector<NameRecord> records;
        const char* family;
        const char* style;
    };
    const Case cases[] = {
        {"Macintosh records only",
         {MacName(1, "Mac Family"), MacName(2, "Book")},
         "Mac Family",
         "Book"},
        {"an empty Windows family falls back to Macintosh",
         {WindowsName(1, u""), WindowsName(2, u"Bold"), MacName(1, "Old Name")},
         "Old Name",
         "Bold"},
        {"Windows wins over Macintosh",
         {MacName(1, "Mac"), WindowsName(1, u"Win"), MacName(2, "M"), WindowsName(2, u"W")},
         "Win",
         "W"},
        {"another language or encoding is not taken",
         {{3, 1, 1031, 1, Utf16Be(u"Deutsch")}, {3, 0, 1033, 1, Utf16Be(u"Symbol")}},
         "",
         ""},
        {"the first matching record counts",
         {WindowsName(1, u"First"), WindowsName(1, u"Second")},
         "First",
         ""},
        {"two- and three-byte code points",
         {WindowsName(1, u"Caf\u00e9 \u6f22")},
         "Caf\xc3\xa9 \xe6\xbc\xa2",
         ""},
        {"a surrogate pair is one code point",
         {WindowsName(1, u"G\U0001D11E")},
         "G\xf0\x9d\x84\x9e",
         ""},
        {"a lone surrogate becomes U+FFFD, keeping the name valid UTF-8",
         {WindowsName(1, std::u16string(u"x") + char16_t(0xD834) + u"y" + char16_t(0xDD1E)),
          WindowsName(2, std::u16string(u"z") + char16_t(0xD834))},
         "x\xef\xbf\xbdy\xef\xbf\xbd",
         "z\xef\xbf\xbd"},
    };
    for (const Case& c : cases)
    {
        const Bytes font = BuildFont({{"head", HeadTable(1000, 0)},
                                      {"hhea", HheaTable(800, -200, 0)},
                                      {"name", NameTable(c.records)}});
        const FontDescriptor d = Describe(font);
        ASSERT_TRUE(d.IsValid()) << c.what;
        EXPECT_STREQ(d.GetFamily().Get(), c.family) << c.what;
        EXPECT_STREQ(d.GetStyle().Get(), c.style) << c.what;
    }
}

/// Copies `n` bytes into a block of exactly that size, so AddressSanitizer catches a read of
/// even one byte past the end.
std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& b, size_t n)
{
    std::unique_ptr<uint8_t[]> p(new uint8_t[n ? n : 1]);
    std::copy(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), p.get());
    return p;
}

TEST(FontDescriptorUntrusted, EveryTruncationIsNotAFont)
{
    // The last table of the font, and of the collection's last face, ends at the last byte,
    // so no strict prefix holds that face.
    const Bytes single = SmallFont();
    const Bytes ttc = BuildCollection({SmallFont(), SmallFont(u"B"), SmallFont(u"C")});
    for (const auto& [font, face] : {std::pair{&single, 0}, std::pair{&ttc, 2}})
    {
        for (size_t n = 0; n < font->size(); ++n)
        {
            const auto copy = ExactCopy(*font, n);
            EXPECT_FALSE(FontDescriptor(copy.get(), n, face).IsValid()) << n << " " << face;
        }
    }

    // Roboto cut inside its directory, its tables and its name strings.
    const Bytes roboto = ReadFileBytes(LUMENFALL_ROBOTO_TTF);
    ASSERT_FALSE(roboto.empty());
    for (size_t n = 0; n < roboto.size(); n += (n < 4096 ? 1 : 997))
    {
        const auto copy = ExactCopy(roboto, n);
        EXPECT_FALSE(FontDescriptor(copy.get(), n, 0).IsValid()) << n;
    }
}

TEST(FontDescriptorUntrusted, OffsetsPointingOutsideAreRefused)
{
    const Bytes good = SmallFont();
    ASSERT_TRUE(Describe(good).IsValid());
    const size_t nameRecord = 12 + 16 * 2; // the third table record: "name"
    const size_t nameTable = Get32(good, nameRecord + 8);

    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
        bool wide; ///< 32-bit field
        bool valid;
    };
    const Case cases[] = {
        {"table count beyond the bytes", 4, 0xFFFF, false, false},
        {"table offset beyond the bytes", nameRecord + 8, 0xFFFFFFF0u, true, false},
        {"table length beyond the bytes", nameRecord + 12, 0x7FFFFFFFu, true, false},
        {"offset plus length wraps around 32 bits", nameRecord + 12, 0xFFFFFFFFu, true, false},
        {"name record count beyond the table", nameTable + 2, 0xFFFF, false, true},
        {"string storage beyond the table", nameTable + 4, 0xFFFF, false, true},
        {"string offset beyond the table", nameTable + 6 + 10, 0xFFFF, false, true},
        {"string length beyond the table", nameTable + 6 + 8, 0xFFFF, false, true},
    };
    for (const Case& c : cases)
    {
        Bytes bad = good;
        if (c.wide)
            Put32(bad, c.at, c.value);
        else
            Put16(bad, c.at, c.value);
        const auto copy = ExactCopy(bad, bad.size());
        const FontDescriptor d(copy.get(), bad.size(), 0);
        EXPECT_EQ(d.IsValid(), c.valid) << c.what;
        if (c.at >= nameTable + 4)
        {
            EXPECT_TRUE(d.GetFamily().IsEmpty()) << c.what;
        }
    }

    // A collection whose face offset or count lies beyond its bytes.
    Bytes ttc = BuildCollection({SmallFont()});
    Put32(ttc, 12, static_cast<uint32_t>(ttc.size() - 4));
    EXPECT_FALSE(Describe(ttc).GetData());
    Put32(ttc, 8, 0xFFFFFFFFu);
    EXPECT_FALSE(Describe(ttc, 1000000).GetData());
}

TEST(FontDescriptorUntrusted, MutatedBytesNeverReadOutside)
{
    const Bytes seeds[] = {SmallFont(u"Mutant \U0001F600", u"Bold", 3),
                           BuildCollection({SmallFont(), SmallFont(u"Other")})};
    std::mt19937 rng(20240611);
    int valid = 0;
    for (int i = 0; i < 20000; ++i)
    {
        Bytes b = seeds[i % 2];
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k)
            b[rng() % b.size()] = static_cast<uint8_t>(rng());
        const size_t n = b.size() - rng() % 8;
        const auto copy = ExactCopy(b, n);
        for (int face = 0; face < 2; ++face)
        {
            const FontDescriptor d(copy.get(), n, face);
            valid += d.IsValid();
            (void)d.FontNameTableReader(static_cast<uint16_t>(rng() % 4), rng() % 2);
        }
    }
    EXPECT_GT(valid, 0) << "some mutations leave a readable face";
}

} // namespace

namespace
{

/// GetFontData as Windows answers for a font: table 0 is the font's own file (for a face of a
/// collection, from its directory to the end, so smaller than the collection), the collection
/// tag the whole collection, and only when there is one.
FontDataReader FakeFontData(const Bytes& file, size_t faceStart, bool collection)
{
    return [&file, faceStart, collection](uint32_t table, void* buffer, uint32_t size) -> uint32_t
    {
        size_t start = 0;
        if (table == 0)
            start = faceStart;
        else if (table != kCollectionTable || !collection)
            return kFontDataError;
        const size_t available = file.size() - start;
        if (!buffer)
            return static_cast<uint32_t>(available);
        const size_t n = std::min<size_t>(size, available);
        std::memcpy(buffer, file.data() + start, n);
        return static_cast<uint32_t>(n);
    };
}

} // namespace

TEST(FontFileRead, CollectionReadWholeWithItsOwnSizeSingleFontAsItsFile)
{
    const Bytes ttc = BuildCollection({SmallFont(u"A", u"Regular"), SmallFont(u"B", u"Bold")});
    const size_t secondFace = Get32(ttc, 16);
    plugkit::HeapBuffer bytes;
    ASSERT_TRUE(ReadFontFile(FakeFontData(ttc, secondFace, true), bytes));
    ASSERT_EQ(bytes.Size(), static_cast<int32_t>(ttc.size()));
    EXPECT_EQ(std::memcmp(bytes.Get(), ttc.data(), ttc.size()), 0);
    const auto* data = static_cast<const uint8_t*>(bytes.Get());
    EXPECT_EQ(FindFaceByStyle(data, ttc.size(), "Bold"), 1);
    EXPECT_EQ(FindFaceByStyle(data, ttc.size(), ""), 0) << "any style: the first face";
    EXPECT_EQ(FindFaceByStyle(data, ttc.size(), "Italic"), -1);

    const Bytes single = SmallFont();
    ASSERT_TRUE(ReadFontFile(FakeFontData(single, 0, false), bytes));
    EXPECT_EQ(bytes.Size(), static_cast<int32_t>(single.size()));

    // A reader that delivers less than it announced reads nothing.
    const FontDataReader shortReads = [](uint32_t, void* buffer, uint32_t size) -> uint32_t
    { return buffer ? size / 2 : 1000; };
    EXPECT_FALSE(ReadFontFile(shortReads, bytes));
    EXPECT_EQ(bytes.Size(), 0);
}
