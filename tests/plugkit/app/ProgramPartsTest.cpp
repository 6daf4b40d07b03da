// The program shell's portable parts: the command line, the About text, the screenshot file and
// its name.

#include "plugkit/app/ScreenshotFile.h"
#include "plugkit/app/StandaloneCommandLine.h"
#include "plugkit/app/StandaloneProgramInfo.h"
#include "tests/support/app/PngImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;

namespace
{

/// The path as UTF-8, which the program's file calls take on every system.
std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(CommandLine, OptionsAndTheirWords)
{
    struct Case
    {
        const char* arguments;
        std::string screenshotPath;
        bool noIO;
    };
    const Case cases[] = {
        {nullptr, "", false},
        {"", "", false},
        {"   ", "", false},
        {"--no-io", "", true},
        {"--screenshot C:\\shots\\a.png", "C:\\shots\\a.png", false},
        {"  --screenshot   a.png   --no-io ", "a.png", true},
        // As the last word it has no path: the program runs normally.
        {"--screenshot", "", false},
        {"--no-io --screenshot", "", true},
        {"--screenshot a.png --screenshot", "", false},
        // Unknown words are ignored, options are whole words only.
        {"-no-io --NO-IO --no-io=1 extra", "", false},
        {"--screenshot\ta.png", "a.png", false},
        // Quotes let a path hold blanks and are not part of it.
        {"--screenshot \"C:\\My Shots\\a b.png\" --no-io", "C:\\My Shots\\a b.png", true},
        {"--screenshot C:\\\"My Shots\"\\a.png", "C:\\My Shots\\a.png", false},
        {"--screenshot \"unterminated path", "unterminated path", false},
        {"--screenshot \"\"", "", false},
        // Non-ASCII paths pass through as the UTF-8 they are.
        {"--screenshot C:\\T\xC3\xABst\\\xE9\x9F\xB3.png",
         "C:\\T\xC3\xABst\\\xE9\x9F\xB3.png",
         false},
    };
    for (const Case& c : cases)
    {
        const StandaloneCommandLine line = ParseCommandLine(c.arguments);
        const char* shown = c.arguments ? c.arguments : "(null)";
        EXPECT_EQ(line.screenshotPath.Get(), c.screenshotPath) << shown;
        EXPECT_EQ(line.noIO, c.noIO) << shown;
    }
}

TEST(AboutText, OwnerLineThenTheBuildDate)
{
    HeapString text;
    FormatAboutText(text, "LUMENFALL is made by TESSALINE.", "Mar  7 2026");
    EXPECT_STREQ(text.Get(), "LUMENFALL is made by TESSALINE.\nBuilt on Mar 7 2026");
    FormatAboutText(text, "Owner", "Oct 11 2026");
    EXPECT_STREQ(text.Get(), "Owner\nBuilt on Oct 11 2026");
}

TEST(ScreenshotFile, NamedByProductAndLocalTime)
{
    std::tm time = {};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 9;
    time.tm_mday = 11;
    time.tm_hour = 9;
    time.tm_min = 30;
    time.tm_sec = 15;
    HeapString path;
    ASSERT_TRUE(FormatScreenshotPath(path, "C:\\Temp\\", "LUMENFALL", time));
    EXPECT_STREQ(path.Get(), "C:\\Temp\\LUMENFALL_screenshot_20261011_093015.png");
}

TEST(ScreenshotFile, GdiPixelsBecomeOpaqueRgba)
{
    std::vector<uint8_t> pixels = {10, 20, 30, 0, 200, 100, 50, 7};
    BgrxToOpaqueRgba(pixels.data(), 2);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{30, 20, 10, 255, 50, 100, 200, 255}));
}

class ScreenshotPng : public testing::Test
{
protected:
    void SetUp() override
    {
        mFolder = std::filesystem::temp_directory_path() /
                  ("lumenfall-png-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(mFolder);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::filesystem::path mFolder;
};

TEST_F(ScreenshotPng, WritesThePixelsAsTheyAre)
{
    // Three by two pixels, each of its own colour and alpha, so rows, columns and channels show.
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 6; ++i)
        rgba.insert(rgba.end(),
                    {uint8_t(40 * i), uint8_t(255 - 40 * i), uint8_t(7 * i), uint8_t(255 - i)});
    const std::string path = Utf8(mFolder / u8"T\u00EBst \u97F3.png");
    ASSERT_TRUE(WritePngFile(rgba.data(), 3, 2, path.c_str()));

    lumenfall::test::PngImage image;
    ASSERT_TRUE(lumenfall::test::ReadPng(path, image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.rgba, rgba);
}

TEST_F(ScreenshotPng, AFailureLeavesNoFile)
{
    const uint8_t pixel[4] = {1, 2, 3, 255};
    const std::filesystem::path missingFolder = mFolder / "missing" / "shot.png";
    EXPECT_FALSE(WritePngFile(pixel, 1, 1, Utf8(missingFolder).c_str()));
    EXPECT_FALSE(std::filesystem::exists(missingFolder));
    // A folder in the file's place.
    EXPECT_FALSE(WritePngFile(pixel, 1, 1, Utf8(mFolder).c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(mFolder));
    const std::string path = Utf8(mFolder / "empty.png");
    EXPECT_FALSE(WritePngFile(pixel, 0, 1, path.c_str()));
    EXPECT_FALSE(WritePngFile(nullptr, 1, 1, path.c_str()));
    EXPECT_FALSE(WritePngFile(pixel, 1, 1, ""));
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
