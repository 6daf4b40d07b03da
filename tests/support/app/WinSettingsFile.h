#pragma once

#include <map>
#include <string>

namespace lumenfall::test
{

/// The folder of settings.ini that LUMENFALL.exe names; the tests of the application host on the
/// real layers use it too.
inline constexpr const char* kSettingsFolderName = "Lumenfall";

/// "section/key" to value, as UTF-8.
using SettingsFileKeys = std::map<std::string, std::string>;

/// The program's settings.ini in this Wine prefix's local application data.
std::string SettingsFilePath();
/// Deletes settings.ini and its folder: the state of a first start.
void RemoveSettingsFolder();
/// The file's bytes; empty when it does not exist.
std::string ReadSettingsFileText();
/// Parses a profile file's bytes: UTF-16LE behind a byte-order mark, else single bytes.
SettingsFileKeys ParseSettingsFile(const std::string& bytes);
/// Writes `text` as the file, in single bytes and without a byte-order mark, as a user's editor
/// or an older program would; the folder is made first.
void WriteAnsiSettingsFile(const std::string& text);

} // namespace lumenfall::test
