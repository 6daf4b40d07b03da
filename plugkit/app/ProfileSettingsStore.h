#pragma once

#include "plugkit/HeapString.h"
#include "plugkit/app/StandaloneSettings.h"

namespace plugkit::app
{

/// settings.ini as a Windows profile file, in a folder named by the product in the user's local
/// application data (or in another base folder). The file is made Unicode (a UTF-16LE
/// byte-order mark) before its first write, so device names in any script are kept; the profile
/// calls would write a new file in the ANSI code page and lose them.
class ProfileSettingsStore : public ISettingsStore
{
public:
    static constexpr const char* kFileName = "settings.ini";

    /// The file goes in the folder `folderName` (UTF-8, the product's: the framework names
    /// none) of `baseFolder` (UTF-8); a null base is the local application data.
    explicit ProfileSettingsStore(const char* folderName, const char* baseFolder = nullptr);

    bool Locate() override;
    bool ReadText(const char* section, const char* key, HeapString& out) override;
    bool WriteText(const char* section, const char* key, const char* value) override;

    /// The folder (ending in a backslash) and the file, once located.
    const char* GetFolder() const { return mFolder.Get(); }
    const char* GetFilePath() const { return mFile.Get(); }

private:
    /// Gives the file its byte-order mark when it does not exist or is empty.
    bool MakeUnicodeFile();

    HeapString mFolderName;
    HeapString mBaseFolder;
    HeapString mFolder;
    HeapString mFile;
    bool mLocated = false;
    bool mUnicode = false;
};

} // namespace plugkit::app
