#include "canvas/platform/DesktopWinDetail.h"

namespace plugkit::canvas::platform::detail
{

std::wstring WideFromUtf8(const char* text)
{
    if (!text || !*text)
        return {};
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), units) != units)
        return {};
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}

void Utf8FromWide(const wchar_t* text, int length, HeapString& out)
{
    out.Set("");
    if (!text || length <= 0)
        return;
    const int bytes = WideCharToMultiByte(
        CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(
            CP_UTF8, WC_ERR_INVALID_CHARS, text, length, utf8.data(), bytes, nullptr, nullptr) !=
        bytes)
        return;
    out.Set(utf8.c_str(), bytes);
}

void Utf8FromWide(const wchar_t* text, HeapString& out)
{
    Utf8FromWide(text, text ? static_cast<int>(wcslen(text)) : 0, out);
}

} // namespace plugkit::canvas::platform::detail
