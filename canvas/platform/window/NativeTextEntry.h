#pragma once

// Windows only: the native text field placed over a control for typing a value.

#include "canvas/CanvasTypes.h"
#include "canvas/platform/window/WindowLogic.h"

#include <windows.h>

#include <functional>
#include <string>

namespace plugkit::canvas::platform
{

/// Where an open native text entry stands; the entry's window procedure, the editor's window
/// procedure and the display tick share it.
enum class TextEntryState : int
{
    Idle = 0,        ///< nothing pending
    FocusGained = 1, ///< the field has just taken the focus: the editor ignores input
    Painted = 2,     ///< the editor was redrawn around the open field
    Cancel = 3,      ///< discard the text
    Commit = 4,      ///< take the text
    kNumTextEntryStates
};

/// A Windows edit control over an editor control. Return or losing the focus commits,
/// Escape cancels; characters that the value's type cannot hold are dropped. UI thread only.
class NativeTextEntry
{
public:
    /// Longest text read back, in UTF-16 units.
    static constexpr int kMaxTextUnits = 256;
    /// The control id of the edit window.
    static constexpr int kControlId = 99;

    NativeTextEntry() = default;
    ~NativeTextEntry() { Destroy(); }
    NativeTextEntry(const NativeTextEntry&) = delete;
    NativeTextEntry& operator=(const NativeTextEntry&) = delete;

    /// Opens the field in `parent` over `bounds` (editor units at total scale `scale`) holding
    /// `text` all selected, and gives it the focus. `baseFont` is the style's font (the GUI
    /// font when null), made `scale` x the style's size high. `paramType` filters the
    /// characters (-1: any). False, with nothing open, when the field could not be made or one
    /// is open already.
    bool Open(HWND parent,
              HINSTANCE instance,
              const IBounds& bounds,
              float scale,
              const ITextStyle& style,
              const LOGFONTW* baseFont,
              int paramType,
              int maxLength,
              const char* text);
    /// Restores the field's window procedure, destroys it and its font; state Idle.
    void Destroy();

    bool IsOpen() const { return mWindow != nullptr; }
    HWND GetWindow() const { return mWindow; }
    TextEntryState GetState() const { return mState; }
    void SetState(TextEntryState state) { mState = state; }
    /// The field's text as UTF-8, at most `kMaxTextUnits` units of it.
    std::string ReadText() const;
    const ITextStyle& GetStyle() const { return mStyle; }
    const IBounds& GetBounds() const { return mBounds; }
    /// Runs before the field handles any message (the editor hides its tooltip there).
    void SetMessageHook(std::function<void()> hook) { mMessageHook = std::move(hook); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND mWindow = nullptr;
    WNDPROC mPreviousProc = nullptr;
    HFONT mFont = nullptr;
    TextEntryState mState = TextEntryState::Idle;
    int mParamType = -1;
    ITextStyle mStyle;
    IBounds mBounds;
    std::function<void()> mMessageHook;
};

} // namespace plugkit::canvas::platform
