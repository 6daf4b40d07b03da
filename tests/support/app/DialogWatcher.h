#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumenfall::test
{

/// Watches for dialog windows (class "#32770", such as message boxes) of this process from a
/// thread of its own, records each one's title and text (UTF-8), and dismisses it with OK, as a
/// user would. Lets a test run code that shows a modal message box on its own thread.
class DialogWatcher
{
public:
    struct Dialog
    {
        std::string title;
        std::string text; ///< the texts of its static controls, joined
    };

    DialogWatcher();
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    /// The dialogs seen so far.
    std::vector<Dialog> Seen();

private:
    void Poll();

    std::atomic<bool> mRun{true};
    std::mutex mMutex;
    std::vector<Dialog> mSeen;
    std::vector<HWND> mDismissed;
    std::thread mThread;
};

/// UTF-16 window text as UTF-8.
std::string WindowTextUtf8(HWND window);

} // namespace lumenfall::test
