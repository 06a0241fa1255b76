// The handle table: handle values to kernel objects, and CloseHandle.
//
// Values start above the small integers, step by 4 as Windows handles do,
// and are never reused: 2^62 handles outlast any process.
#include <new>
#include <unordered_map>

#include "internal/kernelobject.h"
#include "winbase.h"

namespace win32_detail {
namespace {

class HandleTable {
public:
    HANDLE Insert(std::shared_ptr<KernelObject> object) {
        std::lock_guard lock(m_mutex);
        uintptr_t value = m_next;
        m_next += 4;
        m_objects.emplace(value, std::move(object));
        return reinterpret_cast<HANDLE>(value);
    }

    std::shared_ptr<KernelObject> Find(HANDLE handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        return it == m_objects.end() ? nullptr : it->second;
    }

    // The object is handed back so that its destructor runs outside the
    // table's lock (a destructor may itself close handles).
    std::shared_ptr<KernelObject> Remove(HANDLE handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_objects.end()) return nullptr;
        std::shared_ptr<KernelObject> object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

private:
    std::mutex m_mutex;
    uintptr_t m_next = 0x1000;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> m_objects;
};

// Never destroyed: threads may still close handles while statics go away.
HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace

HANDLE InsertObject(std::shared_ptr<KernelObject> object) {
    try {
        return Table().Insert(std::move(object));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

std::shared_ptr<KernelObject> ReferenceObject(HANDLE handle) {
    if (handle == nullptr) return nullptr;
    return Table().Find(handle);
}

bool RemoveHandle(HANDLE handle) {
    if (handle == nullptr) return false;
    return Table().Remove(handle) != nullptr;
}

}  // namespace win32_detail

BOOL CloseHandle(HANDLE hObject) {
    // Closing the pseudo-handle of the current thread has no effect.
    if (hObject == win32_detail::CurrentThreadPseudoHandle()) return TRUE;
    if (!win32_detail::RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
