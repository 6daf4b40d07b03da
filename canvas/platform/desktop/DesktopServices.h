#pragma once

// The desktop services of the Windows editor window: file, folder and colour dialogs, links,
// showing a path in the explorer, message boxes, cursors and the clipboard. Each is a function
// over the editor's window handle, so the window layer's ICanvas overrides only pass their
// window (and release the mouse capture after a dialog). Text is UTF-8 on our side and UTF-16
// at every Windows call. UI thread only: the dialogs are modal and run nested message loops.
// Windows only.

#include "canvas/CanvasTypes.h"
#include "canvas/ICanvas.h"
#include "plugkit/HeapString.h"

#include <functional>

#include <windows.h>

namespace plugkit::canvas::platform
{

/// The OLE set-up around the folder dialog and a drag. OLE is uninitialised only after its own
/// initialisation succeeded: a thread of another apartment keeps the COM state it had. Tests
/// replace the calls to count them.
struct OleCalls
{
    HRESULT (*initialize)(LPVOID reserved) = OleInitialize;
    void (*uninitialize)() = OleUninitialize;
};

/// The shell, network and message-box calls of `OpenURL` and `RevealPath`, so tests can run
/// them without starting a browser or an explorer.
struct ShellCalls
{
    /// `InternetGetConnectedState`: true when the machine reports a connection.
    std::function<bool()> isConnected;
    /// `ShellExecuteW` with the verb "open": a result above 32 is success.
    std::function<INT_PTR(
        HWND owner, const wchar_t* file, const wchar_t* parameters, const wchar_t* directory)>
        shellOpen;
    /// `MessageBoxW`.
    std::function<int(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)>
        messageBox;
};

/// The real calls.
const ShellCalls& SystemShellCalls();

/// The message boxes' owner: the host's top-level window, found on the first message box and
/// kept with its window class, so a later box finds it again even without the parent.
struct MessageBoxOwner
{
    HWND window = nullptr;
    HeapString hostClassName;
};

// ---- Cursors.

/// Shows the system cursor of `shape` (the arrow for values outside the table).
void ShowCursorShape(ECursorShape shape);

// ---- Dialogs. The caller releases the mouse capture afterwards.

/// The open dialog (or the save dialog for `EFileAction::Save`, which confirms overwriting),
/// owned by `window`, starting at `fileName` in the folder `path` and filtered by the space
/// separated `extensions` (the first is the default extension). On success `fileName` is the
/// chosen full path and `path` its folder with the final separator; on cancel `fileName` is
/// empty. The completion then runs with both. Without a window `fileName` is emptied and the
/// completion is dropped uncalled.
void PromptForFile(HWND window,
                   HeapString& fileName,
                   HeapString& path,
                   EFileAction action,
                   const char* extensions,
                   IFileDialogCompletionHandlerFunc completion);

/// The folder dialog ("Choose a Directory") owned by `window`. `dir` becomes the chosen folder
/// with exactly one final separator, or empty when cancelled; the completion then runs with an
/// empty file name and `dir`. Without a window `dir` is emptied and the completion is dropped
/// uncalled, as with the file dialog.
void PromptForDirectory(HWND window,
                        HeapString& dir,
                        IFileDialogCompletionHandlerFunc completion,
                        const OleCalls& ole = {});

/// The colour dialog owned by `window`, titled `prompt` unless it is empty, starting at `color`. On
/// OK the red, green and blue of `color` take the choice (alpha stays), the completion runs and the
/// result is true; on cancel, or without a window, false with `color` unchanged. The 16 custom
/// colours are kept for the life of the process.
bool PromptForColor(HWND window,
                    IArgbColor& color,
                    const char* prompt,
                    IColorPickerHandlerFunc completion);

// ---- Links and the explorer.

/// Opens an http, https or mailto link with the shell (`IsOpenableUrl`; anything else is
/// refused without a word). With `confirmMessage` the user is asked first (Yes/No, titled
/// `windowTitle`) and any answer but Yes returns false. A web link asks for the network state
/// first; a mail link does not. When the machine is offline or the shell fails, `errorMessage`
/// (when given) is shown and the result is false.
bool OpenURL(HWND window,
             const char* url,
             const char* windowTitle,
             const char* confirmMessage,
             const char* errorMessage,
             const ShellCalls& shell = SystemShellCalls());

/// Shows `path` in the explorer: with `select` its folder with the file selected, else the
/// folder itself (`BuildRevealArguments`). False for an empty or invalid path or a failed shell.
bool RevealPath(const char* path, bool select, const ShellCalls& shell = SystemShellCalls());

// ---- Message boxes.

/// The top-level window that owns the editor's message boxes: `owner.window` when still a
/// window; else the top-most ancestor of `parent` (whose class is remembered); else, without a
/// parent, the first top-level window of this process with the remembered class. May be null.
HWND FindMessageBoxOwner(MessageBoxOwner& owner, HWND parent);

/// `MessageBoxW` owned by `FindMessageBoxOwner`; `type` and the result are the Windows ones.
/// The completion runs with the result, which is also returned.
int ShowMessageBox(MessageBoxOwner& owner,
                   HWND parent,
                   const char* text,
                   const char* caption,
                   int type,
                   IMsgBoxCompletionHandlerFunc completion);

// ---- Clipboard (CF_UNICODETEXT and CF_HDROP).

/// The clipboard's text in `text`; false, with `text` empty, when it holds no text or cannot
/// be opened.
bool GetTextFromClipboard(HeapString& text);

/// Replaces the clipboard's content with `text`, owned by the editor `window`. An empty text
/// leaves the clipboard empty and succeeds. False without a window, when the clipboard cannot
/// be opened or memory cannot be had.
bool SetTextInClipboard(HWND window, const char* text);

/// Replaces the clipboard's content with a one-file list (CF_HDROP) of `path`, owned by the
/// editor `window`. False for an empty path and as `SetTextInClipboard`.
bool SetFilePathInClipboard(HWND window, const char* path);

} // namespace plugkit::canvas::platform
