// LUMENFALL.exe as a user meets it, driven from this test program under Wine: started with its
// command lines, its windows found and given input, its files read back. HOME points at a
// fixture whose ALSA default is the null device, so DirectSound lists devices and streams run.

#include "plugkit/app/StandaloneResourceId.h"
#include "tests/support/app/DialogWatcher.h"
#include "tests/support/app/ProgramDriver.h"
#include "tests/support/app/WinSettingsFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

using namespace lumenfall::test;

namespace
{

constexpr int kEditorWidth = 1100;
constexpr int kEditorHeight = 760;

/// A file in the test's temporary folder, gone before and after the test.
class TempFile
{
public:
    explicit TempFile(const std::string& name)
        : mPath(TempFolder() + name)
    {
        Remove();
    }
    ~TempFile() { Remove(); }
    const std::string& Path() const { return mPath; }

private:
    void Remove() const { RemovePath(mPath); }
    std::string mPath;
};

void ExpectOpaque(const PngImage& image)
{
    size_t translucent = 0;
    for (size_t i = 3; i < image.rgba.size(); i += 4)
        translucent += image.rgba[i] != 255;
    EXPECT_EQ(translucent, 0u);
}

struct Rgb
{
    int r, g, b;
};

void ExpectNear(
    const PngImage& image, int x, int y, const Rgb& expected, int tolerance, const char* what)
{
    const uint8_t* p = image.At(x, y);
    EXPECT_NEAR(p[0], expected.r, tolerance) << what;
    EXPECT_NEAR(p[1], expected.g, tolerance) << what;
    EXPECT_NEAR(p[2], expected.b, tolerance) << what;
}

/// The editor's palette at a few points of its BASIC page, as the editor's own tests know it.
void ExpectBasicPage(const PngImage& image)
{
    ExpectNear(image, 700, 22, {37, 45, 50}, 2, "backdrop, 22 units down its gradient");
    ExpectNear(image, 325, 200, {24, 32, 36}, 1, "display panel");
    ExpectNear(image, 45, 450, {32, 40, 44}, 1, "knob panel");
    ExpectNear(image, 250, 118, {29, 37, 41}, 1, "model menu");
    ExpectNear(image, 140, 430, {48, 59, 65}, 2, "the Decay knob's body, halfway down");
}

SIZE ClientSize(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}

/// Makes `window` the one that receives the keyboard.
bool BringToFront(HWND window)
{
    for (int i = 0; i < 100 && GetForegroundWindow() != window; ++i)
    {
        SetForegroundWindow(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return GetForegroundWindow() == window;
}

void WaitUntilClosed(HWND window)
{
    for (int i = 0; i < 250 && IsWindow(window); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

/// The texts of a menu's entries, submenus as "&File: &Preferences...\tCtrl+,, &Quit".
std::vector<std::string> MenuTexts(HMENU menu)
{
    std::vector<std::string> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
    {
        wchar_t wide[128] = {};
        GetMenuStringW(menu, UINT(i), wide, 128, MF_BYPOSITION);
        char utf8[512];
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8), nullptr, nullptr);
        std::string text = utf8;
        if (HMENU sub = GetSubMenu(menu, i))
        {
            text += ":";
            for (const std::string& item : MenuTexts(sub))
                text += " [" + item + "]";
        }
        texts.push_back(text);
    }
    return texts;
}

/// The program file loaded as data, for its resources.
class ProgramResources
{
public:
    ProgramResources()
        : mModule(LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ProgramResources() { FreeLibrary(mModule); }
    HMODULE Get() const { return mModule; }
    /// The bytes of resource `name` of `type`, empty when there is none.
    std::string Bytes(LPCSTR name, LPCSTR type) const
    {
        HRSRC found = FindResourceA(mModule, name, type);
        if (!found)
            return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(mModule, found)));
        return std::string(data, SizeofResource(mModule, found));
    }

private:
    HMODULE mModule;
};

TEST(Program, ScreenshotModeWritesTheWindowAndExits)
{
    const TempFile shot("lumenfall-shot.png");
    ProgramDriver program;
    ASSERT_TRUE(program.Start("--screenshot " + shot.Path()));
    EXPECT_EQ(program.WaitForExit(20000), 0);
    PngImage image;
    ASSERT_TRUE(ReadPng(shot.Path(), image));
    EXPECT_EQ(image.width, kEditorWidth);
    EXPECT_EQ(image.height, kEditorHeight);
    ExpectOpaque(image);
    ExpectBasicPage(image);
}

/// Sets the display's DPI for the programs started while it lives (Wine reads it at start).
class ScreenDpi
{
public:
    explicit ScreenDpi(DWORD dpi)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Control Panel\\Desktop",
                        0,
                        nullptr,
                        0,
                        KEY_SET_VALUE,
                        nullptr,
                        &mKey,
                        nullptr);
        RegSetValueExW(mKey, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof dpi);
    }
    ~ScreenDpi()
    {
        RegDeleteValueW(mKey, L"LogPixels");
        RegCloseKey(mKey);
    }

private:
    HKEY mKey = nullptr;
};

TEST(Program, AtOneAndAHalfTimesTheDpiThePictureGrowsAlike)
{
    const ScreenDpi dpi(144);
    const TempFile shot("lumenfall-shot-144.png");
    ProgramDriver program;
    ASSERT_TRUE(program.Start("--screenshot " + shot.Path()));
    EXPECT_EQ(program.WaitForExit(20000), 0);
    PngImage image;
    ASSERT_TRUE(ReadPng(shot.Path(), image));
    EXPECT_EQ(image.width, kEditorWidth * 3 / 2);
    EXPECT_EQ(image.height, kEditorHeight * 3 / 2);
}

TEST(Program, ScreenshotModeFailsWithoutLeavingAFile)
{
    const std::string path = TempFolder() + "lumenfall-missing-folder\\shot.png";
    ProgramDriver program;
    ASSERT_TRUE(program.Start("--screenshot " + path));
    EXPECT_NE(program.WaitForExit(20000), 0);
    EXPECT_FALSE(FileExists(path));
}

TEST(Program, ScreenshotPathsMayHoldBlanksAndAnyScript)
{
    const TempFile shot("Lumenfall T\xC3\xABst \xE9\x9F\xB3.png");
    ProgramDriver program;
    ASSERT_TRUE(program.Start("--screenshot \"" + shot.Path() + "\""));
    EXPECT_EQ(program.WaitForExit(20000), 0);
    PngImage image;
    ASSERT_TRUE(ReadPng(shot.Path(), image));
    EXPECT_EQ(image.width, kEditorWidth);
}

TEST(Program, ScreenshotAsTheLastWordRunsNormally)
{
    RemoveSettingsFolder();
    ProgramDriver program;
    HWND window = program.StartWindow("--screenshot");
    ASSERT_NE(window, nullptr);
    // With its devices: the saved names were resolved to this machine's and written back.
    const SettingsFileKeys keys = ParseSettingsFile(ReadSettingsFileText());
    EXPECT_EQ(keys.at("audio/outdev"), "Default Device");
    EXPECT_EQ(program.WaitForExit(1500), -1); // no screenshot timer ends it
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(Program, ASecondStartShowsTheFirstAndEnds)
{
    ProgramDriver first;
    HWND window = first.StartWindow("--no-io");
    ASSERT_NE(window, nullptr);
    // Something else in front, as when the user starts the program again from elsewhere.
    HWND other = CreateWindowExW(0,
                                 L"STATIC",
                                 L"elsewhere",
                                 WS_POPUP | WS_VISIBLE,
                                 0,
                                 0,
                                 200,
                                 100,
                                 nullptr,
                                 nullptr,
                                 nullptr,
                                 nullptr);
    SetForegroundWindow(other);
    ASSERT_NE(GetForegroundWindow(), window);

    ProgramDriver second;
    ASSERT_TRUE(second.Start(""));
    EXPECT_EQ(second.WaitForExit(10000), 0);
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_EQ(first.WaitForExit(0), -1);
    DestroyWindow(other);
}

TEST(Program, MainWindowHoldsTheEditorUnderItsMenu)
{
    ProgramDriver program;
    HWND window = program.StartWindow("--no-io");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowTextUtf8(window), "LUMENFALL");
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, kEditorWidth);
    EXPECT_EQ(client.cy, kEditorHeight);
    // The menu as the program embeds it (another process's menu cannot be read under Wine).
    const ProgramResources exe;
    ASSERT_NE(exe.Get(), nullptr);
    HMENU menu = LoadMenuW(exe.Get(), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    EXPECT_EQ(MenuTexts(menu),
              (std::vector<std::string>{
                  "&File: [&Preferences...\tCtrl+,] [&Quit]",
                  "&Debug: [&Live Edit Mode\tCtrl+E] [&Show Control Bounds\tCtrl+B] "
                  "[&Show Drawn Area\tCtrl+D] [&Show FPS\tCtrl+F] [] "
                  "[&Save Screenshot\tCtrl+Shift+S]",
                  "&Help: [&About] [&Read Manual]"}));
    DestroyMenu(menu);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    // The live menu bar, by keyboard: its second entry is Help (the Debug menu is gone, its
    // commands reachable only by their keys), and Help's first entry is About.
    ASSERT_TRUE(BringToFront(window));
    PressChord({VK_MENU});
    PressChord({VK_RIGHT});
    PressChord({VK_DOWN});
    PressChord({VK_RETURN});
    HWND about = program.WaitForDialog("LUMENFALL");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(std::regex_match(DialogText(about),
                                 std::regex("LUMENFALL is made and owned by TESSALINE\\.\\s+"
                                            "Built on [A-Z][a-z]{2} [1-9][0-9]? 20[0-9]{2}")))
        << DialogText(about);
    ClickButton(about, IDOK);
    WaitUntilClosed(about);
    PostMessageW(window, WM_COMMAND, ID_READ_MANUAL, 0);
    HWND manual = program.WaitForDialog("LUMENFALL");
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(DialogText(manual), "See the manual");
    ClickButton(manual, IDOK);
    WaitUntilClosed(manual);

    // File > Quit, by its mnemonics, ends it.
    ASSERT_TRUE(BringToFront(window));
    PressChord({VK_MENU, 'F'});
    PressChord({'Q'});
    EXPECT_EQ(program.WaitForExit(), 0);
}

std::string VersionValue(const std::string& block, const char* key)
{
    void* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || length == 0)
        return {};
    return static_cast<const char*>(value);
}

TEST(Program, TheFileCarriesItsVersionIconManifestFontAndLogo)
{
    const ProgramResources exe;
    ASSERT_NE(exe.Get(), nullptr);

    // The version block is read from a copy, as VerQueryValue may convert it in place.
    const std::string version = exe.Bytes(MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    ASSERT_FALSE(version.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u); // 0.1
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u); // .0.0
    EXPECT_EQ(VersionValue(version, "ProductVersion"), "0.1.0");
    EXPECT_EQ(VersionValue(version, "FileDescription"), "LUMENFALL");
    EXPECT_EQ(VersionValue(version, "InternalName"), "LUMENFALL");
    EXPECT_EQ(VersionValue(version, "ProductName"), "LUMENFALL");
    EXPECT_EQ(VersionValue(version, "CompanyName"), "TESSALINE");
    EXPECT_EQ(VersionValue(version, "LegalTrademarks"),
              "VST is a trademark of Steinberg Media Technologies GmbH");

    // The icon group: five images, 16 to 256 pixels (256 is written as 0).
    const std::string icons = exe.Bytes(MAKEINTRESOURCEA(IDI_APP_ICON), RT_GROUP_ICON);
    ASSERT_GE(icons.size(), 6u);
    const int count = static_cast<uint8_t>(icons[4]) | static_cast<uint8_t>(icons[5]) << 8;
    ASSERT_EQ(count, 5);
    ASSERT_EQ(icons.size(), 6u + 14u * 5u);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i)
        widths.push_back(static_cast<uint8_t>(icons[6 + 14 * i]));
    std::sort(widths.begin(), widths.end());
    EXPECT_EQ(widths, (std::vector<int>{0, 16, 24, 32, 48}));

    const std::string manifest = exe.Bytes(MAKEINTRESOURCEA(1), RT_MANIFEST);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);

    const std::string font = exe.Bytes("ROBOTO-REGULAR.TTF", "TTF");
    ASSERT_GE(font.size(), 4u);
    EXPECT_EQ(font.substr(0, 4), std::string("\0\1\0\0", 4)); // a TrueType font
    EXPECT_NE(exe.Bytes("TESSALINE_LOGO.SVG", "SVG").find("<svg"), std::string::npos);
}

TEST(Program, TwoStartsAtOnceLeaveOneProgram)
{
    ProgramDriver a;
    ProgramDriver b;
    ASSERT_TRUE(a.Start("--no-io"));
    ASSERT_TRUE(b.Start("--no-io"));
    // Whichever made the mutex runs; the other ends with 0, whatever the timing.
    ProgramDriver* running = nullptr;
    int ended = -1;
    for (int i = 0; i < 400 && !running; ++i)
    {
        if ((ended = a.WaitForExit(0)) >= 0)
            running = &b;
        else if ((ended = b.WaitForExit(0)) >= 0)
            running = &a;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(running, nullptr) << "both still run";
    EXPECT_EQ(ended, 0);
    EXPECT_NE(running->WaitForMainWindow(), nullptr);
    EXPECT_EQ(running->WaitForExit(1000), -1);
}

/// Presses Ctrl+Shift+S in the program's main window, answers No to the offer to open the
/// picture, and reads it back; the picture's path, empty when the command failed.
std::string SaveScreenshotByKeys(ProgramDriver& program, HWND window, PngImage& image)
{
    if (!BringToFront(window))
        return {};
    PressChord({VK_CONTROL, VK_SHIFT, 'S'});
    HWND saved = program.WaitForDialog("Screenshot Saved");
    if (saved == nullptr)
        return {};
    const std::string text = DialogText(saved);
    std::smatch match;
    const bool named = std::regex_match(
        text,
        match,
        std::regex("Screenshot saved to:\\s+(.*LUMENFALL_screenshot_20[0-9]{6}_[0-9]{6}\\.png)"
                   "\\s+Open it\\?"));
    EXPECT_TRUE(named) << text;
    ClickButton(saved, IDNO);
    WaitUntilClosed(saved);
    if (!named)
        return {};
    const std::string path = match[1];
    EXPECT_TRUE(ReadPng(path, image)) << path;
    return path;
}

TEST(Program, SaveScreenshotKeysWriteATimeStampedFileInTheTemporaryFolder)
{
    // A temporary folder named in three scripts, as a user's profile folder can be.
    const std::string temp = TempFolder() + "Lumenfall T\xC3\xABst \xE9\x9F\xB3\\";
    ProgramDriver program;
    ASSERT_TRUE(MakeFolder(temp));
    HWND window = program.StartWindow("--no-io", {"TMP=" + temp, "TEMP=" + temp});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window));
    // Ctrl+D (a Debug command) does nothing; Ctrl+Shift+S saves.
    PressChord({VK_CONTROL, 'D'});
    PngImage image;
    const std::string path = SaveScreenshotByKeys(program, window, image);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(temp, 0), 0u) << path;
    EXPECT_EQ(image.width, kEditorWidth);
    EXPECT_EQ(image.height, kEditorHeight);
    ExpectOpaque(image);
    ExpectBasicPage(image);
    RemovePath(path);
    RemovePath(temp);
    EXPECT_EQ(DialogsOf(program.ProcessId()).size(), 1u); // nothing else opened
}

TEST(Program, SaveScreenshotKeysReportAFileThatCannotBeWritten)
{
    const std::string temp = TempFolder() + "lumenfall-no-such-folder\\";
    ProgramDriver program;
    HWND window = program.StartWindow("--no-io", {"TMP=" + temp, "TEMP=" + temp});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window));
    PressChord({VK_CONTROL, VK_SHIFT, 'S'});
    HWND error = program.WaitForDialog("Error");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(DialogText(error), "Failed to save screenshot");
    ClickButton(error, IDOK);
    WaitUntilClosed(error);
    EXPECT_EQ(program.WaitForExit(0), -1); // it runs on
}

TEST(Program, AClickOnASectionButtonShowsTheOtherPageInTheScreenshot)
{
    ProgramDriver program;
    HWND window = program.StartWindow("--no-io");
    ASSERT_NE(window, nullptr);
    HWND editor = GetWindow(window, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    // ADVANCED, under the display on the left; its page opens on SPACE.
    const LPARAM advanced = MAKELPARAM(253, 341);
    PostMessageW(editor, WM_MOUSEMOVE, 0, advanced);
    PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, advanced);
    PostMessageW(editor, WM_LBUTTONUP, 0, advanced);
    PngImage image;
    const std::string path = SaveScreenshotByKeys(program, window, image);
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(image.width, kEditorWidth);
    ASSERT_EQ(image.height, kEditorHeight);
    ExpectNear(image, 400, 350, {70, 54, 38}, 1, "SPACE, lit");
    ExpectNear(image, 140, 430, {32, 40, 44}, 1, "knob panel where Decay was");
    ExpectNear(image, 325, 200, {24, 32, 36}, 1, "display panel");
    RemovePath(path);
}

TEST(Program, TheEditorsCornerScalesTheWindowWithIt)
{
    ProgramDriver program;
    HWND window = program.StartWindow("--no-io");
    ASSERT_NE(window, nullptr);
    HWND editor = GetWindow(window, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    // The corner grip dragged up and to the left.
    PostMessageW(editor, WM_MOUSEMOVE, 0, MAKELPARAM(1096, 756));
    PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1096, 756));
    PostMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1000, 690));
    PostMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(900, 620));
    PostMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(900, 620));
    // Each move resizes; the size is read once it has stood still for a moment.
    LONG last = kEditorWidth;
    for (int i = 0, still = 0; i < 200 && still < 10; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const LONG now = ClientSize(window).cx;
        still = now != kEditorWidth && now == last ? still + 1 : 0;
        last = now;
    }
    const SIZE client = ClientSize(window);
    const SIZE shown = ClientSize(editor);
    EXPECT_LT(client.cx, kEditorWidth);
    EXPECT_EQ(client.cx, shown.cx);
    EXPECT_EQ(client.cy, shown.cy);

    // The picture is the editor at its new size, every pixel its own.
    PngImage image;
    const std::string path = SaveScreenshotByKeys(program, window, image);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(image.width, shown.cx);
    EXPECT_EQ(image.height, shown.cy);
    ExpectOpaque(image);
    RemovePath(path);
}

/// The Preferences dialog of a running program, opened from its menu command.
HWND OpenPreferences(ProgramDriver& program, HWND window)
{
    PostMessageW(window, WM_COMMAND, ID_PREFERENCES, 0);
    return program.WaitForDialog("Preferences");
}

int ItemCount(HWND dialog, int id)
{
    return int(SendMessageW(GetDlgItem(dialog, id), CB_GETCOUNT, 0, 0));
}

TEST(Program, PreferencesOkSavesANewBufferSize)
{
    RemoveSettingsFolder();
    ProgramDriver program;
    HWND window = program.StartWindow("");
    ASSERT_NE(window, nullptr);
    HWND preferences = OpenPreferences(program, window);
    ASSERT_NE(preferences, nullptr);
    EXPECT_GE(ItemCount(preferences, IDC_AUDIO_OUT_DEVICE), 1);
    ChooseItem(preferences, IDC_BUFFER_SIZE, 5); // "256"
    EXPECT_EQ(ParseSettingsFile(ReadSettingsFileText()).at("audio/buffer"), "512");
    ClickButton(preferences, IDOK);
    WaitUntilClosed(preferences);
    EXPECT_FALSE(IsWindow(preferences));
    const auto saved = [] { return ParseSettingsFile(ReadSettingsFileText())["audio/buffer"]; };
    for (int i = 0; i < 100 && saved() != "256"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(saved(), "256");
}

TEST(Program, PreferencesCancelAfterADeviceChangeRestoresTheFile)
{
    RemoveSettingsFolder();
    ProgramDriver program;
    HWND window = program.StartWindow("");
    ASSERT_NE(window, nullptr);
    const std::string before = ReadSettingsFileText();
    EXPECT_EQ(ParseSettingsFile(before).at("audio/outdev"), "Default Device");

    HWND preferences = OpenPreferences(program, window);
    ASSERT_NE(preferences, nullptr);
    HWND outputs = GetDlgItem(preferences, IDC_AUDIO_OUT_DEVICE);
    ASSERT_EQ(ItemCount(preferences, IDC_AUDIO_OUT_DEVICE), 2); // "Default Device", "default"
    const int other = 1 - int(SendMessageW(outputs, CB_GETCURSEL, 0, 0));
    ChooseItem(preferences, IDC_AUDIO_OUT_DEVICE, other);
    // Apply moves the stream to the other device; Cancel moves it back.
    SendMessageW(preferences, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    ClickButton(preferences, IDCANCEL);
    for (int i = 0; i < 100 && IsWindow(preferences); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ParseSettingsFile(ReadSettingsFileText()), ParseSettingsFile(before));
    // The dialog opens again on the saved device.
    preferences = OpenPreferences(program, window);
    ASSERT_NE(preferences, nullptr);
    EXPECT_NE(int(SendMessageW(GetDlgItem(preferences, IDC_AUDIO_OUT_DEVICE), CB_GETCURSEL, 0, 0)),
              other);
    ClickButton(preferences, IDCANCEL);
}

TEST(Program, PreferencesWithoutDevicesListsNothing)
{
    ProgramDriver program;
    HWND window = program.StartWindow("--no-io");
    ASSERT_NE(window, nullptr);
    // Opened by its keys, Ctrl and the comma key.
    ASSERT_TRUE(BringToFront(window));
    PressChord({VK_CONTROL, VK_OEM_COMMA});
    HWND preferences = program.WaitForDialog("Preferences");
    ASSERT_NE(preferences, nullptr);
    for (int id : {IDC_AUDIO_IN_DEVICE,
                   IDC_AUDIO_OUT_DEVICE,
                   IDC_SAMPLE_RATE,
                   IDC_MIDI_IN_DEVICE,
                   IDC_MIDI_OUT_DEVICE,
                   IDC_MIDI_IN_CHANNEL})
        EXPECT_EQ(ItemCount(preferences, id), 0) << id;
    EXPECT_EQ(ItemCount(preferences, IDC_BUFFER_SIZE), 11);
    ClickButton(preferences, IDOK);
}

} // namespace
