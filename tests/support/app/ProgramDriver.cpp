#include "tests/support/app/ProgramDriver.h"

#include "plugkit/app/Utf8Text.h"
#include "tests/support/app/DialogWatcher.h"

#include <chrono>
#include <thread>

namespace lumenfall::test
{

namespace
{

constexpr int kPollMs = 20;

std::wstring Wide(const std::string& utf8)
{
    plugkit::app::WideText wide;
    wide.Assign(utf8.c_str());
    return wide.Get();
}

bool IsDialogWindow(HWND window)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

struct DialogSearch
{
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM search)
{
    auto& s = *reinterpret_cast<DialogSearch*>(search);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == s.process && IsWindowVisible(window) && IsDialogWindow(window))
        s.found.push_back(window);
    return TRUE;
}

BOOL CALLBACK JoinStaticText(HWND child, LPARAM text)
{
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (std::wstring(name) == L"Static")
    {
        auto& joined = *reinterpret_cast<std::string*>(text);
        const std::string part = WindowTextUtf8(child);
        if (!part.empty())
            joined += joined.empty() ? part : " " + part;
    }
    return TRUE;
}

template <typename Found>
auto Poll(int timeoutMs, Found found) -> decltype(found())
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        if (auto result = found())
            return result;
        if (std::chrono::steady_clock::now() > deadline)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

} // namespace

ProgramDriver::~ProgramDriver()
{
    if (!mInfo.hProcess)
        return;
    if (WaitForSingleObject(mInfo.hProcess, 0) == WAIT_TIMEOUT)
    {
        // Closed as a user would close it; only a program that does not end is terminated.
        for (HWND dialog : DialogsOf(mInfo.dwProcessId))
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(mInfo.hProcess, 10000) == WAIT_TIMEOUT)
            TerminateProcess(mInfo.hProcess, 99);
    }
    CloseHandle(mInfo.hThread);
    CloseHandle(mInfo.hProcess);
}

bool ProgramDriver::Start(const std::string& arguments, const std::vector<std::string>& environment)
{
    std::wstring commandLine = L"\"" + ProgramPath() + L"\" " + Wide(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // This process's variables, those given replacing theirs: NUL-separated, ending in two NULs.
    std::vector<std::wstring> variables;
    for (const std::string& variable : environment)
        variables.push_back(Wide(variable));
    std::wstring block;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* v = own; *v; v += wcslen(v) + 1)
    {
        const std::wstring text = v;
        const std::wstring name = text.substr(0, text.find(L'=', 1) + 1);
        bool replaced = false;
        for (const std::wstring& given : variables)
            replaced = replaced || _wcsnicmp(given.c_str(), name.c_str(), name.size()) == 0;
        if (!replaced)
            block += text + L'\0';
    }
    FreeEnvironmentStringsW(own);
    for (const std::wstring& given : variables)
        block += given + L'\0';
    block += L'\0';
    return CreateProcessW(nullptr,
                          commandLine.data(),
                          nullptr,
                          nullptr,
                          FALSE,
                          CREATE_UNICODE_ENVIRONMENT,
                          block.data(),
                          nullptr,
                          &startup,
                          &mInfo) != FALSE;
}

HWND ProgramDriver::StartWindow(const std::string& arguments,
                                const std::vector<std::string>& environment)
{
    return Start(arguments, environment) ? WaitForMainWindow() : nullptr;
}

HWND ProgramDriver::WaitForMainWindow(int timeoutMs)
{
    return Poll(timeoutMs,
                [this]() -> HWND
                {
                    for (HWND dialog : DialogsOf(mInfo.dwProcessId))
                        if (WindowTextUtf8(dialog) == "LUMENFALL" && GetMenu(dialog))
                            return dialog;
                    return nullptr;
                });
}

HWND ProgramDriver::WaitForDialog(const std::string& title, int timeoutMs)
{
    return Poll(timeoutMs,
                [&]() -> HWND
                {
                    for (HWND dialog : DialogsOf(mInfo.dwProcessId))
                        if (WindowTextUtf8(dialog) == title && !GetMenu(dialog))
                            return dialog;
                    return nullptr;
                });
}

int ProgramDriver::WaitForExit(int timeoutMs)
{
    if (WaitForSingleObject(mInfo.hProcess, DWORD(timeoutMs)) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(mInfo.hProcess, &code);
    return int(code);
}

std::wstring ProgramPath()
{
    // The build gives a Unix path; Wine reaches it through drive Z:.
    std::wstring path = L"Z:" + Wide(LUMENFALL_PROGRAM_PATH);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

std::vector<HWND> DialogsOf(DWORD process)
{
    DialogSearch search{process, {}};
    EnumWindows(&CollectDialogs, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string DialogText(HWND dialog)
{
    std::string text;
    EnumChildWindows(dialog, &JoinStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

void ChooseItem(HWND dialog, int id, int index)
{
    HWND combo = GetDlgItem(dialog, id);
    SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(combo));
}

void PressChord(const std::vector<WORD>& virtualKeys)
{
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = virtualKeys.rbegin(); key != virtualKeys.rend(); ++key)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool MakeFolder(const std::string& path)
{
    CreateDirectoryW(Wide(path).c_str(), nullptr);
    return FileExists(path);
}

void RemovePath(const std::string& path)
{
    if (!DeleteFileW(Wide(path).c_str()))
        RemoveDirectoryW(Wide(path).c_str());
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    char utf8[4 * MAX_PATH];
    plugkit::app::WideToUtf8Truncated(folder, utf8, sizeof(utf8));
    return utf8;
}

} // namespace lumenfall::test
