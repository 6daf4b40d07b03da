// Windows test helpers: a visible top-level window to host what is tested, and a message pump.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace plugkit::canvas::platform::test
{

/// Dispatches this thread's messages (translated, as a message loop would) until `done`
/// returns true or `timeoutMs` passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(1);
    }
    return true;
}

inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

/// A visible top-level window of `width` x `height` client pixels at (x, y), whose procedure
/// (when given) sees every message first; destroyed with the object. Under Wine without a
/// window manager destroying a top-level window takes two seconds, so tests share one
/// (`SharedHost`) where they can.
class HostWindow
{
public:
    using Handler = std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)>;

    HostWindow(int x, int y, int width, int height, Handler handler = nullptr)
        : mHandler(std::move(handler))
    {
        static const wchar_t* kClass = L"LumenfallTestHost";
        static bool registered = false;
        if (!registered)
        {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &HostWindow::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kClass;
            wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 255)); // the host's blue
            wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
            registered = RegisterClassW(&wc) != 0;
        }
        RECT r = {0, 0, width, height};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        // Top-most, so windows of tests running beside this one never cover what a screen
        // capture reads.
        mWindow = CreateWindowExW(WS_EX_TOPMOST,
                                  kClass,
                                  L"Host",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                                  x,
                                  y,
                                  r.right - r.left,
                                  r.bottom - r.top,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleW(nullptr),
                                  this);
        SetForegroundWindow(mWindow);
        PumpFor(50);
    }
    ~HostWindow()
    {
        if (mWindow != nullptr)
            DestroyWindow(mWindow);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Get() const { return mWindow; }
    void SetHandler(Handler handler) { mHandler = std::move(handler); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_NCCREATE)
        {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(
                window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        LRESULT result = 0;
        if (self != nullptr && self->mHandler && self->mHandler(msg, wParam, lParam, result))
            return result;
        return DefWindowProcW(window, msg, wParam, lParam);
    }

    HWND mWindow = nullptr;
    Handler mHandler;
};

/// What a user sees on the X screen: `width` x `height` pixels at screen (x, y) captured at the
/// X level (ImageMagick's import, a Unix program Wine starts), as RGB bytes; also written as
/// `pngPath` (a Unix path) when given. Empty when the capture failed.
inline std::vector<unsigned char>
CaptureScreen(int x, int y, int width, int height, const std::string& pngPath = "")
{
    // Wine signals a Unix process's handle at once, so its end is seen by the file it renames
    // into place last.
    static int serial = 0;
    const std::string name = "/tmp/lumenfall-capture-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(++serial);
    const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" +
                             std::to_string(x) + "+" + std::to_string(y);
    std::string command = "/usr/bin/import -window root -crop " + crop +
                          " +repage -depth 8 rgb:" + name + ".part && mv " + name + ".part " + name;
    if (!pngPath.empty())
        command =
            "/usr/bin/import -window root -crop " + crop + " +repage " + pngPath + "; " + command;
    command = "/bin/sh -c \"" + command + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    std::vector<unsigned char> pixels;
    if (!CreateProcessA(
            nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return pixels;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    FILE* file = nullptr;
    for (int i = 0; i < 2000 && file == nullptr; ++i)
    {
        file = std::fopen(name.c_str(), "rb");
        if (file == nullptr)
            Sleep(10);
    }
    if (file != nullptr)
    {
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        if (std::fread(pixels.data(), 1, pixels.size(), file) != pixels.size())
            pixels.clear();
        std::fclose(file);
        std::remove(name.c_str());
    }
    return pixels;
}

/// The screen rectangle of `window`'s client area.
inline RECT ClientOnScreen(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

/// The process's host window, 400 x 300 away from the screen's corner, where other tests' windows
/// open; no handler is set on each call.
inline HostWindow& SharedHost()
{
    static HostWindow* host = new HostWindow(1400, 600, 400, 300); // lives until exit
    host->SetHandler(nullptr);
    SetForegroundWindow(host->Get());
    SetFocus(host->Get());
    return *host;
}

} // namespace plugkit::canvas::platform::test
