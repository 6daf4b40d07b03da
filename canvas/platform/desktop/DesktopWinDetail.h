#pragma once

// Private to the desktop services: UTF-16 text for one Windows call, and the balanced OLE set-up.

#include "canvas/platform/desktop/DesktopServices.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapBuffer.h"

namespace plugkit::canvas::platform::detail
{

/// The UTF-16 form of a UTF-8 text, alive as long as this object. A null text stays null, so a
/// caption or a parameter can keep its Windows default.
class WideText
{
public:
    explicit WideText(const char* text)
        : mWide(text ? Utf8ToWideBuffer(text, mBuffer) : nullptr)
    {
    }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    const wchar_t* Get() const { return mWide; }
    bool IsEmpty() const { return !mWide || !*mWide; }

private:
    HeapBuffer mBuffer;
    const wchar_t* mWide;
};

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
