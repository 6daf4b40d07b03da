#pragma once

// The pure halves of the desktop services: what the Windows calls are handed (dialog filters,
// the explorer's arguments, the CF_HDROP file list, the cursor ids) built without calling
// Windows, so both trees test them. UTF-16 text is char16_t here; the Windows side passes the
// same units as wchar_t.

#include "canvas/CanvasTypes.h"
#include "plugkit/HeapString.h"

#include <cstddef>
#include <cstdint>

namespace plugkit::canvas::platform
{

/// UTF-16 units of the file dialog's filter buffer and of its default-extension buffer.
inline constexpr int kFileFilterUnits = 256;
inline constexpr int kDefaultExtensionUnits = 16;

/// Builds the file dialog's filter from `extensions`, a list of words split at every single
/// space ("wav aif"): each word becomes the pattern "*.word", the patterns are joined by ';',
/// and `filter` receives that text as the description, a terminator, the same text as the
/// pattern and a second terminator. Two spaces make an empty word, "*.". Patterns that do not
/// fit into `kFileFilterUnits` units are left out whole, from the first that does not fit, so
/// nothing is written past the buffer; when not even the first fits, `filter` is empty.
/// `defaultExtension` receives the first word when it has 1 to 15 units (a longer one would be
/// cut into a wrong extension), else it is empty. Returns true when `filter` holds a filter.
/// A null or empty list gives neither.
bool BuildFileFilter(const char16_t* extensions,
                     char16_t (&filter)[kFileFilterUnits],
                     char16_t (&defaultExtension)[kDefaultExtensionUnits]);

/// The folder that holds `filePath`: everything up to and including its last '\' or '/'.
/// False, and `folder` unchanged, when the path has no separator.
bool ParentFolderOf(const char* filePath, HeapString& folder);

/// `folderPath` with exactly one trailing separator ("D:\Samples" and "D:\Samples\\" both give
/// "D:\Samples\"; a drive root stays "C:\"). An empty path stays empty.
void SetFolderWithSeparator(HeapString& folder, const char* folderPath);

/// The explorer's arguments that show `path`: `/select,"<path>"` selects a file in its folder,
/// the quoted path alone opens a folder. Trailing separators are dropped, because a backslash
/// before the closing quote would escape it; a drive root ("C:\") has no blank and goes
/// unquoted instead. False for a null or empty path and for one holding a double quote, which
/// no Windows path contains and which would end the quoting early.
bool BuildRevealArguments(const char* path, bool select, HeapString& arguments);

/// Size in bytes of the CF_HDROP block for one path of `pathUnits` UTF-16 units (terminator
/// included): the 20-byte DROPFILES header, the path, and `extraZeroUnits` zero units that end
/// the list (at least one).
size_t DropFilesBlockSize(size_t pathUnits, size_t extraZeroUnits = 1);

/// Writes the CF_HDROP block of the NUL-terminated `path` into `block` of `blockSize` bytes: the
/// header (file list at offset 20, point (0, 0), the non-client flag, the wide flag set), the
/// path with its terminator, and zeros to the end. False, writing nothing, when the block is
/// smaller than `DropFilesBlockSize` of the path.
bool WriteDropFilesBlock(void* block, size_t blockSize, const char16_t* path, bool nonClient);

/// The system cursor id (the value of IDC_ARROW, IDC_IBEAM, ...) that shows `shape`; any value
/// outside the table shows the arrow.
int SystemCursorId(ECursorShape shape);

/// True for a link the shell may open from the editor: an http, https or mailto URL (scheme
/// letters in any case). Anything else (a program path, a file: URL, an empty text) would make
/// the shell start or open whatever it names.
bool IsOpenableUrl(const char* url);

/// True for a web link (http or https), the only kind that asks for the network state first; a
/// mail link opens the mail program whether or not the machine is online.
bool IsWebUrl(const char* url);

} // namespace plugkit::canvas::platform
