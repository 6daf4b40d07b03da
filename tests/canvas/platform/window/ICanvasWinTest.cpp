// ICanvasWin under Wine on the test display: real windows, posted and sent input, the screen
// as an X-level capture shows it.
#include "canvas/platform/window/ICanvasWin.h"

#include "canvas/IControl.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"
#include "tests/support/WinTestSupport.h"

#include <GL/gl.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

using test::CaptureScreen;
using test::ClientOnScreen;
using test::PumpFor;
using test::PumpUntil;

constexpr int kWidth = 300;
constexpr int kHeight = 200;

/// A filled rectangle that records what reaches it.
class Patch : public IControl
{
public:
    /// How a press treats the pointer, as a knob would: shown, hidden, or hidden and held
    /// where it was pressed.
    enum class Pointer
    {
        Shown,
        Hidden,
        HiddenAndLocked,
        kNumPointers
    };

    Patch(const IBounds& bounds, const IArgbColor& color, int paramIdx = kNoParameter)
        : IControl(bounds, paramIdx)
        , mColor(color)
    {
    }
    void Draw(ICanvas& g) override
    {
        ++mDraws;
        mContext = wglGetCurrentContext();
        mDC = wglGetCurrentDC();
        g.FillRect(mColor, GetRECT());
    }
    void OnMouseDown(float x, float y, const IMouseModifiers& mod) override
    {
        mEvents.push_back("down " + Pos(x, y) + (mod.L ? " L" : "") + (mod.S ? " S" : ""));
        if (mPointer != Pointer::Shown)
            GetUI()->HideMouseCursor(true, mPointer == Pointer::HiddenAndLocked);
    }
    void OnMouseUp(float x, float y, const IMouseModifiers&) override
    {
        mEvents.push_back("up " + Pos(x, y));
        if (mPointer != Pointer::Shown)
            GetUI()->HideMouseCursor(false);
    }
    void OnCaptureLost() override { mEvents.push_back("capture lost"); }
    void OnMouseDrag(float x, float y, float dX, float dY, const IMouseModifiers&) override
    {
        mEvents.push_back("drag " + Pos(x, y) + " by " + Pos(dX, dY));
    }
    void OnMouseDblClick(float x, float y, const IMouseModifiers&) override
    {
        mEvents.push_back("double " + Pos(x, y));
    }
    void OnMouseWheel(float, float, const IMouseModifiers&, float delta) override
    {
        mEvents.push_back("wheel " + std::to_string(static_cast<int>(delta)));
    }
    bool OnKeyDown(float, float, const IKeyEvent& key) override
    {
        if (!mTakesKeys)
            return false;
        mEvents.push_back("key " + std::to_string(key.VK) + " '" + key.utf8 + "'" +
                          (key.S ? " S" : ""));
        return true;
    }
    void OnDrop(const char* path) override { mEvents.push_back(std::string("drop ") + path); }
    void OnDropMultiple(const std::vector<const char*>& paths) override
    {
        std::string all = "drops";
        for (const char* p : paths)
            all += std::string(" ") + p;
        mEvents.push_back(all);
    }
    void OnTextEntryCompletion(const char* text, int) override
    {
        mEvents.push_back(std::string("text ") + text);
    }

    static std::string Pos(float x, float y)
    {
        return std::to_string(static_cast<int>(std::lround(x))) + "," +
               std::to_string(static_cast<int>(std::lround(y)));
    }

    IArgbColor mColor;
    Pointer mPointer = Pointer::Shown;
    bool mTakesKeys = true;
    int mDraws = 0;
    HGLRC mContext = nullptr; ///< current while it was last drawn, with its device context
    HDC mDC = nullptr;
    std::vector<std::string> mEvents;
};

constexpr IArgbColor kGrey{255, 128, 128, 128};
constexpr IArgbColor kRed{255, 220, 30, 30};
constexpr IArgbColor kGreen{255, 30, 200, 60};
constexpr IArgbColor kBlue{255, 40, 60, 210};

/// An editor of four patches: a grey background, red (20, 20)-(120, 80), green
/// (150, 20)-(250, 80), and blue (20, 110)-(120, 180) bound to the parameter "Gain". The host's
/// gesture calls are logged.
class Editor : public ICanvasEditorDelegate
{
public:
    Editor()
        : ICanvasEditorDelegate(1)
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB");
        SetEditorSize(kWidth, kHeight);
        SetMakeGraphicsFunc([this] { return MakeCanvas(); });
        SetLayoutFunc(
            [this](ICanvas* g)
            {
                ++mLayouts;
                background = new Patch(IBounds(0, 0, kWidth, kHeight), kGrey);
                red = new Patch(IBounds(20, 20, 120, 80), kRed);
                green = new Patch(IBounds(150, 20, 250, 80), kGreen);
                blue = new Patch(IBounds(20, 110, 120, 180), kBlue, 0);
                g->AttachControl(background);
                g->AttachControl(red);
                g->AttachControl(green);
                g->AttachControl(blue);
                red->SetTooltip("Decay \xe2\x80\x94 how long the tail lasts");
                g->EnableTooltips(mTooltips);
            });
    }
    ~Editor() override { CloseWindow(); }

    virtual ICanvas* MakeCanvas()
    {
        return new ICanvasWin(*this, kWidth, kHeight, 60, 1.f, mPresentModeVariable);
    }
    void OnUIOpen() override
    {
        ++mOpens;
        ICanvasEditorDelegate::OnUIOpen();
    }
    void BeginInformHostOfParamChangeFromUI(int paramIdx) override
    {
        mGestures.push_back("begin " + std::to_string(paramIdx));
    }
    void EndInformHostOfParamChangeFromUI(int paramIdx) override
    {
        mGestures.push_back("end " + std::to_string(paramIdx));
    }
    bool EditorResizeFromUI(int, int, bool) override { return mHostResizesParent; }
    ICanvasWin* Win() const { return static_cast<ICanvasWin*>(GetUI()); }
    HWND Window() const { return Win() ? static_cast<HWND>(Win()->GetWindow()) : nullptr; }

    Patch* background = nullptr;
    Patch* red = nullptr;
    Patch* green = nullptr;
    Patch* blue = nullptr;
    std::vector<std::string> mGestures;
    /// What the host answers to a resize: true when it resized the editor's parent itself.
    bool mHostResizesParent = false;
    int mLayouts = 0;
    int mOpens = 0;
    bool mTooltips = false;
    const char* mPresentModeVariable = nullptr; ///< names the variable that forces the present
};

/// Waits for the first frame: every patch drawn once.
bool FirstFrame(Editor& e)
{
    return PumpUntil([&] { return e.red != nullptr && e.red->mDraws > 0; }, 3000);
}

std::vector<std::string> Take(Patch* p)
{
    std::vector<std::string> events;
    events.swap(p->mEvents);
    return events;
}

TEST(ICanvasWin, OpensInItsParentAndTheClassLivesWhileAnyEditorDoes)
{
    HWND parent = test::SharedHost().Get();
    {
        Editor first;
        Editor second;
        ASSERT_NE(first.OpenWindow(parent), nullptr);
        EXPECT_EQ(ICanvasWin::WindowClassUsers(), 1);
        ASSERT_NE(second.OpenWindow(parent), nullptr);
        EXPECT_EQ(ICanvasWin::WindowClassUsers(), 2);
        EXPECT_EQ(GetParent(first.Window()), parent);
        EXPECT_EQ(first.mOpens, 1);
        EXPECT_STREQ(first.Win()->GetPlatformApiName(), "win32");
        RECT r;
        GetClientRect(first.Window(), &r);
        EXPECT_EQ(r.right, kWidth);
        EXPECT_EQ(r.bottom, kHeight);
        EXPECT_TRUE(FirstFrame(first));

        WNDCLASSW wc;
        const HINSTANCE instance = static_cast<HINSTANCE>(first.Win()->GetPlatformInstance());
        first.CloseWindow();
        EXPECT_EQ(ICanvasWin::WindowClassUsers(), 1);
        EXPECT_TRUE(GetClassInfoW(instance, ICanvasWin::kWindowClass, &wc));
        second.CloseWindow();
        EXPECT_EQ(ICanvasWin::WindowClassUsers(), 0);
        EXPECT_FALSE(GetClassInfoW(instance, ICanvasWin::kWindowClass, &wc));
        EXPECT_EQ(WinGlSurface::SinkClassUsers(), 0);

        // Re-opened, the class is registered again.
        ASSERT_NE(first.OpenWindow(parent), nullptr);
        EXPECT_EQ(ICanvasWin::WindowClassUsers(), 1);
        EXPECT_EQ(first.mLayouts, 2);
    }
    EXPECT_EQ(ICanvasWin::WindowClassUsers(), 0);
}

class NoGlEditor : public Editor
{
public:
    class Canvas : public ICanvasWin
    {
    public:
        using ICanvasWin::ICanvasWin;
        bool CreateGlSurface(HWND) override { return false; }
    };
    ICanvas* MakeCanvas() override { return new Canvas(*this, kWidth, kHeight); }
};

TEST(ICanvasWin, AFailedCreationLeavesNothingOpenAndDrawsNothing)
{
    // A parent that no longer exists: no window.
    HWND gone = CreateWindowExW(
        0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    Editor badParent;
    EXPECT_EQ(badParent.OpenWindow(gone), nullptr);
    EXPECT_EQ(ICanvasWin::WindowClassUsers(), 0);

    // A window whose pixel format or GL context could not be made.
    NoGlEditor noGl;
    EXPECT_EQ(noGl.OpenWindow(test::SharedHost().Get()), nullptr);
    EXPECT_EQ(ICanvasWin::WindowClassUsers(), 0);
    EXPECT_EQ(noGl.mLayouts, 0) << "nothing is laid out without a context";
    EXPECT_EQ(noGl.mOpens, 0);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    noGl.CloseWindow();
}

// A host that draws with a GL context of its own, in a child window of its own, current around
// our calls while it lives.
struct HostGlChild
{
    explicit HostGlChild(HWND parent)
        : window(CreateWindowExW(0,
                                 L"STATIC",
                                 L"",
                                 WS_CHILD | WS_VISIBLE,
                                 320,
                                 0,
                                 40,
                                 40,
                                 parent,
                                 nullptr,
                                 nullptr,
                                 nullptr))
    {
        current = surface.Create(window, PresentMode::SwapBuffers) && surface.Activate();
    }
    ~HostGlChild()
    {
        surface.Deactivate();
        surface.Destroy();
        DestroyWindow(window);
    }
    HWND window;
    WinGlSurface surface;
    bool current = false;
};

TEST(ICanvasWin, TheDefaultPrefixPacesByTimerAndTheHostsContextStays)
{
    // The host draws with a GL context of its own, current around our calls.
    test::HostWindow& host = test::SharedHost();
    HostGlChild hostGl(host.Get());
    ASSERT_TRUE(hostGl.current);
    const HGLRC hostContext = wglGetCurrentContext();

    Editor e;
    ASSERT_NE(e.OpenWindow(host.Get()), nullptr);
    EXPECT_FALSE(e.Win()->IsVBlankMode()) << "Wine reports Windows 7 by default";
    EXPECT_FALSE(e.Win()->IsVBlankThreadRunning());
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    EXPECT_TRUE(FirstFrame(e));
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    e.CloseWindow();
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
}

TEST(ICanvasWin, WhileItsContextIsHeldElsewhereNothingIsDrawnAndTheHostsContextIsUntouched)
{
    test::HostWindow& host = test::SharedHost();
    HostGlChild hostGl(host.Get());
    ASSERT_TRUE(hostGl.current);
    const HGLRC hostContext = wglGetCurrentContext();
    glClearColor(0.25f, 0.5f, 0.75f, 1.f); // the host's state, which our drawing would change

    Editor e;
    ASSERT_NE(e.OpenWindow(host.Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    ASSERT_NE(e.red->mContext, nullptr);
    ASSERT_NE(e.red->mContext, hostContext);

    // Another thread takes the editor's context: it cannot be made current here any more.
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE giveBack = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool held = false;
    std::thread holder(
        [&]
        {
            held = wglMakeCurrent(e.red->mDC, e.red->mContext) != FALSE;
            SetEvent(taken);
            WaitForSingleObject(giveBack, 10000);
            wglMakeCurrent(nullptr, nullptr);
        });
    WaitForSingleObject(taken, 10000);
    ASSERT_TRUE(held);

    const int draws = e.red->mDraws;
    const int paints = e.Win()->NPaints();
    e.red->SetDirty(false);
    PumpFor(300);
    EXPECT_EQ(e.red->mDraws, draws) << "drawn without its own context current";
    EXPECT_EQ(e.Win()->NPaints(), paints);
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.25f) << "our frame ran in the host's context";
    EXPECT_EQ(clear[2], 0.75f);

    // Given back, the areas still dirty are drawn.
    SetEvent(giveBack);
    holder.join();
    EXPECT_TRUE(PumpUntil([&] { return e.red->mDraws > draws; }));
    EXPECT_NE(e.red->mContext, hostContext);
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    e.CloseWindow();
    EXPECT_EQ(wglGetCurrentContext(), hostContext);
    CloseHandle(taken);
    CloseHandle(giveBack);
}

TEST(ICanvasWin, TheScreenShowsTheEditorAndOneInvalidatedControlRepaintsAlone)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    PumpFor(100);
    EXPECT_EQ(e.Win()->GetPresentMode(), PresentMode::Gdi);

    const RECT r = ClientOnScreen(e.Window());
    const std::vector<unsigned char> shown =
        CaptureScreen(r.left, r.top, kWidth, kHeight, LUMENFALL_TEST_OUTPUT "/editor-window.png");
    ASSERT_EQ(shown.size(), static_cast<size_t>(kWidth * kHeight * 3));
    auto at = [&](int x, int y)
    {
        const unsigned char* p = &shown[(static_cast<size_t>(y) * kWidth + x) * 3];
        return IArgbColor{255, p[0], p[1], p[2]};
    };
    EXPECT_EQ(at(5, 5), kGrey) << "the host's background shows instead of the editor";
    EXPECT_EQ(at(70, 50), kRed);
    EXPECT_EQ(at(200, 50), kGreen);
    EXPECT_EQ(at(290, 190), kGrey);

    // Only the red patch changes: only it is drawn again, and the new colour is in the frame.
    const int backgroundDraws = e.background->mDraws;
    const int greenDraws = e.green->mDraws;
    const int redDraws = e.red->mDraws;
    e.red->mColor = IArgbColor{255, 10, 20, 240};
    e.red->SetDirty(false);
    ASSERT_TRUE(PumpUntil([&] { return e.red->mDraws > redDraws; }));
    PumpFor(50);
    EXPECT_EQ(e.green->mDraws, greenDraws);
    EXPECT_LE(e.background->mDraws, backgroundDraws + 1) << "drawn only under the red patch";

    e.Win()->ActivateGLContext();
    HeapBuffer pixels;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(e.Win()->ReadMainFramebuffer(pixels, width, height));
    e.Win()->DeactivateGLContext();
    ASSERT_EQ(width, kWidth);
    auto fb = [&](int x, int y)
    {
        const auto* p = static_cast<const unsigned char*>(pixels.Get()) + (y * width + x) * 4;
        return IArgbColor{p[3], p[0], p[1], p[2]};
    };
    EXPECT_EQ(fb(70, 50), (IArgbColor{255, 10, 20, 240}));
    EXPECT_EQ(fb(200, 50), kGreen);
}

TEST(ICanvasWin, ForcedToSwapBuffersItDrawsTheSameFrame)
{
    // The path of every system but Wine, forced here through the variable the window was made
    // with: the frame is drawn, then swapped. A window made with no variable reads none.
    constexpr const char* kVariable = "PLUGKIT_TEST_PRESENT";
    SetEnvironmentVariableA(kVariable, "swap");
    {
        Editor unnamed;
        ASSERT_NE(unnamed.OpenWindow(test::SharedHost().Get()), nullptr);
        EXPECT_EQ(unnamed.Win()->GetPresentMode(), PresentMode::Gdi);
    }
    Editor e;
    e.mPresentModeVariable = kVariable;
    void* window = e.OpenWindow(test::SharedHost().Get());
    SetEnvironmentVariableA(kVariable, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(e.Win()->GetPresentMode(), PresentMode::SwapBuffers);
    ASSERT_TRUE(FirstFrame(e));
    EXPECT_GT(e.Win()->NPaints(), 0);

    e.Win()->ActivateGLContext();
    HeapBuffer pixels;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(e.Win()->ReadMainFramebuffer(pixels, width, height));
    e.Win()->DeactivateGLContext();
    const auto* p = static_cast<const unsigned char*>(pixels.Get()) + (50 * width + 70) * 4;
    EXPECT_EQ((IArgbColor{p[3], p[0], p[1], p[2]}), kRed);
}

TEST(ICanvasWin, MouseByPostedMessages)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    HWND w = e.Window();
    auto post = [&](UINT msg, WPARAM wParam, int x, int y)
    {
        PostMessageW(w, msg, wParam, MAKELPARAM(x, y));
        PumpFor(20);
    };

    // Press, drag and release outside the control: the pressed control keeps the pointer.
    post(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, 30, 30);
    EXPECT_EQ(GetCapture(), w);
    post(WM_MOUSEMOVE, MK_LBUTTON, 40, 35);
    post(WM_MOUSEMOVE, MK_LBUTTON, 200, 40);
    post(WM_LBUTTONUP, 0, 200, 40);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Take(e.red),
              (std::vector<std::string>{
                  "down 30,30 L S", "drag 40,35 by 10,5", "drag 200,40 by 160,5", "up 200,40"}));
    EXPECT_TRUE(Take(e.green).empty());

    // Wheel notches: lParam in screen coordinates.
    const RECT r = ClientOnScreen(w);
    for (int delta : {240, -120, 60})
    {
        PostMessageW(w,
                     WM_MOUSEWHEEL,
                     MAKEWPARAM(0, static_cast<WORD>(static_cast<int16_t>(delta))),
                     MAKELPARAM(r.left + 200, r.top + 50));
        PumpFor(20);
    }
    EXPECT_EQ(Take(e.green), (std::vector<std::string>{"wheel 2", "wheel -1", "wheel 0"}));

    post(WM_LBUTTONDBLCLK, MK_LBUTTON, 210, 60);
    post(WM_LBUTTONUP, 0, 210, 60);
    const std::vector<std::string> events = Take(e.green);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "double 210,60");

    // A pen press acts as the mouse: the window did not register for touch.
    SetMessageExtraInfo(static_cast<LPARAM>(0xFF515700));
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 60));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(60, 60));
    SetMessageExtraInfo(0);
    EXPECT_EQ(Take(e.red), (std::vector<std::string>{"down 60,60 L", "up 60,60"}));
}

TEST(ICanvasWin, TheRealPointerHoversShowsTheTooltipAndLeaves)
{
    Editor e;
    e.mTooltips = true;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    HWND tooltip = e.Win()->GetTooltipWindow();
    ASSERT_NE(tooltip, nullptr);

    const RECT r = ClientOnScreen(e.Window());
    SetCursorPos(r.left + 5, r.top + 150);
    PumpFor(100);
    SetCursorPos(r.left + 70, r.top + 50);
    ASSERT_TRUE(PumpUntil([&] { return e.Win()->GetMouseOverControl() == e.red; }, 2000));
    wchar_t text[80] = {};
    TTTOOLINFOW info = {};
    info.cbSize = sizeof info;
    info.hwnd = e.Window();
    info.uId = reinterpret_cast<UINT_PTR>(e.Window());
    info.lpszText = text;
    EXPECT_TRUE(PumpUntil(
        [&]
        {
            SendMessageW(tooltip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
            return text[0] != 0;
        },
        3000));
    EXPECT_STREQ(text, L"Decay \u2014 how long the tail lasts");

    // Leaving the window ends the hover.
    SetCursorPos(r.right + 40, r.bottom + 40);
    EXPECT_TRUE(PumpUntil([&] { return e.Win()->GetMouseOverControl() == nullptr; }, 3000));
}

/// Stands in for the common controls of a host without a version-6 activation context: a class
/// of the test's own module named "tooltips_class32" (found before the system's for windows
/// made with this module's instance) that hands everything to the real tooltip but refuses tool
/// structures larger than the older layout (64 bytes on x64), or, refusing all, every tool.
class OlderTooltips
{
public:
    explicit OlderTooltips(bool refuseAll)
    {
        INITCOMMONCONTROLSEX init = {sizeof init, ICC_BAR_CLASSES};
        InitCommonControlsEx(&init);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        mRegistered = GetClassInfoExW(nullptr, TOOLTIPS_CLASSW, &wc) != FALSE;
        sReal = wc.lpfnWndProc;
        sRefuseAll = refuseAll;
        sSizes.clear();
        wc.style &= ~static_cast<UINT>(CS_GLOBALCLASS);
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        mRegistered = mRegistered && RegisterClassExW(&wc) != 0;
    }
    ~OlderTooltips()
    {
        if (mRegistered)
            UnregisterClassW(TOOLTIPS_CLASSW, GetModuleHandleW(nullptr));
    }
    bool Registered() const { return mRegistered; }

    /// The structure size of every tool message the editor sent.
    static std::vector<UINT> sSizes;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == TTM_ADDTOOLW || msg == TTM_UPDATETIPTEXTW)
        {
            const UINT size = reinterpret_cast<const TTTOOLINFOW*>(lParam)->cbSize;
            sSizes.push_back(size);
            if (sRefuseAll || size > 64)
                return FALSE;
        }
        return CallWindowProcW(sReal, window, msg, wParam, lParam);
    }

    static WNDPROC sReal;
    static bool sRefuseAll;
    bool mRegistered = false;
};

std::vector<UINT> OlderTooltips::sSizes;
WNDPROC OlderTooltips::sReal = nullptr;
bool OlderTooltips::sRefuseAll = false;

TEST(ICanvasWin, TooltipsWorkWithTheOlderCommonControlsAndGoOffWhenTheToolIsRefused)
{
    {
        OlderTooltips older(false);
        ASSERT_TRUE(older.Registered());
        Editor e;
        e.mTooltips = true;
        ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
        HWND tooltip = e.Win()->GetTooltipWindow();
        ASSERT_NE(tooltip, nullptr);
        EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
        EXPECT_TRUE(e.Win()->TooltipsEnabled());

        // Over the red patch, then a hover: its tip goes to the tool.
        SendMessageW(e.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(70, 50));
        SendMessageW(e.Window(), WM_MOUSEHOVER, 0, MAKELPARAM(70, 50));
        wchar_t text[80] = {};
        TTTOOLINFOW info = {};
        info.cbSize = 64;
        info.hwnd = e.Window();
        info.uId = reinterpret_cast<UINT_PTR>(e.Window());
        info.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(text, L"Decay \u2014 how long the tail lasts");
        ASSERT_GE(OlderTooltips::sSizes.size(), 2u) << "the tool added and its text set";
        for (UINT size : OlderTooltips::sSizes)
            EXPECT_EQ(size, 64u);
    }
    {
        OlderTooltips refusing(true);
        ASSERT_TRUE(refusing.Registered());
        Editor e;
        e.mTooltips = true;
        ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
        EXPECT_EQ(e.Win()->GetTooltipWindow(), nullptr) << "no tooltip window without its tool";
        EXPECT_FALSE(e.Win()->TooltipsEnabled());
        EXPECT_TRUE(FirstFrame(e)) << "the editor itself works on";
        SendMessageW(e.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(70, 50));
        SendMessageW(e.Window(), WM_MOUSEHOVER, 0, MAKELPARAM(70, 50));
        EXPECT_EQ(OlderTooltips::sSizes.size(), 1u) << "only the refused tool was sent";
    }
}

/// A key pressed or released by SendInput, as the keyboard would.
void SendKey(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

TEST(ICanvasWin, KeysWithTextBySendInput)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    SetForegroundWindow(test::SharedHost().Get());
    SetFocus(e.Window());
    // Keys go to the control under the pointer.
    const RECT r = ClientOnScreen(e.Window());
    SetCursorPos(r.left + 70, r.top + 50);
    PumpFor(50);

    SendKey('A', false);
    SendKey('A', true);
    SendKey(VK_SHIFT, false);
    SendKey('B', false);
    SendKey('B', true);
    SendKey(VK_SHIFT, true);
    SendKey(VK_LEFT, false);
    SendKey(VK_LEFT, true);
    PumpFor(200);
    EXPECT_EQ(Take(e.red),
              (std::vector<std::string>{"key 65 'a'", "key 16 '' S", "key 66 'B' S", "key 37 ''"}));
}

/// A WM_DROPFILES handle holding `names` (UTF-16) dropped at (x, y).
HDROP MakeDrop(const std::vector<std::wstring>& names, int x, int y)
{
    size_t chars = 1;
    for (const auto& n : names)
        chars += n.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = POINT{x, y};
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& n : names)
    {
        std::memcpy(text, n.c_str(), n.size() * sizeof(wchar_t));
        text += n.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST(ICanvasWin, DroppedFilesOneAndTwoWithNonAsciiNames)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    SendMessageW(e.Window(), WM_DROPFILES, (WPARAM)MakeDrop({L"C:\\caf\u00e9.wav"}, 60, 50), 0);
    EXPECT_EQ(Take(e.red), (std::vector<std::string>{"drop C:\\caf\xc3\xa9.wav"}));
    SendMessageW(e.Window(),
                 WM_DROPFILES,
                 (WPARAM)MakeDrop({L"C:\\a.wav", L"C:\\\u00fcber\u20ac.aif"}, 200, 50),
                 0);
    EXPECT_EQ(Take(e.green),
              (std::vector<std::string>{"drops C:\\a.wav C:\\\xc3\xbc"
                                        "ber\xe2\x82\xac.aif"}));
}

std::string Utf8Of(const std::wstring& wide)
{
    HeapString utf8;
    WideToUtf8(wide.c_str(), utf8);
    return utf8.Get();
}

TEST(ICanvasWin, ALongDroppedPathIsCutAtACharacterBoundary)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    const std::wstring accents(600, L'\u00e9'); // two bytes each in UTF-8
    const struct
    {
        std::wstring path;
        size_t keptUnits; ///< the UTF-16 units of the path the control receives
        size_t keptBytes;
    } cases[] = {
        // 1203 bytes: byte 1024 falls inside an 'é', so the cut is one byte shorter.
        {L"C:\\" + accents, 3 + 510, 1023},
        // Exactly 1024 bytes: kept whole.
        {L"C:\\a" + accents.substr(0, 510), 4 + 510, 1024},
        // 1024 units ending in an emoji: the read stops inside its surrogate pair, and what
        // stands for the half is cut off.
        {L"C:\\" + std::wstring(1019, L'a') + L"\U0001F600", 1022, 1022},
    };
    for (const auto& c : cases)
    {
        SendMessageW(e.Window(), WM_DROPFILES, (WPARAM)MakeDrop({c.path}, 60, 50), 0);
        const std::vector<std::string> events = Take(e.red);
        ASSERT_EQ(events.size(), 1u);
        const std::string expected = Utf8Of(c.path.substr(0, c.keptUnits));
        EXPECT_EQ(expected.size(), c.keptBytes);
        EXPECT_EQ(events[0], "drop " + expected) << "received " << events[0].size() - 5 << " bytes";
    }
}

/// The pointer moved to screen (x, y) by SendInput, as a real mouse moves it.
void SendPointerMove(int x, int y)
{
    // Absolute input is normalised to 0..65535 over the screen; round up so that the pixel
    // reached is (x, y) itself.
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = (x * 65536 + width - 1) / width;
    in.mi.dy = (y * 65536 + height - 1) / height;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
    PumpFor(60);
}

/// Waits out the double-click time, so that the next press at the same place is a single one.
void WaitPastDoubleClick()
{
    PumpFor(static_cast<int>(GetDoubleClickTime()) + 50);
}

/// A mouse button pressed or released by SendInput (MOUSEEVENTF_LEFTDOWN, ...).
void SendButton(DWORD flag)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flag;
    SendInput(1, &in, sizeof in);
    PumpFor(60);
}

bool CursorShowing()
{
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) != 0;
}

POINT CursorInClient(HWND window)
{
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    return p;
}

TEST(ICanvasWin, PressDragAndReleaseBySendInputWithCapture)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    HWND w = e.Window();
    const RECT r = ClientOnScreen(w);

    SendPointerMove(r.left + 40, r.top + 130);
    SendButton(MOUSEEVENTF_LEFTDOWN);
    EXPECT_EQ(GetCapture(), w);
    EXPECT_EQ(e.mGestures, (std::vector<std::string>{"begin 0"}));
    // Dragged out of the control and out of the editor window: the control keeps the pointer.
    SendPointerMove(r.left + 60, r.top + 120);
    SendPointerMove(r.left + kWidth + 30, r.top + 150);
    SendButton(MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(
        Take(e.blue),
        (std::vector<std::string>{
            "down 40,130 L", "drag 60,120 by 20,-10", "drag 330,150 by 270,30", "up 330,150"}));
    EXPECT_EQ(e.mGestures, (std::vector<std::string>{"begin 0", "end 0"}));
    EXPECT_TRUE(Take(e.background).empty());
    EXPECT_TRUE(Take(e.red).empty());

    // Moves without a button are no drags.
    SendPointerMove(r.left + 50, r.top + 140);
    EXPECT_TRUE(Take(e.blue).empty());
}

TEST(ICanvasWin, APressedControlHidesThePointerAndMayHoldItInPlace)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    HWND w = e.Window();
    const RECT r = ClientOnScreen(w);
    ASSERT_TRUE(CursorShowing());

    const struct
    {
        Patch::Pointer pointer;
        POINT afterDrag; ///< where the pointer is after the drag, in the window
        std::vector<std::string> events;
    } cases[] = {
        {Patch::Pointer::Hidden,
         {70, 150},
         {"down 40,130 L", "drag 50,140 by 10,10", "drag 70,150 by 20,10", "up 70,150"}},
        // Held: after each move the pointer goes back, so every move counts from the press.
        {Patch::Pointer::HiddenAndLocked,
         {40, 130},
         {"down 40,130 L", "drag 50,140 by 10,10", "drag 70,150 by 30,20", "up 40,130"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pointer == Patch::Pointer::Hidden ? "hidden" : "hidden and held");
        e.blue->mPointer = c.pointer;
        WaitPastDoubleClick();
        SendPointerMove(r.left + 40, r.top + 130);
        SendButton(MOUSEEVENTF_LEFTDOWN);
        EXPECT_FALSE(CursorShowing());
        SendPointerMove(r.left + 50, r.top + 140);
        SendPointerMove(r.left + 70, r.top + 150);
        const POINT p = CursorInClient(w);
        EXPECT_EQ(p.x, c.afterDrag.x);
        EXPECT_EQ(p.y, c.afterDrag.y);
        SendButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(CursorShowing());
        EXPECT_EQ(Take(e.blue), c.events);
        const POINT q = CursorInClient(w);
        EXPECT_EQ(q.x, c.afterDrag.x);
        EXPECT_EQ(q.y, c.afterDrag.y);
    }
}

TEST(ICanvasWin, ADragEndsWhenAnotherWindowTakesTheCapture)
{
    test::HostWindow& host = test::SharedHost();
    Editor e;
    ASSERT_NE(e.OpenWindow(host.Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    HWND w = e.Window();
    const RECT r = ClientOnScreen(w);
    HWND other = CreateWindowExW(0,
                                 L"STATIC",
                                 L"",
                                 WS_CHILD | WS_VISIBLE,
                                 340,
                                 240,
                                 40,
                                 40,
                                 host.Get(),
                                 nullptr,
                                 nullptr,
                                 nullptr);
    ASSERT_NE(other, nullptr);

    const struct
    {
        const char* name;
        HWND takesIt; ///< null: the capture is released from outside the editor
    } cases[] = {{"another window takes the capture", other}, {"the capture is released", nullptr}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        e.mGestures.clear();
        e.blue->mPointer = Patch::Pointer::HiddenAndLocked;
        WaitPastDoubleClick();
        SendPointerMove(r.left + 40, r.top + 130);
        SendButton(MOUSEEVENTF_LEFTDOWN);
        SendPointerMove(r.left + 50, r.top + 140);
        ASSERT_EQ(GetCapture(), w);
        ASSERT_FALSE(CursorShowing());

        if (c.takesIt != nullptr)
            SetCapture(c.takesIt);
        else
            ReleaseCapture();
        PumpFor(50);
        // The gesture ends, the control hears of it, and the pointer shows again.
        EXPECT_EQ(e.mGestures, (std::vector<std::string>{"begin 0", "end 0"}));
        EXPECT_EQ(
            Take(e.blue),
            (std::vector<std::string>{"down 40,130 L", "drag 50,140 by 10,10", "capture lost"}));
        EXPECT_TRUE(CursorShowing());

        // The button is still down: moving and releasing it drive nothing any more.
        SendPointerMove(r.left + 60, r.top + 150);
        SendButton(MOUSEEVENTF_LEFTUP);
        ReleaseCapture();
        PumpFor(50);
        EXPECT_TRUE(Take(e.blue).empty());
        EXPECT_EQ(e.mGestures.size(), 2u);
    }
    e.blue->mPointer = Patch::Pointer::Shown;
    DestroyWindow(other);
}

TEST(ICanvasWin, PlatformResizeTakesTheParentAndGrandparentAlongUnlessTheHostDid)
{
    HWND host = test::SharedHost().Get();
    const struct
    {
        bool hostResizesParent;
        SIZE parent;
        SIZE grandparent;
    } cases[] = {{false, {370, 260}, {390, 290}}, {true, {330, 230}, {350, 260}}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.hostResizesParent ? "the host resized the parent" : "the editor resizes");
        // Host top-level window > grandparent > parent > editor.
        HWND grandparent = CreateWindowExW(0,
                                           L"STATIC",
                                           L"",
                                           WS_CHILD | WS_VISIBLE,
                                           0,
                                           0,
                                           350,
                                           260,
                                           host,
                                           nullptr,
                                           nullptr,
                                           nullptr);
        HWND parent = CreateWindowExW(0,
                                      L"STATIC",
                                      L"",
                                      WS_CHILD | WS_VISIBLE,
                                      10,
                                      10,
                                      330,
                                      230,
                                      grandparent,
                                      nullptr,
                                      nullptr,
                                      nullptr);
        RECT hostBefore;
        GetWindowRect(host, &hostBefore);
        Editor e;
        e.mHostResizesParent = c.hostResizesParent;
        ASSERT_NE(e.OpenWindow(parent), nullptr);
        ASSERT_TRUE(FirstFrame(e));

        e.Win()->Resize(kWidth + 40, kHeight + 30, 1.f, true);
        auto size = [](HWND window)
        {
            RECT r;
            GetWindowRect(window, &r);
            return SIZE{r.right - r.left, r.bottom - r.top};
        };
        EXPECT_EQ(size(e.Window()).cx, kWidth + 40);
        EXPECT_EQ(size(e.Window()).cy, kHeight + 30);
        EXPECT_EQ(size(parent).cx, c.parent.cx);
        EXPECT_EQ(size(parent).cy, c.parent.cy);
        EXPECT_EQ(size(grandparent).cx, c.grandparent.cx);
        EXPECT_EQ(size(grandparent).cy, c.grandparent.cy);
        RECT hostAfter;
        GetWindowRect(host, &hostAfter);
        EXPECT_TRUE(EqualRect(&hostBefore, &hostAfter)) << "the top-level window is the host's";

        // The next frame is drawn at the new size.
        const int paints = e.Win()->NPaints();
        ASSERT_TRUE(PumpUntil([&] { return e.Win()->NPaints() > paints; }));
        e.Win()->ActivateGLContext();
        HeapBuffer pixels;
        int width = 0;
        int height = 0;
        EXPECT_TRUE(e.Win()->ReadMainFramebuffer(pixels, width, height));
        e.Win()->DeactivateGLContext();
        EXPECT_EQ(width, kWidth + 40);
        EXPECT_EQ(height, kHeight + 30);

        e.CloseWindow();
        DestroyWindow(grandparent);
    }
}

TEST(ICanvasWin, KeysTheEditorDoesNotTakeReachTheRootWindow)
{
    test::HostWindow& host = test::SharedHost();
    std::vector<std::string> hostKeys;
    host.SetHandler(
        [&](UINT msg, WPARAM wParam, LPARAM, LRESULT&)
        {
            if (msg == WM_KEYDOWN || msg == WM_KEYUP)
                hostKeys.push_back((msg == WM_KEYDOWN ? "down " : "up ") + std::to_string(wParam));
            return false;
        });
    {
        Editor e;
        ASSERT_NE(e.OpenWindow(host.Get()), nullptr);
        ASSERT_TRUE(FirstFrame(e));
        SetFocus(e.Window());
        const RECT r = ClientOnScreen(e.Window());
        const struct
        {
            POINT at;
            bool redTakesKeys;
            std::vector<std::string> red;
            std::vector<std::string> host;
        } cases[] = {
            {{70, 50}, true, {"key 67 'c'"}, {"up 67"}},
            {{70, 50}, false, {}, {"down 67", "up 67"}},
            {{280, 190}, true, {}, {"down 67", "up 67"}}, // the background takes no keys
        };
        for (const auto& c : cases)
        {
            SCOPED_TRACE(std::to_string(c.at.x) + (c.redTakesKeys ? " taking keys" : ""));
            e.red->mTakesKeys = c.redTakesKeys;
            SetCursorPos(r.left + c.at.x, r.top + c.at.y);
            PumpFor(50);
            hostKeys.clear();
            SendKey('C', false);
            SendKey('C', true);
            PumpFor(150);
            EXPECT_EQ(Take(e.red), c.red);
            EXPECT_EQ(hostKeys, c.host);
        }
    }
    host.SetHandler(nullptr);
}

TEST(ICanvasWin, DesktopServicesBelongToTheEditorWindow)
{
    using desktoptest::DialogDriver;
    using desktoptest::WindowText;
    test::HostWindow& host = test::SharedHost();
    Editor e;
    ASSERT_NE(e.OpenWindow(host.Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    ICanvasWin& g = *e.Win();

    // The clipboard: owned by the editor window; text and a file list.
    const char* text = "Hall \xe2\x80\x94 Gr\xc3\xb6\xc3\x9f"
                       "e \xe2\x98\x83";
    ASSERT_TRUE(g.SetTextInClipboard(text));
    EXPECT_EQ(GetClipboardOwner(), e.Window());
    HeapString read;
    ASSERT_TRUE(g.GetTextFromClipboard(read));
    EXPECT_STREQ(read.Get(), text);
    ASSERT_TRUE(g.SetFilePathInClipboard("C:\\users\\Kl\xc3\xa4nge\\Hall.wav"));
    EXPECT_EQ(GetClipboardOwner(), e.Window());
    ASSERT_TRUE(OpenClipboard(nullptr));
    wchar_t path[MAX_PATH] = {};
    if (HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP)))
    {
        EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 1u);
        DragQueryFileW(drop, 0, path, MAX_PATH);
    }
    CloseClipboard();
    EXPECT_STREQ(path, L"C:\\users\\Kl\u00e4nge\\Hall.wav");

    // A message box in the middle of a drag: the drag ends before the box shows, and the box
    // belongs to the host's top-level window.
    SendMessageW(e.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 130));
    ASSERT_EQ(e.mGestures, (std::vector<std::string>{"begin 0"}));
    HWND boxOwner = nullptr;
    DialogDriver box([](HWND dialog) { return WindowText(dialog) == L"Lumenfall \u2713"; },
                     [&](HWND dialog)
                     {
                         boxOwner = GetWindow(dialog, GW_OWNER);
                         desktoptest::PressButton(dialog, IDNO);
                     });
    int answered = 0;
    EXPECT_EQ(g.ShowMessageBox("Preset \xc3\xbc"
                               "berschreiben?",
                               "Lumenfall \xe2\x9c\x93",
                               MB_YESNO,
                               [&](int answer) { answered = answer; }),
              IDNO);
    ASSERT_TRUE(box.Join()) << "no message box with the caption";
    EXPECT_EQ(answered, IDNO);
    EXPECT_EQ(boxOwner, host.Get());
    EXPECT_EQ(e.mGestures, (std::vector<std::string>{"begin 0", "end 0"}));
    EXPECT_EQ(Take(e.blue), (std::vector<std::string>{"down 40,130 L", "capture lost"}));
    EXPECT_EQ(GetCapture(), nullptr);

    // A colour dialog without a prompt keeps its own title.
    std::wstring title;
    HWND colorOwner = nullptr;
    DialogDriver colour(desktoptest::AnyDialog,
                        [&](HWND dialog)
                        {
                            title = WindowText(dialog);
                            colorOwner = GetWindow(dialog, GW_OWNER);
                            desktoptest::PressButton(dialog, IDCANCEL);
                        });
    IArgbColor color{255, 1, 2, 3};
    EXPECT_FALSE(g.PromptForColor(color, ""));
    ASSERT_TRUE(colour.Join()) << "no colour dialog";
    EXPECT_FALSE(title.empty()) << "the dialog lost its own title";
    EXPECT_EQ(colorOwner, host.Get());
    EXPECT_EQ(color, (IArgbColor{255, 1, 2, 3}));
}

TEST(ICanvasWin, TheNativeEntryCommitsCancelsAndTakesTheFocusFirst)
{
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ASSERT_TRUE(FirstFrame(e));
    ICanvasWin& g = *e.Win();
    auto open = [&]
    {
        g.CreateTextEntry(*e.red, ITextStyle(), e.red->GetRECT(), "1.5");
        ASSERT_NE(g.GetTextEntryWindow(), nullptr);
    };

    // A click while the entry has just taken the focus cancels it.
    open();
    EXPECT_EQ(g.GetTextEntryState(), TextEntryState::FocusGained);
    SendMessageW(e.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 150));
    EXPECT_EQ(g.GetTextEntryState(), TextEntryState::Cancel);
    ASSERT_TRUE(PumpUntil([&] { return g.GetTextEntryWindow() == nullptr; }));
    EXPECT_TRUE(Take(e.red).empty());

    // After the editor was painted around it, a click commits.
    open();
    ASSERT_TRUE(PumpUntil([&] { return g.GetTextEntryState() != TextEntryState::FocusGained; }));
    SendMessageW(e.Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 150));
    ASSERT_TRUE(PumpUntil([&] { return g.GetTextEntryWindow() == nullptr; }));
    EXPECT_EQ(Take(e.red), (std::vector<std::string>{"text 1.5"}));
    SendMessageW(e.Window(), WM_LBUTTONUP, 0, MAKELPARAM(250, 150));
    Take(e.background);

    // The wheel cancels.
    open();
    PumpFor(50);
    SendMessageW(e.Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    ASSERT_TRUE(PumpUntil([&] { return g.GetTextEntryWindow() == nullptr; }));
    EXPECT_TRUE(Take(e.red).empty());
}

} // namespace
} // namespace plugkit::canvas::platform

namespace plugkit::canvas::platform
{
namespace
{

/// Set in the child process, whose cases skip themselves everywhere else.
constexpr const char* kWin10ChildVariable = "LUMENFALL_WIN10_HIGH_DPI_CHILD";

/// Runs the tests matching `filter` in a new process of this executable in a Wine
/// prefix of its own, whose registry says Windows 10 and 144 dpi (Wine reads both when a process
/// starts, and the tests sharing this prefix must not see them). Returns the child's exit code;
/// its output goes to `log`.
int RunInWindows10HighDpiPrefix(const std::string& filter, const std::string& log)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe = self + 2; // drive Z: is the Unix root
    for (char& c : exe)
        c = c == '\\' ? '/' : c;
    const std::string build = LUMENFALL_TEST_OUTPUT;
    const std::string result = log + ".result";
    std::remove(result.c_str());
    const std::string run =
        "LUMENFALL_WINEPREFIX=" + build + "/wineprefix-win10-144dpi " + build + "/wine-run ";
    const std::string script =
        "unset GTEST_OUTPUT; " + run +
        "reg add 'HKCU\\Software\\Wine' /v Version /d win10 /f >/dev/null 2>&1; " + run +
        "reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d 144 /f "
        ">/dev/null 2>&1; " +
        kWin10ChildVariable + "=1 " + run + exe + " --gtest_filter=" + filter + " >" + log +
        " 2>&1; echo $? >" + result + ".part; mv " + result + ".part " + result;
    std::string command = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr,
                        command.data(),
                        nullptr,
                        nullptr,
                        FALSE,
                        0,
                        nullptr,
                        nullptr,
                        &startup,
                        &process))
        return -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine signals a Unix process's handle at once: its end is the result file.
    for (int i = 0; i < 1800; ++i)
    {
        if (FILE* file = std::fopen(result.c_str(), "r"))
        {
            int code = -1;
            if (std::fscanf(file, "%d", &code) != 1)
                code = -1;
            std::fclose(file);
            return code;
        }
        Sleep(100);
    }
    return -1;
}

TEST(ICanvasWin, OnWindows10At144DpiTheBlankThreadPacesAndTheWindowFollowsTheScale)
{
    const std::string log = LUMENFALL_TEST_OUTPUT "/window-win10-144dpi.log";
    EXPECT_EQ(RunInWindows10HighDpiPrefix("ICanvasWinWin10.*", log), 0)
        << "the child's report is " << log;
}

// Runs only in the child process of the test above, in its own prefix.
TEST(ICanvasWinWin10, VBlankPacingAndTheScaleOfTheDisplay)
{
    if (std::getenv(kWin10ChildVariable) == nullptr)
        GTEST_SKIP()
            << "runs in its own Windows 10, 144 dpi prefix, started by "
               "ICanvasWin.OnWindows10At144DpiTheBlankThreadPacesAndTheWindowFollowsTheScale";
    Editor e;
    ASSERT_NE(e.OpenWindow(test::SharedHost().Get()), nullptr);
    ICanvasWin& g = *e.Win();
    EXPECT_TRUE(g.IsVBlankMode());
    EXPECT_TRUE(g.IsVBlankThreadRunning()) << "paced by its fallback sleep under Wine";
    RECT r;
    GetClientRect(e.Window(), &r);
    EXPECT_EQ(r.right, kWidth) << "opened at the whole part of 1.5";

    // The first tick sees the display's 1.5 and the window follows.
    ASSERT_TRUE(FirstFrame(e));
    PumpFor(100);
    EXPECT_EQ(g.GetScreenScale(), 1.5f);
    GetClientRect(e.Window(), &r);
    EXPECT_EQ(r.right, kWidth * 3 / 2);
    EXPECT_EQ(r.bottom, kHeight * 3 / 2);

    // A stale blank paints nothing; the latest one paints once.
    PumpFor(100);
    const int paints = g.NPaints();
    e.red->SetDirty(false);
    SendMessageW(e.Window(), kWmVBlank, 1, 0);
    EXPECT_EQ(g.NPaints(), paints);
    ASSERT_TRUE(PumpUntil([&] { return g.NPaints() > paints; }));
    PumpFor(100);
    EXPECT_EQ(g.NPaints(), paints + 1);

    g.CloseWindow();
    EXPECT_FALSE(g.IsVBlankThreadRunning()) << "joined on close";
}

} // namespace
} // namespace plugkit::canvas::platform
