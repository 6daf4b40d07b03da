#include "canvas/platform/DesktopBuilders.h"
#include "canvas/platform/DesktopServices.h"
#include "canvas/platform/DesktopWinDetail.h"

#include <cstring>

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
            detail::Utf8FromWide(wide, static_cast<int>(length), text);
            read = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return read;
}

bool SetTextInClipboard(HWND window, const char* text)
{
    const std::wstring wide = detail::WideFromUtf8(text);
    if (text && *text && wide.empty())
        return false; // not UTF-8: leave the clipboard as it is
    if (!OpenAndEmptyClipboard(window))
        return false;

    bool placed = true;
    if (!wide.empty())
    {
        const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
        placed = PutClipboardBlock(CF_UNICODETEXT,
                                   bytes,
                                   [&](void* block)
                                   {
                                       std::memcpy(block, wide.c_str(), bytes);
                                       return true;
                                   });
    }
    CloseClipboard();
    return placed;
}

bool SetFilePathInClipboard(HWND window, const char* path)
{
    const std::wstring wide = detail::WideFromUtf8(path);
    if (wide.empty() || !OpenAndEmptyClipboard(window))
        return false;

    const auto* units = reinterpret_cast<const char16_t*>(wide.c_str());
    const size_t size = DropFilesBlockSize(wide.size() + 1);
    const bool placed = PutClipboardBlock(
        CF_HDROP,
        size,
        [&](void* block) { return WriteDropFilesBlock(block, size, units, /*nonClient*/ true); });
    CloseClipboard();
    return placed;
}

} // namespace plugkit::canvas::platform
