#pragma once

// Windows only: the thread that paces the editor by the display's vertical blank.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace plugkit::canvas::platform
{

// The kernel-mode thunk requests of gdi32 (mingw-w64 has no d3dkmthk.h); only the fields
// named in the thunk interface, in its layout.
struct D3dkmtOpenAdapterFromHdc
{
    HDC hDc = nullptr;
    UINT hAdapter = 0;
    LUID adapterLuid = {};
    UINT vidPnSourceId = 0;
};

struct D3dkmtCloseAdapter
{
    UINT hAdapter = 0;
};

struct D3dkmtWaitForVerticalBlankEvent
{
    UINT hAdapter = 0;
    UINT hDevice = 0;
    UINT vidPnSourceId = 0;
};

/// What the vertical-blank thread calls: the three D3DKMT functions (each empty when the system
/// lacks it, which selects the sleeping fallback) and its clocks. Tests inject failures and
/// instant waits here; `System` gives the real ones.
struct VBlankServices
{
    /// NTSTATUS results: negative means failure.
    std::function<LONG(D3dkmtOpenAdapterFromHdc&)> openAdapterFromHdc;
    std::function<LONG(const D3dkmtCloseAdapter&)> closeAdapter;
    std::function<LONG(const D3dkmtWaitForVerticalBlankEvent&)> waitForVerticalBlank;
    std::function<DWORD()> tickCount;     ///< milliseconds, wrapping (GetTickCount)
    std::function<void(DWORD)> sleep;     ///< Sleep
    std::function<double()> preciseNowMs; ///< a fine clock to time each wait

    /// gdi32's functions when it exports all three (the module stays loaded while `module`
    /// lives), the system's clocks.
    static VBlankServices System(HMODULE& module);
};

/// Posts `kWmVBlank` (wParam = the running count) to its target window after each vertical
/// blank. Where no blank can be waited for it posts every 16 ms; an adapter that cannot be
/// opened, or whose wait failed, is tried again at most once per second meanwhile. A wait that
/// returns at once is followed by the 16 ms sleep, so the thread, which runs at time-critical
/// priority, never spins.
///
/// Shared with the UI thread only through the stop flag, the target window and the latest
/// count (each atomic). If a stopped thread does not end in time its state outlives this
/// object, and it posts to no window any more.
class VBlankThread
{
public:
    VBlankThread() = default;
    ~VBlankThread();
    VBlankThread(const VBlankThread&) = delete;
    VBlankThread& operator=(const VBlankThread&) = delete;

    /// [ui-thread] Starts posting to `target` with `services` (the system's when null). False
    /// when the thread could not be created, or one already runs.
    bool Start(HWND target, const VBlankServices* services = nullptr);
    /// [ui-thread] Asks the thread to end and waits at most `timeoutMs`; true when it ended.
    /// Either way no further message is posted and the object can start again.
    bool Stop(DWORD timeoutMs = 10000);
    bool IsRunning() const { return mThread != nullptr; }
    /// [any-thread] The count of the last blank posted.
    int LatestCount() const;

private:
    struct State;
    static DWORD WINAPI ThreadStart(void* param);

    std::shared_ptr<State> mState;
    HANDLE mThread = nullptr;
};

} // namespace plugkit::canvas::platform
