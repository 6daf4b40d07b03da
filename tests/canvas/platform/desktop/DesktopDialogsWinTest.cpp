#include "tests/canvas/platform/desktop/DesktopWinTestSupport.h"

#include "canvas/platform/desktop/DesktopServices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

using namespace plugkit;
using namespace plugkit::canvas;
using namespace plugkit::canvas::platform;
using namespace desktoptest;

namespace
{

std::string Utf8(const std::wstring& wide)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n - 1));
    return utf8;
}

/// A fresh folder with a non-ASCII name under the prefix's temporary folder, ending with '\'.
std::wstring MakeSampleFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

void WriteFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(file);
}

/// The colour dialog's red field (COLOR_RED of colordlg.h); green and blue follow it.
constexpr int kRedField = 706;

/// The file dialog's name field: Wine's edit, or the combo box of Windows' explorer dialog.
void TypeFileName(HWND dialog, const wchar_t* name)
{
    for (const int id : {edt1, cmb13})
    {
        if (HWND field = GetDlgItem(dialog, id))
        {
            SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
            return;
        }
    }
}

struct Completions
{
    int calls = 0;
    std::string fileName;
    std::string path;

    IFileDialogCompletionHandlerFunc Record()
    {
        return [this](const HeapString& f, const HeapString& p)
        {
            ++calls;
            fileName = f.Get();
            path = p.Get();
        };
    }
};

class DesktopDialogs : public testing::Test
{
protected:
    TestWindows& mWindows = SharedWindows();
};

TEST_F(DesktopDialogs, OpenDialogCancelledEmptiesTheNameAndStillCompletes)
{
    const std::wstring folder = MakeSampleFolder(L"Lumenfall open \u00e4");
    HeapString fileName("take.wav");
    HeapString path(Utf8(folder).c_str());
    Completions done;

    HWND owner = nullptr;
    std::wstring filterShown;
    DialogDriver driver(
        AnyDialog,
        [&](HWND dialog)
        {
            owner = GetWindow(dialog, GW_OWNER);
            wchar_t text[256] = {};
            SendMessageW(GetDlgItem(dialog, cmb1), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
            filterShown = text;
            PressButton(dialog, IDCANCEL);
        });
    PromptForFile(mWindows.editor, fileName, path, EFileAction::Open, "wav aif", done.Record());
    ASSERT_TRUE(driver.Join());

    EXPECT_EQ(owner, mWindows.host) << "the dialog belongs to the host's window";
    EXPECT_EQ(filterShown, L"*.wav;*.aif");
    EXPECT_STREQ(fileName.Get(), "");
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.fileName, "");
    EXPECT_EQ(done.path, Utf8(folder)) << "the folder stays as it was";
}

TEST_F(DesktopDialogs, SaveDialogTakesATypedNameWithTheDefaultExtension)
{
    const std::wstring folder = MakeSampleFolder(L"Lumenfall Kl\u00e4nge \u2603");
    DeleteFileW((folder + L"take one.wav").c_str());
    HeapString fileName;
    HeapString path(Utf8(folder).c_str());
    Completions done;

    DialogDriver driver(AnyDialog,
                        [](HWND dialog)
                        {
                            TypeFileName(dialog, L"take one");
                            PressButton(dialog, IDOK);
                        });
    PromptForFile(mWindows.editor, fileName, path, EFileAction::Save, "wav aif", done.Record());
    ASSERT_TRUE(driver.Join());

    const std::string expected = Utf8(folder + L"take one.wav");
    EXPECT_EQ(std::string(fileName.Get()), expected);
    EXPECT_EQ(std::string(path.Get()), Utf8(folder)) << "the folder, with its final separator";
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.fileName, expected);
    EXPECT_EQ(done.path, Utf8(folder));
}

TEST_F(DesktopDialogs, SaveDialogAsksBeforeReplacingAnExistingFile)
{
    const std::wstring folder = MakeSampleFolder(L"Lumenfall replace");
    WriteFile(folder + L"old.wav");
    HeapString fileName;
    HeapString path(Utf8(folder).c_str());
    const DWORD uiThread = GetCurrentThreadId();

    bool asked = false;
    DialogDriver driver(AnyDialog,
                        [&](HWND dialog)
                        {
                            TypeFileName(dialog, L"old.wav");
                            PressButton(dialog, IDOK);
                            HWND question = WaitForDialog(
                                uiThread, [&](HWND d) { return d != dialog; }, 10000);
                            asked = question != nullptr;
                            if (question)
                                PressButton(question, IDYES);
                        });
    PromptForFile(mWindows.editor, fileName, path, EFileAction::Save, "wav", nullptr);
    ASSERT_TRUE(driver.Join());

    EXPECT_TRUE(asked);
    EXPECT_EQ(std::string(fileName.Get()), Utf8(folder + L"old.wav"));
}

TEST_F(DesktopDialogs, ColorDialogShowsThePromptAndReturnsTheChoiceOnOkOnly)
{
    const std::wstring title = L"Farbe w\u00e4hlen";
    auto titled = [&](HWND dialog) { return WindowText(dialog) == title; };

    IArgbColor color{128, 10, 20, 30};
    std::vector<IArgbColor> completed;
    DialogDriver chooseOther(titled,
                             [&](HWND dialog)
                             {
                                 // Typed into the red, green and blue fields.
                                 SetDlgItemTextW(dialog, kRedField, L"200");
                                 SetDlgItemTextW(dialog, kRedField + 1, L"100");
                                 SetDlgItemTextW(dialog, kRedField + 2, L"50");
                                 PressButton(dialog, IDOK);
                             });
    EXPECT_TRUE(PromptForColor(mWindows.editor,
                               color,
                               "Farbe w\xc3\xa4hlen",
                               [&](const IArgbColor& c) { completed.push_back(c); }));
    ASSERT_TRUE(chooseOther.Join()) << "no dialog titled with the prompt";
    EXPECT_EQ(color, (IArgbColor{128, 200, 100, 50})) << "alpha stays";
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0], color);

    DialogDriver cancel(titled, [](HWND dialog) { PressButton(dialog, IDCANCEL); });
    EXPECT_FALSE(PromptForColor(mWindows.editor,
                                color,
                                "Farbe w\xc3\xa4hlen",
                                [&](const IArgbColor& c) { completed.push_back(c); }));
    ASSERT_TRUE(cancel.Join());
    EXPECT_EQ(color, (IArgbColor{128, 200, 100, 50}));
    EXPECT_EQ(completed.size(), 1u) << "no completion for a cancelled dialog";
}

TEST_F(DesktopDialogs, FolderDialogGivesTheFolderWithOneSeparatorOrNothingWhenCancelled)
{
    int inits = 0;
    int uninits = 0;
    static int* sInits;
    static int* sUninits;
    sInits = &inits;
    sUninits = &uninits;
    OleCalls counting;
    counting.initialize = [](LPVOID reserved)
    {
        ++*sInits;
        return OleInitialize(reserved);
    };
    counting.uninitialize = []
    {
        ++*sUninits;
        OleUninitialize();
    };

    // OK on the dialog's first choice, the desktop folder.
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
    HeapString dir("C:\\old\\");
    Completions done;
    bool titled = false;
    DialogDriver choose(AnyDialog,
                        [&](HWND dialog)
                        {
                            for (HWND child = GetWindow(dialog, GW_CHILD); child;
                                 child = GetWindow(child, GW_HWNDNEXT))
                                titled = titled || WindowText(child) == L"Choose a Directory";
                            PressButton(dialog, IDOK);
                        });
    PromptForDirectory(mWindows.editor, dir, done.Record(), counting);
    ASSERT_TRUE(choose.Join());
    EXPECT_TRUE(titled);
    EXPECT_EQ(std::string(dir.Get()), Utf8(desktop) + "\\");
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.fileName, "");
    EXPECT_EQ(done.path, dir.Get());

    DialogDriver cancel(AnyDialog, [](HWND dialog) { PressButton(dialog, IDCANCEL); });
    PromptForDirectory(mWindows.editor, dir, done.Record(), counting);
    ASSERT_TRUE(cancel.Join());
    EXPECT_STREQ(dir.Get(), "");
    EXPECT_EQ(done.calls, 2);
    EXPECT_EQ(done.fileName, "");
    EXPECT_EQ(done.path, "");

    EXPECT_EQ(inits, 2);
    EXPECT_EQ(uninits, 2) << "OLE is left as it was found";
}

TEST_F(DesktopDialogs, WithoutAnEditorWindowEveryDialogFailsWithoutCompleting)
{
    Completions done;
    HeapString fileName("a.wav");
    HeapString path("C:\\Temp\\");
    PromptForFile(nullptr, fileName, path, EFileAction::Save, "wav", done.Record());
    EXPECT_STREQ(fileName.Get(), "");
    EXPECT_STREQ(path.Get(), "C:\\Temp\\");

    HeapString dir("C:\\old\\");
    PromptForDirectory(nullptr, dir, done.Record());
    EXPECT_STREQ(dir.Get(), "");
    EXPECT_EQ(done.calls, 0);

    IArgbColor color{255, 1, 2, 3};
    bool colorCompleted = false;
    EXPECT_FALSE(
        PromptForColor(nullptr, color, "x", [&](const IArgbColor&) { colorCompleted = true; }));
    EXPECT_EQ(color, (IArgbColor{255, 1, 2, 3}));
    EXPECT_FALSE(colorCompleted);
}

} // namespace
