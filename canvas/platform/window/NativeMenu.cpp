#include "canvas/platform/window/NativeMenu.h"

#include "canvas/platform/window/WindowLogic.h"
#include "plugkit/HeapBuffer.h"

namespace plugkit::canvas::platform
{
namespace
{

/// Native command ids start here: a command id of 0 reads as "nothing chosen" to some menu
/// code paths, and the first item must be choosable.
constexpr int kIdBase = 1;

} // namespace

HMENU BuildNativeMenu(IPopupMenu& menu, int& nextId)
{
    HMENU handle = CreatePopupMenu();
    if (handle == nullptr)
        return nullptr;
    const int base = nextId;
    const int nItems = menu.NItems();
    nextId += nItems;
    for (int i = 0; i < nItems; ++i)
    {
        const IPopupMenu::Item& item = *menu.GetItem(i);
        if (item.GetIsSeparator())
        {
            AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        HeapBuffer wide;
        const wchar_t* text =
            Utf8ToWideBuffer(NativeMenuItemText(item.GetText(), i, menu.GetPrefix()).c_str(), wide);
        UINT flags = MF_STRING;
        if (NativeMenuColumnBreak(nItems, menu.GetItemsPerColumn(), i))
            flags |= MF_MENUBARBREAK;
        if (item.GetFlags() & IPopupMenu::kGreyed)
            flags |= MF_GRAYED;
        if (item.GetFlags() & IPopupMenu::kNotSelectable)
            flags |= MF_DISABLED;
        if (item.GetFlags() & IPopupMenu::kChecked)
            flags |= MF_CHECKED;
        if (IPopupMenu* submenu = item.GetSubmenu())
        {
            if (HMENU sub = BuildNativeMenu(*submenu, nextId))
                AppendMenuW(handle, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text);
        }
        else
        {
            AppendMenuW(handle, flags, static_cast<UINT_PTR>(base + i + kIdBase), text);
        }
    }
    return handle;
}

IPopupMenu* TrackNativePopupMenu(IPopupMenu& menu, HWND owner, POINT screenPoint)
{
    int nextId = 0;
    HMENU handle = BuildNativeMenu(menu, nextId);
    if (handle == nullptr)
        return nullptr;

    IPopupMenu* chosen = nullptr;
    if (TrackPopupMenu(handle, TPM_LEFTBUTTON, screenPoint.x, screenPoint.y, 0, owner, nullptr))
    {
        // The choice arrives as a posted command; a dismissed menu leaves none.
        MSG msg;
        if (PeekMessageW(&msg, owner, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0)
        {
            int index = -1;
            int offset = 0;
            chosen = FindMenuItemById(LOWORD(msg.wParam) - kIdBase, index, offset, menu);
            if (chosen != nullptr)
            {
                chosen->SetChosenItemIdx(index);
                chosen->ExecFunction();
            }
        }
    }
    DestroyMenu(handle);
    return chosen;
}

} // namespace plugkit::canvas::platform
