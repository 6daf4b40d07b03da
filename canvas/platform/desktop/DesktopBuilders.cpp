#include "canvas/platform/desktop/DesktopBuilders.h"

#include <cstring>

namespace plugkit::canvas::platform
{

namespace
{

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

/// True when `text` starts with `prefix`, letters compared without case (ASCII).
bool StartsWithNoCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix)
    {
        char c = *text;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *prefix)
            return false;
    }
    return true;
}

void PutLittleEndian32(unsigned char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

bool BuildFileFilter(const char16_t* extensions,
                     char16_t (&filter)[kFileFilterUnits],
                     char16_t (&defaultExtension)[kDefaultExtensionUnits])
{
    filter[0] = 0;
    defaultExtension[0] = 0;
    if (!extensions || !*extensions)
        return false;

    // Description, terminator, pattern, two terminators.
    constexpr size_t kMaxPattern = (kFileFilterUnits - 3) / 2;
    char16_t pattern[kMaxPattern];
    size_t length = 0;
    for (const char16_t* word = extensions;;)
    {
        const char16_t* end = word;
        while (*end && *end != u' ')
            ++end;
        const size_t wordLength = static_cast<size_t>(end - word);
        if (word == extensions && wordLength > 0 && wordLength < kDefaultExtensionUnits)
        {
            std::memcpy(defaultExtension, word, wordLength * sizeof(char16_t));
            defaultExtension[wordLength] = 0;
        }
        const size_t separator = length > 0 ? 1 : 0;
        if (wordLength > kMaxPattern || length + separator + 2 + wordLength > kMaxPattern)
            break;
        if (separator)
            pattern[length++] = u';';
        pattern[length++] = u'*';
        pattern[length++] = u'.';
        std::memcpy(pattern + length, word, wordLength * sizeof(char16_t));
        length += wordLength;
        if (!*end)
            break;
        word = end + 1;
    }
    if (length == 0)
        return false;

    std::memcpy(filter, pattern, length * sizeof(char16_t));
    filter[length] = 0;
    std::memcpy(filter + length + 1, pattern, length * sizeof(char16_t));
    filter[2 * length + 1] = 0;
    filter[2 * length + 2] = 0;
    return true;
}

bool ParentFolderOf(const char* filePath, HeapString& folder)
{
    if (!filePath)
        return false;
    int32_t end = -1;
    for (int32_t i = 0; filePath[i]; ++i)
    {
        if (IsSeparator(filePath[i]))
            end = i + 1;
    }
    if (end < 0)
        return false;
    folder.Set(filePath, end);
    return true;
}

void SetFolderWithSeparator(HeapString& folder, const char* folderPath)
{
    if (!folderPath || !*folderPath)
    {
        folder.Set("");
        return;
    }
    int32_t length = static_cast<int32_t>(std::strlen(folderPath));
    while (length > 0 && IsSeparator(folderPath[length - 1]))
        --length;
    if (length == 0)
        folder.Set("");
    else
        folder.Set(folderPath, length);
    folder.Append("\\");
}

bool BuildRevealArguments(const char* path, bool select, HeapString& arguments)
{
    if (!path || !*path || std::strchr(path, '"'))
        return false;
    int32_t length = static_cast<int32_t>(std::strlen(path));
    while (length > 0 && IsSeparator(path[length - 1]))
        --length;
    if (length == 0)
        return false;

    arguments.Set(select ? "/select," : "");
    const bool driveRoot = length == 2 && path[1] == ':';
    if (driveRoot)
    {
        const char root[] = {path[0], ':', '\\', 0};
        arguments.Append(root);
        return true;
    }
    HeapString trimmed;
    trimmed.Set(path, length);
    arguments.Append("\"");
    arguments.Append(trimmed.Get());
    arguments.Append("\"");
    return true;
}

size_t DropFilesBlockSize(size_t pathUnits, size_t extraZeroUnits)
{
    constexpr size_t kHeaderBytes = 20;
    return kHeaderBytes + 2 * pathUnits + 2 * (extraZeroUnits > 0 ? extraZeroUnits : 1);
}

bool WriteDropFilesBlock(void* block, size_t blockSize, const char16_t* path, bool nonClient)
{
    if (!block || !path)
        return false;
    size_t units = 0;
    while (path[units])
        ++units;
    ++units;
    if (blockSize < DropFilesBlockSize(units))
        return false;

    auto* bytes = static_cast<unsigned char*>(block);
    std::memset(bytes, 0, blockSize);
    PutLittleEndian32(bytes + 0, 20);         // offset of the file list
    PutLittleEndian32(bytes + 4, 0);          // point x
    PutLittleEndian32(bytes + 8, 0);          // point y
    PutLittleEndian32(bytes + 12, nonClient); // point in the non-client area
    PutLittleEndian32(bytes + 16, 1);         // UTF-16 names
    std::memcpy(bytes + 20, path, units * sizeof(char16_t));
    return true;
}

int SystemCursorId(ECursorShape shape)
{
    // IDC_ARROW ... IDC_HELP, in the order of ECursorShape.
    static constexpr int kIds[] = {
        32512, // Arrow
        32513, // IBeam
        32514, // Wait
        32515, // Cross
        32516, // UpArrow
        32642, // SizeNWSE
        32643, // SizeNESW
        32644, // SizeWE
        32645, // SizeNS
        32646, // SizeAll
        32648, // No
        32649, // Hand
        32650, // AppStarting
        32651, // Help
    };
    static_assert(sizeof(kIds) / sizeof(kIds[0]) ==
                  static_cast<size_t>(ECursorShape::kNumCursorShapes));
    const auto index = static_cast<int32_t>(shape);
    if (index < 0 || index >= static_cast<int32_t>(ECursorShape::kNumCursorShapes))
        return kIds[0];
    return kIds[index];
}

bool IsWebUrl(const char* url)
{
    return url && (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://"));
}

bool IsOpenableUrl(const char* url)
{
    return IsWebUrl(url) || (url && StartsWithNoCase(url, "mailto:"));
}

} // namespace plugkit::canvas::platform
