#include "canvas/platform/desktop/DesktopBuilders.h"
#include "canvas/platform/desktop/DesktopServices.h"
#include "canvas/platform/desktop/DesktopWinDetail.h"

#include <cstring>
#include <string>

#include <shlobj.h>

namespace plugkit::canvas::platform
{

namespace
{

/// Hands a new movable block of `size` bytes, filled by `fill`, to the open clipboard as
/// `format`; the clipboard owns it on success, it is freed otherwise.
template <typename Fill>
bool PutClipboardBlock(UINT format, size_t size, Fill fill)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return false;
    void* bytes = GlobalLock(block);
    const bool filled = bytes && fill(bytes);
    if (bytes)
        GlobalUnlock(block);
    if (!filled || !SetClipboardData(format, block))
    {
        GlobalFree(block);
        return false;
    }
    return true;
}

/// Opens the clipboard for `window` and empties it, which makes `window` its owner.
bool OpenAndEmptyClipboard(HWND window)
{
    if (!window || !OpenClipboard(window))
        return false;
    EmptyClipboard();
    return true;
}

} // namespace

bool GetTextFromClipboard(HeapString& text)
{
    text.Set("");
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr))
        return false;

    bool read = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
    {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data)))
        {
            // Another program wrote the block: read no further than its size, terminated or not.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            size_t length = 0;
            while (length < capacity && wide[length])
                ++length;
            std::string utf8(
                static_cast<size_t>(Utf16ToUtf8(wide, static_cast<int32_t>(length), nullptr, 0)),
                '\0');
            Utf16ToUtf8(
                wide, static_cast<int32_t>(length), utf8.data(), static_cast<int32_t>(utf8.size()));
            text.Set(utf8.c_str());
            read = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return read;
}

bool SetTextInClipboard(HWND window, const char* text)
{
    if (!OpenAndEmptyClipboard(window))
        return false;

    bool placed = true;
    const detail::WideText wide(text);
    if (!wide.IsEmpty())
    {
        const size_t bytes = (wcslen(wide.Get()) + 1) * sizeof(wchar_t);
        placed = PutClipboardBlock(CF_UNICODETEXT,
                                   bytes,
                                   [&](void* block)
                                   {
                                       std::memcpy(block, wide.Get(), bytes);
                                       return true;
                                   });
    }
    CloseClipboard();
    return placed;
}

bool SetFilePathInClipboard(HWND window, const char* path)
{
    const detail::WideText wide(path);
    if (wide.IsEmpty() || !OpenAndEmptyClipboard(window))
        return false;

    const auto* units = reinterpret_cast<const char16_t*>(wide.Get());
    const size_t size = DropFilesBlockSize(wcslen(wide.Get()) + 1);
    const bool placed = PutClipboardBlock(
        CF_HDROP,
        size,
        [&](void* block) { return WriteDropFilesBlock(block, size, units, /*nonClient*/ true); });
    CloseClipboard();
    return placed;
}

} // namespace plugkit::canvas::platform
