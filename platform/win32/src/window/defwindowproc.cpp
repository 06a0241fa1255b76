// DefWindowProc: the default answers of every window.
#include "menu.h"
#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

LRESULT DefWindowProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT:
            return StoreWindowText(hWnd, reinterpret_cast<LPCSTR>(lParam));
        case WM_GETTEXT:
            return CopyWindowText(hWnd, wParam, reinterpret_cast<LPSTR>(lParam));
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(WindowTextOf(hWnd).size());
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessage(hWnd, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(hWnd, SW_MINIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(hWnd, SW_RESTORE);
                    break;
                case SC_KEYMENU:
                    if (lParam == ' ') OpenSystemMenu(hWnd, nullptr);
                    break;
            }
            return 0;
        case WM_SYSCHAR:
            // Alt+Space opens the system menu of the top-level window.
            if (wParam == ' ') SendMessage(TopLevelOf(hWnd), WM_SYSCOMMAND, SC_KEYMENU, ' ');
            return 0;
        case WM_CONTEXTMENU: {
            // A right click nobody handled goes up to the top-level window,
            // which opens its system menu there: the window manager draws
            // the caption, so the system menu has no other place.
            if (HWND parent = GetParent(hWnd);
                parent && (GetWindowLongPtr(hWnd, GWL_STYLE) & WS_CHILD))
                return SendMessage(parent, WM_CONTEXTMENU, wParam, lParam);
            POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
            OpenSystemMenu(hWnd, lParam == -1 ? nullptr : &at);
            return 0;
        }
        case WM_SYSKEYDOWN:
            // Alt+F4 closes the top-level window through its system menu.
            if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN))
                SendMessage(TopLevelOf(hWnd), WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_SETICON: {
            if (wParam > ICON_BIG) return 0;
            HICON old;
            {
                std::lock_guard<std::mutex> lock(WindowLock());
                Window* w = FindWindowLocked(hWnd);
                if (!w) return 0;
                old = w->icons[wParam];
                w->icons[wParam] = reinterpret_cast<HICON>(lParam);
            }
            NotifyDisplay(hWnd, win32_display::kIcon);
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_GETICON: {
            std::lock_guard<std::mutex> lock(WindowLock());
            Window* w = FindWindowLocked(hWnd);
            return w ? reinterpret_cast<LRESULT>(
                           w->icons[wParam == ICON_BIG ? ICON_BIG : ICON_SMALL])
                     : 0;
        }
        case WM_QUERYDRAGICON: {
            std::lock_guard<std::mutex> lock(WindowLock());
            Window* w = FindWindowLocked(hWnd);
            return w ? reinterpret_cast<LRESULT>(w->window_class->icon) : 0;
        }
        case WM_ICONERASEBKGND:
            // A minimised window shows as its icon in the task bar, which
            // draws it; there is no background to erase.
            return TRUE;
        case WM_DEVICECHANGE:
            return TRUE;
        case WM_KEYDOWN:
            if (wParam == VK_F1) {
                HELPINFO info{};
                info.cbSize = sizeof info;
                info.iContextType = HELPINFO_WINDOW;
                info.iCtrlId = GetDlgCtrlID(hWnd);
                info.hItemHandle = hWnd;
                SendMessage(hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            }
            return 0;
        case WM_HELP: {
            // Help goes up to the parent of a child window, or to the owner
            // of a top-level one.
            HWND up = GetParent(hWnd);
            return up ? SendMessage(up, WM_HELP, wParam, lParam) : 0;
        }
    }
    return 0;
}

LRESULT CallWindowProc(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}
