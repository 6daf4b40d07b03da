#include "plugkit/app/WindowScreenshot.h"

#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/app/ScreenshotFile.h"
#include "plugkit/app/Utf8Wrappers.h"

#include <shellapi.h>

#include <ctime>

namespace plugkit::app
{

namespace
{
constexpr const char* kSavedTitle = "Screenshot Saved";
constexpr const char* kSavedFormat = "Screenshot saved to:\n%s\n\nOpen it?";
constexpr const char* kFailedText = "Failed to save screenshot";
constexpr const char* kFailedTitle = "Error";
/// PrintWindow's flags: the client area only, with full content rendering.
constexpr UINT kPrintClientFullContent = 1 | 2;
constexpr int32_t kMessageBytes = 8192;

/// A screen-compatible memory context holding a 32-bit top-down section of the window's size.
class CaptureSurface
{
public:
    CaptureSurface(HWND window, int width, int height)
        : mWindowDc(GetDC(window))
        , mWindow(window)
    {
        if (!mWindowDc)
            return;
        mMemoryDc = CreateCompatibleDC(mWindowDc);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (mMemoryDc)
            mSection = CreateDIBSection(mWindowDc, &info, DIB_RGB_COLORS, &mBits, nullptr, 0);
        if (mSection)
            mOld = SelectObject(mMemoryDc, mSection);
    }
    ~CaptureSurface()
    {
        if (mOld)
            SelectObject(mMemoryDc, mOld);
        if (mSection)
            DeleteObject(mSection);
        if (mMemoryDc)
            DeleteDC(mMemoryDc);
        if (mWindowDc)
            ReleaseDC(mWindow, mWindowDc);
    }
    CaptureSurface(const CaptureSurface&) = delete;
    CaptureSurface& operator=(const CaptureSurface&) = delete;

    bool IsValid() const { return mSection && mBits; }
    HDC MemoryDc() const { return mMemoryDc; }
    HDC WindowDc() const { return mWindowDc; }
    const uint8_t* Bits() const { return static_cast<const uint8_t*>(mBits); }

private:
    HDC mWindowDc = nullptr;
    HWND mWindow = nullptr;
    HDC mMemoryDc = nullptr;
    HBITMAP mSection = nullptr;
    HGDIOBJ mOld = nullptr;
    void* mBits = nullptr;
};

bool ClientSize(HWND window, int& width, int& height)
{
    RECT client = {};
    if (!window || !GetClientRect(window, &client))
        return false;
    width = client.right - client.left;
    height = client.bottom - client.top;
    return width > 0 && height > 0;
}

} // namespace

bool CaptureClientArea(HWND window, std::vector<uint8_t>& rgba, int& width, int& height)
{
    if (!ClientSize(window, width, height))
        return false;
    CaptureSurface surface(window, width, height);
    if (!surface.IsValid())
        return false;
    const bool drawn =
        PrintWindow(window, surface.MemoryDc(), kPrintClientFullContent) ||
        BitBlt(surface.MemoryDc(), 0, 0, width, height, surface.WindowDc(), 0, 0, SRCCOPY);
    if (!drawn)
        return false;
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    rgba.assign(surface.Bits(), surface.Bits() + pixels * 4);
    BgrxToOpaqueRgba(rgba.data(), pixels);
    return true;
}

bool SaveWindowScreenshot(HWND window, const char* path, const EditorPixelReader& editor)
{
    int width = 0;
    int height = 0;
    if (!path || !*path || !ClientSize(window, width, height))
        return false;
    std::vector<uint8_t> rgba;
    const bool fromEditor = editor && editor(rgba, width, height) && width > 0 && height > 0 &&
                            rgba.size() == static_cast<size_t>(width) * height * 4;
    if (fromEditor)
    {
        // The editor's framebuffer carries the alpha it was drawn with; the file shows the window.
        for (size_t i = 3; i < rgba.size(); i += 4)
            rgba[i] = 255;
    }
    else if (!CaptureClientArea(window, rgba, width, height))
        return false;
    return WritePngFile(rgba.data(), width, height, path);
}

bool GetTempFolderUtf8(HeapString& out)
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return false;
    canvas::platform::WideToUtf8(folder, out);
    return !out.IsEmpty();
}

bool RunSaveScreenshotCommand(HWND owner, const char* product, const EditorPixelReader& editor)
{
    HeapString folder;
    HeapString path;
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    const bool named = GetTempFolderUtf8(folder) && localtime_s(&local, &now) == 0 &&
                       FormatScreenshotPath(path, folder.Get(), product, local);
    if (!named || !SaveWindowScreenshot(owner, path.Get(), editor))
    {
        MessageBoxUtf8(owner, kFailedText, kFailedTitle, MB_OK);
        return false;
    }
    HeapString question;
    question.SetFormatted(kMessageBytes, kSavedFormat, path.Get());
    if (MessageBoxUtf8(owner, question.Get(), kSavedTitle, MB_YESNO) == IDYES)
    {
        HeapBuffer wide;
        ShellExecuteW(owner,
                      L"open",
                      canvas::platform::Utf8ToWideBuffer(path.Get(), wide),
                      nullptr,
                      nullptr,
                      SW_SHOWNORMAL);
    }
    return true;
}

} // namespace plugkit::app
