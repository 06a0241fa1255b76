// The virtual deck driver: the configured decks as devices of the video
// input category, hot plug from inside and outside the process.
#include <uuids.h>
#include <win32/utf8.h>
#include <winuser.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "com/commoniker.h"
#include "deck.h"
#include "deckpin.h"
#include "devices/virtualdeck.h"
#include "dvcapturefilter.h"
#include "media/devicedrivers.h"
#include "win32/devices.h"

namespace dvdeck {

namespace {

std::atomic<LPFNDEVICECHANGE> g_broadcast{nullptr};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Watches the control file: names added to it unplug decks, names removed
// plug them back.
class ControlWatcher {
public:
    explicit ControlWatcher(std::string path) : m_path(std::move(path)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~ControlWatcher() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    void Run();
    std::set<std::wstring> Read();

    const std::string m_path;
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

class Registry {
public:
    ~Registry() { Clear(false); }

    void EnsureLoaded() {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_loaded) LoadLocked();
    }
    void Reload() {
        Clear(true);
        std::lock_guard<std::mutex> lock(m_lock);
        LoadLocked();
    }
    std::vector<std::shared_ptr<Deck>> Decks() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_decks;
    }
    std::shared_ptr<Deck> Find(const std::wstring& name) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto& d : m_decks)
            if (d->Config().name == name) return d;
        return nullptr;
    }

private:
    void LoadLocked() {
        m_loaded = true;
        const std::string pacing = Env("TAPELOOM_DECK_PACING");
        bool realTime = true;
        if (pacing == "unpaced") {
            realTime = false;
        } else if (!pacing.empty() && pacing != "realtime") {
            std::fprintf(stderr,
                         "tapeloom: TAPELOOM_DECK_PACING is \"%s\" (expected \"realtime\" or "
                         "\"unpaced\"); no virtual deck\n",
                         pacing.c_str());
            return;
        }
        // Threading the tape takes about a second, as on a real deck; the
        // test suites set TAPELOOM_DECK_THREADING=0 so that decks start at once.
        long threadMs = 1000;
        const std::string threading = Env("TAPELOOM_DECK_THREADING");
        if (!threading.empty()) {
            char* end = nullptr;
            const long ms = std::strtol(threading.c_str(), &end, 10);
            if (*end == '\0' && ms >= 0 && ms <= 60000)
                threadMs = ms;
            else
                std::fprintf(stderr,
                             "tapeloom: TAPELOOM_DECK_THREADING is \"%s\" (expected milliseconds "
                             "from 0 to 60000); 1000 taken\n",
                             threading.c_str());
        }
        std::vector<std::string> errors;
        std::vector<DeckConfig> configs = ParseDeckList(Env("TAPELOOM_DECKS"), &errors);
        for (DeckConfig& c : configs)
            if (c.threadMs < 0) c.threadMs = threadMs;
        for (const std::string& e : errors)
            std::fprintf(stderr, "tapeloom: TAPELOOM_DECKS: %s; deck left out\n", e.c_str());
        for (const DeckConfig& c : configs) {
            std::string error;
            std::shared_ptr<Deck> deck = Deck::Open(c, realTime, &error);
            if (deck)
                m_decks.push_back(std::move(deck));
            else
                std::fprintf(stderr, "tapeloom: TAPELOOM_DECKS: deck \"%s\": %s; deck left out\n",
                             win32_utf8::Utf8FromWide(c.name).c_str(), error.c_str());
        }
        const std::string control = Env("TAPELOOM_DECK_CONTROL");
        if (!control.empty() && !m_decks.empty())
            m_watcher = std::make_unique<ControlWatcher>(control);
    }

    // announce: the decks going away are unplugged, with the events of it.
    void Clear(bool announce) {
        std::unique_ptr<ControlWatcher> watcher;
        std::vector<std::shared_ptr<Deck>> decks;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            watcher = std::move(m_watcher);
            decks.swap(m_decks);
            m_loaded = false;
        }
        watcher.reset();
        // A deck that goes with the configuration stops its motor; filters
        // still bound keep its tape until they go.
        for (auto& d : decks) {
            if (announce) d->Unplug();
            d->Shutdown();
        }
    }

    std::mutex m_lock;
    bool m_loaded = false;
    std::vector<std::shared_ptr<Deck>> m_decks;
    std::unique_ptr<ControlWatcher> m_watcher;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::set<std::wstring> ControlWatcher::Read() {
    std::set<std::wstring> names;
    std::ifstream in(m_path);
    std::string line;
    while (std::getline(in, line)) {
        size_t b = line.find_first_not_of(" \t\r");
        size_t e = line.find_last_not_of(" \t\r");
        if (b != std::string::npos)
            names.insert(win32_utf8::WideFromUtf8(line.substr(b, e - b + 1)));
    }
    return names;
}

void ControlWatcher::Run() {
    std::set<std::wstring> before;
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        lock.unlock();
        std::set<std::wstring> now = Read();
        for (const std::wstring& name : now)
            if (!before.count(name)) VirtualDeckUnplug(name.c_str());
        for (const std::wstring& name : before)
            if (!now.count(name)) VirtualDeckPlug(name.c_str());
        before.swap(now);
        lock.lock();
        m_cv.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_stop; });
    }
}

HRESULT ListDecks(std::vector<ComPtr<IMoniker>>* pMonikers) {
    if (!pMonikers) return E_POINTER;
    Registry& registry = TheRegistry();
    registry.EnsureLoaded();
    for (const std::shared_ptr<Deck>& deck : registry.Decks()) {
        if (!deck->Plugged()) continue;
        // A deck that was unplugged (or configured away) is gone.
        ComPtr<IMoniker> moniker;
        HRESULT hr =
            CreateDvDeviceMoniker<DeckPin>(deck->Config().name.c_str(), CLSID_TapeloomVirtualDeck,
                                           deck, moniker.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) pMonikers->push_back(std::move(moniker));
    }
    return S_OK;
}

HRESULT SetPlugged(LPCWSTR name, bool plugged) {
    if (!name) return E_POINTER;
    Registry& registry = TheRegistry();
    registry.EnsureLoaded();
    std::shared_ptr<Deck> deck = registry.Find(name);
    if (!deck) return E_INVALIDARG;
    return (plugged ? deck->Plug() : deck->Unplug()) ? S_OK : S_FALSE;
}

const MediaDeviceDriverRegistration registration(CLSID_VideoInputDeviceCategory, ListDecks);

}  // namespace

// Tells every top-level window that devices came or went; tests may
// redirect the announcement through VirtualDeckSetDeviceChangeBroadcast.
void BroadcastDeviceChange() {
    LPFNDEVICECHANGE fn = g_broadcast.load(std::memory_order_acquire);
    (fn ? fn : win32_devices::BroadcastDeviceChange)(DBT_DEVNODES_CHANGED, 0);
}

}  // namespace dvdeck

void VirtualDeckReload() { dvdeck::TheRegistry().Reload(); }

HRESULT VirtualDeckUnplug(LPCWSTR name) { return dvdeck::SetPlugged(name, false); }

HRESULT VirtualDeckPlug(LPCWSTR name) { return dvdeck::SetPlugged(name, true); }

LPFNDEVICECHANGE VirtualDeckSetDeviceChangeBroadcast(LPFNDEVICECHANGE pfn) {
    return dvdeck::g_broadcast.exchange(pfn, std::memory_order_acq_rel);
}
