#pragma once

#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapString.h"

#include <cstdint>

namespace plugkit::app
{

// The stand-alone program's own text helpers, over the platform layer's conversions.

/// A UTF-16 code unit: Windows' wchar_t there, char16_t elsewhere (where only tests use it).
using Utf16Unit = canvas::platform::WideChar;

/// The length of the longest prefix of the `length` bytes at `text` that is at most `maxBytes`
/// long and does not end inside a UTF-8 sequence. Bytes that are no valid sequence are cut like
/// single characters, so the result is 0 only for `maxBytes` 0 or an empty text.
int32_t Utf8PrefixLength(const char* text, int32_t length, int32_t maxBytes);

/// Cuts `text` to at most `maxBytes` bytes at a character boundary (see Utf8PrefixLength).
void TruncateUtf8(HeapString& text, int32_t maxBytes);

/// Decodes NUL-terminated UTF-8 into NUL-terminated UTF-16 (sequences of 2, 3 and 4 bytes; code
/// points above 0xFFFF as surrogate pairs). Strict: overlong forms, surrogates, code points above
/// 0x10FFFF and broken sequences fail with -1. Otherwise returns the units the result needs with
/// its NUL; they are written only when `outUnits` holds them all.
int32_t Utf8ToWide(const char* text, Utf16Unit* out, int32_t outUnits);

/// Encodes NUL-terminated UTF-16 as UTF-8 into `out` (at most `outBytes` bytes with the NUL),
/// cut at a character boundary when it does not fit; an unpaired surrogate becomes U+FFFD.
/// Returns the bytes written without the NUL.
int32_t WideToUtf8Truncated(const Utf16Unit* text, char* out, int32_t outBytes);

/// UTF-8 text as NUL-terminated UTF-16 for a Windows call: in place up to 1024 units, on the
/// heap beyond. Empty (a lone NUL) until Assign succeeds.
class WideText
{
public:
    static constexpr int32_t kInlineUnits = 1024;

    WideText() = default;
    ~WideText();
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    /// False for invalid UTF-8 or when the heap block could not be had; the text is then empty.
    bool Assign(const char* utf8);
    const Utf16Unit* Get() const { return mHeap ? mHeap : mInline; }
    Utf16Unit* Data() { return mHeap ? mHeap : mInline; }
    /// Units available at Data(), the NUL included.
    int32_t Capacity() const { return mHeap ? mHeapUnits : kInlineUnits; }
    /// Makes room for `units` units (the NUL included), keeping nothing; false when out of
    /// memory.
    bool Reserve(int32_t units);

private:
    void FreeHeap();

    Utf16Unit mInline[kInlineUnits] = {};
    Utf16Unit* mHeap = nullptr;
    int32_t mHeapUnits = 0;
};

/// Compares a UTF-8 text with what an ANSI conversion made of it: 0 when each UTF-8 character
/// equals the next ANSI byte, a non-ASCII character also matching '?' (one beyond U+FFFF "??",
/// as its two UTF-16 units are rendered), and both end together; 1 otherwise.
int Utf8MatchesAnsi(const char* utf8, const char* ansi);

} // namespace plugkit::app
