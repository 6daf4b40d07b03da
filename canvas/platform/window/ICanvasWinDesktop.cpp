// The desktop services and platform fonts over the editor window: forwarded to the desktop
// services and the process-wide font caches.
#include "canvas/platform/window/ICanvasWin.h"

#include "canvas/platform/nanovg/WinFont.h"
#include "plugkit/HeapString.h"

#include <utility>

namespace plugkit::canvas::platform
{

bool ICanvasWin::GetTextFromClipboard(HeapString& text)
{
    return platform::GetTextFromClipboard(text);
}

bool ICanvasWin::SetTextInClipboard(const char* text)
{
    return platform::SetTextInClipboard(mWindow, text);
}

bool ICanvasWin::SetFilePathInClipboard(const char* path)
{
    return platform::SetFilePathInClipboard(mWindow, path);
}

bool ICanvasWin::StartFileDrag(const char* path)
{
    return platform::StartFileDrag(path);
}

int ICanvasWin::ShowMessageBox(const char* text,
                               const char* caption,
                               int type,
                               IMsgBoxCompletionHandlerFunc completion)
{
    ReleaseCapture();
    return platform::ShowMessageBox(
        mMessageBoxOwner, mWindow, text, caption, type, std::move(completion));
}

void ICanvasWin::PromptForFile(HeapString& fileName,
                               HeapString& path,
                               EFileAction action,
                               const char* extensions,
                               IFileDialogCompletionHandlerFunc completion)
{
    platform::PromptForFile(mWindow, fileName, path, action, extensions, std::move(completion));
    ReleaseCapture();
}

void ICanvasWin::PromptForDirectory(HeapString& dir, IFileDialogCompletionHandlerFunc completion)
{
    platform::PromptForDirectory(mWindow, dir, std::move(completion));
    ReleaseCapture();
}

bool ICanvasWin::PromptForColor(IArgbColor& color,
                                const char* prompt,
                                IColorPickerHandlerFunc completion)
{
    const bool chosen = platform::PromptForColor(mWindow, color, prompt, std::move(completion));
    ReleaseCapture();
    return chosen;
}

bool ICanvasWin::OpenURL(const char* url,
                         const char* windowTitle,
                         const char* confirmMessage,
                         const char* errorMessage)
{
    return platform::OpenURL(mWindow, url, windowTitle, confirmMessage, errorMessage);
}

bool ICanvasWin::RevealPath(const char* path, bool select)
{
    return platform::RevealPath(path, select);
}

PlatformFontPtr
ICanvasWin::LoadPlatformFontByName(const char*, const char* fontName, ETextStyle style)
{
    return PlatformFontPtr(platform::LoadPlatformFontByName(fontName, style));
}

PlatformFontPtr
ICanvasWin::LoadPlatformFontFromMemory(const char* fontID, const void* data, int size)
{
    return PlatformFontPtr(platform::LoadPlatformFontFromMemory(fontID, data, size));
}

PlatformFontPtr ICanvasWin::LoadPlatformFontFile(const char* fontID, const char* fileNameOrResID)
{
    return PlatformFontPtr(platform::LoadPlatformFontFile(fontID, fileNameOrResID, mInstance));
}

void ICanvasWin::CachePlatformFont(const char* fontID, const PlatformFontPtr& font)
{
    if (font)
        platform::CachePlatformFont(fontID, *font);
}

} // namespace plugkit::canvas::platform
