#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"

#include "canvas/platform/desktop/DesktopServices.h"

#include <gtest/gtest.h>

#include <string>

#include <shellapi.h>

using namespace plugkit;
using namespace plugkit::canvas::platform;
using namespace desktoptest;

namespace
{

/// The clipboard's CF_UNICODETEXT exactly as another program would read it.
std::wstring RawClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"<cannot open>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
    {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

class DesktopClipboard : public testing::Test
{
protected:
    TestWindows& mWindows = SharedWindows();
};

TEST_F(DesktopClipboard, NonAsciiTextRoundTripsOwnedByTheEditor)
{
    const char* text = "Gr\xc3\xbc\xc3\x9f\x65, \xe4\xb8\x96\xe7\x95\x8c \xf0\x9f\x8e\x9b\r\nHall";
    ASSERT_TRUE(SetTextInClipboard(mWindows.editor, text));
    EXPECT_EQ(GetClipboardOwner(), mWindows.editor);
    EXPECT_EQ(RawClipboardText(), L"Gr\u00fc\u00dfe, \u4e16\u754c \U0001f39b\r\nHall")
        << "UTF-16 for every other program";

    HeapString read("old");
    ASSERT_TRUE(GetTextFromClipboard(read));
    EXPECT_STREQ(read.Get(), text);
}

TEST_F(DesktopClipboard, EmptyTextEmptiesTheClipboard)
{
    ASSERT_TRUE(SetTextInClipboard(mWindows.editor, "something"));
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));

    EXPECT_TRUE(SetTextInClipboard(mWindows.editor, ""));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    HeapString read("old");
    EXPECT_FALSE(GetTextFromClipboard(read));
    EXPECT_STREQ(read.Get(), "");
}

TEST_F(DesktopClipboard, RefusedWritesLeaveTheClipboardAlone)
{
    ASSERT_TRUE(SetTextInClipboard(mWindows.editor, "kept"));
    EXPECT_FALSE(SetTextInClipboard(nullptr, "no owner"));
    EXPECT_FALSE(SetFilePathInClipboard(mWindows.editor, ""));
    EXPECT_FALSE(SetFilePathInClipboard(nullptr, "C:\\a.wav"));
    EXPECT_EQ(RawClipboardText(), L"kept");
}

TEST_F(DesktopClipboard, FilePathGoesAsAOneFileList)
{
    const char* path = "C:\\users\\Kl\xc3\xa4nge\\Hall \xe2\x98\x83.wav";
    ASSERT_TRUE(SetFilePathInClipboard(mWindows.editor, path));
    EXPECT_EQ(GetClipboardOwner(), mWindows.editor);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT)) << "the old content is gone";

    ASSERT_TRUE(OpenClipboard(nullptr));
    auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 1u);
    wchar_t file[MAX_PATH] = {};
    DragQueryFileW(drop, 0, file, MAX_PATH);
    CloseClipboard();
    EXPECT_STREQ(file, L"C:\\users\\Kl\u00e4nge\\Hall \u2603.wav");
}

} // namespace
