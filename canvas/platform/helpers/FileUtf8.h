#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

namespace plugkit::canvas::platform
{

/// Opens `path` (UTF-8) with the C runtime `mode`; null when it cannot be opened. On Windows a
/// path with non-ASCII characters or of 256 bytes or more goes through the wide open (shared,
/// deny none; long paths extended as `MakeExtendedLengthPath` does), falling back to the narrow
/// open for reading only: a writing mode that the wide open refused is not retried, so it
/// cannot create a file under a mangled name. Elsewhere paths are UTF-8 already.
std::FILE* OpenFileUtf8(const char* path, const char* mode);

/// strftime with a UTF-8 format and UTF-8 output. The conversions are those of C89 (%a %A %b %B
/// %c %d %H %I %j %m %M %p %S %U %w %W %x %X %y %Y %z %Z and %%, each optionally with '#');
/// any other '%' sequence is literal text. On Windows each conversion goes through the wide
/// formatting, so neither names nor literal text pass through the ANSI code page. Returns the
/// length of the result; 0, with an empty output, when it does not fit in `outSize` bytes with
/// its terminator or an argument is missing.
size_t FormatTimeUtf8(char* out, size_t outSize, const char* format, const std::tm* time);

} // namespace plugkit::canvas::platform
