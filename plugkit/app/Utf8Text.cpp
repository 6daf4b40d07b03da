#include "plugkit/app/Utf8Text.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace plugkit::app
{

namespace
{

using canvas::platform::EMalformedUtf8;

bool IsContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

int32_t Utf8PrefixLength(const char* text, int32_t length, int32_t maxBytes)
{
    if (!text || length <= 0 || maxBytes <= 0)
        return 0;
    if (length <= maxBytes)
        return length;
    // Back over at most three continuation bytes to the lead byte of the cut sequence; a longer
    // run is no valid sequence and is cut where it stands.
    int32_t cut = maxBytes;
    for (int back = 0; back < 3 && cut > 0 && IsContinuation(uint8_t(text[cut])); ++back)
        --cut;
    if (cut == 0 || IsContinuation(uint8_t(text[cut])))
        return maxBytes;
    // The sequence that starts at `cut` does not fit; what lies before it does.
    return cut;
}

void TruncateUtf8(HeapString& text, int32_t maxBytes)
{
    const int32_t length = text.GetLength();
    const int32_t keep = Utf8PrefixLength(text.Get(), length, maxBytes);
    if (keep < length)
        text.InsertRaw(keep, "", 0, 0);
}

int32_t Utf8ToWide(const char* text, Utf16Unit* out, int32_t outUnits)
{
    if (!text)
        return -1;
    const int32_t units =
        canvas::platform::Utf8ToUtf16(text, -1, nullptr, 0, EMalformedUtf8::Refuse);
    if (units < 0 || units == INT32_MAX)
        return -1;
    if (out && outUnits > units)
    {
        canvas::platform::Utf8ToUtf16(text, -1, out, units, EMalformedUtf8::Refuse);
        out[units] = 0;
    }
    return units + 1;
}

int32_t WideToUtf8Truncated(const Utf16Unit* text, char* out, int32_t outBytes)
{
    if (!out || outBytes <= 0)
        return 0;
    // The conversion stops before the first character that does not fit; the rest stays 0.
    std::memset(out, 0, size_t(outBytes));
    canvas::platform::Utf16ToUtf8(text, -1, out, outBytes - 1);
    return static_cast<int32_t>(std::strlen(out));
}

WideText::~WideText()
{
    FreeHeap();
}

void WideText::FreeHeap()
{
    std::free(mHeap);
    mHeap = nullptr;
    mHeapUnits = 0;
}

bool WideText::Reserve(int32_t units)
{
    if (units <= kInlineUnits)
    {
        FreeHeap();
        mInline[0] = 0;
        return true;
    }
    if (units > mHeapUnits)
    {
        FreeHeap();
        mHeap = static_cast<Utf16Unit*>(std::malloc(size_t(units) * sizeof(Utf16Unit)));
        if (!mHeap)
        {
            mInline[0] = 0;
            return false;
        }
        mHeapUnits = units;
    }
    mHeap[0] = 0;
    return true;
}

bool WideText::Assign(const char* utf8)
{
    const int32_t units = Utf8ToWide(utf8, nullptr, 0);
    if (units < 0 || !Reserve(units))
    {
        FreeHeap();
        mInline[0] = 0;
        return false;
    }
    Utf8ToWide(utf8, Data(), Capacity());
    return true;
}

int Utf8MatchesAnsi(const char* utf8, const char* ansi)
{
    if (!utf8 || !ansi)
        return 1;
    const auto* u = reinterpret_cast<const unsigned char*>(utf8);
    const auto* uEnd = u + std::strlen(utf8);
    const auto* a = reinterpret_cast<const unsigned char*>(ansi);
    while (u < uEnd && *a)
    {
        // A byte that starts no valid sequence stands for itself.
        uint32_t cp = 0;
        canvas::platform::DecodeUtf8(u, uEnd, EMalformedUtf8::Latin1, cp);
        const bool same = cp == *a || (cp >= 0x80 && *a == '?');
        if (!same)
            return 1;
        // A character beyond U+FFFF is two UTF-16 units, which a code page renders as "??".
        a += cp > 0xFFFF && a[1] == '?' ? 2 : 1;
    }
    return u == uEnd && *a == 0 ? 0 : 1;
}

} // namespace plugkit::app
