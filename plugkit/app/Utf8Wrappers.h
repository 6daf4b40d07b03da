#pragma once

// The Windows calls only the stand-alone program makes, with UTF-8 text. Each converts its texts
// to UTF-16 and calls the wide form; only text that is not valid UTF-8 goes to the ANSI form as
// the bytes it is. Paths of 256 bytes or more take the extended-length form.

#include <windows.h>

#include <sys/stat.h>

namespace plugkit::app
{

/// CreateDirectoryW's result.
BOOL CreateDirectoryUtf8(const char* path, LPSECURITY_ATTRIBUTES security);

UINT GetPrivateProfileIntUtf8(const char* section,
                              const char* key,
                              INT defaultValue,
                              const char* file);

/// The value as UTF-8 in `out` (at most `size` bytes with the NUL), cut at a character
/// boundary when longer, never emptied by the cut. Returns the bytes written without the NUL.
DWORD GetPrivateProfileStringUtf8(const char* section,
                                  const char* key,
                                  const char* defaultValue,
                                  char* out,
                                  DWORD size,
                                  const char* file);

/// A null key deletes the section, a null value the key.
BOOL WritePrivateProfileStringUtf8(const char* section,
                                   const char* key,
                                   const char* value,
                                   const char* file);

/// A failing wide load is retried with the ANSI form.
HMODULE LoadLibraryUtf8(const char* name);

/// A null title stays null (the system's "Error").
int MessageBoxUtf8(HWND owner, const char* text, const char* title, UINT type);

/// The special folder `folderId` (a CSIDL) as UTF-8 in `out` (`size` bytes); true when it gave
/// text.
bool GetSpecialFolderPathUtf8(HWND owner, char* out, int size, int folderId, bool create);

/// The run-time library's file status; 0 when the path exists. Trailing separators are left out
/// (the run-time library reports a folder named with one as missing). A path the run-time
/// cannot take (too long) is asked of the file system in its extended-length form, which fills
/// only the type and the size; a failing wide call is retried with the narrow one.
int StatUtf8(const char* path, struct _stat64* out);

} // namespace plugkit::app
