#include "canvas/platform/WinText.h"

namespace plugkit::canvas::platform
{

std::wstring WidenUtf8(const char* text)
{
    if (text == nullptr || *text == '\0')
        return {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 1)
        return {};
    std::wstring result(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), units);
    result.resize(static_cast<size_t>(units - 1));
    return result;
}

std::string NarrowToUtf8(const wchar_t* text, int length)
{
    if (text == nullptr || length == 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), bytes, nullptr, nullptr);
    if (length < 0)
        result.resize(static_cast<size_t>(bytes - 1));
    return result;
}

} // namespace plugkit::canvas::platform
