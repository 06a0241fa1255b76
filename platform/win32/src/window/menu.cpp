// Menus.  The program only reaches the system menu (GetSystemMenu,
// AppendMenu); each window's menu lives here, and the display shows it
// when the user opens it (see OpenSystemMenu).
#include "menu.h"

#include <map>
#include <memory>
#include <mutex>

#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

namespace {

struct Menu {
    std::vector<win32_display::MenuItem> items;
};

// The lock of the menu table; taken after WindowLock, never before it.
struct Menus {
    std::mutex mutex;
    std::map<HMENU, Menu> menus;
    uintptr_t next_handle = 0x20010;
};

Menus& M() {
    static auto* menus = new Menus;
    return *menus;
}

// The items every system menu starts with.  Moving, sizing and the
// window state are the window manager's; Close is the program's.
std::vector<win32_display::MenuItem> StandardItems() {
    return {{MF_STRING, SC_CLOSE, "&Close\tAlt+F4"}};
}

}  // namespace

HMENU GetSystemMenu(HWND hWnd, BOOL bRevert) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::lock_guard<std::mutex> menu_lock(M().mutex);
    if (bRevert) {
        // Back to the standard menu.
        if (w->system_menu) M().menus.erase(w->system_menu);
        w->system_menu = nullptr;
        return nullptr;
    }
    if (!w->system_menu) {
        w->system_menu = reinterpret_cast<HMENU>(M().next_handle);
        M().next_handle += 0x10;
        M().menus[w->system_menu].items = StandardItems();
    }
    return w->system_menu;
}

BOOL AppendMenu(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    if (uFlags & ~static_cast<UINT>(MF_SEPARATOR)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(M().mutex);
    auto it = M().menus.find(hMenu);
    if (it == M().menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (uFlags & MF_SEPARATOR)
        it->second.items.push_back({MF_SEPARATOR, 0, ""});
    else
        it->second.items.push_back({MF_STRING, uIDNewItem, lpNewItem ? lpNewItem : ""});
    return TRUE;
}

std::vector<win32_display::MenuItem> win32_display::SystemMenuItems(HWND hwnd) {
    HMENU menu = nullptr;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w) return {};
        menu = w->system_menu;
    }
    std::lock_guard<std::mutex> lock(M().mutex);
    auto it = M().menus.find(menu);
    return it == M().menus.end() ? StandardItems() : it->second.items;
}

namespace win32_detail {

void DestroySystemMenu(HMENU menu) {
    std::lock_guard<std::mutex> lock(M().mutex);
    M().menus.erase(menu);
}

void OpenSystemMenu(HWND hwnd, const POINT* where) {
    HWND top = TopLevelOf(hwnd);
    if (!top || !(GetWindowLongPtr(top, GWL_STYLE) & WS_SYSMENU)) return;
    auto* display = win32_display::DisplayBackend();
    if (!display || !display->IsDisplayThread() || WindowThread(top) != GetCurrentThreadId())
        return;
    POINT at{0, 0};
    if (where)
        at = *where;
    else
        ClientToScreen(top, &at);
    display->TrackSystemMenu(top, at);
}

}  // namespace win32_detail
