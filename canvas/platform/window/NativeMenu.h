#pragma once

// Windows only: an IPopupMenu shown as a native popup menu.

#include "canvas/IPopupMenu.h"

#include <windows.h>

namespace plugkit::canvas::platform
{

/// Builds the native menu of `menu` and, recursively, its submenus. `menu`'s items take the
/// ids nextId .. nextId + items - 1, then its submenus in item order the following ones (as
/// `FindMenuItemById` numbers them). Null when no menu could be made.
HMENU BuildNativeMenu(IPopupMenu& menu, int& nextId);

/// [ui-thread] Shows `menu` at `screenPoint` for `owner` (modal). Returns the menu or submenu
/// of the chosen item with its chosen index set, after running that menu's completion
/// function; null, calling nothing, when the menu was dismissed or could not be made.
IPopupMenu* TrackNativePopupMenu(IPopupMenu& menu, HWND owner, POINT screenPoint);

} // namespace plugkit::canvas::platform
