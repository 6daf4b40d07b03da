#pragma once

// Windows only: the program's screenshots of its main window.

#include "plugkit/HeapString.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace plugkit::app
{

/// Reads the pixels the editor last drew into `rgba` (red, green, blue, alpha; top row first);
/// false when there is no editor framebuffer to read.
using EditorPixelReader = std::function<bool(std::vector<uint8_t>& rgba, int& width, int& height)>;

/// Saves what `window` shows in its client area as a PNG file at `path` (UTF-8). The editor's
/// own framebuffer is read when `editor` gives one: a GDI capture of an OpenGL child window comes
/// back black or as the dialog's background (always under Wine, on Windows with some drivers)
/// while reporting success. Without an editor the client area is captured through GDI. Every
/// pixel is written opaque. False when the window is missing or has an empty client area (as
/// when minimised), or the capture, the encoding or the file failed.
bool SaveWindowScreenshot(HWND window, const char* path, const EditorPixelReader& editor = {});

/// The client area of `window` through GDI (PrintWindow, else a copy from its device context)
/// as opaque RGBA pixels; false when the window has no client area or neither capture worked.
bool CaptureClientArea(HWND window, std::vector<uint8_t>& rgba, int& width, int& height);

/// The user's temporary folder as UTF-8, ending in a separator; false when the system gives none.
bool GetTempFolderUtf8(HeapString& out);

/// The Save Screenshot command: saves the main window `owner` as
/// "<temporary folder><product>_screenshot_<time>.png" and asks whether to open it, or says that
/// it failed. Returns whether the file was saved.
bool RunSaveScreenshotCommand(HWND owner, const char* product, const EditorPixelReader& editor);

} // namespace plugkit::app
