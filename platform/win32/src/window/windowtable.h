// Windows and window classes.
//
// Every window belongs to the thread that created it; its procedure runs
// only there.  Window state lives here, under one lock that is never held
// while a window procedure or the display runs; a handle is never reused,
// so a stale one stays invalid.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winuser.h"

namespace win32_detail {

class MessageQueue;

struct WindowClass {
    std::string name;  // compared without regard to case
    UINT style = 0;
    WNDPROC proc = nullptr;
    int wnd_extra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON icon_small = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

struct Window {
    HWND hwnd = nullptr;
    DWORD thread_id = 0;
    std::weak_ptr<MessageQueue> queue;
    std::shared_ptr<const WindowClass> window_class;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr;  // child windows
    HWND owner = nullptr;   // owned top-level windows
    LONG_PTR id = 0;
    LONG_PTR user_data = 0;
    HINSTANCE instance = nullptr;
    std::string text;
    RECT rect{};  // children: parent's client coordinates; others: screen
    std::vector<unsigned char> extra;
    std::vector<HWND> children;  // z-order, topmost first
    HICON icons[2] = {nullptr, nullptr};
    HMENU system_menu = nullptr;
    bool destroying = false;
    bool minimized = false;
    bool display_hosted = false;
};

// The lock over every window and class.
std::mutex& WindowLock();

// Window lookup under WindowLock; null when the handle names no window.
Window* FindWindowLocked(HWND hwnd);
// Top-level windows (no parent), in creation order.
std::vector<HWND> TopLevelWindows();
// The top-level window a window is in (itself when it has no parent); null
// when the handle names no window.
HWND TopLevelOf(HWND hwnd);
std::vector<HWND> ThreadWindows(DWORD thread_id);

std::shared_ptr<const WindowClass> FindClassLocked(const std::string& name);

// The owning thread of a window, 0 if none.
DWORD WindowThread(HWND hwnd);
std::shared_ptr<MessageQueue> WindowQueue(HWND hwnd);
WNDPROC WindowProc(HWND hwnd);

// Calls a window procedure on the calling thread, which must own the window.
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Destroys what the ending thread still owns.
void DestroyThreadWindows(DWORD thread_id);

// Table maintenance used by CreateWindowEx / DestroyWindow.
HWND InsertWindowLocked(std::unique_ptr<Window> window);
void EraseWindowLocked(HWND hwnd);
bool RegisterClassLocked(std::shared_ptr<const WindowClass> window_class);

void NotifyDisplay(HWND hwnd, unsigned changes);

// Window text as DefWindowProc keeps it.
LRESULT StoreWindowText(HWND hwnd, LPCSTR text);
LRESULT CopyWindowText(HWND hwnd, WPARAM size, LPSTR buffer);
std::string WindowTextOf(HWND hwnd);

}  // namespace win32_detail
