#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <EGL/egl.h>
#include <EGL/eglext.h>
#endif

#include "tests/support/headless/HeadlessGlContext.h"

#include "canvas/platform/nanovg/GlLoader.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <cstring>

namespace lumenfall::test
{

namespace gl = plugkit::canvas::platform::gl;

#if defined(_WIN32)

struct HeadlessGlContext::Platform
{
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
};

namespace
{

constexpr wchar_t kWindowClass[] = L"LumenfallHeadlessGl";

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

HeadlessGlContext::HeadlessGlContext(int width, int height)
    : mPlatform(new Platform)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc); // fails harmlessly when a previous context registered it

    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    mPlatform->window = CreateWindowExW(0,
                                        kWindowClass,
                                        L"Lumenfall drawing test",
                                        WS_OVERLAPPEDWINDOW,
                                        0,
                                        0,
                                        r.right - r.left,
                                        r.bottom - r.top,
                                        nullptr,
                                        nullptr,
                                        instance,
                                        nullptr);
    if (!mPlatform->window)
        return;
    ShowWindow(mPlatform->window, SW_SHOWNOACTIVATE);
    mPlatform->dc = GetDC(mPlatform->window);

    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cAlphaBits = 8;
    pfd.cStencilBits = 8;
    const int format = ChoosePixelFormat(mPlatform->dc, &pfd);
    if (!format || !SetPixelFormat(mPlatform->dc, format, &pfd))
        return;
    mPlatform->context = wglCreateContext(mPlatform->dc);
    mValid = mPlatform->context && MakeCurrent() && gl::LoadEntryPoints();
}

HeadlessGlContext::~HeadlessGlContext()
{
    if (mPlatform->context)
    {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(mPlatform->context);
    }
    if (mPlatform->dc)
        ReleaseDC(mPlatform->window, mPlatform->dc);
    if (mPlatform->window)
        DestroyWindow(mPlatform->window);
    delete mPlatform;
}

bool HeadlessGlContext::MakeCurrent()
{
    return mPlatform->context && wglMakeCurrent(mPlatform->dc, mPlatform->context);
}

void HeadlessGlContext::ReleaseCurrent()
{
    wglMakeCurrent(nullptr, nullptr);
}

void* HeadlessGlContext::GetWindow() const
{
    return mPlatform->window;
}

void HeadlessGlContext::ResizeWindow(int width, int height)
{
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(mPlatform->window,
                 nullptr,
                 0,
                 0,
                 r.right - r.left,
                 r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

#else

struct HeadlessGlContext::Platform
{
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint colorbuffer = 0;
};

HeadlessGlContext::HeadlessGlContext(int width, int height)
    : mPlatform(new Platform)
{
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return;
    mPlatform->display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (mPlatform->display == EGL_NO_DISPLAY ||
        !eglInitialize(mPlatform->display, &major, &minor) || !eglBindAPI(EGL_OPENGL_API))
        return;
    const EGLint attributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1, EGL_NONE};
    mPlatform->context =
        eglCreateContext(mPlatform->display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (mPlatform->context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(mPlatform->display, EGL_NO_SURFACE, EGL_NO_SURFACE, mPlatform->context) ||
        !gl::LoadEntryPoints())
        return;

    // The window stand-in: a surfaceless context has no default framebuffer to draw into.
    glGenFramebuffers(1, &mPlatform->framebuffer);
    glGenRenderbuffers(1, &mPlatform->colorbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, mPlatform->colorbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, mPlatform->framebuffer);
    glFramebufferRenderbuffer(
        GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mPlatform->colorbuffer);
    mValid = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

HeadlessGlContext::~HeadlessGlContext()
{
    if (mPlatform->context != EGL_NO_CONTEXT)
    {
        if (mPlatform->framebuffer && MakeCurrent())
        {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &mPlatform->framebuffer);
            glDeleteRenderbuffers(1, &mPlatform->colorbuffer);
        }
        eglMakeCurrent(mPlatform->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(mPlatform->display, mPlatform->context);
    }
    delete mPlatform;
}

bool HeadlessGlContext::MakeCurrent()
{
    if (mPlatform->context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(mPlatform->display, EGL_NO_SURFACE, EGL_NO_SURFACE, mPlatform->context))
        return false;
    if (mPlatform->framebuffer)
        glBindFramebuffer(GL_FRAMEBUFFER, mPlatform->framebuffer);
    return true;
}

void HeadlessGlContext::ReleaseCurrent()
{
    eglMakeCurrent(mPlatform->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void* HeadlessGlContext::GetWindow() const
{
    return nullptr;
}

void HeadlessGlContext::ResizeWindow(int width, int height)
{
    glBindRenderbuffer(GL_RENDERBUFFER, mPlatform->colorbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
}

#endif

const char* HeadlessGlContext::Renderer() const
{
    const GLubyte* name = mValid ? glGetString(GL_RENDERER) : nullptr;
    return name ? reinterpret_cast<const char*>(name) : "none";
}

std::vector<uint8_t> HeadlessGlContext::ReadPixelsTopDown(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> swap(row);
    for (int y = 0; y < height / 2; ++y)
    {
        uint8_t* a = pixels.data() + row * y;
        uint8_t* b = pixels.data() + row * (height - 1 - y);
        std::memcpy(swap.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, swap.data(), row);
    }
    return pixels;
}

bool WritePng(const char* path, const uint8_t* rgba, int width, int height)
{
    return stbi_write_png(path, width, height, 4, rgba, width * 4) != 0;
}

} // namespace lumenfall::test
