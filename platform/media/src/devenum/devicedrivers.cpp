// Registry of device drivers by category.
#include "media/devicedrivers.h"

#include <algorithm>
#include <mutex>

#include "devicedriverlist.h"

namespace {

struct Driver {
    CLSID category;
    LPFNLISTDEVICES list;
};

struct Drivers {
    std::mutex lock;
    std::vector<Driver> entries;
};

Drivers& TheDrivers() {
    static Drivers drivers;
    return drivers;
}

}  // namespace

void MediaRegisterDeviceDriver(REFCLSID category, LPFNLISTDEVICES pfnList) {
    Drivers& d = TheDrivers();
    std::lock_guard<std::mutex> lock(d.lock);
    for (auto& e : d.entries)
        if (e.category == category && e.list == pfnList) return;
    d.entries.push_back({category, pfnList});
}

void MediaUnregisterDeviceDriver(REFCLSID category, LPFNLISTDEVICES pfnList) {
    Drivers& d = TheDrivers();
    std::lock_guard<std::mutex> lock(d.lock);
    std::erase_if(d.entries,
                  [&](const Driver& e) { return e.category == category && e.list == pfnList; });
}

std::vector<ComPtr<IMoniker>> ListDevices(REFCLSID category) {
    std::vector<LPFNLISTDEVICES> lists;
    {
        Drivers& d = TheDrivers();
        std::lock_guard<std::mutex> lock(d.lock);
        for (auto& e : d.entries)
            if (e.category == category) lists.push_back(e.list);
    }
    // Drivers are asked outside the lock: they may take their own.
    std::vector<ComPtr<IMoniker>> monikers;
    for (LPFNLISTDEVICES list : lists) list(&monikers);
    std::erase_if(monikers, [](const ComPtr<IMoniker>& m) { return !m; });
    return monikers;
}
