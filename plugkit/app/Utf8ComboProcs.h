#pragma once

#include <windows.h>

namespace plugkit::app
{

/// Makes a combo box of an ANSI dialog take and give UTF-8 texts: its item texts go in and come
/// out as UTF-8 through the ANSI messages, kept in UTF-16 inside, and its edit field (when it has
/// one) shows the selected item's own text rather than the code page's rendering of it. Does
/// nothing to a combo box that has them already. The procedures remove themselves when the
/// window is destroyed.
void InstallUtf8ComboProcs(HWND combo);

/// The combo box's procedure: add, insert and find messages of combo boxes, and add and insert
/// messages of list boxes, with multi-byte UTF-8 text reach the box in UTF-16; the item-text
/// messages answer in UTF-8, their length messages with an upper bound of the UTF-8 bytes (four
/// times the UTF-16 length, plus 32). Everything else goes to the box's own procedure unchanged.
LRESULT CALLBACK Utf8ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/// The edit field's procedure: a text set to the code page's rendering of the combo box's
/// selected item (see Utf8MatchesAnsi) is replaced by the item's own text.
LRESULT CALLBACK Utf8ComboEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace plugkit::app
