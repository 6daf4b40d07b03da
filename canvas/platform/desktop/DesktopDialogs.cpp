#include "canvas/platform/desktop/DesktopBuilders.h"
#include "canvas/platform/desktop/DesktopServices.h"
#include "canvas/platform/desktop/DesktopWinDetail.h"

#include <algorithm>
#include <cstring>

#include <commdlg.h>
#include <shlobj.h>

namespace plugkit::canvas::platform
{

namespace
{

// The colour dialog's custom colours, kept between calls for the life of the process.
COLORREF gCustomColors[16] = {};

BYTE ColorChannel(int32_t value)
{
    return static_cast<BYTE>(std::clamp(value, 0, 255));
}

UINT_PTR CALLBACK ColorDialogHook(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG && lParam)
    {
        const auto* chooser = reinterpret_cast<const CHOOSECOLORW*>(lParam);
        const auto* prompt = reinterpret_cast<const wchar_t*>(chooser->lCustData);
        if (prompt)
        {
            SetWindowTextW(dialog, prompt);
            static const UINT setRgb = RegisterWindowMessageW(L"commdlg_SetRGBColor");
            SendMessageW(dialog, setRgb, 0, static_cast<LPARAM>(chooser->rgbResult));
        }
    }
    return 0;
}

} // namespace

void PromptForFile(HWND window,
                   HeapString& fileName,
                   HeapString& path,
                   EFileAction action,
                   const char* extensions,
                   IFileDialogCompletionHandlerFunc completion)
{
    if (!window)
    {
        fileName.Set("");
        return;
    }

    // A name that does not fit starts empty.
    wchar_t file[MAX_PATH] = {};
    const detail::WideText initialName(fileName.Get());
    const size_t nameLength = wcslen(initialName.Get());
    if (nameLength < MAX_PATH)
        std::memcpy(file, initialName.Get(), nameLength * sizeof(wchar_t));
    const detail::WideText initialDir(path.Get());

    char16_t filter[kFileFilterUnits];
    char16_t defaultExtension[kDefaultExtensionUnits];
    const detail::WideText wideExtensions(extensions ? extensions : "");
    const bool hasFilter = BuildFileFilter(
        reinterpret_cast<const char16_t*>(wideExtensions.Get()), filter, defaultExtension);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = window;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initialDir.IsEmpty() ? nullptr : initialDir.Get();
    ofn.lpstrFilter = hasFilter ? reinterpret_cast<const wchar_t*>(filter) : nullptr;
    ofn.lpstrDefExt =
        defaultExtension[0] ? reinterpret_cast<const wchar_t*>(defaultExtension) : nullptr;

    BOOL chosen;
    if (action == EFileAction::Save)
    {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
        chosen = GetSaveFileNameW(&ofn);
    }
    else
    {
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        chosen = GetOpenFileNameW(&ofn);
    }

    if (chosen)
    {
        WideToUtf8(file, fileName);
        ParentFolderOf(fileName.Get(), path);
    }
    else
    {
        fileName.Set("");
    }
    if (completion)
        completion(fileName, path);
}

void PromptForDirectory(HWND window,
                        HeapString& dir,
                        IFileDialogCompletionHandlerFunc completion,
                        const OleCalls& ole)
{
    dir.Set("");
    if (!window)
        return;

    // The new dialog style needs OLE on this thread.
    detail::OleScope oleScope(ole);
    BROWSEINFOW info = {};
    info.hwndOwner = window;
    info.lpszTitle = L"Choose a Directory";
    info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info))
    {
        wchar_t folder[MAX_PATH] = {};
        if (SHGetPathFromIDListW(chosen, folder))
        {
            HeapString chosenFolder;
            WideToUtf8(folder, chosenFolder);
            SetFolderWithSeparator(dir, chosenFolder.Get());
        }
        CoTaskMemFree(chosen);
    }
    if (completion)
        completion(HeapString(), dir);
}

bool PromptForColor(HWND window,
                    IArgbColor& color,
                    const char* prompt,
                    IColorPickerHandlerFunc completion)
{
    if (!window)
        return false;

    const detail::WideText widePrompt(prompt);
    CHOOSECOLORW chooser = {};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = window;
    chooser.rgbResult = RGB(ColorChannel(color.R), ColorChannel(color.G), ColorChannel(color.B));
    chooser.lpCustColors = gCustomColors;
    chooser.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
    chooser.lCustData = widePrompt.IsEmpty() ? 0 : reinterpret_cast<LPARAM>(widePrompt.Get());
    chooser.lpfnHook = ColorDialogHook;
    if (!ChooseColorW(&chooser))
        return false;

    color.R = GetRValue(chooser.rgbResult);
    color.G = GetGValue(chooser.rgbResult);
    color.B = GetBValue(chooser.rgbResult);
    if (completion)
        completion(color);
    return true;
}

} // namespace plugkit::canvas::platform
