#include "canvas/platform/ICanvasWin.h"

#include "canvas/IControl.h"
#include "canvas/platform/NativeMenu.h"
#include "canvas/platform/PlatformResources.h"
#include "canvas/platform/TextConversion.h"
#include "canvas/platform/WinFont.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"
#include "plugkit/ICanvasEditorDelegate.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

/// Editor windows using the class; it is registered while this is above 0. UI thread only.
int gWindowClassUsers = 0;

constexpr UINT kResizeFlags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE;
/// Longest dropped path kept, in bytes of UTF-8.
constexpr size_t kMaxDropPathBytes = 1024;
/// Region data that fits this many bytes is painted rectangle by rectangle.
constexpr DWORD kMaxRegionDataBytes = 1024;
/// The tool structure's size as common controls before version 6 know it (up to lParam): a
/// host without a version-6 activation context refuses the larger layout.
constexpr UINT kToolInfoBytes = offsetof(TTTOOLINFOW, lParam) + sizeof(TTTOOLINFOW::lParam);
#if defined(_WIN64)
static_assert(kToolInfoBytes == 64);
#endif

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
    info.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(
               &info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool KeyDown(int vk)
{
    return (GetKeyState(vk) & 0x8000) != 0;
}

/// `path` cut to at most `limit` bytes, never inside a UTF-8 sequence.
void CutUtf8(std::string& path, size_t limit)
{
    if (path.size() <= limit)
        return;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80)
        --end;
    path.resize(end);
}

} // namespace

ICanvasWin::ICanvasWin(ICanvasEditorDelegate& dlg, int width, int height, int fps, float scale)
    : ICanvasNanoVG(dlg, width, height, fps, scale)
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

    mPresentMode = ChoosePresentMode();
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

// ---- Desktop services and fonts.

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

// ---- Pointer, size and scale.

bool ICanvasWin::GetMouseLocation(float& x, float& y) const
{
    POINT p;
    GetCursorPos(&p);
    const bool ok = mWindow != nullptr && ScreenToClient(mWindow, &p);
    const float scale = GetTotalScale();
    x = static_cast<float>(p.x) / scale;
    y = static_cast<float>(p.y) / scale;
    return ok;
}

void ICanvasWin::PlatformHideMouseCursor(bool hide, bool lock)
{
    if (hide)
    {
        mHiddenCursorX = mLastMouseX;
        mHiddenCursorY = mLastMouseY;
        ShowCursor(FALSE);
        mCursorLocked = mTabletInput ? false : lock;
    }
    else
    {
        if (mCursorLocked)
            MoveMouseCursor(mHiddenCursorX, mHiddenCursorY);
        ShowCursor(TRUE);
        mCursorLocked = false;
    }
}

void ICanvasWin::MoveMouseCursor(float x, float y)
{
    if (mTabletInput || mWindow == nullptr)
        return;
    const float scale = GetTotalScale();
    POINT p{static_cast<LONG>(std::round(x * scale)), static_cast<LONG>(std::round(y * scale))};
    ClientToScreen(mWindow, &p);
    if (!SetCursorPos(p.x, p.y))
        return;
    GetCursorPos(&p);
    ScreenToClient(mWindow, &p);
    mLastMouseX = mHiddenCursorX = static_cast<float>(p.x) / scale;
    mLastMouseY = mHiddenCursorY = static_cast<float>(p.y) / scale;
}

ECursorShape ICanvasWin::SetMouseCursor(ECursorShape shape)
{
    const ECursorShape previous = ICanvas::SetMouseCursor(shape);
    ShowCursorShape(shape);
    return previous;
}

bool ICanvasWin::SupportsMultiTouch() const
{
    return DigitizerTakesMultiTouch(GetSystemMetrics(SM_DIGITIZER));
}

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

// ---- Native menus and text entry.

IPopupMenu*
ICanvasWin::CreatePlatformPopupMenu(IPopupMenu& menu, const IBounds& bounds, bool& isAsync)
{
    isAsync = false;
    if (mWindow == nullptr)
        return nullptr;
    const float scale = GetTotalScale();
    POINT p{static_cast<LONG>(scale * bounds.L), static_cast<LONG>(scale * bounds.B)};
    ClientToScreen(mWindow, &p);
    IPopupMenu* chosen = TrackNativePopupMenu(menu, mWindow, p);
    const RECT all{
        0,
        0,
        static_cast<LONG>(static_cast<int>(Width() * GetDrawScale()) * GetScreenScale()),
        static_cast<LONG>(static_cast<int>(Height() * GetDrawScale()) * GetScreenScale())};
    InvalidateRect(mWindow, &all, FALSE);
    return chosen;
}

void ICanvasWin::CreatePlatformTextEntry(
    int paramIdx, const ITextStyle& style, const IBounds& bounds, int length, const char* text)
{
    if (mWindow == nullptr || mTextEntry.IsOpen())
        return;
    LOGFONTW font;
    const LOGFONTW* baseFont = nullptr;
    if (HFONT cached = GetCachedFontHandle(style.font))
    {
        if (GetObjectW(cached, sizeof font, &font) == sizeof font)
            baseFont = &font;
    }
    const IParam* param = GetDelegate().GetParam(paramIdx);
    const int paramType = param != nullptr ? static_cast<int>(param->Type()) : -1;
    mTextEntry.SetMessageHook([this] { HideTooltip(); });
    mTextEntry.Open(
        mWindow, mInstance, bounds, GetTotalScale(), style, baseFont, paramType, length, text);
}

void ICanvasWin::CancelPlatformTextEntry()
{
    if (mTextEntry.IsOpen())
        mTextEntry.SetState(TextEntryState::Cancel);
}

void ICanvasWin::DestroyTextEntry()
{
    mTextEntry.Destroy();
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

// ---- Tooltips.

void ICanvasWin::CreateTooltip()
{
    INITCOMMONCONTROLSEX init = {};
    init.dwSize = sizeof init;
    init.dwICC = ICC_BAR_CLASSES;
    if (InitCommonControlsEx(&init))
    {
        mTooltip = CreateWindowExW(0,
                                   TOOLTIPS_CLASSW,
                                   nullptr,
                                   WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TTS_ALWAYSTIP |
                                       TTS_NOPREFIX,
                                   CW_USEDEFAULT,
                                   CW_USEDEFAULT,
                                   CW_USEDEFAULT,
                                   CW_USEDEFAULT,
                                   mWindow,
                                   nullptr,
                                   mInstance,
                                   nullptr);
    }
    if (mTooltip != nullptr)
    {
        SetWindowPos(mTooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
        TTTOOLINFOW info = {};
        info.cbSize = kToolInfoBytes;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = mWindow;
        info.uId = reinterpret_cast<UINT_PTR>(mWindow);
        info.lpszText = const_cast<LPWSTR>(L"");
        if (!SendMessageW(mTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)))
        {
            // A tooltip window without its tool would never show anything.
            DestroyWindow(mTooltip);
            mTooltip = nullptr;
        }
    }
    if (mTooltip == nullptr)
    {
        EnableTooltips(false);
        return;
    }
    SendMessageW(mTooltip, TTM_SETMAXTIPWIDTH, 0, 250);
}

void ICanvasWin::SetTooltipText(const char* text)
{
    if (mTooltip == nullptr)
        return;
    HeapBuffer wide;
    TTTOOLINFOW info = {};
    info.cbSize = kToolInfoBytes;
    info.hwnd = mWindow;
    info.uId = reinterpret_cast<UINT_PTR>(mWindow);
    info.lpszText = const_cast<LPWSTR>(Utf8ToWideBuffer(text, wide));
    SendMessageW(mTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void ICanvasWin::HideTooltip()
{
    if (!mTooltipShown)
        return;
    SetTooltipText("");
    mTooltipShown = false;
}

// ---- The window procedure.

LRESULT CALLBACK ICanvasWin::WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CREATE)
    {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<ICanvasWin*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->mWindow = window;
        self->StartPacing();
        SetFocus(window);
        DragAcceptFiles(window, TRUE);
        return 0;
    }
    auto* self = reinterpret_cast<ICanvasWin*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->mWindow != window)
        return DefWindowProcW(window, msg, wParam, lParam);
    return self->HandleMessage(msg, wParam, lParam);
}

IMouseEvent ICanvasWin::MouseEvent(WPARAM wParam, LPARAM lParam)
{
    const float scale = GetTotalScale();
    IMouseEvent e;
    e.x = static_cast<float>(GET_X_LPARAM(lParam)) / scale;
    e.y = static_cast<float>(GET_Y_LPARAM(lParam)) / scale;
    e.ms = MouseModifiersFromWParam(wParam, KeyDown(VK_MENU));
    mLastMouseX = e.x;
    mLastMouseY = e.y;
    return e;
}

LRESULT ICanvasWin::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND window = mWindow;
    // While a new text entry holds the focus the editor takes no input: a click cancels it.
    if (mTextEntry.IsOpen() && mTextEntry.GetState() == TextEntryState::FocusGained)
    {
        if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN)
        {
            mTextEntry.SetState(TextEntryState::Cancel);
            return 0;
        }
        if (msg != WM_PAINT && msg != WM_TIMER && msg != kWmVBlank && msg != WM_CTLCOLOREDIT &&
            msg != WM_SIZE)
            return DefWindowProcW(window, msg, wParam, lParam);
    }

    const bool mouseMessage = (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) ||
                              msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE;
    // Pen and touch also arrive as WM_TOUCH only when the window registered for it; otherwise
    // their mouse messages are the only input they give.
    bool fromTouch = false;
    if (mouseMessage)
    {
        mTabletInput = IsPenOrTouchExtraInfo(static_cast<uintptr_t>(GetMessageExtraInfo()));
        if (mTabletInput)
            mCursorLocked = false;
        fromTouch = mTabletInput && mTouchRegistered;
    }

    switch (msg)
    {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ERASEBKGND:
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_CLOSE:
        CloseWindow();
        return 0;
    case WM_SIZE:
        mGl.FollowWindowSize();
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) != HTCLIENT)
            break;
        SetMouseCursor(GetCursorShape());
        return TRUE;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_KEYUP:
        return OnKey(msg, wParam, lParam);
    case WM_TIMER:
        if (wParam == kDisplayTimerId)
            OnDisplayTick(0);
        return 0;
    case kWmVBlank:
        OnDisplayTick(static_cast<int>(wParam));
        return 0;
    case WM_CTLCOLOREDIT:
    {
        if (!mTextEntry.IsOpen())
            return 0;
        const ITextStyle& style = mTextEntry.GetStyle();
        HDC dc = reinterpret_cast<HDC>(wParam);
        const IArgbColor& back = style.entryBackgroundColor;
        const IArgbColor& text = style.entryTextColor;
        SetBkColor(dc, RGB(back.R, back.G, back.B));
        SetDCBrushColor(dc, RGB(back.R, back.G, back.B));
        SetTextColor(dc, RGB(text.R, text.G, text.B));
        SetBkMode(dc, OPAQUE);
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_CAPTURECHANGED:
        // Another window took the capture in the middle of a drag: end it as a release would.
        if (!mReleasingCapture && reinterpret_cast<HWND>(lParam) != window)
            ReleaseMouseCapture();
        return 0;
    case WM_MOUSEMOVE:
    {
        if (fromTouch)
            return 0;
        const float lastX = mLastMouseX;
        const float lastY = mLastMouseY;
        if (wParam & (MK_LBUTTON | MK_RBUTTON))
        {
            if (GetCapture() != window || mTextEntry.IsOpen())
                return 0;
            IMouseEvent e = MouseEvent(wParam, lParam);
            e.dX = e.x - lastX;
            e.dY = e.y - lastY;
            if (e.dX != 0.f || e.dY != 0.f)
            {
                OnMouseDrag({e});
                if (mCursorLocked)
                {
                    const float x = mHiddenCursorX;
                    const float y = mHiddenCursorY;
                    MoveMouseCursor(x, y);
                    mHiddenCursorX = x;
                    mHiddenCursorY = y;
                }
            }
            return 0;
        }
        const IMouseEvent e = MouseEvent(wParam, lParam);
        if (OnMouseOver(e.x, e.y, e.ms))
        {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window;
            track.dwHoverTime = HOVER_DEFAULT;
            const int over = GetMouseOverIdx();
            if (TooltipsEnabled() && over != mTooltipIdx)
            {
                if (over >= 0)
                    track.dwFlags |= TME_HOVER;
                mTooltipIdx = over;
                HideTooltip();
            }
            TrackMouseEvent(&track);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    {
        if (fromTouch)
            return 0;
        HideTooltip();
        if (mTextEntry.IsOpen())
        {
            mTextEntry.SetState(TextEntryState::Commit);
            return 0;
        }
        SetFocus(window);
        SetCapture(window);
        OnMouseDown({MouseEvent(wParam, lParam)});
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    {
        const IMouseEvent e = MouseEvent(wParam, lParam);
        OnMouseUp({e});
        if (GetCapture() == window)
        {
            mReleasingCapture = true; // our own release, after the controls had theirs
            ReleaseCapture();
            mReleasingCapture = false;
        }
        return 0;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    {
        if (fromTouch)
            return 0;
        const IMouseEvent e = MouseEvent(wParam, lParam);
        if (OnMouseDblClick(e.x, e.y, e.ms))
            SetCapture(window);
        return 0;
    }
    case WM_MOUSEWHEEL:
    {
        if (mTextEntry.IsOpen())
        {
            mTextEntry.SetState(TextEntryState::Cancel);
            return 0;
        }
        RECT r;
        GetWindowRect(window, &r);
        const float scale = GetTotalScale();
        const float x = static_cast<float>(GET_X_LPARAM(lParam) - r.left) / scale;
        const float y = static_cast<float>(GET_Y_LPARAM(lParam) - r.top) / scale;
        const IMouseModifiers mod =
            MouseModifiersFromWParam(GET_KEYSTATE_WPARAM(wParam), KeyDown(VK_MENU));
        OnMouseWheel(x, y, mod, WheelNotches(static_cast<int16_t>(HIWORD(wParam))));
        return 0;
    }
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_TOUCH:
        OnTouch(wParam, lParam);
        return 0;
    case WM_MOUSEHOVER:
        if (IControl* control = GetControl(mTooltipIdx))
        {
            const char* tip = control->GetTooltip();
            SetTooltipText(tip != nullptr ? tip : "");
            mTooltipShown = true;
        }
        return 0;
    case WM_MOUSELEAVE:
        HideTooltip();
        OnMouseOut();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

LRESULT ICanvasWin::OnKey(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND window = mWindow;
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    BYTE state[256] = {};
    GetKeyboardState(state);
    wchar_t units[4] = {};
    const int count = ToUnicode(
        static_cast<UINT>(wParam), (static_cast<UINT>(lParam) >> 16) & 0xFF, state, units, 4, 0);
    IKeyEvent key;
    if (KeyTextFromUnicode(count, units, key.utf8))
    {
        key.VK = static_cast<int32_t>(wParam);
        key.S = KeyDown(VK_SHIFT);
        key.C = KeyDown(VK_CONTROL);
        key.A = KeyDown(VK_MENU);
        const float scale = GetTotalScale();
        const float x = static_cast<float>(p.x) / scale;
        const float y = static_cast<float>(p.y) / scale;
        const bool handled = msg == WM_KEYDOWN ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key);
        if (handled)
            return 0;
    }
    // Keys the editor does not take reach the host's top-level window.
    SendMessageW(GetAncestor(window, GA_ROOT), msg, wParam, lParam);
    return DefWindowProcW(window, msg, wParam, lParam);
}

void ICanvasWin::OnDropFiles(HDROP drop)
{
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::string> paths;
    paths.reserve(count);
    for (UINT i = 0; i < count; ++i)
    {
        wchar_t buffer[1025] = {};
        DragQueryFileW(drop, i, buffer, 1024);
        HeapString utf8;
        WideToUtf8(buffer, utf8);
        std::string path = utf8.Get();
        CutUtf8(path, kMaxDropPathBytes);
        paths.push_back(std::move(path));
    }
    POINT p = {};
    DragQueryPoint(drop, &p);
    const float scale = GetTotalScale();
    const float x = static_cast<float>(p.x) / scale;
    const float y = static_cast<float>(p.y) / scale;
    if (count == 1)
    {
        OnDrop(paths[0].c_str(), x, y);
    }
    else if (count > 1)
    {
        std::vector<const char*> pointers;
        for (const std::string& path : paths)
            pointers.push_back(path.c_str());
        OnDropMultiple(pointers, x, y);
    }
    DragFinish(drop);
}

void ICanvasWin::OnTouch(WPARAM wParam, LPARAM lParam)
{
    const UINT count = LOWORD(wParam);
    HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
    if (count == 0)
        return;
    std::vector<TOUCHINPUT> inputs(count);
    if (GetTouchInputInfo(handle, count, inputs.data(), sizeof(TOUCHINPUT)))
    {
        std::vector<TouchEntry> entries(count);
        for (UINT i = 0; i < count; ++i)
        {
            entries[i].id = static_cast<int64_t>(inputs[i].dwID);
            entries[i].x = inputs[i].x;
            entries[i].y = inputs[i].y;
            entries[i].flags = inputs[i].dwFlags;
            entries[i].mask = inputs[i].dwMask;
            entries[i].contactWidth = inputs[i].cxContact;
        }
        POINT origin{0, 0};
        ClientToScreen(mWindow, &origin);
        mTouchBatch.Clear();
        ProcessTouchEntries(entries.data(),
                            static_cast<int>(count),
                            origin.x,
                            origin.y,
                            GetTotalScale(),
                            mTouches,
                            mTouchBatch);
        if (!mTouchBatch.down.empty())
            OnMouseDown(mTouchBatch.down);
        if (!mTouchBatch.up.empty())
            OnMouseUp(mTouchBatch.up);
        if (!mTouchBatch.moves.empty())
            OnMouseDrag(mTouchBatch.moves);
    }
    CloseTouchInputHandle(handle);
}

} // namespace plugkit::canvas::platform
