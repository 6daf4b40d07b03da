#include "tests/support/app/DialogWatcher.h"

#include "plugkit/app/Utf8Text.h"

#include <algorithm>
#include <chrono>

namespace lumenfall::test
{

std::string WindowTextUtf8(HWND window)
{
    wchar_t wide[1024] = {};
    GetWindowTextW(window, wide, 1024);
    char utf8[4096];
    plugkit::app::WideToUtf8Truncated(wide, utf8, sizeof(utf8));
    return utf8;
}

namespace
{

bool IsDialog(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return std::string(name) == "#32770";
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && IsDialog(window))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM text)
{
    char name[64] = {};
    GetClassNameA(child, name, sizeof(name));
    if (std::string(name) == "Static")
    {
        auto& joined = *reinterpret_cast<std::string*>(text);
        const std::string part = WindowTextUtf8(child);
        if (!part.empty())
            joined += joined.empty() ? part : " " + part;
    }
    return TRUE;
}

} // namespace

DialogWatcher::DialogWatcher()
    : mThread([this] { Poll(); })
{
}

DialogWatcher::~DialogWatcher()
{
    mRun.store(false);
    mThread.join();
}

std::vector<DialogWatcher::Dialog> DialogWatcher::Seen()
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSeen;
}

void DialogWatcher::Poll()
{
    while (mRun.load())
    {
        std::vector<HWND> dialogs;
        EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
        for (HWND dialog : dialogs)
        {
            std::lock_guard<std::mutex> lock(mMutex);
            if (std::find(mDismissed.begin(), mDismissed.end(), dialog) != mDismissed.end())
                continue;
            Dialog seen;
            seen.title = WindowTextUtf8(dialog);
            EnumChildWindows(dialog, &CollectStaticText, reinterpret_cast<LPARAM>(&seen.text));
            mSeen.push_back(seen);
            mDismissed.push_back(dialog);
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace lumenfall::test
