// Windows fonts under Wine: installed families by name, private memory fonts from an embedded
// resource, a file and a collection, reading their bytes back, and the two process-wide caches.

#include "canvas/platform/nanovg/WinFont.h"
#include "canvas/platform/nanovg/PlatformFontData.h"
#include "tests/canvas/platform/nanovg/FontBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

namespace
{
using namespace plugkit;
using namespace plugkit::canvas;
using namespace plugkit::canvas::platform;
using namespace lumenfall::test;

std::unique_ptr<PlatformFontData> BytesOf(const PlatformFont& font)
{
    return std::unique_ptr<PlatformFontData>(font.ReadFontBytes());
}

class WinFonts : public ::testing::Test
{
protected:
    void SetUp() override { AddPlatformFontCacheUser(); }
    void TearDown() override { RemovePlatformFontCacheUser(); }
};

TEST(WinFontName, FaceNameIsCutToItsUnitsWithoutSplittingAPair)
{
    const std::string a29(29, 'a');
    const std::string a30(30, 'a');
    const std::wstring w29(29, L'a');
    const std::wstring w30(30, L'a');
    const char* grin = "\xF0\x9F\x98\x80"; // U+1F600: two units, D83D DE00
    struct Case
    {
        std::string name;
        std::wstring face;
    };
    const Case cases[] = {
        {a30 + grin, w30},                          // the 31st unit starts the pair: dropped
        {a29 + grin + "b", w29 + L"\xD83D\xDE00"},  // the pair ends at the 31st: kept
        {a30 + "\xC3\xA9" + "bc", w30 + L"\x00E9"}, // one unit in the BMP
        {std::string(40, 'a'), std::wstring(31, L'a')},
        {"Roboto", L"Roboto"},
        {"", L""},
    };
    for (const Case& c : cases)
    {
        wchar_t face[kFaceNameUnits + 1];
        std::fill(std::begin(face), std::end(face), L'#');
        EXPECT_EQ(CopyFaceName(c.name.c_str(), face), static_cast<int>(c.face.size())) << c.name;
        EXPECT_EQ(std::wstring(face), c.face) << c.name;
    }
}

TEST_F(WinFonts, EmbeddedRobotoLoadsAsAPrivateFontNamedByItsNameTable)
{
    const Bytes file = ReadFileBytes(LUMENFALL_ROBOTO_TTF);
    ASSERT_FALSE(file.empty());
    // The resource script names it "ROBOTO-REGULAR.TTF"; any letter case finds it.
    std::unique_ptr<PlatformFont> font(
        LoadPlatformFontFile("Roboto", "roboto-regular.TTF", nullptr));
    ASSERT_TRUE(font);
    EXPECT_FALSE(font->IsSystem());
    EXPECT_STREQ(static_cast<WinFont*>(font.get())->GetStyleName(), "");
    ASSERT_NE(font->GetNativeHandle(), nullptr);

    const auto data = BytesOf(*font);
    ASSERT_TRUE(data);
    ASSERT_TRUE(data->IsUsable());
    EXPECT_EQ(data->faceIndex, 0);
    EXPECT_STREQ(data->descriptor.GetFamily().Get(), "Roboto");
    ASSERT_EQ(data->bytes.Size(), static_cast<int32_t>(file.size()));
    EXPECT_EQ(std::memcmp(data->bytes.Get(), file.data(), file.size()), 0);
}

TEST_F(WinFonts, FontFileByPathAndMissingNames)
{
    std::unique_ptr<PlatformFont> font(
        LoadPlatformFontFile("RobotoFile", LUMENFALL_ROBOTO_TTF, nullptr));
    ASSERT_TRUE(font);
    EXPECT_TRUE(BytesOf(*font)->IsUsable());
    EXPECT_FALSE(LoadPlatformFontFile("None", "no-such-font.ttf", nullptr));
    EXPECT_FALSE(LoadPlatformFontFile("None", "", nullptr));

    const Bytes notAFont(4096, 0x5A);
    EXPECT_FALSE(
        LoadPlatformFontFromMemory("Junk", notAFont.data(), static_cast<int32_t>(notAFont.size())));
    EXPECT_FALSE(LoadPlatformFontFromMemory("Junk", nullptr, 100));
}

TEST_F(WinFonts, InstalledFamilyByExactNameAndStyle)
{
    struct Case
    {
        const char* family;
        ETextStyle style;
        bool found;
        const char* styleName;
    };
    const Case cases[] = {
        {"Roboto", ETextStyle::Normal, true, "Regular"},
        {"Roboto", ETextStyle::Bold, true, "Bold"},
        {"Roboto", ETextStyle::Italic, true, "Italic"},
        {"roboto", ETextStyle::Normal, false, ""}, // another letter case is another name
        {"ROBOTO", ETextStyle::Bold, false, ""},
        {"No Such Family", ETextStyle::Normal, false, ""},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<PlatformFont> font(LoadPlatformFontByName(c.family, c.style));
        ASSERT_EQ(font != nullptr, c.found) << c.family << " " << c.styleName;
        if (!font)
            continue;
        EXPECT_TRUE(font->IsSystem());
        EXPECT_STREQ(static_cast<WinFont*>(font.get())->GetStyleName(), c.styleName);
        const auto data = BytesOf(*font);
        ASSERT_TRUE(data->IsUsable()) << c.styleName;
        EXPECT_STREQ(data->descriptor.GetStyle().Get(), c.styleName);
    }
}

TEST_F(WinFonts, MemoryFontIsInstalledPrivatelyAndReadBackExactly)
{
    // Renamed, so that no installed font can stand in for it.
    const Bytes font = RenameFamily(ReadFileBytes(LUMENFALL_ROBOTO_TTF), u"Lumenfall Memory Sans");
    std::unique_ptr<PlatformFont> loaded(
        LoadPlatformFontFromMemory("Memory", font.data(), static_cast<int32_t>(font.size())));
    ASSERT_TRUE(loaded);
    const auto data = BytesOf(*loaded);
    ASSERT_TRUE(data->IsUsable());
    EXPECT_STREQ(data->descriptor.GetFamily().Get(), "Lumenfall Memory Sans");
    ASSERT_EQ(data->bytes.Size(), static_cast<int32_t>(font.size()));
    EXPECT_EQ(std::memcmp(data->bytes.Get(), font.data(), font.size()), 0);
}

TEST_F(WinFonts, AMemoryFontIsInstalledOncePerProcessWhateverTheEditorsDo)
{
    const Bytes font = RenameFamily(ReadFileBytes(LUMENFALL_ROBOTO_TTF), u"Lumenfall Once Sans");
    const auto size = static_cast<int32_t>(font.size());
    const int before = InstalledMemoryFontCount();
    std::unique_ptr<PlatformFont> first(LoadPlatformFontFromMemory("Once", font.data(), size));
    ASSERT_TRUE(first);
    EXPECT_EQ(InstalledMemoryFontCount(), before + 1);

    // A second editor opens while the first stays; then both close and one opens again.
    std::unique_ptr<PlatformFont> second(LoadPlatformFontFromMemory("Once", font.data(), size));
    ASSERT_TRUE(second);
    EXPECT_EQ(InstalledMemoryFontCount(), before + 1) << "installed again beside the first";
    RemovePlatformFontCacheUser();
    EXPECT_EQ(InstalledMemoryFontCount(), before + 1) << "uninstalled with the last editor";
    AddPlatformFontCacheUser();
    std::unique_ptr<PlatformFont> third(LoadPlatformFontFromMemory("Once", font.data(), size));
    ASSERT_TRUE(third);
    EXPECT_EQ(InstalledMemoryFontCount(), before + 1);
    EXPECT_STREQ(BytesOf(*third)->descriptor.GetFamily().Get(), "Lumenfall Once Sans");

    // Other bytes under the same id are those bytes' font, in place of the first.
    const Bytes other = RenameFamily(ReadFileBytes(LUMENFALL_ROBOTO_TTF), u"Lumenfall Twice Sans");
    std::unique_ptr<PlatformFont> replaced(
        LoadPlatformFontFromMemory("Once", other.data(), static_cast<int32_t>(other.size())));
    ASSERT_TRUE(replaced);
    EXPECT_EQ(InstalledMemoryFontCount(), before + 1);
    EXPECT_STREQ(BytesOf(*replaced)->descriptor.GetFamily().Get(), "Lumenfall Twice Sans");
}

TEST_F(WinFonts, CollectionIsReadWholeWithItsOwnSize)
{
    const Bytes face = RenameFamily(ReadFileBytes(LUMENFALL_ROBOTO_TTF), u"Lumenfall Collection");
    const Bytes ttc = BuildCollection({face, face, face});
    std::unique_ptr<PlatformFont> font(
        LoadPlatformFontFromMemory("Collection", ttc.data(), static_cast<int32_t>(ttc.size())));
    ASSERT_TRUE(font);
    const auto data = BytesOf(*font);
    ASSERT_TRUE(data->IsUsable());
    EXPECT_STREQ(data->descriptor.GetFamily().Get(), "Lumenfall Collection");
    // The whole collection, which is larger than what the face's own file size would give.
    EXPECT_EQ(data->bytes.Size(), static_cast<int32_t>(ttc.size()));
    EXPECT_EQ(std::memcmp(data->bytes.Get(), "ttcf", 4), 0);
    EXPECT_EQ(data->faceIndex, 0);
}

TEST_F(WinFonts, HandleCacheKeepsOneCopyPerIdUntilTheLastUserLeaves)
{
    std::unique_ptr<PlatformFont> font(
        LoadPlatformFontFile("Cached", LUMENFALL_ROBOTO_TTF, nullptr));
    ASSERT_TRUE(font);
    EXPECT_EQ(GetCachedFontHandle("Cached"), nullptr);
    CachePlatformFont("Cached", *font);
    const HFONT first = GetCachedFontHandle("Cached");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, font->GetNativeHandle()) << "a copy, owned by the cache";
    CachePlatformFont("Cached", *font);
    EXPECT_EQ(GetCachedFontHandle("Cached"), first);

    AddPlatformFontCacheUser();
    RemovePlatformFontCacheUser();
    EXPECT_EQ(GetCachedFontHandle("Cached"), first) << "another user is left";
    RemovePlatformFontCacheUser();
    EXPECT_EQ(GetCachedFontHandle("Cached"), nullptr);
    AddPlatformFontCacheUser(); // for TearDown
}

} // namespace
