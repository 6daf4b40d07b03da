// The editor window's input: the window procedure, and the mouse, keys, wheel, touch and
// dropped files it turns into the toolkit's calls; the pointer and the cursor.
#include "canvas/platform/window/ICanvasWin.h"

#include "canvas/IControl.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapString.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cmath>
#include <string>
#include <vector>

namespace plugkit::canvas::platform
{
namespace
{

/// Longest dropped path kept, in bytes of UTF-8.
constexpr size_t kMaxDropPathBytes = 1024;

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

// ---- Pointer and cursor.

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
