#pragma once
// Texts on their way into dialogs and controls. On the NT family they go in
// as UTF-16 through the Unicode entry points, which show the Russian texts
// whatever the system's code page; on the 95/98 family those entry points
// are stubs that do nothing, so the texts go in through the ANSI ones,
// converted to the system's ANSI code page (as the system's own loader does
// with the dialog resources there).
#include <windows.h>

#include <string>

namespace tk::win32 {

// A dialog resource run modally.
INT_PTR ShowDialog(HINSTANCE instance, int resource, HWND owner, DLGPROC procedure);
// SetDlgItemText with a UTF-8 text.
void SetItemText(HWND dialog, int item, const std::string& utf8);
// A message whose lParam is a text (CB_ADDSTRING, LB_ADDSTRING), with a UTF-8
// text.
LRESULT SendText(HWND control, UINT message, WPARAM wParam, const std::string& utf8);

}  // namespace tk::win32
