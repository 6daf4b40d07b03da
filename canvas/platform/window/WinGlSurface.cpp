#include "canvas/platform/window/WinGlSurface.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plugkit::canvas::platform
{
namespace
{

constexpr GLenum kGlBgra = 0x80E1; // GL 1.2, read through the 1.1 entry point
constexpr const wchar_t* kSinkClass = L"PluginGlSinkClass";
int gSinkClassUsers = 0; // UI thread only, like the editor window's class

} // namespace

HINSTANCE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule),
                       &module);
    return module;
}

bool WindowsEightOrLater()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 2;
    DWORDLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

bool RunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

PresentMode ChoosePresentMode(const char* variable)
{
    char value[16] = {};
    const DWORD length = variable != nullptr && variable[0] != 0
                             ? GetEnvironmentVariableA(variable, value, sizeof value)
                             : 0;
    if (length > 0 && length < sizeof value)
    {
        if (_stricmp(value, "gdi") == 0)
            return PresentMode::Gdi;
        if (_stricmp(value, "swap") == 0)
            return PresentMode::SwapBuffers;
    }
    return RunningUnderWine() ? PresentMode::Gdi : PresentMode::SwapBuffers;
}

int WinGlSurface::SinkClassUsers()
{
    return gSinkClassUsers;
}

bool WinGlSurface::CreateSink()
{
    HINSTANCE instance = OwnModule();
    if (gSinkClassUsers++ == 0)
    {
        WNDCLASSW wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcW; // user32's own: safe after our module is unloaded
        wc.hInstance = instance;
        wc.lpszClassName = kSinkClass;
        RegisterClassW(&wc);
    }
    RECT client;
    GetClientRect(mWindow, &client);
    mSink = CreateWindowExW(0,
                            kSinkClass,
                            L"",
                            WS_CHILD | WS_DISABLED,
                            0,
                            0,
                            client.right,
                            client.bottom,
                            mWindow,
                            nullptr,
                            instance,
                            nullptr);
    if (mSink == nullptr)
    {
        DestroySink();
        return false;
    }
    return true;
}

void WinGlSurface::DestroySink()
{
    if (mSink != nullptr)
    {
        DestroyWindow(mSink);
        mSink = nullptr;
    }
    if (gSinkClassUsers > 0 && --gSinkClassUsers == 0)
        UnregisterClassW(kSinkClass, OwnModule());
}

bool WinGlSurface::Create(HWND window, PresentMode mode)
{
    Destroy();
    if (window == nullptr)
        return false;
    mWindow = window;
    mMode = mode;
    if (mode == PresentMode::Gdi && !CreateSink())
    {
        mWindow = nullptr;
        return false;
    }
    HWND target = mSink != nullptr ? mSink : window;
    HDC dc = ::GetDC(target);

    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.cStencilBits = 8;
    pfd.iLayerType = PFD_MAIN_PLANE;
    const int format = dc != nullptr ? ChoosePixelFormat(dc, &pfd) : 0;
    HGLRC context = nullptr;
    if (format != 0 && SetPixelFormat(dc, format, &pfd))
        context = wglCreateContext(dc);
    if (context == nullptr)
    {
        if (dc != nullptr)
            ReleaseDC(target, dc);
        DestroySink();
        mWindow = nullptr;
        return false;
    }
    mDC = dc;
    mContext = context;
    return true;
}

void WinGlSurface::FollowWindowSize()
{
    if (mSink == nullptr)
        return;
    RECT client;
    GetClientRect(mWindow, &client);
    SetWindowPos(mSink,
                 nullptr,
                 0,
                 0,
                 client.right,
                 client.bottom,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void WinGlSurface::Destroy()
{
    if (mContext != nullptr)
    {
        if (mActive || mHostReleased)
            Deactivate();
        if (wglGetCurrentContext() == mContext)
            wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(mContext);
        mContext = nullptr;
    }
    if (mDC != nullptr)
    {
        ReleaseDC(mSink != nullptr ? mSink : mWindow, mDC);
        mDC = nullptr;
    }
    if (mSink != nullptr)
        DestroySink();
    mWindow = nullptr;
    std::free(mPixels);
    mPixels = nullptr;
    mPixelBytes = 0;
}

bool WinGlSurface::Activate()
{
    if (mContext == nullptr || mActive || mHostReleased)
        return mActive;
    HDC previousDC = wglGetCurrentDC();
    HGLRC previousContext = wglGetCurrentContext();
    mPreviousDC = previousDC;
    mPreviousContext = previousContext;
    if (wglMakeCurrent(mDC, mContext))
    {
        mActive = true;
        return true;
    }
    if (previousContext != nullptr)
        wglMakeCurrent(nullptr, nullptr);
    mHostReleased = true;
    return false;
}

void WinGlSurface::Deactivate()
{
    if (!mActive && !mHostReleased)
        return;
    mActive = false;
    mHostReleased = false;
    // The host's context goes back as it was; with none, none stays current.
    if (mPreviousContext == nullptr || !wglMakeCurrent(mPreviousDC, mPreviousContext))
        wglMakeCurrent(nullptr, nullptr);
    mPreviousDC = nullptr;
    mPreviousContext = nullptr;
}

void WinGlSurface::Present(const RECT& rect)
{
    if (!mActive)
        return;
    if (mMode == PresentMode::SwapBuffers)
    {
        SwapBuffers(mDC);
        return;
    }

    RECT client;
    GetClientRect(mSink, &client);
    const LONG left = std::max(rect.left, client.left);
    const LONG top = std::max(rect.top, client.top);
    const LONG right = std::min(rect.right, client.right);
    const LONG bottom = std::min(rect.bottom, client.bottom);
    if (right <= left || bottom <= top)
        return;
    const int width = static_cast<int>(right - left);
    const int height = static_cast<int>(bottom - top);
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (bytes > mPixelBytes)
    {
        void* grown = std::realloc(mPixels, bytes);
        if (grown == nullptr)
            return;
        mPixels = grown;
        mPixelBytes = bytes;
    }

    // GL rows run bottom up, as a bottom-up device-independent bitmap's do.
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(left,
                 static_cast<GLint>(client.bottom - bottom),
                 width,
                 height,
                 kGlBgra,
                 GL_UNSIGNED_BYTE,
                 mPixels);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDC = ::GetDC(mWindow);
    SetDIBitsToDevice(windowDC,
                      static_cast<int>(left),
                      static_cast<int>(top),
                      static_cast<DWORD>(width),
                      static_cast<DWORD>(height),
                      0,
                      0,
                      0,
                      static_cast<UINT>(height),
                      mPixels,
                      &info,
                      DIB_RGB_COLORS);
    ReleaseDC(mWindow, windowDC);
}

} // namespace plugkit::canvas::platform
