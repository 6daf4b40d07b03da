// Screenshots of a window: the editor's own pixels when it has an editor, the GDI capture of a
// plain window otherwise, and the failures.

#include "plugkit/app/WindowScreenshot.h"
#include "tests/support/app/ProgramDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

constexpr COLORREF kLeftColour = RGB(200, 40, 10);
constexpr COLORREF kRightColour = RGB(10, 90, 220);

void DrawHalves(HWND window, HDC dc)
{
    RECT client;
    GetClientRect(window, &client);
    RECT left = client;
    left.right = client.right / 2;
    RECT right = client;
    right.left = left.right;
    HBRUSH leftBrush = CreateSolidBrush(kLeftColour);
    HBRUSH rightBrush = CreateSolidBrush(kRightColour);
    FillRect(dc, &left, leftBrush);
    FillRect(dc, &right, rightBrush);
    DeleteObject(leftBrush);
    DeleteObject(rightBrush);
}

/// A window painted by GDI, on the screen and when asked to print itself: the left half one
/// colour, the right half another.
LRESULT CALLBACK PaintHalves(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT)
    {
        DrawHalves(window, reinterpret_cast<HDC>(wParam));
        return 0;
    }
    if (message != WM_PAINT)
        return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    DrawHalves(window, BeginPaint(window, &paint));
    EndPaint(window, &paint);
    return 0;
}

class WindowScreenshot : public testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &PaintHalves;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"LumenfallScreenshotTest";
        RegisterClassW(&windowClass);
        mWindow = CreateWindowExW(0,
                                  windowClass.lpszClassName,
                                  L"shot",
                                  WS_POPUP | WS_VISIBLE,
                                  50,
                                  50,
                                  kWidth,
                                  kHeight,
                                  nullptr,
                                  nullptr,
                                  windowClass.hInstance,
                                  nullptr);
        ASSERT_NE(mWindow, nullptr);
        UpdateWindow(mWindow);
        mPath = TempFolder() + "lumenfall-window-shot.png";
        RemovePath(mPath);
    }
    void TearDown() override
    {
        DestroyWindow(mWindow);
        UnregisterClassW(L"LumenfallScreenshotTest", GetModuleHandleW(nullptr));
        RemovePath(mPath);
    }

    static constexpr int kWidth = 120;
    static constexpr int kHeight = 80;
    HWND mWindow = nullptr;
    std::string mPath;
};

TEST_F(WindowScreenshot, APlainWindowIsCapturedThroughGdi)
{
    ASSERT_TRUE(SaveWindowScreenshot(mWindow, mPath.c_str()));
    PngImage image;
    ASSERT_TRUE(ReadPng(mPath, image));
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    const uint8_t* left = image.At(10, 40);
    const uint8_t* right = image.At(110, 40);
    EXPECT_EQ(RGB(left[0], left[1], left[2]), kLeftColour);
    EXPECT_EQ(RGB(right[0], right[1], right[2]), kRightColour);
    EXPECT_EQ(left[3], 255);
}

TEST_F(WindowScreenshot, AnEditorGivesItsOwnPixelsOpaque)
{
    // What a GL editor drew: a gradient with its drawing's alpha, another size than the window.
    const EditorPixelReader editor = [](std::vector<uint8_t>& rgba, int& width, int& height)
    {
        width = 3;
        height = 2;
        rgba.clear();
        for (int i = 0; i < 6; ++i)
            rgba.insert(rgba.end(), {uint8_t(40 * i), 7, uint8_t(255 - 40 * i), 100});
        return true;
    };
    ASSERT_TRUE(SaveWindowScreenshot(mWindow, mPath.c_str(), editor));
    PngImage image;
    ASSERT_TRUE(ReadPng(mPath, image));
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    for (int i = 0; i < 6; ++i)
    {
        const uint8_t* p = image.At(i % 3, i / 3);
        EXPECT_EQ(std::vector<uint8_t>(p, p + 4),
                  (std::vector<uint8_t>{uint8_t(40 * i), 7, uint8_t(255 - 40 * i), 255}));
    }

    // No editor framebuffer to read (none open, or a short one): the window through GDI.
    const EditorPixelReader none = [](std::vector<uint8_t>&, int&, int&) { return false; };
    const EditorPixelReader shortRead = [](std::vector<uint8_t>& rgba, int& width, int& height)
    {
        width = 10;
        height = 10;
        rgba.assign(12, 0);
        return true;
    };
    for (const EditorPixelReader& reader : {none, shortRead})
    {
        ASSERT_TRUE(SaveWindowScreenshot(mWindow, mPath.c_str(), reader));
        ASSERT_TRUE(ReadPng(mPath, image));
        EXPECT_EQ(image.width, kWidth);
    }
}

TEST_F(WindowScreenshot, FailuresWriteNothing)
{
    EXPECT_FALSE(SaveWindowScreenshot(nullptr, mPath.c_str()));
    EXPECT_FALSE(SaveWindowScreenshot(mWindow, nullptr));
    EXPECT_FALSE(SaveWindowScreenshot(mWindow, ""));
    EXPECT_FALSE(FileExists(mPath));
    const std::string missing = TempFolder() + "lumenfall-no-such-folder\\shot.png";
    EXPECT_FALSE(SaveWindowScreenshot(mWindow, missing.c_str()));
    EXPECT_FALSE(FileExists(missing));
    // A window without a client area, as a minimised one has.
    SetWindowPos(mWindow, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_FALSE(SaveWindowScreenshot(mWindow, mPath.c_str()));
    EXPECT_FALSE(FileExists(mPath));
}

} // namespace
