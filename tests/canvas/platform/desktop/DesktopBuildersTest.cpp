#include "canvas/platform/desktop/DesktopBuilders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::canvas;
using namespace plugkit::canvas::platform;

namespace
{

std::u16string Units(const char16_t* text)
{
    return text ? std::u16string(text) : std::u16string();
}

struct FilterCase
{
    const char16_t* extensions;
    const char16_t* pattern; ///< null: no filter
    const char16_t* defaultExtension;
};

TEST(DesktopBuilders, FileFilterLaysOutPatternTwiceWithTheFirstWordAsDefaultExtension)
{
    const FilterCase cases[] = {
        {u"wav", u"*.wav", u"wav"},
        {u"wav aif", u"*.wav;*.aif", u"wav"},
        {u"wav  aif", u"*.wav;*.;*.aif", u"wav"},
        {u"w\u00e4v \u65e5\u672c", u"*.w\u00e4v;*.\u65e5\u672c", u"w\u00e4v"},
        {u"abcdefghijklmno", u"*.abcdefghijklmno", u"abcdefghijklmno"},
        // A first word of 16 units would be cut into a wrong extension: none.
        {u"abcdefghijklmnop wav", u"*.abcdefghijklmnop;*.wav", u""},
        {u" wav", u"*.;*.wav", u""},
        {u"", nullptr, u""},
        {nullptr, nullptr, u""},
    };
    for (const FilterCase& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(Units(c.extensions)));
        char16_t filter[kFileFilterUnits];
        char16_t defaultExtension[kDefaultExtensionUnits];
        std::memset(filter, 0x55, sizeof(filter));
        const bool built = BuildFileFilter(c.extensions, filter, defaultExtension);
        EXPECT_EQ(Units(defaultExtension), Units(c.defaultExtension));
        if (!c.pattern)
        {
            EXPECT_FALSE(built);
            EXPECT_EQ(filter[0], 0);
            continue;
        }
        ASSERT_TRUE(built);
        const std::u16string pattern(c.pattern);
        const size_t n = pattern.size();
        EXPECT_EQ(std::u16string(filter, n), pattern) << "description";
        EXPECT_EQ(filter[n], 0);
        EXPECT_EQ(std::u16string(filter + n + 1, n), pattern) << "pattern";
        EXPECT_EQ(filter[2 * n + 1], 0);
        EXPECT_EQ(filter[2 * n + 2], 0);
    }
}

TEST(DesktopBuilders, FileFilterKeepsWholePatternsThatFitItsBuffer)
{
    char16_t filter[kFileFilterUnits];
    char16_t defaultExtension[kDefaultExtensionUnits];

    // 40 x "wav": "*.wav" then ";*.wav" each; 21 patterns make 125 units, the most that fit
    // twice with three terminators into 256.
    std::u16string many;
    for (int i = 0; i < 40; ++i)
        many += i ? u" wav" : u"wav";
    ASSERT_TRUE(BuildFileFilter(many.c_str(), filter, defaultExtension));
    const std::u16string kept(filter);
    EXPECT_EQ(kept.size(), 125u);
    EXPECT_EQ(kept.substr(kept.size() - 6), u";*.wav");
    EXPECT_EQ(std::u16string(filter + 126), kept);
    EXPECT_EQ(filter[2 * 125 + 2], 0);

    // One pattern of exactly 126 units fits; 127 do not, and no filter is better than a cut one.
    const std::u16string longest(124, u'x');
    std::memset(filter, 0x55, sizeof(filter));
    ASSERT_TRUE(BuildFileFilter(longest.c_str(), filter, defaultExtension));
    EXPECT_EQ(std::u16string(filter + 127).size(), 126u);
    EXPECT_EQ(filter[kFileFilterUnits - 2], 0);
    EXPECT_EQ(filter[kFileFilterUnits - 1], 0x5555) << "nothing beyond the second terminator";
    const std::u16string tooLong(125, u'x');
    EXPECT_FALSE(BuildFileFilter((tooLong + u" wav").c_str(), filter, defaultExtension));
    EXPECT_EQ(filter[0], 0);
    EXPECT_EQ(defaultExtension[0], 0);
}

TEST(DesktopBuilders, FolderOfAChosenFileEndsWithItsSeparator)
{
    const struct
    {
        const char* file;
        const char* folder; ///< null: no separator, folder unchanged
    } cases[] = {
        {"C:\\Temp\\a.wav", "C:\\Temp\\"},
        {"C:\\a.wav", "C:\\"},
        {"\\\\server\\share\\x\\a.wav", "\\\\server\\share\\x\\"},
        {"/home/k/a.wav", "/home/k/"},
        {"C:\\Kl\xc3\xa4nge\\\xe2\x98\x83.wav", "C:\\Kl\xc3\xa4nge\\"},
        {"a.wav", nullptr},
        {nullptr, nullptr},
    };
    for (const auto& c : cases)
    {
        HeapString folder("unchanged");
        EXPECT_EQ(ParentFolderOf(c.file, folder), c.folder != nullptr);
        EXPECT_STREQ(folder.Get(), c.folder ? c.folder : "unchanged");
    }
}

TEST(DesktopBuilders, ChosenFolderGetsExactlyOneSeparator)
{
    const struct
    {
        const char* chosen;
        const char* dir;
    } cases[] = {
        {"D:\\Samples", "D:\\Samples\\"},
        {"D:\\Samples\\", "D:\\Samples\\"},
        {"D:\\Samples\\\\/", "D:\\Samples\\"},
        {"C:\\", "C:\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"C:\\users\\root\\Desktop", "C:\\users\\root\\Desktop\\"},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases)
    {
        HeapString dir("old");
        SetFolderWithSeparator(dir, c.chosen);
        EXPECT_STREQ(dir.Get(), c.dir) << (c.chosen ? c.chosen : "(null)");
    }
}

TEST(DesktopBuilders, RevealArgumentsQuoteAValidPath)
{
    const struct
    {
        const char* path;
        bool select;
        const char* arguments; ///< null: refused
    } cases[] = {
        {"C:\\Temp\\a.wav", true, "/select,\"C:\\Temp\\a.wav\""},
        {"C:\\My Samples", false, "\"C:\\My Samples\""},
        // A backslash before the closing quote would escape it.
        {"C:\\My Samples\\", false, "\"C:\\My Samples\""},
        {"C:\\My Samples\\\\", true, "/select,\"C:\\My Samples\""},
        {"\\\\server\\share\\", false, "\"\\\\server\\share\""},
        {"C:\\", false, "C:\\"},
        {"C:\\", true, "/select,C:\\"},
        {"C:\\Kl\xc3\xa4nge\\a b.wav", true, "/select,\"C:\\Kl\xc3\xa4nge\\a b.wav\""},
        {"C:\\a\" /root,\"D:", true, nullptr},
        {"\\", false, nullptr},
        {"", true, nullptr},
        {nullptr, false, nullptr},
    };
    for (const auto& c : cases)
    {
        HeapString arguments("unchanged");
        const bool built = BuildRevealArguments(c.path, c.select, arguments);
        EXPECT_EQ(built, c.arguments != nullptr) << (c.path ? c.path : "(null)");
        EXPECT_STREQ(arguments.Get(), built ? c.arguments : "unchanged");
    }
}

TEST(DesktopBuilders, DropFilesBlockHoldsHeaderWidePathAndDoubleTerminator)
{
    const char16_t path[] = u"C:\\Kl\u00e4nge\\\u2603.wav";
    const size_t units = sizeof(path) / sizeof(path[0]); // terminator included
    ASSERT_EQ(DropFilesBlockSize(units), 20 + 2 * units + 2);
    ASSERT_EQ(DropFilesBlockSize(units, 2), 20 + 2 * units + 4);

    for (const bool nonClient : {false, true})
    {
        std::vector<unsigned char> block(DropFilesBlockSize(units, 2), 0xAB);
        ASSERT_TRUE(WriteDropFilesBlock(block.data(), block.size(), path, nonClient));
        const unsigned char header[20] = {20, 0, 0,         0, 0, 0, 0, 0, 0, 0,
                                          0,  0, nonClient, 0, 0, 0, 1, 0, 0, 0};
        EXPECT_EQ(std::memcmp(block.data(), header, 20), 0);
        EXPECT_EQ(std::memcmp(block.data() + 20, path, sizeof(path)), 0);
        for (size_t i = 20 + sizeof(path); i < block.size(); ++i)
            EXPECT_EQ(block[i], 0) << i;
    }

    // Too small: nothing written.
    std::vector<unsigned char> small(DropFilesBlockSize(units) - 1, 0xAB);
    EXPECT_FALSE(WriteDropFilesBlock(small.data(), small.size(), path, false));
    EXPECT_EQ(small, std::vector<unsigned char>(small.size(), 0xAB));
}

TEST(DesktopBuilders, CursorTableMapsEveryShapeAndFallsBackToTheArrow)
{
    const int expected[] = {32512,
                            32513,
                            32514,
                            32515,
                            32516,
                            32642,
                            32643,
                            32644,
                            32645,
                            32646,
                            32648,
                            32649,
                            32650,
                            32651};
    static_assert(sizeof(expected) / sizeof(expected[0]) ==
                  static_cast<size_t>(ECursorShape::kNumCursorShapes));
    for (int i = 0; i < static_cast<int>(ECursorShape::kNumCursorShapes); ++i)
        EXPECT_EQ(SystemCursorId(static_cast<ECursorShape>(i)), expected[i]) << i;
    for (const int outside : {-1, 14, 99})
        EXPECT_EQ(SystemCursorId(static_cast<ECursorShape>(outside)), 32512) << outside;
}

TEST(DesktopBuilders, OnlyWebAndMailLinksAreOpenedAndOnlyWebLinksNeedTheNetwork)
{
    const struct
    {
        const char* url;
        bool openable;
        bool web;
    } cases[] = {
        {"https://tessaline.example/support", true, true},
        {"HTTP://tessaline.example", true, true},
        {"mailto:support@tessaline.example", true, false},
        {"MailTo:support@tessaline.example?subject=Lumenfall", true, false},
        {"http:tessaline.example", false, false},
        {"C:\\Windows\\system32\\calc.exe", false, false},
        {"file:///C:/Windows/system32/calc.exe", false, false},
        {"calc", false, false},
        {"", false, false},
        {nullptr, false, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.url ? c.url : "(null)");
        EXPECT_EQ(IsOpenableUrl(c.url), c.openable);
        EXPECT_EQ(IsWebUrl(c.url), c.web);
    }
}

} // namespace
