#include "plugkit/app/StandaloneProgram.h"

#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/app/MainWindow.h"
#include "plugkit/app/StandaloneCommandLine.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/StandaloneResourceId.h"
#include "plugkit/app/Utf8Wrappers.h"
#include "plugkit/app/WinStandalonePlatform.h"

#include <commctrl.h>

namespace plugkit::app
{

namespace
{

/// The system dialog class.
constexpr ATOM kDialogClassAtom = 32770;
/// A second start may come while the first is still opening its window.
constexpr DWORD kFindWindowWaitMs = 3000;
constexpr DWORD kFindWindowPollMs = 50;
constexpr DWORD kFailedFetchRetryMs = 10;
/// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, which the mingw headers lack.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

/// Registered as other programs of the kind do; nothing here reads it.
UINT sWheelRollMessage = 0;

bool IsDialogClass(HWND window)
{
    return static_cast<ATOM>(GetClassLongPtrW(window, GCW_ATOM)) == kDialogClassAtom;
}

struct WindowSearch
{
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchProgramWindow(HWND window, LPARAM search)
{
    auto& s = *reinterpret_cast<WindowSearch*>(search);
    wchar_t title[256] = {};
    if (!IsDialogClass(window) || !GetWindowTextW(window, title, 256))
        return TRUE;
    if (CompareStringOrdinal(title, -1, s.title, -1, TRUE) != CSTR_EQUAL)
        return TRUE;
    s.found = window;
    return FALSE;
}

/// Brings the running instance's window to the front, waiting a little for it to appear.
void ShowRunningInstance(const char* title)
{
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while (!(window = FindProgramWindow(title)) && GetTickCount() - start < kFindWindowWaitMs)
        Sleep(kFindWindowPollMs);
    if (!window)
        return;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

/// Asks for per-monitor DPI awareness where the system has it; looked up once.
void RequestPerMonitorDpiAwareness()
{
    using SetContextFunc = BOOL(WINAPI*)(HANDLE);
    static const SetContextFunc sSetContext = []
    {
        HMODULE user32 = LoadLibraryUtf8("user32.dll");
        return user32 ? reinterpret_cast<SetContextFunc>(reinterpret_cast<void*>(
                            GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                      : nullptr;
    }();
    if (sSetContext)
        sSetContext(kPerMonitorAwareV2);
}

/// The dialog whose keys a message belongs to: the first top-level dialog up the target's
/// parent chain, else the outermost child dialog on it.
HWND DialogOf(HWND target)
{
    HWND childDialog = nullptr;
    for (HWND window = target; window; window = GetParent(window))
    {
        if (!IsDialogClass(window))
            continue;
        if (!(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD))
            return window;
        childDialog = window;
    }
    return childDialog;
}

/// Starts the host and the main window; the exit code when the program ends before the loop.
int StartProgram(HINSTANCE instance,
                 const wchar_t* arguments,
                 const StandaloneProgramInfo& info,
                 IStandalonePlatform& platform,
                 HACCEL& accelerators)
{
    StandaloneHost* host = StandaloneHost::Create(platform);
    if (!host)
        return kExitStartFailed;

    HeapString utf8;
    canvas::platform::WideToUtf8(arguments ? arguments : L"", utf8);
    const StandaloneCommandLine commandLine = ParseCommandLine(utf8.Get());
    host->SetNoIO(commandLine.noIO);
    host->SetScreenshotPath(commandLine.screenshotPath.Get());

    host->Initialize();
    host->ApplyAudioSettings();
    accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    RequestPerMonitorDpiAwareness();
    if (!CreateMainWindow(instance, info))
    {
        delete gStandaloneHost;
        return kExitStartFailed;
    }
    return kExitNormal;
}

} // namespace

HWND FindProgramWindow(const char* title)
{
    HeapBuffer wide;
    WindowSearch search{canvas::platform::Utf8ToWideBuffer(title, wide), nullptr};
    EnumWindows(&MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int RunMessageLoop(HACCEL accelerators)
{
    MSG msg = {};
    for (;;)
    {
        const BOOL fetched = GetMessageW(&msg, nullptr, 0, 0);
        if (fetched == 0)
            break;
        if (fetched == -1)
        {
            Sleep(kFailedFetchRetryMs);
            continue;
        }
        if (msg.hwnd)
        {
            if (gMainWindow &&
                ((accelerators && TranslateAcceleratorW(gMainWindow, accelerators, &msg)) ||
                 IsDialogMessageW(gMainWindow, &msg)))
                continue;
            HWND dialog = DialogOf(msg.hwnd);
            if (dialog && IsDialogMessageW(dialog, &msg))
                continue;
            TranslateMessage(&msg);
        }
        DispatchMessageW(&msg);
    }
    if (gMainWindow)
        DestroyWindow(gMainWindow);
    return static_cast<int>(msg.wParam);
}

int RunStandaloneProgram(HINSTANCE instance,
                         const wchar_t* arguments,
                         const StandaloneProgramInfo& info)
{
    // Created first and then asked whether it existed: two starts at once cannot both win.
    HeapBuffer wideName;
    HANDLE mutex = CreateMutexW(
        nullptr, FALSE, canvas::platform::Utf8ToWideBuffer(info.instanceName, wideName));
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED))
    {
        if (mutex)
            CloseHandle(mutex);
        ShowRunningInstance(info.instanceName);
        return kExitNormal;
    }

    canvas::platform::SetModuleInstance(instance);
    InitCommonControls();
    sWheelRollMessage = RegisterWindowMessageW(L"MSWHEEL_ROLLMSG");

    // Outlives the host, which the main window deletes before the loop ends.
    WinStandalonePlatform platform(info.settingsFolderName);
    int result = kExitStartFailed;
    // Nothing of ours throws; this keeps a library's exception from ending the program with a
    // crash report instead of its start-up failure code.
    try
    {
        HACCEL accelerators = nullptr;
        result = StartProgram(instance, arguments, info, platform, accelerators);
        if (result == kExitNormal)
            result = RunMessageLoop(accelerators);
    }
    catch (...)
    {
        result = kExitStartFailed;
    }
    if (mutex)
        CloseHandle(mutex);
    return result;
}

} // namespace plugkit::app
