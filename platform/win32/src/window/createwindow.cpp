// RegisterClassEx, CreateWindowEx, DestroyWindow.
#include <algorithm>

#include "broadcast.h"
#include "messagequeue.h"
#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

namespace {

constexpr int kDefaultX = 100;
constexpr int kDefaultY = 100;
constexpr int kDefaultWidth = 400;
constexpr int kDefaultHeight = 300;

std::string ClassNameOf(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    return name;
}

void DestroyOne(HWND hwnd);

void DestroyChildren(HWND hwnd) {
    for (;;) {
        HWND child = nullptr;
        {
            std::lock_guard<std::mutex> lock(WindowLock());
            Window* w = FindWindowLocked(hwnd);
            if (!w) return;
            for (HWND c : w->children) {
                Window* cw = FindWindowLocked(c);
                if (cw && !cw->destroying) {
                    child = c;
                    break;
                }
            }
        }
        if (!child) return;
        DestroyOne(child);
    }
}

void DestroyOwned(HWND hwnd) {
    for (;;) {
        HWND owned = nullptr;
        for (HWND top : TopLevelWindows()) {
            std::lock_guard<std::mutex> lock(WindowLock());
            Window* w = FindWindowLocked(top);
            if (w && w->owner == hwnd && w->thread_id == GetCurrentThreadId()) {
                owned = top;
                break;
            }
        }
        if (!owned) return;
        DestroyOne(owned);
    }
}

void DestroyOne(HWND hwnd) {
    bool was_visible;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        if (!w || w->destroying) return;
        w->destroying = true;
        was_visible = (w->style & WS_VISIBLE) != 0;
        w->style &= ~WS_VISIBLE;
    }
    DestroyOwned(hwnd);
    if (was_visible) NotifyDisplay(hwnd, win32_display::kVisibility);
    CallProc(hwnd, WM_DESTROY, 0, 0);
    DestroyChildren(hwnd);
    CallProc(hwnd, WM_NCDESTROY, 0, 0);

    bool hosted;
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        hosted = w->display_hosted;
        queue = w->queue.lock();
    }
    if (hosted) {
        if (auto* display = win32_display::DisplayBackend()) display->WindowDestroyed(hwnd);
    }
    if (queue) {
        queue->KillWindowTimers(hwnd);
        queue->DropPostedFor(hwnd);
    }
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    if (w->parent) {
        if (Window* p = FindWindowLocked(w->parent)) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
        }
    }
    EraseWindowLocked(hwnd);
}

}  // namespace

ATOM RegisterClassEx(const WNDCLASSEX* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEX) || !wc->lpszClassName || !wc->lpfnWndProc ||
        wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = ClassNameOf(wc->lpszClassName);
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    // Extra bytes are rounded up to whole pointer-sized slots: a class that
    // reserves 4 bytes to keep a pointer at index 0, as 32-bit code does,
    // must not lose half of it.
    cls->wnd_extra = static_cast<int>((static_cast<size_t>(wc->cbWndExtra) + sizeof(LONG_PTR) - 1) /
                                      sizeof(LONG_PTR) * sizeof(LONG_PTR));
    cls->instance = wc->hInstance;
    cls->icon = wc->hIcon;
    cls->icon_small = wc->hIconSm;
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    std::lock_guard<std::mutex> lock(WindowLock());
    if (!RegisterClassLocked(std::move(cls))) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    static ATOM next_atom = 0xC000;
    return next_atom++;
}

HWND CreateWindowEx(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                    int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                    HINSTANCE hInstance, LPVOID lpParam) {
    if (!lpClassName) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto queue = CurrentQueue();
    auto* display = win32_display::DisplayBackend();
    const bool child = (dwStyle & WS_CHILD) != 0;
    if (X == CW_USEDEFAULT) X = Y = child ? 0 : kDefaultX;
    if (nWidth == CW_USEDEFAULT) {
        nWidth = child ? 0 : kDefaultWidth;
        nHeight = child ? 0 : kDefaultHeight;
    }
    if (Y == CW_USEDEFAULT) Y = child ? 0 : kDefaultY;

    HWND hwnd;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        auto cls = FindClassLocked(ClassNameOf(lpClassName));
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parent = hWndParent ? FindWindowLocked(hWndParent) : nullptr;
        if ((hWndParent && !parent) || (child && !parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto w = std::make_unique<Window>();
        w->thread_id = queue->thread_id();
        w->queue = queue;
        w->window_class = cls;
        w->proc = cls->proc;
        w->style = dwStyle & ~WS_VISIBLE;
        w->ex_style = dwExStyle;
        if (child) {
            w->parent = hWndParent;
            w->id = reinterpret_cast<LONG_PTR>(hMenu);
        } else if (hWndParent) {
            // The owner of a top-level window is the parent's top-level window.
            Window* top = parent;
            while (top->parent) top = FindWindowLocked(top->parent);
            w->owner = top->hwnd;
        }
        w->instance = hInstance;
        w->text = lpWindowName ? lpWindowName : "";
        w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
        w->extra.assign(static_cast<size_t>(cls->wnd_extra), 0);
        w->icons[ICON_BIG] = cls->icon;
        w->icons[ICON_SMALL] = cls->icon_small;
        w->display_hosted = display && queue->display_thread();
        hwnd = InsertWindowLocked(std::move(w));
        if (child) parent->children.push_back(hwnd);
    }
    if (!child) StartBroadcastListener();
    if (display && queue->display_thread()) display->WindowCreated(hwnd);

    CREATESTRUCT cs{};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.x = X;
    cs.y = Y;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
    if (!CallProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        CallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL DestroyWindow(HWND hWnd) {
    DWORD owner = WindowThread(hWnd);
    if (!owner) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (owner != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DestroyOne(hWnd);
    return TRUE;
}

namespace win32_detail {

void DestroyThreadWindows(DWORD thread_id) {
    for (HWND hwnd : ThreadWindows(thread_id)) {
        bool top;
        {
            std::lock_guard<std::mutex> lock(WindowLock());
            Window* w = FindWindowLocked(hwnd);
            top = w && !w->parent;
        }
        if (top) DestroyOne(hwnd);
    }
}

}  // namespace win32_detail
