#pragma once

// Private to the desktop services: the UTF-8 / UTF-16 conversions at their Windows calls and the
// balanced OLE set-up.

#include "canvas/platform/DesktopServices.h"

#include <string>

namespace plugkit::canvas::platform::detail
{

/// UTF-16 form of `text`; empty for null or invalid UTF-8.
std::wstring WideFromUtf8(const char* text);

/// `out` becomes the UTF-8 form of `text`; empty for null or invalid UTF-16.
void Utf8FromWide(const wchar_t* text, HeapString& out);
/// The same for the first `length` units of `text` (which need not be terminated).
void Utf8FromWide(const wchar_t* text, int length, HeapString& out);

/// OLE initialised for one scope; uninitialised at its end only when initialising succeeded
/// (S_OK or S_FALSE), so a failed call cannot take away a reference the thread already had.
class OleScope
{
public:
    explicit OleScope(const OleCalls& ole)
        : mOle(ole)
        , mInitialized(SUCCEEDED(ole.initialize(nullptr)))
    {
    }
    ~OleScope()
    {
        if (mInitialized)
            mOle.uninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

    bool Initialized() const { return mInitialized; }

private:
    const OleCalls& mOle;
    bool mInitialized;
};

} // namespace plugkit::canvas::platform::detail
