#include "plugkit/app/MainWindow.h"

#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/window/ICanvasWin.h"
#include "plugkit/app/IPluginApp.h"
#include "plugkit/app/PreferencesDialog.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/StandaloneResourceId.h"
#include "plugkit/app/Utf8Wrappers.h"
#include "plugkit/app/WinStandalonePlatform.h"

namespace plugkit::app
{

namespace
{

constexpr const char* kManualText = "See the manual";
/// The Debug menu's position in the menu bar.
constexpr UINT kDebugMenuPosition = 1;
constexpr UINT kSizeRestored = 0;
constexpr UINT kSizeMaximized = 2;

/// The program this window belongs to, and how it will end.
struct MainWindowState
{
    StandaloneProgramInfo info;
    int exitCode = kExitNormal;
    /// Set while the window takes the editor's size, whose own WM_SIZE the plug-in must not see.
    bool fittingToEditor = false;
};
MainWindowState sState;

IPluginApp* Plugin()
{
    return gStandaloneHost ? gStandaloneHost->GetPlugin() : nullptr;
}

const char* ProductName()
{
    IPluginApp* plugin = Plugin();
    return plugin ? plugin->GetProductName() : "";
}

/// The outer size whose client area is `width` x `height`, as the frame stands now.
SIZE OuterSizeFor(HWND window, int width, int height)
{
    RECT outer = {};
    RECT client = {};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    return {width + (outer.right - outer.left) - (client.right - client.left),
            height + (outer.bottom - outer.top) - (client.bottom - client.top)};
}

/// The editor's window, null without an open editor.
HWND EditorWindow()
{
    IPluginApp* plugin = Plugin();
    auto* editor = plugin ? dynamic_cast<canvas::platform::ICanvasWin*>(plugin->GetUI()) : nullptr;
    return editor ? static_cast<HWND>(editor->GetWindow()) : nullptr;
}

void OnSize(HWND window, int width, int height)
{
    IPluginApp* plugin = Plugin();
    if (!plugin || !plugin->GetHostResizeEnabled() || sState.fittingToEditor)
        return;
    plugin->OnParentWindowResize(width, height);
    // The plug-in may settle a pixel short of this window (its scale is truncated to pixels):
    // the window follows the editor, so no strip of dialog shows beside it.
    RECT editor = {};
    HWND editorWindow = EditorWindow();
    if (!editorWindow || !GetClientRect(editorWindow, &editor) ||
        (editor.right == width && editor.bottom == height))
        return;
    const SIZE outer = OuterSizeFor(window, editor.right, editor.bottom);
    sState.fittingToEditor = true;
    SetWindowPos(
        window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    sState.fittingToEditor = false;
}

void OnInitDialog(HWND window)
{
    gMainWindow = window;
    // Removed before the window takes its size, so the client area is the editor's exactly.
    if (HMENU menu = GetMenu(window))
    {
        RemoveMenu(menu, kDebugMenuPosition, MF_BYPOSITION);
        DrawMenuBar(window);
    }
    IPluginApp* plugin = Plugin();
    if (!plugin)
        return;
    gStandaloneHost->OpenEditor(window);
    const int width = plugin->GetEditorWidth();
    const int height = plugin->GetEditorHeight();
    const SIZE outer = OuterSizeFor(window, width, height);
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    SetWindowPos(window, nullptr, x, y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_SHOW);
    if (*gStandaloneHost->GetScreenshotPath())
        SetTimer(window, kScreenshotTimerId, kScreenshotDelayMs, nullptr);
}

void OnDpiChanged(HWND window, const RECT& suggested)
{
    IPluginApp* plugin = Plugin();
    if (!plugin)
        return;
    const float scale = canvas::platform::GetWindowDpiScale(window);
    // The frame is measured before the editor changes size.
    const SIZE frame = OuterSizeFor(window, 0, 0);
    if (plugin->GetUI())
        plugin->SetScreenScale(scale);
    SetWindowPos(window,
                 nullptr,
                 suggested.left,
                 suggested.top,
                 plugin->GetEditorWidth() + frame.cx,
                 plugin->GetEditorHeight() + frame.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnScreenshotTimer(HWND window)
{
    KillTimer(window, kScreenshotTimerId);
    const char* path = gStandaloneHost ? gStandaloneHost->GetScreenshotPath() : "";
    if (!SaveWindowScreenshot(window, path, &ReadEditorPixels))
        sState.exitCode = kExitScreenshotFailed;
    DestroyWindow(window);
}

void ShowAbout(HWND window)
{
    IPluginApp* plugin = Plugin();
    if (plugin && plugin->OnAboutRequest())
        return;
    HeapString text;
    FormatAboutText(text, sState.info.aboutOwnerLine, sState.info.buildDate);
    MessageBoxUtf8(window, text.Get(), ProductName(), MB_OK);
}

void ShowManual(HWND window)
{
    IPluginApp* plugin = Plugin();
    if (plugin && plugin->OnManualRequest())
        return;
    MessageBoxUtf8(window, kManualText, ProductName(), MB_OK);
}

BOOL OnCommand(HWND window, int command)
{
    switch (command)
    {
    case ID_ABOUT:
        ShowAbout(window);
        return TRUE;
    case ID_PREFERENCES:
        if (RunPreferencesDialog(window) == IDOK && gStandaloneHost)
            gStandaloneHost->WriteSettingsFile();
        return TRUE;
    case ID_QUIT:
        DestroyWindow(window);
        return TRUE;
    case ID_READ_MANUAL:
        ShowManual(window);
        return TRUE;
    case ID_SAVE_SCREENSHOT:
        RunSaveScreenshotCommand(window, ProductName(), &ReadEditorPixels);
        return TRUE;
    default:
        return FALSE; // the Debug commands do nothing in this program
    }
}

void OnDestroy()
{
    if (gStandaloneHost)
        gStandaloneHost->CloseEditor();
    gMainWindow = nullptr;
    delete gStandaloneHost; // its teardown clears the pointer
    gStandaloneHost = nullptr;
    PostQuitMessage(sState.exitCode);
}

} // namespace

HWND CreateMainWindow(HINSTANCE instance, const StandaloneProgramInfo& info)
{
    sState = MainWindowState{};
    sState.info = info;
    return CreateDialogParamW(
        instance, MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(), &MainDialogProc, 0);
}

bool ReadEditorPixels(std::vector<uint8_t>& rgba, int& width, int& height)
{
    IPluginApp* plugin = Plugin();
    auto* editor = plugin ? dynamic_cast<canvas::platform::ICanvasWin*>(plugin->GetUI()) : nullptr;
    if (!editor || !editor->GetWindow())
        return false;
    // The whole editor is drawn first, so the picture holds what every control shows now, even
    // before the editor's first frame.
    auto* window = static_cast<HWND>(editor->GetWindow());
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    HeapBuffer pixels;
    editor->ActivateGLContext();
    const bool read = editor->ReadMainFramebuffer(pixels, width, height);
    editor->DeactivateGLContext();
    if (!read)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(pixels.Get());
    rgba.assign(bytes, bytes + pixels.Size());
    return true;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        OnInitDialog(window);
        return TRUE;
    case WM_SIZE:
        if (wParam != kSizeRestored && wParam != kSizeMaximized)
            return FALSE;
        OnSize(window, LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_GETMINMAXINFO:
    {
        IPluginApp* plugin = Plugin();
        if (!plugin)
            return TRUE;
        const float scale = canvas::platform::GetWindowDpiScale(window);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = static_cast<LONG>(plugin->GetMinWidth() * scale);
        info->ptMinTrackSize.y = static_cast<LONG>(plugin->GetMinHeight() * scale);
        info->ptMaxTrackSize.x = static_cast<LONG>(plugin->GetMaxWidth() * scale);
        info->ptMaxTrackSize.y = static_cast<LONG>(plugin->GetMaxHeight() * scale);
        return FALSE;
    }
    case WM_DPICHANGED:
        OnDpiChanged(window, *reinterpret_cast<const RECT*>(lParam));
        return FALSE;
    case WM_TIMER:
        if (wParam != kScreenshotTimerId)
            return FALSE;
        OnScreenshotTimer(window);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace plugkit::app
