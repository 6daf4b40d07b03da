#include "plugkit/app/Utf8ComboProcs.h"

#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"
#include "plugkit/app/Utf8Text.h"

#include <cstring>
#include <cwchar>

namespace plugkit::app
{

namespace
{

/// The procedure the window had (ANSI), and its UTF-16 form.
constexpr const char* kOldProc = "Utf8OldProc";
constexpr const char* kOldProcW = "Utf8OldProcW";

WNDPROC OldProc(HWND window)
{
    return reinterpret_cast<WNDPROC>(GetPropA(window, kOldProc));
}

/// The UTF-16 form of the old procedure, for messages that carry UTF-16.
WNDPROC OldProcW(HWND window)
{
    if (HANDLE proc = GetPropA(window, kOldProcW))
        return reinterpret_cast<WNDPROC>(proc);
    return OldProc(window);
}

void Install(HWND window, WNDPROC proc)
{
    if (!window || GetPropA(window, kOldProc))
        return;
    const LONG_PTR procW = GetWindowLongPtrW(window, GWLP_WNDPROC);
    SetPropA(window, kOldProcW, reinterpret_cast<HANDLE>(procW));
    const LONG_PTR old = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    SetPropA(window, kOldProc, reinterpret_cast<HANDLE>(old));
}

/// WM_NCDESTROY: the old procedure back, the properties gone, then the old procedure runs.
LRESULT Uninstall(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC old = OldProc(window);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(window, kOldProc);
    RemovePropA(window, kOldProcW);
    return CallWindowProcA(old, window, message, wParam, lParam);
}

bool HoldsMultiByte(const char* text)
{
    for (; text && *text; ++text)
        if (static_cast<unsigned char>(*text) >= 0x80)
            return true;
    return false;
}

/// Item `index` of the box behind `window` (combo or list) as UTF-8 into `out`.
bool ItemUtf8(HWND window, bool list, WPARAM index, HeapString& out)
{
    WNDPROC procW = OldProcW(window);
    const LRESULT units =
        CallWindowProcW(procW, window, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, index, 0);
    if (units < 0)
        return false;
    WideText wide;
    if (!wide.Reserve(static_cast<int32_t>(units + 1)))
        return false;
    wide.Data()[0] = 0;
    if (CallWindowProcW(procW,
                        window,
                        list ? LB_GETTEXT : CB_GETLBTEXT,
                        index,
                        reinterpret_cast<LPARAM>(wide.Data())) < 0)
        return false;
    wide.Data()[units] = 0;
    // At most three bytes a unit: this bound is what the length messages promise.
    const int32_t bytes = static_cast<int32_t>(units) * 4 + 32;
    HeapBuffer utf8;
    if (!utf8.Resize(bytes))
        return false;
    WideToUtf8Truncated(wide.Get(), static_cast<char*>(utf8.Get()), bytes);
    out.Set(static_cast<const char*>(utf8.Get()));
    return true;
}

} // namespace

void InstallUtf8ComboProcs(HWND combo)
{
    if (!combo || GetPropA(combo, kOldProc))
        return;
    Install(combo, &Utf8ComboProc);
    if (HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr))
        Install(edit, &Utf8ComboEditProc);
}

LRESULT CALLBACK Utf8ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_NCDESTROY:
        return Uninstall(window, message, wParam, lParam);
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    {
        const auto* text = reinterpret_cast<const char*>(lParam);
        WideText wide;
        if (HoldsMultiByte(text) && wide.Assign(text))
            return CallWindowProcW(
                OldProcW(window), window, message, wParam, reinterpret_cast<LPARAM>(wide.Get()));
        break;
    }
    case CB_GETLBTEXT:
    case LB_GETTEXT:
    {
        HeapString item;
        if (!lParam || !ItemUtf8(window, message == LB_GETTEXT, wParam, item))
            return message == LB_GETTEXT ? LB_ERR : CB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), item.Get(), size_t(item.GetLength()) + 1);
        return item.GetLength();
    }
    case CB_GETLBTEXTLEN:
    case LB_GETTEXTLEN:
    {
        const LRESULT units = CallWindowProcW(OldProcW(window), window, message, wParam, lParam);
        return units < 0 ? units : units * 4 + 32;
    }
    default:
        break;
    }
    return CallWindowProcA(OldProc(window), window, message, wParam, lParam);
}

LRESULT CALLBACK Utf8ComboEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCDESTROY)
        return Uninstall(window, message, wParam, lParam);
    const auto* text = reinterpret_cast<const char*>(lParam);
    if (message == WM_SETTEXT && text && *text)
    {
        HWND combo = GetParent(window);
        const LRESULT selected = combo ? SendMessageA(combo, CB_GETCURSEL, 0, 0) : CB_ERR;
        HeapString item;
        WideText wide;
        if (selected != CB_ERR && GetPropA(combo, kOldProc) &&
            ItemUtf8(combo, false, WPARAM(selected), item) && HoldsMultiByte(item.Get()) &&
            Utf8MatchesAnsi(item.Get(), text) == 0 && wide.Assign(item.Get()))
            return CallWindowProcW(
                OldProcW(window), window, message, wParam, reinterpret_cast<LPARAM>(wide.Get()));
    }
    return CallWindowProcA(OldProc(window), window, message, wParam, lParam);
}

} // namespace plugkit::app
