// The editor window: opening and closing it, its class, frame pacing, the GL context, following
// the editor's size, and each display tick's painting and presenting. Its input is in
// ICanvasWinInput.cpp, native menus, text entry and tooltips in ICanvasWinPrompts.cpp, the
// desktop services and fonts in ICanvasWinDesktop.cpp.
#include "canvas/platform/window/ICanvasWin.h"

#include "canvas/IControl.h"
#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/nanovg/WinFont.h"
#include "plugkit/ICanvasEditorDelegate.h"

#include <algorithm>
#include <string>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

/// Editor windows using the class; it is registered while this is above 0. UI thread only.
int gWindowClassUsers = 0;

constexpr UINT kResizeFlags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE;
/// Region data that fits this many bytes is painted rectangle by rectangle.
constexpr DWORD kMaxRegionDataBytes = 1024;

} // namespace

ICanvasWin::ICanvasWin(ICanvasEditorDelegate& dlg,
                       int width,
                       int height,
                       int fps,
                       float scale,
                       const char* presentModeVariable)
    : ICanvasNanoVG(dlg, width, height, fps, scale)
    , mPresentModeVariable(presentModeVariable)
{
    AddPlatformFontCacheUser();
    mVBlankMode = WindowsEightOrLater();
}

ICanvasWin::~ICanvasWin()
{
    DestroyTextEntry();
    CloseWindow();
    RemovePlatformFontCacheUser();
}

int ICanvasWin::WindowClassUsers()
{
    return gWindowClassUsers;
}

void ICanvasWin::SetPlatformInstance(void* instance)
{
    mInstance = static_cast<HINSTANCE>(instance);
}

// ---- Opening and closing.

void* ICanvasWin::OpenWindow(void* parent)
{
    HWND parentWindow = static_cast<HWND>(parent);
    mParent = parentWindow;
    const int k = std::max(1, static_cast<int>(GetWindowDpiScale(parentWindow)));

    int x = 0;
    int y = 0;
    int width = static_cast<int>(Width() * GetDrawScale()) * k;
    int height = static_cast<int>(Height() * GetDrawScale()) * k;
    if (mWindow != nullptr)
    {
        // Re-opened in place: same position in the parent, same size.
        RECT parentRect;
        RECT windowRect;
        GetWindowRect(parentWindow, &parentRect);
        GetWindowRect(mWindow, &windowRect);
        CloseWindow();
        x = windowRect.left - parentRect.left;
        y = windowRect.top - parentRect.top;
        width = windowRect.right - windowRect.left;
        height = windowRect.bottom - windowRect.top;
    }
    mParent = parentWindow;

    if (mInstance == nullptr)
        mInstance = OwnModule();
    if (gWindowClassUsers++ == 0)
    {
        WNDCLASSW wc = {};
        wc.style = CS_DBLCLKS | CS_OWNDC;
        wc.lpfnWndProc = &ICanvasWin::WndProc;
        wc.hInstance = mInstance;
        wc.lpszClassName = kWindowClass;
        RegisterClassW(&wc);
    }
    mHoldsWindowClass = true;

    mPresentMode = ChoosePresentMode(mPresentModeVariable);
    HWND window = CreateWindowExW(0,
                                  kWindowClass,
                                  L"Plugin",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                  x,
                                  y,
                                  width,
                                  height,
                                  parentWindow,
                                  nullptr,
                                  mInstance,
                                  this);
    if (window == nullptr || !CreateGlSurface(window))
    {
        // Nothing was drawn: no GL or NanoVG call runs without a context.
        if (window != nullptr)
        {
            StopPacing();
            DestroyWindow(window);
        }
        mWindow = nullptr;
        ReleaseWindowClass();
        return nullptr;
    }

    ActivateGLContext();
    if (!mGl.IsActive())
    {
        // Made but not current: nothing may be created in whatever context is current.
        DeactivateGLContext();
        StopPacing();
        mGl.Destroy();
        mActivations = 0;
        mWindow = nullptr;
        DestroyWindow(window);
        ReleaseWindowClass();
        return nullptr;
    }
    mResizePending = false;
    OnViewCreated();
    SetScreenScale(static_cast<float>(k));
    GetDelegate().LayoutUI(this);

    bool wantsTouch = false;
    ForStandardControls([&](IControl& c) { wantsTouch = wantsTouch || c.GetWantsMultiTouch(); });
    mTouchRegistered = wantsTouch && SupportsMultiTouch() && RegisterTouchWindow(mWindow, 0);

    SetAllControlsDirty();
    if (TooltipsEnabled())
        CreateTooltip();
    DeactivateGLContext();
    GetDelegate().OnUIOpen();
    return mWindow;
}

bool ICanvasWin::CreateGlSurface(HWND window)
{
    return mGl.Create(window, mPresentMode);
}

void ICanvasWin::CloseWindow()
{
    if (mWindow == nullptr)
        return;
    StopPacing();
    DestroyTextEntry();
    if (mGl.IsValid())
    {
        ActivateGLContext();
        OnViewDestroyed();
        DeactivateGLContext();
        mGl.Destroy();
    }
    else
    {
        RemoveAllControls();
    }
    mActivations = 0;
    if (mTooltip != nullptr)
    {
        DestroyWindow(mTooltip);
        mTooltip = nullptr;
        mTooltipShown = false;
        mTooltipIdx = -1;
    }
    HWND window = mWindow;
    mWindow = nullptr; // its last messages go to DefWindowProcW
    DestroyWindow(window);
    mTouches.clear();
    ReleaseWindowClass();
}

void ICanvasWin::ReleaseWindowClass()
{
    if (!mHoldsWindowClass)
        return;
    mHoldsWindowClass = false;
    if (--gWindowClassUsers == 0)
        UnregisterClassW(kWindowClass, mInstance);
}

void ICanvasWin::StartPacing()
{
    if (mVBlankMode)
    {
        mSkipUntil = 0;
        if (mVBlank.Start(mWindow))
            return;
    }
    SetTimer(mWindow, kDisplayTimerId, static_cast<UINT>(DisplayTimerPeriodMs(FPS())), nullptr);
}

void ICanvasWin::StopPacing()
{
    if (mVBlank.IsRunning())
        mVBlank.Stop(10000);
    if (mWindow != nullptr)
        KillTimer(mWindow, kDisplayTimerId);
}

// ---- GL context.

void ICanvasWin::ActivateGLContext()
{
    if (mActivations++ == 0)
        mGl.Activate();
}

void ICanvasWin::DeactivateGLContext()
{
    if (mActivations > 0 && --mActivations == 0)
        mGl.Deactivate();
}

void ICanvasWin::DrawResize()
{
    ActivateGLContext();
    mResizePending = !mGl.IsActive();
    if (!mResizePending)
        ICanvasNanoVG::DrawResize();
    DeactivateGLContext();
}

// ---- Size.

void ICanvasWin::PlatformResize(bool parentHasResized)
{
    if (mWindow == nullptr)
        return;
    RECT r;
    GetWindowRect(mWindow, &r);
    const int w0 = r.right - r.left;
    const int h0 = r.bottom - r.top;
    const int dw = static_cast<int>(static_cast<int>(Width() * GetDrawScale()) * GetScreenScale() -
                                    static_cast<float>(w0));
    const int dh = static_cast<int>(static_cast<int>(Height() * GetDrawScale()) * GetScreenScale() -
                                    static_cast<float>(h0));
    if (dw == 0 && dh == 0)
        return;

    auto isChild = [](HWND w)
    {
        return (GetWindowLongW(w, GWL_STYLE) & WS_CHILD) != 0 &&
               (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_MDICHILD) == 0;
    };
    HWND parent = isChild(mWindow) ? GetParent(mWindow) : nullptr;
    HWND grandparent = parent != nullptr && isChild(parent) ? GetParent(parent) : nullptr;

    SetWindowPos(mWindow, nullptr, 0, 0, w0 + dw, h0 + dh, kResizeFlags);
    if (parentHasResized)
        return;
    for (HWND w : {parent, grandparent})
    {
        if (w == nullptr)
            continue;
        RECT wr;
        GetWindowRect(w, &wr);
        SetWindowPos(
            w, nullptr, 0, 0, wr.right - wr.left + dw, wr.bottom - wr.top + dh, kResizeFlags);
    }
}

// ---- Display ticks and painting.

void ICanvasWin::OnDisplayTick(int vblankCount)
{
    if (mWindow == nullptr)
        return;
    const int latest = mVBlank.LatestCount();
    if (mVBlank.IsRunning() && DecideVBlankTick(mSkipUntil, latest, vblankCount) != TickAction::Run)
        return;

    if (mTextEntry.IsOpen() && mTextEntry.GetState() != TextEntryState::Idle)
    {
        switch (mTextEntry.GetState())
        {
        case TextEntryState::Commit:
        {
            const std::string text = mTextEntry.ReadText();
            DestroyTextEntry();
            SetControlValueAfterTextEdit(text.c_str());
            return;
        }
        case TextEntryState::Cancel:
            DestroyTextEntry();
            ClearTextEntryOwner();
            return;
        default:
            mTextEntry.SetState(TextEntryState::Idle);
            return;
        }
    }

    if (GetCapture() == nullptr)
    {
        const float dpiScale = GetWindowDpiScale(mWindow);
        if (dpiScale > 0.f && dpiScale != GetScreenScale())
            SetScreenScale(dpiScale);
    }

    DirtyRectList rects;
    if (!IsDirty(rects))
        return;
    const float scale = GetTotalScale();
    for (int i = 0; i < rects.Size(); ++i)
    {
        const PixelRect p = BoundsToPixelRect(rects.Get(i), scale);
        const RECT r{p.left, p.top, p.right, p.bottom};
        InvalidateRect(mWindow, &r, FALSE);
    }

    if (mTextEntry.IsOpen())
    {
        const PixelRect p = BoundsToPixelRect(mTextEntry.GetBounds(), scale);
        const RECT r{p.left, p.top, p.right, p.bottom};
        ValidateRect(mWindow, &r);
        UpdateWindow(mWindow);
        mTextEntry.SetState(TextEntryState::Painted);
        return;
    }
    UpdateWindow(mWindow);
    if (mVBlank.IsRunning())
        mSkipUntil = SkipUntilAfterPaint(vblankCount, mVBlank.LatestCount());
}

void ICanvasWin::OnPaint()
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const int type = GetUpdateRgn(mWindow, region, FALSE);
    if (type == SIMPLEREGION || type == COMPLEXREGION)
    {
        const float scale = GetTotalScale();
        mPaintRects.Clear();
        RECT box;
        GetRgnBox(region, &box);
        const PixelRect boxPixels{box.left, box.top, box.right, box.bottom};
        alignas(RGNDATA) char data[kMaxRegionDataBytes];
        const DWORD needed = GetRegionData(region, 0, nullptr);
        if (type == COMPLEXREGION && needed > 0 && needed <= kMaxRegionDataBytes &&
            GetRegionData(region, needed, reinterpret_cast<RGNDATA*>(data)) != 0)
        {
            const auto* header = reinterpret_cast<const RGNDATA*>(data);
            const auto* rects = reinterpret_cast<const RECT*>(header->Buffer);
            std::vector<PixelRect> pixels(header->rdh.nCount);
            for (DWORD i = 0; i < header->rdh.nCount; ++i)
                pixels[i] = {rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
            CollectPaintBounds(
                pixels.data(), static_cast<int>(pixels.size()), boxPixels, scale, mPaintRects);
        }
        else
        {
            CollectPaintBounds(nullptr, 0, boxPixels, scale, mPaintRects);
        }

        PAINTSTRUCT ps;
        BeginPaint(mWindow, &ps);
        ActivateGLContext();
        // Without our context current nothing is drawn (the areas stay dirty for the next
        // tick): the host's context must never receive our drawing.
        if (mGl.IsActive())
        {
            if (mResizePending)
                DrawResize();
            DrawDirtyRects(mPaintRects);
            mGl.Present(box);
            ++mPaints;
        }
        else
        {
            // Kept for a later tick, when the context can be made current again.
            for (int i = 0; i < mPaintRects.Size(); ++i)
                InvalidateArea(mPaintRects.Get(i));
        }
        DeactivateGLContext();
        EndPaint(mWindow, &ps);
    }
    ValidateRect(mWindow, nullptr);
    DeleteObject(region);
}

} // namespace plugkit::canvas::platform
