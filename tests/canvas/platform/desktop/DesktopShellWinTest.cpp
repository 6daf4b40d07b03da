#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"

#include "canvas/platform/desktop/DesktopBuilders.h"
#include "canvas/platform/desktop/DesktopServices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::canvas;
using namespace plugkit::canvas::platform;
using namespace desktoptest;

namespace
{

/// Stands in for the network, the shell and the message boxes, recording every call.
struct FakeShell
{
    struct Box
    {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    struct Open
    {
        HWND owner;
        std::wstring file;
        std::wstring parameters;
        std::wstring directory;
    };

    bool connected = true;
    INT_PTR shellResult = 42;
    int answer = IDYES;
    int connectionQueries = 0;
    std::vector<Box> boxes;
    std::vector<Open> opens;

    ShellCalls Calls()
    {
        return {
            [this]
            {
                ++connectionQueries;
                return connected;
            },
            [this](HWND owner, const wchar_t* file, const wchar_t* parameters, const wchar_t* dir)
            {
                opens.push_back(
                    {owner, file, parameters ? parameters : L"", dir ? dir : L"<none>"});
                return shellResult;
            },
            [this](HWND, const wchar_t* text, const wchar_t* caption, UINT type)
            {
                boxes.push_back({text, caption ? caption : L"<none>", type});
                return type == MB_OK ? IDOK : answer;
            }};
    }
};

TEST(DesktopShell, OpenUrlAsksConnectsOpensOrExplainsThroughItsSeams)
{
    const HWND editor = reinterpret_cast<HWND>(0x1234);
    const char* web = "https://tessaline.example/plugins";
    const char* mail = "mailto:support@tessaline.example";
    const struct
    {
        const char* name;
        const char* url;
        const char* confirm;
        const char* error;
        bool connected;
        INT_PTR shellResult;
        int answer;
        bool result;
        bool opened;
        std::vector<UINT> boxTypes;
    } cases[] = {
        {"online", web, nullptr, "Offline", true, 42, IDYES, true, true, {}},
        {"confirmed", web, "Open the page?", "Offline", true, 42, IDYES, true, true, {MB_YESNO}},
        {"declined", web, "Open the page?", "Offline", true, 42, IDNO, false, false, {MB_YESNO}},
        {"offline", web, nullptr, "Offline", false, 42, IDYES, false, false, {MB_OK}},
        {"offline, silent", web, nullptr, nullptr, false, 42, IDYES, false, false, {}},
        {"shell failure", web, nullptr, "Offline", true, 2, IDYES, false, true, {MB_OK}},
        {"shell failure at 32", web, nullptr, nullptr, true, 32, IDYES, false, true, {}},
        {"mail while offline", mail, nullptr, "Offline", false, 42, IDYES, true, true, {}},
        {"program path", "C:\\calc.exe", nullptr, "x", true, 42, IDYES, false, false, {}},
        {"file link", "file:///C:/calc.exe", nullptr, "x", true, 42, IDYES, false, false, {}},
        {"empty", "", "Open?", "x", true, 42, IDYES, false, false, {}},
        {"null", nullptr, "Open?", "x", true, 42, IDYES, false, false, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeShell shell;
        shell.connected = c.connected;
        shell.shellResult = c.shellResult;
        shell.answer = c.answer;
        EXPECT_EQ(OpenURL(editor, c.url, "L\xc3\xbcmenfall", c.confirm, c.error, shell.Calls()),
                  c.result);

        ASSERT_EQ(shell.opens.size(), c.opened ? 1u : 0u);
        if (c.opened)
        {
            EXPECT_EQ(shell.opens[0].owner, editor);
            EXPECT_EQ(shell.opens[0].file,
                      std::wstring(c.url, c.url + std::char_traits<char>::length(c.url)));
        }
        if (c.url == mail)
        {
            EXPECT_EQ(shell.connectionQueries, 0) << "a mail link needs no network";
        }
        ASSERT_EQ(shell.boxes.size(), c.boxTypes.size());
        for (size_t i = 0; i < shell.boxes.size(); ++i)
        {
            EXPECT_EQ(shell.boxes[i].type, c.boxTypes[i]);
            EXPECT_EQ(shell.boxes[i].caption, L"L\u00fcmenfall");
            EXPECT_EQ(shell.boxes[i].text,
                      c.boxTypes[i] == MB_YESNO ? L"Open the page?" : L"Offline");
        }
    }
}

TEST(DesktopShell, RevealPathStartsTheExplorerInTheSystemFolder)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring systemFolder = std::wstring(system, length) + L"\\";

    const struct
    {
        const char* path;
        bool select;
        const wchar_t* parameters; ///< null: no shell call
    } cases[] = {
        {"C:\\Temp\\Kl\xc3\xa4nge\\a b.wav", true, L"/select,\"C:\\Temp\\Kl\u00e4nge\\a b.wav\""},
        {"C:\\Temp\\Kl\xc3\xa4nge\\", false, L"\"C:\\Temp\\Kl\u00e4nge\""},
        {"C:\\", false, L"C:\\"},
        {"", true, nullptr},
        {"C:\\a\"b", true, nullptr},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        FakeShell shell;
        EXPECT_EQ(RevealPath(c.path, c.select, shell.Calls()), c.parameters != nullptr);
        ASSERT_EQ(shell.opens.size(), c.parameters ? 1u : 0u);
        if (!c.parameters)
            continue;
        EXPECT_EQ(shell.opens[0].owner, nullptr);
        EXPECT_EQ(shell.opens[0].file, L"explorer.exe");
        EXPECT_EQ(shell.opens[0].parameters, c.parameters);
        EXPECT_EQ(shell.opens[0].directory, systemFolder);
    }

    FakeShell failing;
    failing.shellResult = 32;
    EXPECT_FALSE(RevealPath("C:\\Temp", false, failing.Calls()));
}

TEST(DesktopShell, MessageBoxBelongsToTheHostWindowAndReportsTheAnswer)
{
    TestWindows& windows = SharedWindows();
    MessageBoxOwner owner;
    std::wstring text;
    HWND boxOwner = nullptr;
    DialogDriver driver([](HWND dialog) { return WindowText(dialog) == L"Titel \u2713"; },
                        [&](HWND dialog)
                        {
                            boxOwner = GetWindow(dialog, GW_OWNER);
                            for (HWND child = GetWindow(dialog, GW_CHILD); child;
                                 child = GetWindow(child, GW_HWNDNEXT))
                            {
                                if (WindowText(child).find(L"Gr\u00fc\u00dfe") == 0)
                                    text = WindowText(child);
                            }
                            PressButton(dialog, IDNO);
                        });
    std::vector<int> completed;
    const int result = ShowMessageBox(owner,
                                      windows.panel,
                                      "Gr\xc3\xbc\xc3\x9f\x65 aus dem Editor",
                                      "Titel \xe2\x9c\x93",
                                      MB_YESNO,
                                      [&](int r) { completed.push_back(r); });
    ASSERT_TRUE(driver.Join()) << "no message box with the caption";

    EXPECT_EQ(result, IDNO);
    EXPECT_EQ(completed, std::vector<int>{IDNO});
    EXPECT_EQ(boxOwner, windows.host);
    EXPECT_EQ(text, L"Gr\u00fc\u00dfe aus dem Editor");
    EXPECT_EQ(owner.window, windows.host);
    EXPECT_STREQ(owner.hostClassName.Get(), "DesktopTestHost");
}

TEST(DesktopShell, MessageBoxOwnerIsFoundAgainByItsClassWithoutAParent)
{
    MessageBoxOwner owner;
    {
        TestWindows windows(L"DesktopTestOtherHost");
        EXPECT_EQ(FindMessageBoxOwner(owner, windows.panel), windows.host);
        EXPECT_EQ(FindMessageBoxOwner(owner, nullptr), windows.host) << "kept";
    }
    // The host window is gone; a new one of the same class takes its place.
    TestWindows again(L"DesktopTestOtherHost");
    EXPECT_EQ(FindMessageBoxOwner(owner, nullptr), again.host) << "never the destroyed window";

    MessageBoxOwner unknown;
    EXPECT_EQ(FindMessageBoxOwner(unknown, nullptr), nullptr);
}

TEST(DesktopShell, EveryCursorShapeShowsItsSystemCursor)
{
    const LPCSTR ids[] = {IDC_ARROW,
                          IDC_IBEAM,
                          IDC_WAIT,
                          IDC_CROSS,
                          IDC_UPARROW,
                          IDC_SIZENWSE,
                          IDC_SIZENESW,
                          IDC_SIZEWE,
                          IDC_SIZENS,
                          IDC_SIZEALL,
                          IDC_NO,
                          IDC_HAND,
                          IDC_APPSTARTING,
                          IDC_HELP};
    ASSERT_EQ(std::size(ids), static_cast<size_t>(ECursorShape::kNumCursorShapes));
    for (int i = 0; i < static_cast<int>(ECursorShape::kNumCursorShapes); ++i)
    {
        const auto shape = static_cast<ECursorShape>(i);
        EXPECT_EQ(SystemCursorId(shape), static_cast<int>(reinterpret_cast<ULONG_PTR>(ids[i])))
            << i;
        ShowCursorShape(shape);
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, ids[i])) << i;
    }
    ShowCursorShape(static_cast<ECursorShape>(99));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

} // namespace
