#include "plugkit/app/Utf8Wrappers.h"

#include "plugkit/HeapString.h"
#include "plugkit/app/Utf8Text.h"

#include <shlobj.h>

#include <cstring>

namespace plugkit::app
{

namespace
{

/// `path` in UTF-16 for a wide file call, a long one in the extended-length form ("\\?\" or
/// "\\?\UNC\", separators all backslashes). False when it is not valid UTF-8.
bool ToWidePath(const char* path, WideText& out)
{
    // Room for the six units the prefix may add.
    const int32_t units = Utf8ToWide(path, nullptr, 0);
    if (units < 0 || !out.Reserve(units + 6))
        return false;
    Utf8ToWide(path, out.Data(), out.Capacity());
    canvas::platform::MakeExtendedLengthPath(out.Data());
    return true;
}

/// Texts for a wide call: each null stays null; false when one is not valid UTF-8.
bool ToWide(const char* text, WideText& out, const wchar_t*& wide)
{
    wide = nullptr;
    if (!text)
        return true;
    if (!out.Assign(text))
        return false;
    wide = out.Get();
    return true;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

BOOL CreateDirectoryUtf8(const char* path, LPSECURITY_ATTRIBUTES security)
{
    WideText wide;
    if (!path || !ToWidePath(path, wide))
        return CreateDirectoryA(path, security);
    return CreateDirectoryW(wide.Get(), security);
}

UINT GetPrivateProfileIntUtf8(const char* section,
                              const char* key,
                              INT defaultValue,
                              const char* file)
{
    WideText s, k, f;
    const wchar_t *ws, *wk, *wf;
    if (!ToWide(section, s, ws) || !ToWide(key, k, wk) || !ToWide(file, f, wf))
        return GetPrivateProfileIntA(section, key, defaultValue, file);
    return GetPrivateProfileIntW(ws, wk, defaultValue, wf);
}

DWORD GetPrivateProfileStringUtf8(const char* section,
                                  const char* key,
                                  const char* defaultValue,
                                  char* out,
                                  DWORD size,
                                  const char* file)
{
    if (!out || size == 0)
        return 0;
    WideText s, k, d, f;
    const wchar_t *ws, *wk, *wd, *wf;
    if (!ToWide(section, s, ws) || !ToWide(key, k, wk) || !ToWide(defaultValue, d, wd) ||
        !ToWide(file, f, wf))
        return GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
    // Read whole, then cut the UTF-8 at a character boundary: converting into `out` directly
    // would fail for a name whose UTF-8 is longer than `size`, and leave it empty.
    WideText value;
    const DWORD units = size > 1000 ? size + 1 : WideText::kInlineUnits;
    if (!value.Reserve(static_cast<int32_t>(units)))
        return 0;
    GetPrivateProfileStringW(ws, wk, wd, value.Data(), units, wf);
    return static_cast<DWORD>(WideToUtf8Truncated(value.Get(), out, static_cast<int32_t>(size)));
}

BOOL WritePrivateProfileStringUtf8(const char* section,
                                   const char* key,
                                   const char* value,
                                   const char* file)
{
    WideText s, k, v, f;
    const wchar_t *ws, *wk, *wv, *wf;
    if (!ToWide(section, s, ws) || !ToWide(key, k, wk) || !ToWide(value, v, wv) ||
        !ToWide(file, f, wf))
        return WritePrivateProfileStringA(section, key, value, file);
    return WritePrivateProfileStringW(ws, wk, wv, wf);
}

HMODULE LoadLibraryUtf8(const char* name)
{
    WideText wide;
    if (name && ToWidePath(name, wide))
        if (HMODULE module = LoadLibraryW(wide.Get()))
            return module;
    return LoadLibraryA(name);
}

int MessageBoxUtf8(HWND owner, const char* text, const char* title, UINT type)
{
    WideText t, c;
    const wchar_t *wt, *wc;
    if (!ToWide(text, t, wt) || !ToWide(title, c, wc))
        return MessageBoxA(owner, text, title, type);
    return MessageBoxW(owner, wt, wc, type);
}

bool GetSpecialFolderPathUtf8(HWND owner, char* out, int size, int folderId, bool create)
{
    if (!out || size <= 0)
        return false;
    WideText wide;
    if (wide.Reserve(4096) && SHGetSpecialFolderPathW(owner, wide.Data(), folderId, create))
        return WideToUtf8Truncated(wide.Get(), out, size) > 0;
    if (size < MAX_PATH) // the ANSI form writes up to MAX_PATH bytes
        return false;
    return SHGetSpecialFolderPathA(owner, out, folderId, create) != FALSE;
}

int StatUtf8(const char* path, struct _stat64* out)
{
    if (!path || !out)
        return -1;
    // Trailing separators are left out, but not the one of a drive's root ("C:\").
    HeapString trimmed(path);
    int32_t length = trimmed.GetLength();
    while (length > 1 && IsSeparator(trimmed.Get()[length - 1]) &&
           !(length == 3 && trimmed.Get()[1] == ':'))
        --length;
    trimmed.InsertRaw(length, "", 0, 0);

    // The run-time's stat takes no extended-length path (Microsoft's refuses any path holding
    // '?'), so it gets the plain wide path, and a path too long for it is answered by the file
    // system itself.
    WideText wide;
    const wchar_t* plain = nullptr;
    if (ToWide(trimmed.Get(), wide, plain) && plain && _wstat64(plain, out) == 0)
        return 0;
    WideText extended;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (ToWidePath(trimmed.Get(), extended) &&
        GetFileAttributesExW(extended.Get(), GetFileExInfoStandard, &data))
    {
        std::memset(out, 0, sizeof(*out));
        out->st_mode = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? _S_IFDIR : _S_IFREG;
        out->st_size = (static_cast<__int64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return 0;
    }
    return _stat64(trimmed.Get(), out);
}

} // namespace plugkit::app
