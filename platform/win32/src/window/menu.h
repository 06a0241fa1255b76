// Menus: the system menu of each window, which the display shows.
#pragma once

#include "winuser.h"

namespace win32_detail {

// Frees a window's system menu; called as the window leaves the table.
void DestroySystemMenu(HMENU menu);

// Opens the system menu of hwnd's top-level window at a screen position
// (the window's top-left corner when null), if the display shows it.
void OpenSystemMenu(HWND hwnd, const POINT* where);

}  // namespace win32_detail
