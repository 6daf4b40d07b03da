#pragma once

// Windows only: the editor window. Its definitions by role: ICanvasWin.cpp (the window, its
// pacing, painting and presenting), ICanvasWinInput.cpp (the window procedure and input),
// ICanvasWinPrompts.cpp (native menus, text entry, tooltips), ICanvasWinDesktop.cpp (desktop
// services and fonts).

#include <windows.h>
// <windows.h> maps LoadBitmap to LoadBitmapA, which would rename ICanvas::LoadBitmap in every
// file that sees this header.
#undef LoadBitmap

#include "canvas/platform/desktop/DesktopServices.h"
#include "canvas/platform/desktop/DragAndDrop.h"
#include "canvas/platform/nanovg/ICanvasNanoVG.h"
#include "canvas/platform/window/NativeTextEntry.h"
#include "canvas/platform/window/VBlankThread.h"
#include "canvas/platform/window/WinGlSurface.h"
#include "canvas/platform/window/WindowLogic.h"

namespace plugkit::canvas::platform
{

/// The toolkit's Windows platform layer: a child window inside the host's (or the program's)
/// window with the GL context the NanoVG back end draws into. It turns the window's messages
/// into the toolkit's mouse, wheel, key, touch and drop calls, redraws the dirty areas once per
/// display frame (after each vertical blank on Windows 8 and later, on a window timer before),
/// shows native popup menus and text entry, and presents each frame (through GDI under Wine,
/// where an OpenGL child window never reaches the screen).
///
/// One object per open editor, made by the plug-in's create-graphics callback and deleted by
/// the editor delegate when the editor closes. Everything runs on the thread that opened the
/// window, except the vertical-blank thread, which only posts messages.
class ICanvasWin : public ICanvasNanoVG
{
public:
    /// The window class of every editor window of the process.
    static constexpr const wchar_t* kWindowClass = L"PluginWndClass";

    /// `presentModeVariable` names the environment variable that forces how each opening
    /// presents ("gdi" or "swap", see ChoosePresentMode): the product's own name, kept as a
    /// pointer (a literal), or null for none.
    ICanvasWin(ICanvasEditorDelegate& dlg,
               int width,
               int height,
               int fps = 60,
               float scale = 1.f,
               const char* presentModeVariable = nullptr);
    ~ICanvasWin() override;

    /// [ui-thread] Opens the editor window in the HWND `parent` (re-opens it in place when
    /// open). Null, with nothing left open, when the window or its GL context could not be
    /// made.
    void* OpenWindow(void* parent) override;
    /// [ui-thread] Stops the pacing, deletes the controls and GL objects, then the window.
    void CloseWindow() override;
    void* GetWindow() override { return mWindow; }
    bool WindowIsOpen() override { return mWindow != nullptr; }

    bool GetMouseLocation(float& x, float& y) const override;
    void MoveMouseCursor(float x, float y) override;
    ECursorShape SetMouseCursor(ECursorShape shape = ECursorShape::Arrow) override;
    bool SupportsMultiTouch() const override;
    float GetPlatformWindowScale() const override { return GetScreenScale(); }
    /// Makes the window (and, unless `parentHasResized`, its parent and grandparent) follow
    /// the editor's size.
    void PlatformResize(bool parentHasResized) override;
    const char* GetPlatformApiName() override { return "win32"; }
    void SetPlatformInstance(void* instance) override;
    void* GetPlatformInstance() override { return mInstance; }

    // Desktop services over this editor's window. Dialogs release the mouse capture after.
    bool GetTextFromClipboard(HeapString& text) override;
    bool SetTextInClipboard(const char* text) override;
    bool SetFilePathInClipboard(const char* path) override;
    bool StartFileDrag(const char* path) override;
    int ShowMessageBox(const char* text,
                       const char* caption,
                       int type,
                       IMsgBoxCompletionHandlerFunc completion = nullptr) override;
    void PromptForFile(HeapString& fileName,
                       HeapString& path,
                       EFileAction action = EFileAction::Open,
                       const char* extensions = "",
                       IFileDialogCompletionHandlerFunc completion = nullptr) override;
    void PromptForDirectory(HeapString& dir,
                            IFileDialogCompletionHandlerFunc completion = nullptr) override;
    bool PromptForColor(IArgbColor& color,
                        const char* prompt = "",
                        IColorPickerHandlerFunc completion = nullptr) override;
    bool OpenURL(const char* url,
                 const char* windowTitle = nullptr,
                 const char* confirmMessage = nullptr,
                 const char* errorMessage = nullptr) override;
    bool RevealPath(const char* path, bool select) override;

    // Platform fonts, through the process-wide font caches.
    PlatformFontPtr
    LoadPlatformFontByName(const char* fontID, const char* fontName, ETextStyle style) override;
    PlatformFontPtr
    LoadPlatformFontFromMemory(const char* fontID, const void* data, int size) override;
    PlatformFontPtr LoadPlatformFontFile(const char* fontID, const char* fileNameOrResID) override;
    void CachePlatformFont(const char* fontID, const PlatformFontPtr& font) override;

    void ActivateGLContext() override;
    void DeactivateGLContext() override;
    /// Re-creates the main framebuffer with the GL context current; when it cannot be made
    /// current, at the next paint that can.
    void DrawResize() override;

    void CreatePlatformTextEntry(int paramIdx,
                                 const ITextStyle& style,
                                 const IBounds& bounds,
                                 int length,
                                 const char* text) override;
    void CancelPlatformTextEntry() override;
    IPopupMenu*
    CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync) override;

    /// [ui-thread] One display frame: acts on a native text entry, follows the window's DPI,
    /// and invalidates the dirty areas, which the window then paints. `vblankCount` is the
    /// blank's count (0 from the timer).
    void OnDisplayTick(int vblankCount);

    /// Editor windows open in this process (the class is registered while any is).
    static int WindowClassUsers();
    /// True when this editor is paced by the vertical-blank thread (Windows 8 and later).
    bool IsVBlankMode() const { return mVBlankMode; }
    bool IsVBlankThreadRunning() const { return mVBlank.IsRunning(); }
    PresentMode GetPresentMode() const { return mPresentMode; }
    TextEntryState GetTextEntryState() const { return mTextEntry.GetState(); }
    HWND GetTextEntryWindow() const { return mTextEntry.GetWindow(); }
    /// The tooltip window; null when tooltips are off.
    HWND GetTooltipWindow() const { return mTooltip; }
    /// Paints that reached the window (each draws its dirty areas once).
    int NPaints() const { return mPaints; }

protected:
    void PlatformHideMouseCursor(bool hide, bool lock) override;
    /// Presented through GDI, the back buffer is read but never swapped: it keeps its pixels.
    bool WindowKeepsPixels() const override { return mPresentMode == PresentMode::Gdi; }
    /// Makes the GL context of the new window; tests replace it to make it fail.
    virtual bool CreateGlSurface(HWND window);

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    /// The mouse event of a client-area message (position stored as the last one).
    IMouseEvent MouseEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnKey(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnDropFiles(HDROP drop);
    void OnTouch(WPARAM wParam, LPARAM lParam);
    void StartPacing();
    void StopPacing();
    void HideTooltip();
    void SetTooltipText(const char* text);
    void CreateTooltip();
    /// Gives the window class back; unregistered with its last user.
    void ReleaseWindowClass();
    void DestroyTextEntry();

    HINSTANCE mInstance = nullptr;
    HWND mWindow = nullptr;
    HWND mParent = nullptr;
    HWND mTooltip = nullptr;
    MessageBoxOwner mMessageBoxOwner;
    WinGlSurface mGl;
    PresentMode mPresentMode = PresentMode::SwapBuffers;
    const char* mPresentModeVariable = nullptr;
    int mActivations = 0; ///< nested ActivateGLContext calls
    NativeTextEntry mTextEntry;
    VBlankThread mVBlank;
    int mSkipUntil = 0;
    bool mVBlankMode = false;
    bool mHoldsWindowClass = false;
    bool mTouchRegistered = false;
    bool mTabletInput = false;
    bool mCursorLocked = false;
    bool mReleasingCapture = false;
    bool mTooltipShown = false;
    bool mResizePending = false; ///< a resize waits for the GL context
    int mTooltipIdx = -1;
    float mLastMouseX = 0.f;
    float mLastMouseY = 0.f;
    float mHiddenCursorX = 0.f;
    float mHiddenCursorY = 0.f;
    int mPaints = 0;
    TouchMap mTouches{8, TouchIdHash{}};
    TouchBatch mTouchBatch;
    DirtyRectList mPaintRects;
};

} // namespace plugkit::canvas::platform
