#pragma once

// For Windows tests: runs the calling thread's message loop, as a UI thread would.

#include <windows.h>

namespace lumenfall::test
{

/// Dispatches this thread's messages for up to `ms` milliseconds or until `done()` is true.
template <typename Done>
void PumpMessages(DWORD ms, Done done)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && !done())
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

} // namespace lumenfall::test
