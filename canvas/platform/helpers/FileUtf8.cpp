#include "canvas/platform/helpers/FileUtf8.h"

#include "canvas/platform/helpers/TextConversion.h"

#include <cstring>
#include <memory>
#include <new>

#if defined(_WIN32)
#include <share.h>
#include <wchar.h>
#endif

namespace plugkit::canvas::platform
{

#if defined(_WIN32)
namespace
{
/// A wide copy of UTF-8 text that refuses malformed input: on the stack when short, else on
/// the heap. `extra` units of room follow the terminator (for a path prefix).
class StrictWideText
{
public:
    StrictWideText(const char* text, int32_t extra)
    {
        const int32_t units = Utf8ToUtf16(text, -1, nullptr, 0, EMalformedUtf8::Refuse);
        if (units < 0)
            return;
        const int32_t capacity = units + 1 + extra;
        WideChar* buffer = mStack;
        if (capacity > kStackUnits)
        {
            mHeap.reset(new (std::nothrow) WideChar[static_cast<size_t>(capacity)]);
            buffer = mHeap.get();
        }
        if (!buffer)
            return;
        Utf8ToUtf16(text, -1, buffer, units, EMalformedUtf8::Refuse);
        buffer[units] = 0;
        mText = buffer;
    }
    StrictWideText(const StrictWideText&) = delete;
    StrictWideText& operator=(const StrictWideText&) = delete;

    /// Null when the text was refused or no memory was left.
    WideChar* Get() { return mText; }

private:
    static constexpr int32_t kStackUnits = 1056;
    WideChar mStack[kStackUnits];
    std::unique_ptr<WideChar[]> mHeap;
    WideChar* mText = nullptr;
};

bool IsWritingMode(const char* mode)
{
    return std::strpbrk(mode, "+aw") != nullptr;
}
} // namespace
#endif

std::FILE* OpenFileUtf8(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
#if defined(_WIN32)
    if (ClassifyUtf8(path) > 0 || std::strlen(path) >= 256)
    {
        StrictWideText widePath(path, 8); // room for \\?\UNC\ in place of two characters
        WideChar wideMode[32] = {};
        const int32_t modeUnits = Utf8ToUtf16(mode, -1, wideMode, 31, EMalformedUtf8::Refuse);
        if (widePath.Get() && modeUnits > 0 && modeUnits < 32)
        {
            MakeExtendedLengthPath(widePath.Get());
            if (std::FILE* file = _wfsopen(widePath.Get(), wideMode, _SH_DENYNO))
                return file;
            if (IsWritingMode(mode))
                return nullptr;
        }
    }
#endif
    return std::fopen(path, mode);
}

size_t FormatTimeUtf8(char* out, size_t outSize, const char* format, const std::tm* time)
{
    if (!out || outSize == 0)
        return 0;
    out[0] = 0;
    if (!format || !time)
        return 0;
    // Literal text is copied as it is; each conversion is expanded on its own and its result
    // converted to UTF-8. So no text of the format passes through a code page, and a conversion
    // the runtime does not know (which some Windows runtimes treat as a fatal error) is never
    // handed to it: it stays literal text.
    static constexpr char kConversions[] = "aAbBcdHIjmMpSUwWxXyYzZ%";
    size_t used = 0;
    bool fits = true;
    const auto append = [&](const char* bytes, size_t n)
    {
        fits = used + n < outSize;
        if (!fits)
            return false;
        std::memcpy(out + used, bytes, n);
        used += n;
        return true;
    };
    for (const char* p = format; *p;)
    {
        const bool alternate = p[0] == '%' && p[1] == '#';
        const char conversion = p[0] == '%' ? p[alternate ? 2 : 1] : 0;
        if (conversion == 0 || !std::strchr(kConversions, conversion))
        {
            if (!append(p, 1))
                break;
            ++p;
            continue;
        }
        const char spec[4] = {'%', alternate ? '#' : conversion, alternate ? conversion : '\0', 0};
        p += alternate ? 3 : 2;
        char expanded[256];
        size_t n = 0;
#if defined(_WIN32)
        const wchar_t wideSpec[4] = {wchar_t(spec[0]), wchar_t(spec[1]), wchar_t(spec[2]), 0};
        wchar_t wide[128];
        const size_t units = std::wcsftime(wide, 128, wideSpec, time);
        const int32_t bytes = Utf16ToUtf8(wide, static_cast<int32_t>(units), expanded, 0);
        if (bytes > 0 && bytes < int32_t(sizeof(expanded)))
            n = size_t(Utf16ToUtf8(wide, static_cast<int32_t>(units), expanded, bytes));
#else
        n = std::strftime(expanded, sizeof(expanded), spec, time);
#endif
        if (!append(expanded, n))
            break;
    }
    if (!fits)
        used = 0;
    out[used] = 0;
    return used;
}

} // namespace plugkit::canvas::platform
