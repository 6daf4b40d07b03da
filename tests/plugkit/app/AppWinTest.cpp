// The Windows side of the stand-alone adapter on a machine without audio devices (HOME points at
// a fixture whose ALSA default is a card that does not exist): the message of a failed start, and
// the UTF-8 wrappers of the Windows calls.

#include "plugkit/app/ProfileSettingsStore.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/Utf8ComboProcs.h"
#include "plugkit/app/Utf8Wrappers.h"
#include "plugkit/app/WinStandalonePlatform.h"
#include "tests/support/app/AppFakes.h"
#include "tests/support/app/DialogWatcher.h"
#include "tests/support/app/WinSettingsFile.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

std::string LocalAppData()
{
    char path[2048] = {};
    EXPECT_TRUE(GetSpecialFolderPathUtf8(nullptr, path, sizeof(path), CSIDL_LOCAL_APPDATA, false));
    return path;
}

/// A folder name in three scripts, as a user's profile or device could be named.
const std::string kNonAscii = "T\xC3\xABst \xE9\x9F\xB3\xE5\xA3\xB0 \xF0\x9F\x8E\xB5";

TEST(AppWithoutDevices, ApplyingTheSettingsShowsTheMessageAndFails)
{
    RemoveSettingsFolder();
    WinStandalonePlatform platform(kSettingsFolderName);
    StandaloneHost* host = StandaloneHost::Create(platform);
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(host->Initialize());
    ASSERT_NE(host->GetAudioDevices(), nullptr);
    EXPECT_TRUE(host->GetAudioDirectory().Outputs().empty());
    {
        DialogWatcher watcher;
        EXPECT_FALSE(host->ApplyAudioSettings());
        const auto seen = watcher.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, "Error");
        EXPECT_EQ(seen[0].text, "Please check the audio settings");
    }
    EXPECT_FALSE(host->GetAudioDevices()->IsStreamOpen());
    // The program runs on without audio, and ends cleanly.
    delete host;
}

TEST(Utf8Wrappers, MessageBoxesShowTheirTextInAnyScript)
{
    DialogWatcher watcher;
    const std::string text = "Ger\xC3\xA4t: " + kNonAscii;
    MessageBoxUtf8(nullptr, text.c_str(), kNonAscii.c_str(), MB_OK);
    MessageBoxUtf8(nullptr, "plain", nullptr, MB_OK);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, kNonAscii);
    EXPECT_EQ(seen[0].text, text);
    EXPECT_EQ(seen[1].title, "Error"); // no title: the system's own
    EXPECT_EQ(seen[1].text, "plain");
}

TEST(Utf8Wrappers, FoldersAndFilesByNonAsciiAndLongPaths)
{
    struct _stat64 status;
    const std::string base = LocalAppData() + "\\" + kNonAscii;
    CreateDirectoryUtf8(base.c_str(), nullptr);
    EXPECT_EQ(StatUtf8(base.c_str(), &status), 0);
    EXPECT_TRUE(status.st_mode & _S_IFDIR);
    // With a trailing separator too, which the run-time library alone reports as missing.
    EXPECT_EQ(StatUtf8((base + "\\").c_str(), &status), 0);
    EXPECT_EQ(StatUtf8((base + "/").c_str(), &status), 0);
    EXPECT_NE(StatUtf8((base + "\\missing").c_str(), &status), 0);

    // A path beyond the classic limit, through the extended-length form, slashes and all.
    std::string path = base;
    for (int i = 0; path.size() < 300; ++i)
    {
        path += "/level " + std::to_string(i) + " \xC3\xA9";
        EXPECT_TRUE(CreateDirectoryUtf8(path.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << path.size();
    }
    EXPECT_EQ(StatUtf8(path.c_str(), &status), 0);
    EXPECT_TRUE(status.st_mode & _S_IFDIR);

    EXPECT_NE(LoadLibraryUtf8("kernel32.dll"), nullptr);
    EXPECT_EQ(LoadLibraryUtf8((base + "\\none.dll").c_str()), nullptr);
}

TEST(Utf8Wrappers, ProfileStringsRoundTripAndAreCutOnACharacterBoundary)
{
    // The folder is the one the product names, inside the base folder.
    const std::string base = LocalAppData() + "\\" + kNonAscii;
    ProfileSettingsStore store("Probe", base.c_str());
    store.Locate();
    const std::string file = store.GetFilePath();
    EXPECT_EQ(file, base + "\\Probe\\settings.ini");
    WritePrivateProfileStringUtf8("audio", nullptr, nullptr, file.c_str()); // a fresh section
    EXPECT_TRUE(store.WriteText("audio", "outdev", kNonAscii.c_str()));
    EXPECT_TRUE(store.WriteText("audio", "sr", "48000"));

    HeapString value;
    EXPECT_TRUE(store.ReadText("audio", "outdev", value));
    EXPECT_EQ(value.Get(), kNonAscii);
    EXPECT_FALSE(store.ReadText("audio", "missing", value));
    EXPECT_EQ(GetPrivateProfileIntUtf8("audio", "sr", 0, file.c_str()), 48000u);

    // kNonAscii is "T", "ë" (2 bytes), "st ", two 3-byte letters, " ", a 4-byte one.
    struct Case
    {
        DWORD size;
        std::string expected;
    };
    const Case cases[] = {
        {2, "T"},
        {3, "T"},
        {4, "T\xC3\xAB"},
        {8, "T\xC3\xABst "},
        {9, "T\xC3\xABst "},
        {10, "T\xC3\xABst \xE9\x9F\xB3"},
        {100, kNonAscii},
    };
    for (const Case& c : cases)
    {
        char out[128];
        const DWORD length =
            GetPrivateProfileStringUtf8("audio", "outdev", "", out, c.size, file.c_str());
        EXPECT_EQ(std::string(out), c.expected) << c.size;
        EXPECT_EQ(length, c.expected.size()) << c.size;
    }
}

TEST(Utf8ComboProcs, DeviceNamesInAnyScriptGoInAndComeOutAsUtf8)
{
    // A combo box with an edit field in a window, as an ANSI program creates them.
    HWND parent = CreateWindowExA(0,
                                  "STATIC",
                                  "",
                                  WS_POPUP | WS_VISIBLE,
                                  10,
                                  10,
                                  400,
                                  300,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleA(nullptr),
                                  nullptr);
    HWND combo = CreateWindowExA(0,
                                 "COMBOBOX",
                                 "",
                                 WS_CHILD | WS_VISIBLE | CBS_DROPDOWN,
                                 10,
                                 10,
                                 300,
                                 200,
                                 parent,
                                 nullptr,
                                 GetModuleHandleA(nullptr),
                                 nullptr);
    ASSERT_NE(combo, nullptr);
    InstallUtf8ComboProcs(combo);
    const auto proc = GetWindowLongPtrA(combo, GWLP_WNDPROC);
    InstallUtf8ComboProcs(combo); // a second time changes nothing
    EXPECT_EQ(GetWindowLongPtrA(combo, GWLP_WNDPROC), proc);

    const std::string name = "Mikrofon " + kNonAscii;
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Line In"));
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(name.c_str())), 1);

    // Kept in UTF-16 inside (as the box's own procedure holds it), given back as UTF-8.
    wchar_t wide[128] = {};
    CallWindowProcW(reinterpret_cast<WNDPROC>(GetPropA(combo, "Utf8OldProcW")),
                    combo,
                    CB_GETLBTEXT,
                    1,
                    reinterpret_cast<LPARAM>(wide));
    const std::wstring item = L"Mikrofon T\u00EBst \u97F3\u58F0 \U0001F3B5";
    EXPECT_EQ(std::wstring(wide), item);
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, 1, 0);
    ASSERT_GE(length, LRESULT(name.size()));
    std::string text(size_t(length) + 1, '\0');
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text.data())),
              LRESULT(name.size()));
    EXPECT_STREQ(text.c_str(), name.c_str());

    // The edit field shows the selected item itself, not the code page's question marks. Its
    // text is read as the field holds it (a wide read through an ANSI procedure would pass the
    // code page again).
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    const auto shown = [edit]
    {
        wchar_t text[128] = {};
        CallWindowProcW(reinterpret_cast<WNDPROC>(GetPropA(edit, "Utf8OldProcW")),
                        edit,
                        WM_GETTEXT,
                        128,
                        reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    SendMessageA(combo, CB_SETCURSEL, 1, 0);
    EXPECT_EQ(shown(), item);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(shown(), L"Line In");

    // Destroying the window takes the procedures out again.
    HWND editOfCombo = edit;
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(combo));
    EXPECT_FALSE(IsWindow(editOfCombo));
}

} // namespace
