#pragma once

// Windows only: the stand-alone program's main window, a fixed-size dialog holding the editor.

#include "plugkit/app/StandaloneProgramInfo.h"
#include "plugkit/app/WindowScreenshot.h"

#include <windows.h>

namespace plugkit::app
{

/// The main window's timer of the screenshot mode, and its delay after the window opened.
inline constexpr UINT_PTR kScreenshotTimerId = 1001;
inline constexpr UINT kScreenshotDelayMs = 500;

/// Creates the main window (template IDD_MAIN, a top-level modeless dialog) for gStandaloneHost:
/// the editor inside, the client area the editor's size, centred on the primary screen, shown,
/// its Debug menu removed (the Debug accelerators stay). In screenshot mode the window saves
/// itself 500 ms later and closes. Null when the window could not be made.
HWND CreateMainWindow(HINSTANCE instance, const StandaloneProgramInfo& info);

/// The main window's dialog procedure. Destroying the window closes the editor, deletes
/// gStandaloneHost and posts the quit message with the program's exit code.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/// Reads the open editor's framebuffer for a screenshot; false while no editor draws.
bool ReadEditorPixels(std::vector<uint8_t>& rgba, int& width, int& height);

} // namespace plugkit::app
