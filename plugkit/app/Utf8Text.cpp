#include "plugkit/app/Utf8Text.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace plugkit::app
{

namespace
{

constexpr uint32_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

/// Decodes the sequence at `s` (strictly); its byte count, or 0 when it is not valid UTF-8.
int DecodeUtf8(const uint8_t* s, uint32_t& codePoint)
{
    const uint8_t lead = s[0];
    if (lead < 0x80)
    {
        codePoint = lead;
        return 1;
    }
    int count = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        count = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        count = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        count = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    }
    else
    {
        return 0;
    }
    for (int i = 1; i < count; ++i)
    {
        if (!IsContinuation(s[i])) // also stops at the terminating NUL
            return 0;
        codePoint = (codePoint << 6) | (s[i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return count;
}

int EncodeUtf8(uint32_t codePoint, char* out)
{
    if (codePoint < 0x80)
    {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800)
    {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000)
    {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
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
    const auto* s = reinterpret_cast<const uint8_t*>(text);
    // First pass: validate and count; second: write when it all fits.
    int64_t units = 1;
    for (size_t i = 0; s[i];)
    {
        uint32_t cp = 0;
        const int n = DecodeUtf8(s + i, cp);
        if (n == 0)
            return -1;
        units += cp >= 0x10000 ? 2 : 1;
        i += size_t(n);
        if (units > INT32_MAX)
            return -1;
    }
    if (!out || outUnits < units)
        return static_cast<int32_t>(units);
    int32_t w = 0;
    for (size_t i = 0; s[i];)
    {
        uint32_t cp = 0;
        i += size_t(DecodeUtf8(s + i, cp));
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            out[w++] = static_cast<Utf16Unit>(0xD800 | (cp >> 10));
            out[w++] = static_cast<Utf16Unit>(0xDC00 | (cp & 0x3FF));
        }
        else
        {
            out[w++] = static_cast<Utf16Unit>(cp);
        }
    }
    out[w] = 0;
    return static_cast<int32_t>(units);
}

int32_t WideToUtf8Truncated(const Utf16Unit* text, char* out, int32_t outBytes)
{
    if (!out || outBytes <= 0)
        return 0;
    int32_t written = 0;
    for (size_t i = 0; text && text[i];)
    {
        uint32_t cp = static_cast<uint16_t>(text[i++]);
        if (cp >= 0xD800 && cp <= 0xDBFF && static_cast<uint16_t>(text[i]) >= 0xDC00 &&
            static_cast<uint16_t>(text[i]) <= 0xDFFF)
        {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(text[i++]) - 0xDC00);
        }
        else if (cp >= 0xD800 && cp <= 0xDFFF)
        {
            cp = kReplacement;
        }
        char bytes[4];
        const int n = EncodeUtf8(cp, bytes);
        if (written + n > outBytes - 1)
            break;
        std::memcpy(out + written, bytes, size_t(n));
        written += n;
    }
    out[written] = 0;
    return written;
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
    const auto* u = reinterpret_cast<const uint8_t*>(utf8);
    const auto* a = reinterpret_cast<const uint8_t*>(ansi);
    size_t i = 0;
    size_t j = 0;
    while (u[i] && a[j])
    {
        uint32_t cp = 0;
        int n = DecodeUtf8(u + i, cp);
        if (n == 0)
        {
            // A byte that starts no valid sequence stands for itself.
            cp = u[i];
            n = 1;
        }
        const bool same = cp == a[j] || (cp >= 0x80 && a[j] == '?');
        if (!same)
            return 1;
        i += size_t(n);
        // A character beyond U+FFFF is two UTF-16 units, which a code page renders as "??".
        j += cp > 0xFFFF && a[j + 1] == '?' ? 2 : 1;
    }
    return u[i] == 0 && a[j] == 0 ? 0 : 1;
}

} // namespace plugkit::app
