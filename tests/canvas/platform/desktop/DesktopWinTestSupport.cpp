#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"

namespace desktoptest
{

namespace
{

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterTestClass(const wchar_t* name)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc); // fails harmlessly when already registered
}

struct DialogSearch
{
    const std::function<bool(HWND)>* match;
    HWND found = nullptr;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam)
{
    auto& search = *reinterpret_cast<DialogSearch*>(lParam);
    if (ClassName(window) == L"#32770" && IsWindowVisible(window) && (*search.match)(window))
    {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

TestWindows::TestWindows(const wchar_t* hostClass)
{
    RegisterTestClass(hostClass);
    RegisterTestClass(L"DesktopTestChild");
    HINSTANCE instance = GetModuleHandleW(nullptr);
    host = CreateWindowExW(0,
                           hostClass,
                           L"Desktop test host",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           100,
                           100,
                           600,
                           400,
                           nullptr,
                           nullptr,
                           instance,
                           nullptr);
    panel = CreateWindowExW(0,
                            L"DesktopTestChild",
                            L"panel",
                            WS_CHILD | WS_VISIBLE,
                            0,
                            0,
                            500,
                            300,
                            host,
                            nullptr,
                            instance,
                            nullptr);
    editor = CreateWindowExW(0,
                             L"DesktopTestChild",
                             L"Plugin",
                             WS_CHILD | WS_VISIBLE,
                             10,
                             10,
                             400,
                             250,
                             panel,
                             nullptr,
                             instance,
                             nullptr);
    PumpMessages(50, [] { return false; });
}

TestWindows::~TestWindows()
{
    if (host)
        DestroyWindow(host);
    PumpMessages(20, [] { return false; });
}

TestWindows& SharedWindows()
{
    static TestWindows windows;
    return windows;
}

HWND WaitForDialog(DWORD thread, const std::function<bool(HWND)>& match, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs)
    {
        DialogSearch search{&match};
        EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(20);
    }
    return nullptr;
}

DialogDriver::DialogDriver(std::function<bool(HWND)> match, std::function<void(HWND)> drive)
{
    const DWORD uiThread = GetCurrentThreadId();
    mThread = std::thread(
        [this, uiThread, match = std::move(match), drive = std::move(drive)]
        {
            HWND dialog = WaitForDialog(uiThread, match, 15000);
            if (!dialog)
                return;
            Sleep(100); // let the dialog finish its own set-up
            drive(dialog);
            mFound = true;
        });
}

DialogDriver::~DialogDriver()
{
    Join();
}

bool DialogDriver::Join()
{
    if (mThread.joinable())
        mThread.join();
    return mFound;
}

void PressButton(HWND dialog, int id)
{
    PostMessageW(dialog,
                 WM_COMMAND,
                 MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

} // namespace desktoptest
