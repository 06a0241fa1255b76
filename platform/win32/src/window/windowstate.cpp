// Window attributes: long values and extra bytes, parent, visibility,
// position, enabled state and text.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "messagequeue.h"
#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;
using win32_display::Change;

namespace {

// Screen position of a window's client origin.  Our windows have no frame
// of their own (the display draws it), so a window's rectangle is its
// client area.
POINT ClientOriginLocked(Window* w) {
    POINT p{0, 0};
    while (w) {
        p.x += w->rect.left;
        p.y += w->rect.top;
        w = w->parent ? FindWindowLocked(w->parent) : nullptr;
    }
    return p;
}

bool ClientOrigin(HWND hwnd, POINT* origin) {
    if (!hwnd) {
        *origin = POINT{0, 0};
        return true;
    }
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    if (!w) return false;
    *origin = ClientOriginLocked(w);
    return true;
}

// Extra bytes hold values at any index the class reserved room for; see
// RegisterClassEx for the rounding.  Copies the size bytes at index into
// old_value and, unless new_value is null, replaces them; false (with the
// last error set) for a window that does not exist or an index outside.
bool ExchangeExtraBytes(HWND hwnd, int index, void* old_value, const void* new_value, size_t size) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (index < 0 || static_cast<size_t>(index) + size > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    std::memcpy(old_value, w->extra.data() + index, size);
    if (new_value) std::memcpy(w->extra.data() + index, new_value, size);
    return true;
}

}  // namespace

BOOL IsWindow(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    return FindWindowLocked(hWnd) != nullptr;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    while (w && w->parent) {
        if (w->parent == hWndParent) return TRUE;
        w = FindWindowLocked(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w) return nullptr;
    return w->parent ? w->parent : w->owner;
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    DWORD tid = WindowThread(hWnd);
    if (lpdwProcessId) *lpdwProcessId = tid ? static_cast<DWORD>(getpid()) : 0;
    return tid;
}

int GetDlgCtrlID(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    return w && w->parent ? static_cast<int>(w->id) : 0;
}

LONG_PTR GetWindowLongPtr(HWND hWnd, int nIndex) {
    if (nIndex >= 0) {
        LONG_PTR value = 0;
        ExchangeExtraBytes(hWnd, nIndex, &value, nullptr, sizeof value);
        return value;
    }
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->ex_style);
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
        case GWLP_ID:
            return w->id;
        case GWLP_USERDATA:
            return w->user_data;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR SetWindowLongPtr(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    LONG_PTR old = 0;
    if (nIndex >= 0) {
        ExchangeExtraBytes(hWnd, nIndex, &old, &dwNewLong, sizeof old);
        return old;
    }
    unsigned changes = 0;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        switch (nIndex) {
            case GWL_STYLE:
                old = static_cast<LONG>(w->style);
                w->style = static_cast<DWORD>(dwNewLong);
                changes = win32_display::kStyle;
                break;
            case GWL_EXSTYLE:
                old = static_cast<LONG>(w->ex_style);
                w->ex_style = static_cast<DWORD>(dwNewLong);
                changes = win32_display::kStyle;
                break;
            case GWLP_WNDPROC:
                old = reinterpret_cast<LONG_PTR>(w->proc);
                w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
                break;
            case GWLP_HINSTANCE:
                old = reinterpret_cast<LONG_PTR>(w->instance);
                w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
                break;
            case GWLP_ID:
                old = w->id;
                w->id = dwNewLong;
                break;
            case GWLP_USERDATA:
                old = w->user_data;
                w->user_data = dwNewLong;
                break;
            default:
                SetLastError(ERROR_INVALID_INDEX);
                return 0;
        }
    }
    if (changes) NotifyDisplay(hWnd, changes);
    return old;
}

LONG GetWindowLong(HWND hWnd, int nIndex) {
    if (nIndex >= 0) {
        LONG value = 0;
        ExchangeExtraBytes(hWnd, nIndex, &value, nullptr, sizeof value);
        return value;
    }
    return static_cast<LONG>(GetWindowLongPtr(hWnd, nIndex));
}

LONG SetWindowLong(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (nIndex >= 0) {
        LONG old = 0;
        ExchangeExtraBytes(hWnd, nIndex, &old, &dwNewLong, sizeof old);
        return old;
    }
    return static_cast<LONG>(SetWindowLongPtr(hWnd, nIndex, dwNewLong));
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    bool was_visible, was_minimized;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        was_visible = (w->style & WS_VISIBLE) != 0;
        was_minimized = w->minimized;
    }
    const bool show = nCmdShow != SW_HIDE;
    if (show != was_visible) SendMessage(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    bool minimized = was_minimized;
    if (nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED) minimized = true;
    if (nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWNORMAL) minimized = false;
    unsigned changes = 0;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hWnd);
        if (!w) return was_visible;
        if (show != was_visible) {
            w->style = show ? (w->style | WS_VISIBLE) : (w->style & ~WS_VISIBLE);
            changes |= win32_display::kVisibility;
        }
        if (minimized != was_minimized && !w->parent) {
            w->minimized = minimized;
            w->style = minimized ? (w->style | WS_MINIMIZE) : (w->style & ~WS_MINIMIZE);
            changes |= win32_display::kMinimized;
        }
    }
    if (changes) NotifyDisplay(hWnd, changes);
    if (changes & win32_display::kMinimized) {
        RECT rc;
        GetClientRect(hWnd, &rc);
        SendMessage(hWnd, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                    MAKELPARAM(rc.right, rc.bottom));
    }
    return was_visible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    for (Window* w = FindWindowLocked(hWnd); w;
         w = w->parent ? FindWindowLocked(w->parent) : nullptr)
        if (!(w->style & WS_VISIBLE)) return FALSE;
    return FindWindowLocked(hWnd) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    return w && w->minimized ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    unsigned changes = 0;
    bool resized = false;
    RECT rect;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        rect = w->rect;
        if (!(uFlags & SWP_NOMOVE)) {
            rect.right += X - rect.left;
            rect.bottom += Y - rect.top;
            rect.left = X;
            rect.top = Y;
        }
        if (!(uFlags & SWP_NOSIZE)) {
            resized = cx != rect.right - rect.left || cy != rect.bottom - rect.top;
            rect.right = rect.left + std::max(cx, 0);
            rect.bottom = rect.top + std::max(cy, 0);
        }
        if (std::memcmp(&rect, &w->rect, sizeof rect) != 0) changes |= win32_display::kGeometry;
        w->rect = rect;
        if (!(uFlags & SWP_NOZORDER) && w->parent && hWndInsertAfter == HWND_TOP) {
            if (Window* p = FindWindowLocked(w->parent)) {
                auto& c = p->children;
                c.erase(std::remove(c.begin(), c.end(), hWnd), c.end());
                c.insert(c.begin(), hWnd);
                changes |= win32_display::kZOrder;
            }
        } else if (!(uFlags & SWP_NOZORDER) && hWndInsertAfter == HWND_TOP) {
            changes |= win32_display::kZOrder;
        }
        if ((uFlags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            changes |= win32_display::kVisibility;
        }
        if ((uFlags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
            w->style &= ~WS_VISIBLE;
            changes |= win32_display::kVisibility;
        }
    }
    if (changes) NotifyDisplay(hWnd, changes);
    if (resized)
        SendMessage(hWnd, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w || !lpRect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = ClientOriginLocked(w);
    *lpRect =
        RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w || !lpRect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    POINT o;
    if (!hWnd || !ClientOrigin(hWnd, &o)) return FALSE;
    lpPoint->x -= o.x;
    lpPoint->y -= o.y;
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    POINT o;
    if (!hWnd || !ClientOrigin(hWnd, &o)) return FALSE;
    lpPoint->x += o.x;
    lpPoint->y += o.y;
    return TRUE;
}

int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    POINT from, to;
    if (!ClientOrigin(hWndFrom, &from) || !ClientOrigin(hWndTo, &to)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const LONG dx = from.x - to.x;
    const LONG dy = from.y - to.y;
    for (UINT i = 0; i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    bool was_disabled;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        was_disabled = (w->style & WS_DISABLED) != 0;
        if (was_disabled == !bEnable) return was_disabled ? TRUE : FALSE;
        w->style = bEnable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
    }
    NotifyDisplay(hWnd, win32_display::kEnabled);
    SendMessage(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return was_disabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL SetWindowText(HWND hWnd, LPCSTR lpString) {
    return SendMessage(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : ""))
               ? TRUE
               : FALSE;
}

int GetWindowText(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = '\0';
    return static_cast<int>(SendMessage(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                        reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLength(HWND hWnd) {
    return static_cast<int>(SendMessage(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

namespace win32_detail {

// The text procedures of DefWindowProc and the standard controls.
LRESULT StoreWindowText(HWND hwnd, LPCSTR text) {
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w) return FALSE;
        w->text = text ? text : "";
    }
    NotifyDisplay(hwnd, win32_display::kText);
    return TRUE;
}

LRESULT CopyWindowText(HWND hwnd, WPARAM size, LPSTR buffer) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    if (!w || !buffer || size == 0) return 0;
    size_t n = std::min<size_t>(size - 1, w->text.size());
    std::memcpy(buffer, w->text.data(), n);
    buffer[n] = '\0';
    return static_cast<LRESULT>(n);
}

std::string WindowTextOf(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->text : std::string();
}

}  // namespace win32_detail

int GetClassName(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hWnd);
    if (!w || !lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    size_t n = std::min<size_t>(w->window_class->name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, w->window_class->name.data(), n);
    lpClassName[n] = '\0';
    return static_cast<int>(n);
}

void win32_display::DisplayWindowMinimized(HWND hwnd, bool minimized) {
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w || w->parent || w->minimized == minimized) return;
        w->minimized = minimized;
        w->style = minimized ? (w->style | WS_MINIMIZE) : (w->style & ~WS_MINIMIZE);
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    SendMessage(hwnd, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                MAKELPARAM(rc.right, rc.bottom));
}

std::string win32_display::StoredWindowText(HWND hwnd) { return WindowTextOf(hwnd); }

HICON win32_display::StoredWindowIcon(HWND hwnd, int which) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->icons[which == ICON_BIG ? ICON_BIG : ICON_SMALL] : nullptr;
}
