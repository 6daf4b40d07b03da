#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/helpers/FileUtf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace
{
using namespace plugkit::canvas::platform;
namespace fs = std::filesystem;

/// A scratch folder in the working directory, removed with everything in it.
class ScratchFolder
{
public:
    explicit ScratchFolder(const char* name)
        : mPath(name)
    {
        fs::remove_all(Native());
        fs::create_directories(Native());
    }
    ~ScratchFolder() { fs::remove_all(Native()); }

    /// The UTF-8 path of `leaf` inside the folder.
    std::string operator/(const char* leaf) const { return mPath + "/" + leaf; }

private:
    /// The UTF-8 name as the file system library's path (not through the ANSI code page).
    fs::path Native() const { return fs::path(std::u8string(mPath.begin(), mPath.end())); }

    std::string mPath;
};

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    std::FILE* file = OpenFileUtf8(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

std::string ReadBytes(const std::string& path)
{
    std::FILE* file = OpenFileUtf8(path.c_str(), "rb");
    if (!file)
        return "(not opened)";
    std::string bytes;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, n);
    std::fclose(file);
    return bytes;
}

TEST(PlatformResources, NamesMatchWithoutCaseOrQuotes)
{
    struct Case
    {
        const char* stored;
        const char* sought;
        bool match;
    };
    const Case cases[] = {
        {"ROBOTO-REGULAR.TTF", "Roboto-Regular.ttf", true},
        {"\"ROBOTO-REGULAR.TTF\"", "roboto-regular.TTF", true},
        {"ROBOTO-REGULAR.TTF", "\"Roboto-Regular.ttf\"", true},
        {"ROBOTO-REGULAR.TTF", "Roboto-Regular.tt", false},
        {"\"ROBOTO-REGULAR.TTF", "ROBOTO-REGULAR.TTF", false}, // one quote is part of the name
        {"X", "x", true},                                      // one character, no quotes
        {"\"", "\"", true},
        {"\"\"", "", false}, // nothing names an empty name
        {"", "", false},
        {"LOGO.SVG", nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResourceNamesMatch(c.stored, c.sought), c.match)
            << c.stored << " / " << (c.sought ? c.sought : "(null)");
}

TEST(PlatformResources, DpiScale)
{
    EXPECT_EQ(DpiToScale(96), 1.f);
    EXPECT_EQ(DpiToScale(144), 1.5f);
    EXPECT_EQ(DpiToScale(192), 2.f);
    EXPECT_EQ(DpiToScale(120), 1.25f);
    EXPECT_EQ(DpiToScale(0), 1.f);
}

TEST(PlatformResources, FilesAreFoundByPathButNotFolders)
{
    ScratchFolder folder("platform_files");
    const std::string file = folder / "knob.png";
    ASSERT_TRUE(WriteBytes(file, "png bytes"));
    plugkit::HeapString result("unchanged");

    EXPECT_EQ(FindResourceLocation(file.c_str(), "png", result, GetModuleInstance()),
              ResourceLocation::FilePath);
    EXPECT_EQ(std::string(result.Get()), file);

    result.Set("unchanged");
    const std::string missing = folder / "missing.png";
    for (const char* name :
         {missing.c_str(), "platform_files", "", static_cast<const char*>(nullptr)})
    {
        EXPECT_EQ(FindResourceLocation(name, "png", result, nullptr), ResourceLocation::NotFound);
        EXPECT_STREQ(result.Get(), "unchanged");
    }
}

TEST(PlatformResources, NonAsciiPathsOpenAndAreFound)
{
    ScratchFolder folder("platform_\xC3\xBCnicode");
    const std::string path = folder / "Hall \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC.txt";
    ASSERT_TRUE(WriteBytes(path, "reverb"));
    // The file exists under its real name (on Windows: read back through the wide calls of the
    // file system library, so a name mangled by the ANSI code page would not be found).
    EXPECT_TRUE(fs::exists(fs::path(u8"platform_\u00fcnicode/Hall \u2013 \u65e5\u672c.txt")));
    EXPECT_EQ(ReadBytes(path), "reverb");
    plugkit::HeapString result;
    EXPECT_EQ(FindResourceLocation(path.c_str(), "txt", result, nullptr),
              ResourceLocation::FilePath);
    // A writing open of a path that cannot exist fails instead of making another file.
    EXPECT_EQ(OpenFileUtf8((folder / "no folder/\xC3\xA9.txt").c_str(), "wb"), nullptr);
    EXPECT_EQ(OpenFileUtf8(nullptr, "rb"), nullptr);
}

TEST(PlatformResources, NamesThatAreNotUtf8AreNotLookedUp)
{
    // Converted, each malformed name would read as U+FFFD ".png", and a file of that name exists
    // (natively the malformed bytes name a file of their own too); none is found.
    ScratchFolder folder("platform_malformed");
    const std::string replaced = folder / "\xEF\xBF\xBD.png";
    ASSERT_TRUE(WriteBytes(replaced, "png bytes"));
    plugkit::HeapString result;
    EXPECT_EQ(FindResourceLocation(replaced.c_str(), "png", result, nullptr),
              ResourceLocation::FilePath);
    for (const char* leaf : {"\xFF", "\x80", "\xC3"})
    {
        const std::string name = folder / (std::string(leaf) + ".png").c_str();
#if !defined(_WIN32)
        ASSERT_TRUE(WriteBytes(name, "png bytes"));
#endif
        result.Set("unchanged");
        EXPECT_EQ(FindResourceLocation(name.c_str(), "png", result, nullptr),
                  ResourceLocation::NotFound);
        EXPECT_STREQ(result.Get(), "unchanged");
        EXPECT_FALSE(ResourceNamesMatch("\xEF\xBF\xBD.png", (std::string(leaf) + ".png").c_str()));
    }
}

TEST(PlatformResources, FormatTimeUtf8)
{
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 10;
    time.tm_hour = 14;
    time.tm_min = 5;
    time.tm_sec = 9;
    char out[64];
    EXPECT_EQ(FormatTimeUtf8(out, sizeof(out), "%Y%m%d_%H%M%S", &time), 15u);
    EXPECT_STREQ(out, "20261210_140509");
    // Literal text outside ASCII survives the formatting.
    EXPECT_EQ(FormatTimeUtf8(out, sizeof(out), "Zeit \xE2\x80\x93 %H:%M", &time), 14u);
    EXPECT_STREQ(out, "Zeit \xE2\x80\x93 14:05");
    // Unknown conversions are literal text.
    EXPECT_EQ(FormatTimeUtf8(out, sizeof(out), "%Q%#d%", &time), 5u);
    EXPECT_STREQ(out, "%Q10%");
    // Too small, or missing arguments: nothing, and an empty output.
    EXPECT_EQ(FormatTimeUtf8(out, 8, "%Y%m%d_%H%M%S", &time), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(FormatTimeUtf8(out, sizeof(out), nullptr, &time), 0u);
    EXPECT_EQ(FormatTimeUtf8(out, sizeof(out), "%Y", nullptr), 0u);
    EXPECT_EQ(FormatTimeUtf8(nullptr, 10, "%Y", &time), 0u);
    out[0] = 'x';
    EXPECT_EQ(FormatTimeUtf8(out, 0, "%Y", &time), 0u);
    EXPECT_EQ(out[0], 'x') << "no size, nothing written";
}

#if defined(_WIN32)
// The test executable embeds TestResources.rc; null names its own module.
TEST(PlatformResourcesWin, EmbeddedResourcesInAnyLetterCase)
{
    struct Case
    {
        const char* name;
        const char* type;
        const char* stored;
    };
    const Case cases[] = {
        {"Roboto-Regular.ttf", "ttf", "ROBOTO-REGULAR.TTF"},
        {"ROBOTO-REGULAR.TTF", "TTF", "ROBOTO-REGULAR.TTF"},
        {"\"roboto-regular.TTF\"", "Ttf", "ROBOTO-REGULAR.TTF"},
        {"shape.svg", "svg", "SHAPE.SVG"},
        {"x", "bin", "X"},
    };
    for (const Case& c : cases)
    {
        plugkit::HeapString result;
        EXPECT_EQ(FindResourceLocation(c.name, c.type, result, nullptr),
                  ResourceLocation::ModuleResource)
            << c.name;
        EXPECT_STREQ(result.Get(), c.stored);
    }
    plugkit::HeapString result("unchanged");
    // The right name under another type is not it.
    EXPECT_EQ(FindResourceLocation("shape.svg", "ttf", result, nullptr),
              ResourceLocation::NotFound);
    EXPECT_STREQ(result.Get(), "unchanged");
}

TEST(PlatformResourcesWin, ResourceComesBeforeAFileOfTheSameName)
{
    ASSERT_TRUE(WriteBytes("Roboto-Regular.ttf", "file bytes"));
    plugkit::HeapString result;
    EXPECT_EQ(FindResourceLocation("Roboto-Regular.ttf", "ttf", result, nullptr),
              ResourceLocation::ModuleResource);
    fs::remove("Roboto-Regular.ttf");
}

TEST(PlatformResourcesWin, ModuleResourceBytesAndShortResources)
{
    int32_t size = -1;
    const void* data = LoadModuleResource("ROBOTO-REGULAR.TTF", "ttf", size, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(data), size_t(size)),
              "embedded font bytes, not a font");

    EXPECT_NE(LoadModuleResource("eight.bin", "BIN", size, nullptr), nullptr);
    EXPECT_EQ(size, 8);

    size = -1;
    EXPECT_EQ(LoadModuleResource("SEVEN.BIN", "bin", size, nullptr), nullptr);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(LoadModuleResource("MISSING.BIN", "bin", size, nullptr), nullptr);
    EXPECT_EQ(LoadModuleResource(nullptr, "bin", size, nullptr), nullptr);
    EXPECT_EQ(size, -1);
}

TEST(PlatformResourcesWin, ResourceNamesThatAreNotUtf8AreNotLookedUp)
{
    // The script embeds a resource named U+FFFD ".BIN"; names whose malformed byte would convert
    // to it find nothing.
    plugkit::HeapString result;
    int32_t size = -1;
    EXPECT_EQ(FindResourceLocation("\xEF\xBF\xBD.bin", "bin", result, nullptr),
              ResourceLocation::ModuleResource);
    EXPECT_NE(LoadModuleResource("\xEF\xBF\xBD.bin", "bin", size, nullptr), nullptr);
    for (const char* name : {"\xFF.bin", "\x80.bin", "\xC3.bin"})
    {
        result.Set("unchanged");
        size = -1;
        EXPECT_EQ(FindResourceLocation(name, "bin", result, nullptr), ResourceLocation::NotFound)
            << static_cast<unsigned>(static_cast<unsigned char>(name[0]));
        EXPECT_STREQ(result.Get(), "unchanged");
        EXPECT_EQ(LoadModuleResource(name, "bin", size, nullptr), nullptr);
        EXPECT_EQ(size, -1);
    }
}

TEST(PlatformResourcesWin, WindowDpiScaleOfARealWindow)
{
    HWND window = CreateWindowExW(0,
                                  L"STATIC",
                                  L"dpi",
                                  WS_OVERLAPPEDWINDOW,
                                  0,
                                  0,
                                  100,
                                  100,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr);
    ASSERT_NE(window, nullptr);
    // Wine's default 96 dpi (or a system without GetDpiForWindow): exactly 1.
    EXPECT_EQ(GetWindowDpiScale(window), 1.f);
    DestroyWindow(window);
}
#endif

} // namespace
