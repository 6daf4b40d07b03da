#include "canvas/platform/window/WinGlSurface.h"

#include "tests/support/WinTestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace plugkit::canvas::platform
{
namespace
{

using test::CaptureScreen;
using test::ClientOnScreen;
using test::PumpFor;

/// A child window of the shared host with its own device context, as the editor's is.
struct Child
{
    HWND window = nullptr;

    Child(int x, int y, int width, int height)
    {
        static bool registered = false;
        if (!registered)
        {
            WNDCLASSW wc = {};
            wc.style = CS_OWNDC;
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"LumenfallTestGlChild";
            registered = RegisterClassW(&wc) != 0;
        }
        window = CreateWindowExW(0,
                                 L"LumenfallTestGlChild",
                                 L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                 x,
                                 y,
                                 width,
                                 height,
                                 test::SharedHost().Get(),
                                 nullptr,
                                 GetModuleHandleW(nullptr),
                                 nullptr);
    }
    ~Child() { DestroyWindow(window); }
};

void Fill(float r, float g, float b)
{
    glClearColor(r, g, b, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

TEST(WinGlSurface, TheHostsContextIsCurrentAgainAfterOurs)
{
    Child hostChild(0, 0, 40, 40);
    Child editorChild(50, 0, 40, 40);
    WinGlSurface host;
    WinGlSurface editor;
    ASSERT_TRUE(host.Create(hostChild.window, PresentMode::SwapBuffers));
    ASSERT_TRUE(editor.Create(editorChild.window, PresentMode::SwapBuffers));
    EXPECT_EQ(wglGetCurrentContext(), nullptr) << "creation leaves the current context alone";

    ASSERT_TRUE(host.Activate()); // the host draws with its own context...
    const HGLRC hostContext = wglGetCurrentContext();
    ASSERT_TRUE(editor.Activate()); // ...and calls into the editor
    EXPECT_NE(wglGetCurrentContext(), hostContext);
    editor.Deactivate();
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    EXPECT_EQ(wglGetCurrentDC(), host.GetDC());

    editor.Destroy(); // deleting ours keeps the host's
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    host.Deactivate();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);

    EXPECT_FALSE(editor.Activate()) << "no context, nothing made current";
    EXPECT_FALSE(WinGlSurface().Create(nullptr, PresentMode::Gdi));
}

TEST(WinGlSurface, UnderWineFramesGoThroughGdiUnlessForced)
{
    // The variable is the product's to name; with no name given, none is read.
    ASSERT_TRUE(RunningUnderWine());
    constexpr const char* kVariable = "PLUGKIT_TEST_PRESENT";
    const struct
    {
        const char* variable;
        const char* value;
        PresentMode mode;
    } cases[] = {{kVariable, nullptr, PresentMode::Gdi},
                 {kVariable, "swap", PresentMode::SwapBuffers},
                 {kVariable, "SWAP", PresentMode::SwapBuffers},
                 {kVariable, "gdi", PresentMode::Gdi},
                 {kVariable, "other", PresentMode::Gdi},
                 {nullptr, "swap", PresentMode::Gdi},
                 {"", "swap", PresentMode::Gdi}};
    for (const auto& c : cases)
    {
        SetEnvironmentVariableA(kVariable, c.value);
        EXPECT_EQ(ChoosePresentMode(c.variable), c.mode)
            << (c.variable ? c.variable : "no variable") << " = " << (c.value ? c.value : "unset");
    }
    SetEnvironmentVariableA(kVariable, nullptr);
}

TEST(WinGlSurface, AGdiPresentIsWhatTheScreenShows)
{
    // The host's background is blue; the frame is red with a green band in its lower half, and
    // only the upper 60 rows are presented at first.
    Child child(20, 30, 120, 80);
    WinGlSurface surface;
    ASSERT_TRUE(surface.Create(child.window, PresentMode::Gdi));
    EXPECT_EQ(WinGlSurface::SinkClassUsers(), 1);
    PumpFor(50);
    ASSERT_TRUE(surface.Activate());
    Fill(1.f, 0.f, 0.f);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 120, 40);
    Fill(0.f, 1.f, 0.f);
    glDisable(GL_SCISSOR_TEST);
    surface.Present(RECT{0, 0, 120, 80});
    surface.Deactivate();
    PumpFor(100); // the message loop hands GDI's drawing to the X server

    const RECT r = ClientOnScreen(child.window);
    const std::vector<unsigned char> shown =
        CaptureScreen(r.left, r.top, 120, 80, LUMENFALL_TEST_OUTPUT "/window-gdi-present.png");
    ASSERT_EQ(shown.size(), 120u * 80u * 3u);
    auto pixel = [&](int x, int y)
    {
        const unsigned char* p = &shown[(static_cast<size_t>(y) * 120 + x) * 3];
        return RGB(p[0], p[1], p[2]);
    };
    EXPECT_EQ(pixel(5, 5), RGB(255, 0, 0));
    EXPECT_EQ(pixel(115, 35), RGB(255, 0, 0));
    EXPECT_EQ(pixel(5, 45), RGB(0, 255, 0)) << "GL's rows run bottom up";
    EXPECT_EQ(pixel(115, 78), RGB(0, 255, 0));

    surface.Destroy();
    EXPECT_EQ(WinGlSurface::SinkClassUsers(), 0);
}

} // namespace
} // namespace plugkit::canvas::platform
