#include "afxstate.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include "afxwnd.h"

namespace afx_detail {

ThreadState& State() {
    thread_local ThreadState state{};
    return state;
}

namespace {

struct Temporaries {
    Temporaries() = default;
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;
    ~Temporaries() {
        // Temporary objects never own their windows.
        for (auto& [hWnd, pWnd] : objects) pWnd->m_hWnd = nullptr;
    }
    std::unordered_map<HWND, std::unique_ptr<CWnd>> objects;
};

std::mutex g_map_mutex;
// Never destroyed: windows may still be looked up while the process exits.
std::unordered_map<HWND, CWnd*>& Map() {
    static auto* map = new std::unordered_map<HWND, CWnd*>;
    return *map;
}

}  // namespace

CWnd* TemporaryFor(HWND hWnd) {
    thread_local Temporaries temporaries;
    auto& slot = temporaries.objects[hWnd];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hWnd;
    }
    return slot.get();
}

bool MapAdd(HWND hWnd, CWnd* pWnd) {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    return Map().emplace(hWnd, pWnd).second;
}

void MapRemove(HWND hWnd, CWnd* pWnd) {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    auto it = Map().find(hWnd);
    if (it != Map().end() && it->second == pWnd) Map().erase(it);
}

CWnd* MapFind(HWND hWnd) {
    std::lock_guard<std::mutex> lock(g_map_mutex);
    auto it = Map().find(hWnd);
    return it == Map().end() ? nullptr : it->second;
}

}  // namespace afx_detail
