#pragma once

// Windows only: the OpenGL side of an editor window: its pixel format and context, making it
// current and giving the host's context back, and putting a finished frame on the screen.

#include <windows.h>

namespace plugkit::canvas::platform
{

/// How a finished frame reaches the screen.
enum class PresentMode : int
{
    SwapBuffers = 0, ///< the window's own double buffer
    Gdi = 1,         ///< read back from GL and drawn into the window with GDI
    kNumPresentModes
};

/// The module this code is in (the plug-in's DLL, or the program): where the window classes are
/// registered.
HINSTANCE OwnModule();

/// True on Windows 8 and later, where a thread waiting for the vertical blank paces an editor
/// window in place of its timer.
bool WindowsEightOrLater();

/// True inside Wine (ntdll exports `wine_get_version`). Wine renders OpenGL in a child window
/// off the screen and never shows it, so frames go through GDI there.
bool RunningUnderWine();

/// The mode this process presents with: forced by the environment variable named `variable`
/// when it holds "gdi" or "swap" (any case), otherwise GDI under Wine and SwapBuffers elsewhere.
/// The framework names no variable: the product does, and null or "" names none. Read once per
/// call; callers keep the answer.
PresentMode ChoosePresentMode(const char* variable);

/// The GL context of one window. Every GL call of the editor happens between `Activate` and
/// `Deactivate`, which give the calling host its own current context back afterwards.
///
/// Presenting through GDI: GDI drawing into a window that has an OpenGL pixel format does not
/// show under Wine either, so then the context draws into a hidden child window of the same
/// size (the sink) and the window itself is only ever painted by GDI.
class WinGlSurface
{
public:
    WinGlSurface() = default;
    ~WinGlSurface() { Destroy(); }
    WinGlSurface(const WinGlSurface&) = delete;
    WinGlSurface& operator=(const WinGlSurface&) = delete;

    /// Sets a double-buffered RGBA pixel format (32 colour, 24 depth, 8 stencil bits) on
    /// `window`'s device context and creates a context for it, leaving the caller's current
    /// context current. False, with nothing kept, when either fails. `window` must have its own
    /// device context (CS_OWNDC) that lives as long as it does.
    bool Create(HWND window, PresentMode mode);
    /// The sink follows the window's client size (call it when the window was resized).
    void FollowWindowSize();
    /// Deletes the context (made not current first when it is), restoring the caller's.
    void Destroy();
    bool IsValid() const { return mContext != nullptr; }

    /// Makes this context current, remembering the one current before. False without a
    /// context (nothing changed) or when it cannot be made current (another thread holds it,
    /// or its device context went): then no context is current until `Deactivate`, so that no
    /// GL call meant for this one reaches the host's.
    bool Activate();
    /// Makes the remembered context current again (none, when none was).
    void Deactivate();
    /// True between a successful `Activate` and `Deactivate`.
    bool IsActive() const { return mActive; }

    /// Puts the frame in the window's back buffer on the screen: the window's area `rect`
    /// (client pixels, clipped to the window) through GDI, or the whole buffer by swapping.
    /// Call it while active.
    void Present(const RECT& rect);

    PresentMode GetPresentMode() const { return mMode; }
    /// The device context GL draws on (the sink's when presenting through GDI).
    HDC GetDC() const { return mDC; }
    /// Windows of the sink class in this process (the class is registered while any exists).
    static int SinkClassUsers();

private:
    bool CreateSink();
    void DestroySink();

    HWND mWindow = nullptr;
    HWND mSink = nullptr;
    HDC mDC = nullptr;
    HGLRC mContext = nullptr;
    HDC mPreviousDC = nullptr;
    HGLRC mPreviousContext = nullptr;
    bool mActive = false;
    bool mHostReleased = false; ///< Activate failed and made no context current
    PresentMode mMode = PresentMode::SwapBuffers;
    void* mPixels = nullptr; ///< read-back buffer of the GDI present
    size_t mPixelBytes = 0;
};

} // namespace plugkit::canvas::platform
