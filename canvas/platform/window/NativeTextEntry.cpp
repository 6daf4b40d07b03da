#include "canvas/platform/window/NativeTextEntry.h"

#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapBuffer.h"

namespace plugkit::canvas::platform
{

bool NativeTextEntry::Open(HWND parent,
                           HINSTANCE instance,
                           const IBounds& bounds,
                           float scale,
                           const ITextStyle& style,
                           const LOGFONTW* baseFont,
                           int paramType,
                           int maxLength,
                           const char* text)
{
    if (mWindow != nullptr || parent == nullptr)
        return false;

    DWORD styles =
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL;
    if (style.align == EAlign::Near)
        styles |= ES_LEFT;
    else if (style.align == EAlign::Far)
        styles |= ES_RIGHT;
    else
        styles |= ES_CENTER;

    const float left = scale * bounds.L;
    const float top = scale * bounds.T;
    const int width = static_cast<int>(scale * bounds.R - left);
    const int height = static_cast<int>(scale * bounds.B - top);
    HeapBuffer initial;
    HWND window = CreateWindowExW(0,
                                  L"EDIT",
                                  Utf8ToWideBuffer(text, initial),
                                  styles,
                                  static_cast<int>(left),
                                  static_cast<int>(top),
                                  width + 1,
                                  height + 1,
                                  parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)),
                                  instance,
                                  nullptr);
    if (window == nullptr)
        return false;

    LOGFONTW font = {};
    if (baseFont != nullptr)
        font = *baseFont;
    else
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = static_cast<LONG>(scale * style.size);
    mFont = CreateFontIndirectW(&font);

    mWindow = window;
    mParamType = paramType;
    mStyle = style;
    mBounds = bounds;
    mState = TextEntryState::Idle;

    if (maxLength > 0)
        SendMessageW(window, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    if (mFont != nullptr)
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(mFont), 0);
    SendMessageW(window, EM_SETSEL, 0, -1);
    if (style.valign == EVAlign::Middle)
    {
        RECT r;
        r.left = 0;
        r.top = static_cast<LONG>((height - scale * style.size) * 0.5f);
        r.right = width + 1;
        r.bottom = height + 1;
        SendMessageW(window, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
    }

    // Subclassed before it takes the focus, so the focus reaches the state.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    mPreviousProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NativeTextEntry::Proc)));
    SetFocus(window);
    return true;
}

void NativeTextEntry::Destroy()
{
    if (mWindow != nullptr)
    {
        HWND window = mWindow;
        mWindow = nullptr; // messages of the dying window reach the edit control's own code
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mPreviousProc));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    if (mFont != nullptr)
    {
        DeleteObject(mFont);
        mFont = nullptr;
    }
    mPreviousProc = nullptr;
    mState = TextEntryState::Idle;
}

std::string NativeTextEntry::ReadText() const
{
    if (mWindow == nullptr)
        return {};
    wchar_t buffer[kMaxTextUnits + 1] = {};
    const LRESULT units =
        SendMessageW(mWindow, WM_GETTEXT, kMaxTextUnits + 1, reinterpret_cast<LPARAM>(buffer));
    const int32_t length = static_cast<int32_t>(units > kMaxTextUnits ? kMaxTextUnits : units);
    std::string text(static_cast<size_t>(Utf16ToUtf8(buffer, length, nullptr, 0)), '\0');
    Utf16ToUtf8(buffer, length, text.data(), static_cast<int32_t>(text.size()));
    return text;
}

LRESULT CALLBACK NativeTextEntry::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<NativeTextEntry*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->mWindow != window)
        return DefWindowProcW(window, msg, wParam, lParam);
    if (self->mMessageHook)
        self->mMessageHook();

    switch (msg)
    {
    case WM_SETFOCUS:
        self->mState = TextEntryState::FocusGained;
        break;
    case WM_KILLFOCUS:
        self->mState = TextEntryState::Commit;
        break;
    case WM_GETDLGCODE:
    {
        LRESULT code = CallWindowProcW(self->mPreviousProc, window, msg, wParam, lParam);
        const MSG* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && wParam == VK_RETURN)
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN)
        {
            self->mState = TextEntryState::Commit;
            return 0;
        }
        if (wParam == VK_ESCAPE)
        {
            self->mState = TextEntryState::Cancel;
            return 0;
        }
        break;
    case WM_CHAR:
        // Return and Escape were taken on key down; their characters would only beep.
        if (wParam == '\r' || wParam == 27)
            return 0;
        if (!TextEntryAcceptsChar(self->mParamType, static_cast<char16_t>(wParam)))
            return 0;
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 1) // from an accelerator
        {
            self->mState = TextEntryState::Commit;
            return 0;
        }
        break;
    default:
        break;
    }
    return CallWindowProcW(self->mPreviousProc, window, msg, wParam, lParam);
}

} // namespace plugkit::canvas::platform
