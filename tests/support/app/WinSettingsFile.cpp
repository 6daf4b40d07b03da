#include "tests/support/app/WinSettingsFile.h"

#include "plugkit/app/Utf8Text.h"
#include "plugkit/app/Utf8Wrappers.h"

#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace lumenfall::test
{

namespace
{
std::string SettingsFolder()
{
    char base[2048] = {};
    plugkit::app::GetSpecialFolderPathUtf8(nullptr, base, sizeof(base), CSIDL_LOCAL_APPDATA, false);
    return std::string(base) + "\\" + kSettingsFolderName;
}
} // namespace

std::string SettingsFilePath()
{
    return SettingsFolder() + "\\settings.ini";
}

void RemoveSettingsFolder()
{
    DeleteFileA(SettingsFilePath().c_str());
    RemoveDirectoryA(SettingsFolder().c_str());
}

std::string ReadSettingsFileText()
{
    std::ifstream in(SettingsFilePath(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

SettingsFileKeys ParseSettingsFile(const std::string& bytes)
{
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    {
        std::vector<wchar_t> wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide.push_back(wchar_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
        wide.push_back(0);
        std::vector<char> utf8(wide.size() * 4 + 1);
        plugkit::app::WideToUtf8Truncated(wide.data(), utf8.data(), int32_t(utf8.size()));
        text = utf8.data();
    }
    else
    {
        text = bytes;
    }
    SettingsFileKeys keys;
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']')
            section = line.substr(1, line.size() - 2);
        else if (const auto eq = line.find('='); eq != std::string::npos)
            keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

void WriteAnsiSettingsFile(const std::string& text)
{
    CreateDirectoryA(SettingsFolder().c_str(), nullptr);
    std::ofstream out(SettingsFilePath(), std::ios::binary);
    out << text;
}

} // namespace lumenfall::test
