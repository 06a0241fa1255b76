#include "windowtable.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <unordered_map>

#include "menu.h"
#include "messagequeue.h"
#include "win32/display.h"

namespace win32_detail {

namespace {

struct Caseless {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

struct Tables {
    std::mutex mutex;
    std::map<HWND, std::unique_ptr<Window>> windows;
    std::map<std::string, std::shared_ptr<const WindowClass>, Caseless> classes;
    uintptr_t next_handle = 0x10010;
};

Tables& T() {
    static Tables* tables = new Tables;  // outlives every thread
    return *tables;
}

}  // namespace

std::mutex& WindowLock() { return T().mutex; }

Window* FindWindowLocked(HWND hwnd) {
    auto it = T().windows.find(hwnd);
    return it == T().windows.end() ? nullptr : it->second.get();
}

std::vector<HWND> TopLevelWindows() {
    std::lock_guard<std::mutex> lock(WindowLock());
    std::vector<HWND> result;
    for (auto& [hwnd, w] : T().windows)
        if (!w->parent && !w->destroying) result.push_back(hwnd);
    return result;
}

HWND TopLevelOf(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    while (w && w->parent) w = FindWindowLocked(w->parent);
    return w ? w->hwnd : nullptr;
}

std::vector<HWND> ThreadWindows(DWORD thread_id) {
    std::lock_guard<std::mutex> lock(WindowLock());
    std::vector<HWND> result;
    for (auto& [hwnd, w] : T().windows)
        if (w->thread_id == thread_id) result.push_back(hwnd);
    return result;
}

std::shared_ptr<const WindowClass> FindClassLocked(const std::string& name) {
    auto it = T().classes.find(name);
    return it == T().classes.end() ? nullptr : it->second;
}

bool RegisterClassLocked(std::shared_ptr<const WindowClass> window_class) {
    return T().classes.emplace(window_class->name, window_class).second;
}

HWND InsertWindowLocked(std::unique_ptr<Window> window) {
    HWND hwnd = reinterpret_cast<HWND>(T().next_handle);
    T().next_handle += 4;
    window->hwnd = hwnd;
    T().windows.emplace(hwnd, std::move(window));
    return hwnd;
}

void EraseWindowLocked(HWND hwnd) {
    auto it = T().windows.find(hwnd);
    if (it == T().windows.end()) return;
    if (it->second->system_menu) DestroySystemMenu(it->second->system_menu);
    T().windows.erase(it);
}

DWORD WindowThread(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->thread_id : 0;
}

std::shared_ptr<MessageQueue> WindowQueue(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->queue.lock() : nullptr;
}

WNDPROC WindowProc(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->proc : nullptr;
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = WindowProc(hwnd);
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

void NotifyDisplay(HWND hwnd, unsigned changes) {
    bool hosted;
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::mutex> lock(WindowLock());
        Window* w = FindWindowLocked(hwnd);
        hosted = w && w->display_hosted;
        if (hosted) queue = w->queue.lock();
    }
    auto* display = win32_display::DisplayBackend();
    if (!hosted || !display) return;
    if (display->IsDisplayThread()) {
        display->WindowChanged(hwnd, changes);
        return;
    }
    // Changed from another thread (a worker enabling a control): the
    // display thread shows it when it next looks at its queue.
    if (queue) {
        auto sent = std::make_shared<SentMessage>();
        sent->hwnd = hwnd;
        sent->display_changes = changes;
        queue->PushSent(std::move(sent));
    }
}

}  // namespace win32_detail
