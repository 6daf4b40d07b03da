#include "canvas/platform/desktop/DesktopBuilders.h"
#include "canvas/platform/desktop/DesktopServices.h"
#include "canvas/platform/desktop/DesktopWinDetail.h"

#include <shellapi.h>
#include <wininet.h>

namespace plugkit::canvas::platform
{

namespace
{

struct OwnerSearch
{
    const wchar_t* className;
    DWORD processId = 0;
    HWND found = nullptr;
};

BOOL CALLBACK MatchOwnerWindow(HWND window, LPARAM lParam)
{
    auto& search = *reinterpret_cast<OwnerSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId)
        return TRUE;
    wchar_t name[128];
    if (GetClassNameW(window, name, 128) <= 0 || lstrcmpiW(name, search.className) != 0)
        return TRUE;
    search.found = window;
    return FALSE;
}

} // namespace

const ShellCalls& SystemShellCalls()
{
    static const ShellCalls calls{
        []
        {
            DWORD flags = 0;
            return InternetGetConnectedState(&flags, 0) != FALSE;
        },
        [](HWND owner, const wchar_t* file, const wchar_t* parameters, const wchar_t* directory)
        {
            return reinterpret_cast<INT_PTR>(
                ShellExecuteW(owner, L"open", file, parameters, directory, SW_SHOWNORMAL));
        },
        [](HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
        { return MessageBoxW(owner, text, caption, type); }};
    return calls;
}

void ShowCursorShape(ECursorShape shape)
{
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(SystemCursorId(shape))));
}

bool OpenURL(HWND window,
             const char* url,
             const char* windowTitle,
             const char* confirmMessage,
             const char* errorMessage,
             const ShellCalls& shell)
{
    if (!IsOpenableUrl(url))
        return false;
    const detail::WideText title(windowTitle);
    if (confirmMessage &&
        shell.messageBox(window, detail::WideText(confirmMessage).Get(), title.Get(), MB_YESNO) !=
            IDYES)
        return false;

    if (!IsWebUrl(url) || shell.isConnected())
    {
        if (shell.shellOpen(window, detail::WideText(url).Get(), nullptr, nullptr) > 32)
            return true;
    }
    if (errorMessage)
        shell.messageBox(window, detail::WideText(errorMessage).Get(), title.Get(), MB_OK);
    return false;
}

bool RevealPath(const char* path, bool select, const ShellCalls& shell)
{
    HeapString arguments;
    if (!BuildRevealArguments(path, select, arguments))
        return false;
    const detail::WideText wideArguments(arguments.Get());

    // Room for the folder, a separator and the terminator.
    wchar_t systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemFolder, MAX_PATH - 1);
    if (length < 1 || length > MAX_PATH - 2)
        return false;
    systemFolder[length] = L'\\';
    systemFolder[length + 1] = 0;
    return shell.shellOpen(nullptr, L"explorer.exe", wideArguments.Get(), systemFolder) > 32;
}

HWND FindMessageBoxOwner(MessageBoxOwner& owner, HWND parent)
{
    if (owner.window && IsWindow(owner.window))
        return owner.window;
    owner.window = nullptr;

    if (parent)
    {
        HWND top = parent;
        for (HWND up = GetParent(top); up; up = GetParent(up))
            top = up;
        wchar_t name[128];
        if (GetClassNameW(top, name, 128) > 0)
            WideToUtf8(name, owner.hostClassName);
        owner.window = top;
    }
    else if (!owner.hostClassName.IsEmpty())
    {
        const detail::WideText className(owner.hostClassName.Get());
        OwnerSearch search;
        search.className = className.Get();
        search.processId = GetCurrentProcessId();
        EnumWindows(MatchOwnerWindow, reinterpret_cast<LPARAM>(&search));
        owner.window = search.found;
    }
    return owner.window;
}

int ShowMessageBox(MessageBoxOwner& owner,
                   HWND parent,
                   const char* text,
                   const char* caption,
                   int type,
                   IMsgBoxCompletionHandlerFunc completion)
{
    HWND ownerWindow = FindMessageBoxOwner(owner, parent);
    const detail::WideText wideText(text);
    const detail::WideText wideCaption(caption);
    const int result =
        MessageBoxW(ownerWindow, wideText.Get(), wideCaption.Get(), static_cast<UINT>(type));
    if (completion)
        completion(result);
    return result;
}

} // namespace plugkit::canvas::platform
