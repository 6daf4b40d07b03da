#include "canvas/platform/helpers/TextConversion.h"

#include <cstring>
#include <cwctype>

namespace plugkit::canvas::platform
{

namespace
{
bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

/// True when `count` continuation bytes follow `p` before `end`.
bool HasContinuations(const unsigned char* p, const unsigned char* end, int count)
{
    if (end - p <= count)
        return false;
    for (int i = 1; i <= count; ++i)
        if (!IsContinuation(p[i]))
            return false;
    return true;
}

/// The length of the obsolete five- and six-byte forms at `p`, 0 when there is none.
int ObsoleteFormLength(const unsigned char* p, const unsigned char* end)
{
    const int length = (*p >= 0xF8 && *p <= 0xFB) ? 5 : (*p >= 0xFC && *p <= 0xFD) ? 6 : 0;
    return length > 0 && HasContinuations(p, end, length - 1) ? length : 0;
}

const WideChar kEmptyWide[1] = {0};

const WideChar* WideText(const HeapBuffer& buffer)
{
    const auto* text = static_cast<const WideChar*>(buffer.Get());
    return text ? text : kEmptyWide;
}
} // namespace

bool DecodeUtf8(const unsigned char*& p,
                const unsigned char* end,
                EMalformedUtf8 policy,
                uint32_t& codePoint)
{
    const uint32_t lead = *p;
    if (lead < 0x80)
    {
        ++p;
        codePoint = lead;
        return true;
    }
    const int extra = lead < 0xC2 ? -1 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : -1;
    if (extra > 0 && HasContinuations(p, end, extra))
    {
        uint32_t c = lead & (0x3Fu >> extra);
        for (int i = 1; i <= extra; ++i)
            c = (c << 6) | (p[i] & 0x3Fu);
        static constexpr uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
        if (c >= kSmallest[extra] && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000))
        {
            p += extra + 1;
            codePoint = c;
            return true;
        }
    }
    switch (policy)
    {
    case EMalformedUtf8::Refuse:
        return false;
    case EMalformedUtf8::Latin1:
        if (const int length = ObsoleteFormLength(p, end))
        {
            p += length;
            codePoint = '_';
            return true;
        }
        ++p;
        codePoint = lead;
        return true;
    default:
        ++p;
        codePoint = kReplacementChar;
        return true;
    }
}

int EncodeUtf8(uint32_t codePoint, char out[4])
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000))
        codePoint = kReplacementChar;
    if (codePoint < 0x80)
    {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    const int bytes = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    static constexpr unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(kLead[bytes] | (codePoint >> (6 * (bytes - 1))));
    for (int i = 1; i < bytes; ++i)
        out[i] = static_cast<char>(0x80 | ((codePoint >> (6 * (bytes - 1 - i))) & 0x3F));
    return bytes;
}

uint32_t DecodeUtf16(const WideChar*& p, const WideChar* end)
{
    const uint32_t unit = static_cast<uint16_t>(*p++);
    if (unit < 0xD800 || unit >= 0xE000)
        return unit;
    if (unit < 0xDC00 && p < end)
    {
        const uint32_t low = static_cast<uint16_t>(*p);
        if (low >= 0xDC00 && low < 0xE000)
        {
            ++p;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return kReplacementChar;
}

int32_t
Utf8ToUtf16(const char* text, int32_t length, WideChar* out, int32_t outSize, EMalformedUtf8 policy)
{
    if (!text)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + (length < 0 ? std::strlen(text) : static_cast<size_t>(length));
    int32_t needed = 0;
    bool full = false;
    while (p < end)
    {
        uint32_t c = 0;
        if (!DecodeUtf8(p, end, policy, c))
            return -1;
        const int32_t units = c >= 0x10000 ? 2 : 1;
        full = full || needed + units > outSize;
        if (!full)
        {
            if (units == 2)
            {
                out[needed] = static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10));
                out[needed + 1] = static_cast<WideChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
            else
                out[needed] = static_cast<WideChar>(c);
        }
        needed += units;
    }
    return needed;
}

int32_t Utf16ToUtf8(const WideChar* text, int32_t length, char* out, int32_t outSize)
{
    if (!text)
        return 0;
    const WideChar* p = text;
    const WideChar* end = text;
    if (length < 0)
        while (*end)
            ++end;
    else
        end = text + length;
    int32_t needed = 0;
    bool full = false;
    while (p < end)
    {
        char bytes[4];
        const int n = EncodeUtf8(DecodeUtf16(p, end), bytes);
        full = full || needed + n > outSize;
        if (!full)
            std::memcpy(out + needed, bytes, static_cast<size_t>(n));
        needed += n;
    }
    return needed;
}

const WideChar* Utf8ToWideBuffer(const char* text, HeapBuffer& buffer)
{
    const int32_t units = Utf8ToUtf16(text, -1, nullptr, 0, EMalformedUtf8::Replace);
    const int32_t bytes = (units + 1) * static_cast<int32_t>(sizeof(WideChar));
    buffer.Resize(bytes);
    if (buffer.Size() != bytes)
    {
        buffer.Resize(0);
        return kEmptyWide;
    }
    auto* wide = static_cast<WideChar*>(buffer.Get());
    Utf8ToUtf16(text, -1, wide, units, EMalformedUtf8::Replace);
    wide[units] = 0;
    return wide;
}

const WideChar* Utf8ToUpperWideBuffer(const char* text, HeapBuffer& buffer)
{
    Utf8ToWideBuffer(text, buffer);
    auto* wide = static_cast<WideChar*>(buffer.Get());
    for (; wide && *wide; ++wide)
    {
        const auto unit = static_cast<uint16_t>(*wide);
        if (unit < 0xD800 || unit >= 0xE000)
            *wide = static_cast<WideChar>(std::towupper(static_cast<wint_t>(unit)));
    }
    return WideText(buffer);
}

void WideToUtf8(const WideChar* text, HeapString& out)
{
    out.Set("");
    const int32_t bytes = Utf16ToUtf8(text, -1, nullptr, 0);
    if (bytes <= 0)
        return;
    HeapBuffer scratch(HeapString::kGranularity);
    scratch.Resize(bytes + 1);
    if (scratch.Size() != bytes + 1)
        return;
    auto* utf8 = static_cast<char*>(scratch.Get());
    Utf16ToUtf8(text, -1, utf8, bytes);
    utf8[bytes] = 0;
    out.Set(utf8);
}

int ClassifyUtf8(const char* text)
{
    if (!text)
        return 0;
    bool multiByte = false;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p;)
    {
        const unsigned char lead = *p;
        if (lead < 0x80)
        {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned char secondMin = 0x80;
        if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            extra = 2;
            secondMin = lead == 0xE0 ? 0xA0 : 0x80;
        }
        else if (lead >= 0xF0 && lead <= 0xF7)
        {
            extra = 3;
            secondMin = lead == 0xF0 ? 0x90 : 0x80;
        }
        else
            return -1;
        // The terminator is not a continuation byte, so no check reads past it.
        for (int i = 1; i <= extra; ++i)
            if (!IsContinuation(p[i]) || (i == 1 && p[i] < secondMin))
                return -1;
        multiByte = true;
        p += extra + 1;
    }
    return multiByte ? 1 : 0;
}

void MakeExtendedLengthPath(WideChar* path)
{
    if (!path)
        return;
    size_t length = 0;
    while (path[length])
        ++length;
    if (length < 256)
        return;
    // \\?\ and \\.\ paths are in the extended or the device namespace already: another
    // prefix would only break them.
    if (path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') && path[3] == '\\')
        return;

    static constexpr char kDrivePrefix[] = "\\\\?\\";
    static constexpr char kNetworkPrefix[] = "\\\\?\\UNC\\";
    const char* prefix = nullptr;
    size_t kept = 0; // leading characters of the path the prefix replaces
    if (path[1] == ':')
        prefix = kDrivePrefix;
    else if (path[0] == '\\' && path[1] == '\\')
    {
        prefix = kNetworkPrefix;
        kept = 2;
    }
    else
        return;

    const size_t prefixLength = std::strlen(prefix);
    std::memmove(path + prefixLength, path + kept, (length - kept + 1) * sizeof(WideChar));
    for (size_t i = 0; i < prefixLength; ++i)
        path[i] = static_cast<WideChar>(prefix[i]);
    for (WideChar* p = path + prefixLength; *p; ++p)
        if (*p == '/')
            *p = '\\';
}

} // namespace plugkit::canvas::platform
