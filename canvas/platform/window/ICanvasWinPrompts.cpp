// The native windows the editor window shows over itself: popup menus, the text entry and
// tooltips.
#include "canvas/platform/window/ICanvasWin.h"

#include "canvas/IControl.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "canvas/platform/nanovg/WinFont.h"
#include "canvas/platform/window/NativeMenu.h"
#include "plugkit/HeapBuffer.h"
#include "plugkit/ICanvasEditorDelegate.h"

#include <commctrl.h>

#include <cstddef>

namespace plugkit::canvas::platform
{
namespace
{

/// The tool structure's size as common controls before version 6 know it (up to lParam): a
/// host without a version-6 activation context refuses the larger layout.
constexpr UINT kToolInfoBytes = offsetof(TTTOOLINFOW, lParam) + sizeof(TTTOOLINFOW::lParam);
#if defined(_WIN64)
static_assert(kToolInfoBytes == 64);
#endif

} // namespace

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

} // namespace plugkit::canvas::platform
