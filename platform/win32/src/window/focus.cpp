// Keyboard focus, foreground window and key state.
#include <atomic>

#include "messagequeue.h"
#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

namespace {

// The focus is a thread's: each thread's windows have their own.
thread_local HWND t_focus = nullptr;
std::atomic<HWND> g_foreground{nullptr};
std::atomic<bool> g_key_down[256];

HWND MoveFocus(HWND hwnd, bool tell_display) {
    HWND old = t_focus;
    if (old && !IsWindow(old)) old = nullptr;
    if (hwnd == old) return old;
    t_focus = hwnd;
    if (old) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && t_focus == hwnd) {
        if (tell_display) NotifyDisplay(hwnd, win32_display::kFocus);
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

}  // namespace

HWND SetFocus(HWND hWnd) {
    if (hWnd) {
        DWORD owner = WindowThread(hWnd);
        if (!owner) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (owner != GetCurrentThreadId()) return nullptr;
        if (!IsWindowEnabled(hWnd)) return nullptr;
    }
    return MoveFocus(hWnd, true);
}

HWND GetFocus() {
    if (t_focus && !IsWindow(t_focus)) t_focus = nullptr;
    return t_focus;
}

BOOL SetForegroundWindow(HWND hWnd) {
    if (!IsWindow(hWnd)) return FALSE;
    g_foreground.store(hWnd);
    NotifyDisplay(hWnd, win32_display::kForeground);
    return TRUE;
}

HWND GetForegroundWindow() {
    HWND hwnd = g_foreground.load();
    return IsWindow(hwnd) ? hwnd : nullptr;
}

SHORT GetKeyState(int nVirtKey) {
    if (nVirtKey < 0 || nVirtKey > 255) return 0;
    return g_key_down[nVirtKey].load() ? static_cast<SHORT>(0x8000) : 0;
}

namespace win32_display {

void DisplayFocusChanged(HWND hwnd) { MoveFocus(hwnd, false); }

void DisplayWindowMoved(HWND hwnd, const RECT& client) {
    bool resized = false;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w || w->parent) return;
        resized = client.right - client.left != w->rect.right - w->rect.left ||
                  client.bottom - client.top != w->rect.bottom - w->rect.top;
        w->rect = client;
    }
    if (resized)
        SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(client.right - client.left, client.bottom - client.top));
}

void DisplayKeyState(int virtual_key, bool down) {
    if (virtual_key >= 0 && virtual_key < 256) g_key_down[virtual_key].store(down);
}

}  // namespace win32_display
