// The in-process class table and CoCreateInstance over it.
#include <objbase.h>

#include <mutex>
#include <vector>

#include "apartment.h"
#include "com/comclasstable.h"

namespace {

struct ClassEntry {
    CLSID clsid;
    LPFNCREATEINSTANCE pfnCreate;
};

struct ClassTable {
    std::mutex mutex;
    std::vector<ClassEntry> entries;
};

// Built on first use so that registrations from static initialisers in any
// order find it, and never destroyed so that lookups during static
// destruction still work.
ClassTable& Table() {
    static ClassTable* table = new ClassTable;
    return *table;
}

LPFNCREATEINSTANCE FindClass(REFCLSID rclsid) {
    ClassTable& t = Table();
    std::lock_guard lock(t.mutex);
    for (const ClassEntry& e : t.entries)
        if (IsEqualGUID(e.clsid, rclsid)) return e.pfnCreate;
    return nullptr;
}

}  // namespace

void ComRegisterClass(REFCLSID rclsid, LPFNCREATEINSTANCE pfnCreate) {
    ClassTable& t = Table();
    std::lock_guard lock(t.mutex);
    for (ClassEntry& e : t.entries) {
        if (IsEqualGUID(e.clsid, rclsid)) {
            e.pfnCreate = pfnCreate;
            return;
        }
    }
    t.entries.push_back({rclsid, pfnCreate});
}

void ComUnregisterClass(REFCLSID rclsid) {
    ClassTable& t = Table();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.entries, [&](const ClassEntry& e) { return IsEqualGUID(e.clsid, rclsid); });
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!ComThreadInitialized()) return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    // The creation function runs outside the lock: it may create objects
    // of other classes itself.
    LPFNCREATEINSTANCE pfnCreate = FindClass(rclsid);
    if (!pfnCreate) return REGDB_E_CLASSNOTREG;
    HRESULT hr = pfnCreate(pUnkOuter, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}
