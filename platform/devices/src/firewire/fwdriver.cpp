// The IEEE-1394 DV driver: scanning the ports, the device list of the
// video input category, and the thread that follows bus resets.
#include "fwdriver.h"

#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "avc.h"
#include "com/commoniker.h"
#include "dvcapturefilter.h"
#include "fwdevice.h"
#include "fwpin.h"
#include "fwtrace.h"
#include "media/devicedrivers.h"

namespace dvfw {

namespace {

using Clock = std::chrono::steady_clock;

// Unit specifier ID of units that speak AV/C, and the bit of their software
// version that says so (IIDC cameras share the ID).
constexpr uint32_t kAvcUnitSpecId = 0x00A02D;
constexpr uint32_t kAvcSwVersionBit = 0x010000;
// How long the reset watcher waits on each port in one round.
constexpr int kWatchMs = 100;
// After a bus reset, nodes may not answer for a while (the kernel refreshes
// a node that caused the reset, or a new one, after about 500 ms).  A scan
// that could not read every node is repeated this often, until every node
// was read or the bus has been quiet for kSettle; only then is a unit that
// was not found taken to be gone.
constexpr std::chrono::milliseconds kRescanPause{250};
constexpr std::chrono::milliseconds kSettle{3000};

bool IsAvcUnit(const ConfigRom& rom) {
    return rom.unitSpecId == kAvcUnitSpecId && (rom.unitSwVersion & kAvcSwVersionBit);
}

struct Unit {
    int node;
    ConfigRom rom;
};

// What one scan of a port found: the tape units it could see, and whether
// it could read every node.
struct Scan {
    std::vector<Unit> units;
    bool complete = true;
};

class Driver {
public:
    ~Driver() { SetBus(nullptr); }

    HRESULT List(std::vector<ComPtr<IMoniker>>* monikers);
    void SetBus(std::shared_ptr<Bus> bus);

private:
    struct Port {
        std::shared_ptr<BusPort> handle;
        bool scanned = false;
        unsigned generation = 0;     // of the last scan
        bool settled = true;         // the last scan was conclusive
        Clock::time_point reset;     // when the last reset was seen
        Clock::time_point nextScan;  // of an inconclusive one, again
    };

    // Scans a port unless its bus is unchanged since the last conclusive
    // scan; brings the devices up to date.  True when a new unit appeared.
    bool ScanPort(int index);
    Scan FindUnits(int index, BusPort& port);
    bool Known(int index, uint64_t guid) const;
    void StartWatcher();
    void StopWatcher();
    void Watch();

    std::mutex m_scanLock;  // one scan at a time; guards everything below
    std::shared_ptr<Bus> m_bus;
    std::vector<Port> m_ports;
    std::vector<std::shared_ptr<FwDevice>> m_devices;

    std::mutex m_watcherLock;
    std::thread m_watcher;
    std::atomic<bool> m_stop{false};
};

Driver& TheDriver() {
    static Driver driver;
    return driver;
}

bool Driver::Known(int index, uint64_t guid) const {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [&](const auto& d) { return d->PortIndex() == index && d->Guid() == guid; });
}

Scan Driver::FindUnits(int index, BusPort& port) {
    Scan scan;
    const int count = port.NodeCount();
    const int local = port.LocalNode();
    for (int node = 0; node < count; ++node) {
        if (node == local) continue;
        ConfigRom rom;
        if (!port.ReadConfigRom(node, &rom)) {
            trace::Line("scan port %d: node %d unreadable", index, node);
            scan.complete = false;
            continue;
        }
        // A unit already known is a tape unit: it is not asked again.
        if (Known(index, rom.guid)) {
            scan.units.push_back({node, rom});
            continue;
        }
        if (!IsAvcUnit(rom)) continue;  // no AV/C to units that do not speak it
        std::vector<uint8_t> response;
        if (port.Avc(node, avc::SubunitInfoCommand(), &response) != AvcStatus::Answered) {
            trace::Line("scan port %d: node %d does not answer SUBUNIT INFO", index, node);
            scan.complete = false;
            continue;
        }
        if (avc::HasTapeSubunit(response)) scan.units.push_back({node, rom});
    }
    return scan;
}

bool Driver::ScanPort(int index) {
    if (index >= static_cast<int>(m_ports.size())) m_ports.resize(index + 1);
    Port& port = m_ports[index];
    if (!port.handle) port.handle = m_bus->OpenPort(index);
    if (!port.handle) return false;
    const unsigned generation = port.handle->Generation();
    if (port.scanned && port.settled && generation == port.generation) return false;
    if (!port.scanned || generation != port.generation) {
        port.reset = Clock::now();
    } else {
        // Looking again after an inconclusive scan: nodes whose device
        // files came up since are reached through a fresh handle.
        port.handle->Refresh();
    }
    Scan scan = FindUnits(index, *port.handle);
    // A reset during the scan: the next one looks again.
    const bool sameBus = port.handle->Generation() == generation;
    port.scanned = true;
    port.generation = generation;
    const bool quiet = Clock::now() - port.reset >= kSettle;
    port.settled = sameBus && (scan.complete || quiet);
    port.nextScan = Clock::now() + kRescanPause;
    trace::Line("scan port %d generation %u: %zu tape units%s", index, generation,
                scan.units.size(), port.settled ? "" : ", not settled");

    bool appeared = false;
    std::vector<std::shared_ptr<FwDevice>> gone;
    for (const auto& d : m_devices) {
        if (d->PortIndex() != index) continue;
        auto it = std::find_if(scan.units.begin(), scan.units.end(),
                               [&](const Unit& u) { return u.rom.guid == d->Guid(); });
        if (it != scan.units.end()) {
            d->Found(it->node, generation);  // a unit that comes back announces itself
            scan.units.erase(it);
        } else if (port.settled) {
            gone.push_back(d);  // only a conclusive scan says a unit is gone
        }
    }
    for (const Unit& u : scan.units) {
        m_devices.push_back(
            std::make_shared<FwDevice>(port.handle, index, u.node, generation, u.rom));
        appeared = true;
    }
    for (const auto& d : gone) {
        trace::Line("scan port %d: unit %016llx gone", index,
                    static_cast<unsigned long long>(d->Guid()));
        d->Unplug();
    }
    return appeared;
}

HRESULT Driver::List(std::vector<ComPtr<IMoniker>>* monikers) {
    if (!monikers) return E_POINTER;
    std::vector<std::shared_ptr<FwDevice>> present;
    {
        std::lock_guard<std::mutex> lock(m_scanLock);
        if (!m_bus) m_bus = CreateSystemBus();
        const int ports = m_bus ? m_bus->PortCount() : 0;
        for (int i = 0; i < ports; ++i) ScanPort(i);
        for (const auto& d : m_devices)
            if (d->Plugged()) present.push_back(d);
        if (ports > 0) StartWatcher();
    }
    for (const auto& device : present) {
        // A unit that went away is gone for good from this moniker.
        ComPtr<IMoniker> moniker;
        HRESULT hr = dvdeck::CreateDvDeviceMoniker<FwPin>(device->FriendlyName().c_str(),
                                                          CLSID_TapeloomFirewireDv, device,
                                                          moniker.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) monikers->push_back(std::move(moniker));
    }
    return S_OK;
}

void Driver::SetBus(std::shared_ptr<Bus> bus) {
    StopWatcher();
    std::lock_guard<std::mutex> lock(m_scanLock);
    m_devices.clear();
    m_ports.clear();
    m_bus = std::move(bus);
}

// Called with m_scanLock held.
void Driver::StartWatcher() {
    std::lock_guard<std::mutex> lock(m_watcherLock);
    if (m_watcher.joinable()) return;
    m_stop.store(false, std::memory_order_release);
    m_watcher = std::thread([this] { Watch(); });
}

void Driver::StopWatcher() {
    std::thread watcher;
    {
        std::lock_guard<std::mutex> lock(m_watcherLock);
        m_stop.store(true, std::memory_order_release);
        watcher = std::move(m_watcher);
    }
    if (watcher.joinable()) watcher.join();
}

void Driver::Watch() {
    while (!m_stop.load(std::memory_order_acquire)) {
        std::vector<std::pair<int, std::shared_ptr<BusPort>>> ports;
        {
            std::lock_guard<std::mutex> lock(m_scanLock);
            for (size_t i = 0; i < m_ports.size(); ++i)
                if (m_ports[i].handle) ports.emplace_back(static_cast<int>(i), m_ports[i].handle);
        }
        // Ports that could not be opened (no permission) are not watched;
        // the next listing tries them again.
        if (ports.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(kWatchMs));
        for (const auto& [index, port] : ports) {
            if (m_stop.load(std::memory_order_acquire)) break;
            const bool reset = port->WaitForReset(kWatchMs);
            bool appeared;
            {
                std::lock_guard<std::mutex> lock(m_scanLock);
                if (index >= static_cast<int>(m_ports.size()) || m_ports[index].handle != port)
                    continue;
                Port& p = m_ports[index];
                if (reset) {
                    p.reset = Clock::now();
                    p.settled = false;  // looked at again even if the generation is unchanged
                } else if (p.settled || Clock::now() < p.nextScan) {
                    continue;
                }
                appeared = ScanPort(index);
            }
            // Units that went or came back have announced themselves; a new
            // one is announced here.
            if (appeared) dvdeck::BroadcastDeviceChange();
        }
    }
}

HRESULT ListUnits(std::vector<ComPtr<IMoniker>>* monikers) { return TheDriver().List(monikers); }

const MediaDeviceDriverRegistration registration(CLSID_VideoInputDeviceCategory, ListUnits);

}  // namespace

void SetBus(std::shared_ptr<Bus> bus) { TheDriver().SetBus(std::move(bus)); }

}  // namespace dvfw
