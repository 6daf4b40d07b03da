#pragma once

// Real windows for the desktop services' tests under Wine: a host's top-level window, a panel
// inside it (the parent a host hands the editor) and the editor's child window; a message pump;
// and a helper thread that finds a modal dialog of the UI thread and drives it.

#include "tests/support/PumpMessages.h"

#include <functional>
#include <string>
#include <thread>

#include <windows.h>

namespace desktoptest
{

using lumenfall::test::PumpMessages;

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

/// Host top-level window of class `hostClass` at (100, 100), 600 x 400, with a panel child and
/// the editor as the panel's child; all shown.
struct TestWindows
{
    explicit TestWindows(const wchar_t* hostClass = L"DesktopTestHost");
    ~TestWindows();
    TestWindows(const TestWindows&) = delete;
    TestWindows& operator=(const TestWindows&) = delete;

    HWND host = nullptr;
    HWND panel = nullptr;
    HWND editor = nullptr;
};

/// One set of test windows for the whole executable: Wine takes about a second to take a
/// top-level window down when no window manager answers, so tests share these.
TestWindows& SharedWindows();

/// On a helper thread, waits (up to 15 s) for a visible dialog (#32770) of the calling thread
/// that `match` accepts and runs `drive` with it. Start it before the modal call; `Join` after.
class DialogDriver
{
public:
    DialogDriver(std::function<bool(HWND)> match, std::function<void(HWND)> drive);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    /// Waits for the helper; true when it found and drove a dialog.
    bool Join();

private:
    std::thread mThread;
    bool mFound = false;
};

/// A visible dialog of thread `thread` accepted by `match`, waited for up to `timeoutMs`.
HWND WaitForDialog(DWORD thread, const std::function<bool(HWND)>& match, DWORD timeoutMs);

/// Any dialog.
inline bool AnyDialog(HWND)
{
    return true;
}

/// Presses the dialog's button `id` as a click would.
void PressButton(HWND dialog, int id);

} // namespace desktoptest
