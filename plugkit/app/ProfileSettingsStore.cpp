#include "plugkit/app/ProfileSettingsStore.h"

#include "plugkit/app/Utf8Text.h"
#include "plugkit/app/Utf8Wrappers.h"

#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace plugkit::app
{

namespace
{
/// Bytes of the folder path, as the program always allowed.
constexpr int kPathBytes = 2048;
/// What a missing key reads as: no value a settings file holds starts with this control byte.
constexpr const char* kMissing = "\x01missing";
/// A settings file is a few hundred bytes; anything past this is not ours to convert.
constexpr LONGLONG kMaxFileBytes = 1 << 20;
} // namespace

ProfileSettingsStore::ProfileSettingsStore(const char* folderName, const char* baseFolder)
{
    mFolderName.Set(folderName);
    mBaseFolder.Set(baseFolder);
}

bool ProfileSettingsStore::Locate()
{
    char base[kPathBytes] = {};
    if (!mBaseFolder.IsEmpty())
        std::strncpy(base, mBaseFolder.Get(), sizeof(base) - 1);
    else if (!GetSpecialFolderPathUtf8(nullptr, base, sizeof(base), CSIDL_LOCAL_APPDATA, false))
        return false;
    const size_t length = std::strlen(base);
    const bool separated = length > 0 && (base[length - 1] == '\\' || base[length - 1] == '/');
    mFolder.SetFormatted(kPathBytes, separated ? "%s%s\\" : "%s\\%s\\", base, mFolderName.Get());
    mFile.Set(mFolder.Get());
    mFile.Append(kFileName);
    mLocated = true;
    mUnicode = false;

    struct _stat64 status;
    if (StatUtf8(mFolder.Get(), &status) != 0)
    {
        CreateDirectoryUtf8(mFolder.Get(), nullptr);
        return false;
    }
    return StatUtf8(mFile.Get(), &status) == 0;
}

bool ProfileSettingsStore::ReadText(const char* section, const char* key, HeapString& out)
{
    if (!mLocated && !Locate())
        return false;
    char value[kPathBytes];
    GetPrivateProfileStringUtf8(section, key, kMissing, value, sizeof(value), mFile.Get());
    if (std::strcmp(value, kMissing) == 0)
        return false;
    out.Set(value);
    return true;
}

bool ProfileSettingsStore::WriteText(const char* section, const char* key, const char* value)
{
    if (!mLocated)
        Locate();
    if (!mUnicode)
        mUnicode = MakeUnicodeFile();
    return WritePrivateProfileStringUtf8(section, key, value, mFile.Get()) != FALSE;
}

bool ProfileSettingsStore::MakeUnicodeFile()
{
    WideText path;
    if (!path.Assign(mFile.Get()))
        return false;
    HANDLE file = CreateFileW(path.Get(),
                              GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ,
                              nullptr,
                              OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxFileBytes;
    std::vector<char> ansi;
    if (ok && size.QuadPart > 0)
    {
        ansi.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = ReadFile(file, ansi.data(), static_cast<DWORD>(ansi.size()), &read, nullptr) &&
             read == ansi.size();
    }
    const bool unicode = ansi.size() >= 2 && uint8_t(ansi[0]) == 0xFF && uint8_t(ansi[1]) == 0xFE;
    if (ok && !unicode)
    {
        // An empty file, or one in the ANSI code page (written by hand or by an older program)
        // or in UTF-8 behind its mark: the same keys, from now on in UTF-16 behind its mark.
        const bool utf8 = ansi.size() >= 3 && uint8_t(ansi[0]) == 0xEF &&
                          uint8_t(ansi[1]) == 0xBB && uint8_t(ansi[2]) == 0xBF;
        const size_t skip = utf8 ? 3 : 0;
        const int length = static_cast<int>(ansi.size() - skip);
        std::vector<wchar_t> wide(ansi.size() + 1);
        wide[0] = 0xFEFF;
        const int units = length == 0 ? 0
                                      : MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP,
                                                            0,
                                                            ansi.data() + skip,
                                                            length,
                                                            wide.data() + 1,
                                                            length);
        const DWORD bytes = static_cast<DWORD>((units + 1) * sizeof(wchar_t));
        DWORD written = 0;
        ok = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
             WriteFile(file, wide.data(), bytes, &written, nullptr) && written == bytes &&
             SetEndOfFile(file);
    }
    CloseHandle(file);
    return ok;
}

} // namespace plugkit::app
