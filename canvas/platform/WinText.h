#pragma once

// Windows only: UTF-8 <-> UTF-16 at the calls of the window layer.

#include <windows.h>

#include <string>

namespace plugkit::canvas::platform
{

/// UTF-16 of UTF-8 text (null gives empty).
std::wstring WidenUtf8(const char* text);
/// UTF-8 of `length` UTF-16 units (-1: up to the terminator).
std::string NarrowToUtf8(const wchar_t* text, int length = -1);

} // namespace plugkit::canvas::platform
