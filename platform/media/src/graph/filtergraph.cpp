// Filter graph manager (CLSID_FilterGraph).
//
// Holds the filters under unique names, connects pins (directly, or with
// intelligent connect over the filter table), runs, pauses and stops the
// filters downstream first, keeps the event queue that filters fill
// through IMediaEventSink and the application empties with GetEvent, and
// forwards IVideoWindow to the renderer that offers it.
//
// Threads: any application thread may call any method (graph calls are
// serialised by the graph lock; the event queue has its own lock, so
// GetEvent never waits for a graph change).  Filters raise events from
// their streaming threads.  May block: Stop (joins the streaming threads),
// GetEvent (up to its time-out).
#include <evcode.h>
#include <vfwmsgs.h>

#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/enumerators.h"
#include "base/systemclock.h"
#include "com/comclasstable.h"
#include "com/comobject.h"
#include "media/filterregistry.h"
#include "media/graphnotify.h"
#include "media/iids.h"
#include "media/mediatype.h"
#include "uuids.h"

namespace {

constexpr int kMaxConnectDepth = 5;

struct Entry {
    ComPtr<IBaseFilter> filter;
    std::wstring name;
};

struct Event {
    long code;
    LONG_PTR param1, param2;
};

bool SameObject(IUnknown* a, IUnknown* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    ComPtr<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ua.ReleaseAndGetAddressOf()));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ub.ReleaseAndGetAddressOf()));
    return ua.Get() == ub.Get();
}

ComPtr<IBaseFilter> PinFilter(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return nullptr;
    return ComPtr<IBaseFilter>::Adopt(info.pFilter);
}

std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.ReleaseAndGetAddressOf()))) return pins;
    IPin* pin = nullptr;
    while (e->Next(1, &pin, nullptr) == S_OK) pins.push_back(ComPtr<IPin>::Adopt(pin));
    return pins;
}

PIN_DIRECTION Direction(IPin* pin) {
    PIN_DIRECTION dir = PINDIR_INPUT;
    pin->QueryDirection(&dir);
    return dir;
}

bool Connected(IPin* pin) {
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer;
}

class FilterGraph final
    : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaEventSink, IVideoWindow> {
public:
    FilterGraph() : m_clock(ComPtr<IReferenceClock>::Adopt(new SystemClock())) {}

    ~FilterGraph() override {
        Stop();
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        while (!m_filters.empty()) RemoveFilter(m_filters.back().filter.Get());
        for (auto& ev : m_events) FreeEventParams(ev.code, ev.param1, ev.param2);
    }

    // ---- IFilterGraph ----------------------------------------------------

    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override {
        if (!pFilter) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (Find(pFilter) >= 0) return VFW_E_DUPLICATE_NAME;
        std::wstring base = pName && *pName ? pName : L"Filter";
        std::wstring name = base;
        HRESULT result = S_OK;
        for (int n = 1; NameTaken(name); ++n) {
            wchar_t suffix[16];
            std::swprintf(suffix, 16, L" %04d", n);
            name = base + suffix;
            result = VFW_S_DUPLICATE_NAME;
        }
        HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
        if (FAILED(hr)) return hr;
        pFilter->SetSyncSource(m_clock.Get());
        m_filters.push_back({ComPtr<IBaseFilter>(pFilter), name});
        return result;
    }

    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override {
        if (!pFilter) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        int i = Find(pFilter);
        if (i < 0) return VFW_E_NOT_FOUND;
        ComPtr<IBaseFilter> filter = m_filters[i].filter;
        filter->Stop();
        for (auto& pin : Pins(filter.Get())) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer) {
                peer->Disconnect();
                pin->Disconnect();
            }
        }
        filter->SetSyncSource(nullptr);
        filter->JoinFilterGraph(nullptr, nullptr);
        m_filters.erase(m_filters.begin() + i);
        return S_OK;
    }

    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        auto list = std::make_shared<std::vector<ComPtr<IBaseFilter>>>();
        {
            std::lock_guard<std::recursive_mutex> lock(m_lock);
            for (auto& e : m_filters) list->push_back(e.filter);
        }
        *ppEnum = new SnapshotEnum<IEnumFilters, IBaseFilter>(std::move(list));
        return S_OK;
    }

    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override {
        if (!pName || !ppFilter) return E_POINTER;
        *ppFilter = nullptr;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (auto& e : m_filters)
            if (e.name == pName) return e.filter.CopyTo(ppFilter);
        return VFW_E_NOT_FOUND;
    }

    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override {
        if (!ppinOut || !ppinIn) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        HRESULT hr = CheckPins(ppinOut, ppinIn);
        if (FAILED(hr)) return hr;
        return ppinOut->Connect(ppinIn, pmt);
    }

    STDMETHODIMP Disconnect(IPin* ppin) override {
        if (!ppin) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        return ppin->Disconnect();
    }

    // ---- IGraphBuilder ---------------------------------------------------

    STDMETHODIMP Connect(IPin* ppinOut, IPin* ppinIn) override {
        if (!ppinOut || !ppinIn) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        HRESULT hr = CheckPins(ppinOut, ppinIn);
        if (FAILED(hr)) return hr;
        if (Connected(ppinOut) || Connected(ppinIn)) return VFW_E_ALREADY_CONNECTED;
        return ConnectVia(ppinOut, ppinIn, 0);
    }

    STDMETHODIMP Render(IPin* ppinOut) override {
        if (!ppinOut) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (Direction(ppinOut) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
        ComPtr<IBaseFilter> owner = PinFilter(ppinOut);
        if (!owner || Find(owner.Get()) < 0) return VFW_E_NOT_IN_GRAPH;
        if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
        if (Connected(ppinOut)) return VFW_E_ALREADY_CONNECTED;
        return RenderPin(ppinOut, 0);
    }

    // ---- IMediaControl ---------------------------------------------------

    STDMETHODIMP Run() override {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (m_state == State_Running) return S_OK;
        auto order = DownstreamFirst();
        if (m_state == State_Stopped) {
            HRESULT hr = ForEach(order, [](IBaseFilter* f) { return f->Pause(); });
            if (FAILED(hr)) {
                ForEach(order, [](IBaseFilter* f) { return f->Stop(); });
                return hr;
            }
        }
        REFERENCE_TIME now = 0;
        m_clock->GetTime(&now);
        HRESULT hr = ForEach(order, [now](IBaseFilter* f) { return f->Run(now); });
        if (FAILED(hr)) {
            ForEach(order, [](IBaseFilter* f) { return f->Stop(); });
            m_state = State_Stopped;
            return hr;
        }
        m_state = State_Running;
        return S_OK;
    }

    STDMETHODIMP Pause() override {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        auto order = DownstreamFirst();
        HRESULT hr = ForEach(order, [](IBaseFilter* f) { return f->Pause(); });
        if (FAILED(hr)) {
            ForEach(order, [](IBaseFilter* f) { return f->Stop(); });
            m_state = State_Stopped;
            return hr;
        }
        m_state = State_Paused;
        return S_OK;
    }

    STDMETHODIMP Stop() override {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        HRESULT hr = ForEach(
            DownstreamFirst(), [](IBaseFilter* f) { return f->Stop(); }, true);
        m_state = State_Stopped;
        return hr;
    }

    STDMETHODIMP GetState(LONG, OAFILTER_STATE* pfs) override {
        if (!pfs) return E_POINTER;
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        *pfs = m_state;
        return S_OK;
    }

    // ---- IMediaEventSink / IMediaEventEx ---------------------------------

    STDMETHODIMP Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override {
        // The device's IUnknown stays alive until FreeEventParams.
        if (EventCode == EC_DEVICE_LOST && EventParam1)
            reinterpret_cast<IUnknown*>(EventParam1)->AddRef();
        HWND hwnd;
        UINT msg;
        LONG_PTR inst;
        {
            std::lock_guard<std::mutex> lock(m_eventLock);
            m_events.push_back({EventCode, EventParam1, EventParam2});
            hwnd = m_notifyWnd;
            msg = m_notifyMsg;
            inst = m_notifyInst;
        }
        m_eventReady.notify_all();
        if (hwnd) MediaPostNotify(hwnd, msg, 0, inst);
        return S_OK;
    }

    STDMETHODIMP GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                          long msTimeout) override {
        if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
        *lEventCode = 0;
        *lParam1 = *lParam2 = 0;
        std::unique_lock<std::mutex> lock(m_eventLock);
        auto ready = [this] { return !m_events.empty(); };
        if (msTimeout < 0 || static_cast<DWORD>(msTimeout) == 0xFFFFFFFF)
            m_eventReady.wait(lock, ready);
        else
            m_eventReady.wait_for(lock, std::chrono::milliseconds(msTimeout), ready);
        if (m_events.empty()) return E_ABORT;
        Event ev = m_events.front();
        m_events.pop_front();
        *lEventCode = ev.code;
        *lParam1 = ev.param1;
        *lParam2 = ev.param2;
        return S_OK;
    }

    STDMETHODIMP FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR) override {
        if (lEvCode == EC_DEVICE_LOST && lParam1) reinterpret_cast<IUnknown*>(lParam1)->Release();
        return S_OK;
    }

    STDMETHODIMP SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) override {
        size_t pending;
        {
            std::lock_guard<std::mutex> lock(m_eventLock);
            m_notifyWnd = reinterpret_cast<HWND>(hwnd);
            m_notifyMsg = static_cast<UINT>(lMsg);
            m_notifyInst = lInstanceData;
            pending = hwnd ? m_events.size() : 0;
        }
        // Events already waiting are announced as well.
        for (size_t i = 0; i < pending; ++i)
            MediaPostNotify(reinterpret_cast<HWND>(hwnd), static_cast<UINT>(lMsg), 0,
                            lInstanceData);
        return S_OK;
    }

    // ---- IVideoWindow: forwarded to the renderer -------------------------

    STDMETHODIMP put_WindowStyle(long v) override {
        return Forward([&](IVideoWindow* w) { return w->put_WindowStyle(v); });
    }
    STDMETHODIMP get_WindowStyle(long* v) override {
        return Forward([&](IVideoWindow* w) { return w->get_WindowStyle(v); });
    }
    STDMETHODIMP put_Visible(long v) override {
        return Forward([&](IVideoWindow* w) { return w->put_Visible(v); });
    }
    STDMETHODIMP put_Owner(OAHWND v) override {
        return Forward([&](IVideoWindow* w) { return w->put_Owner(v); });
    }
    STDMETHODIMP put_MessageDrain(OAHWND v) override {
        return Forward([&](IVideoWindow* w) { return w->put_MessageDrain(v); });
    }
    STDMETHODIMP SetWindowPosition(long l, long t, long w, long h) override {
        return Forward([&](IVideoWindow* v) { return v->SetWindowPosition(l, t, w, h); });
    }

protected:
    void* GetInterface(REFIID riid) override {
        if (riid == IID_IFilterGraph)
            return static_cast<IFilterGraph*>(static_cast<IGraphBuilder*>(this));
        if (riid == IID_IMediaEvent)
            return static_cast<IMediaEvent*>(static_cast<IMediaEventEx*>(this));
        return ComObject::GetInterface(riid);
    }

private:
    int Find(IUnknown* filter) {
        for (size_t i = 0; i < m_filters.size(); ++i)
            if (SameObject(m_filters[i].filter.Get(), filter)) return static_cast<int>(i);
        return -1;
    }

    bool NameTaken(const std::wstring& name) {
        for (auto& e : m_filters)
            if (e.name == name) return true;
        return false;
    }

    HRESULT CheckPins(IPin* out, IPin* in) {
        ComPtr<IBaseFilter> fo = PinFilter(out), fi = PinFilter(in);
        if (!fo || !fi || Find(fo.Get()) < 0 || Find(fi.Get()) < 0) return VFW_E_NOT_IN_GRAPH;
        if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
        if (Direction(out) != PINDIR_OUTPUT || Direction(in) != PINDIR_INPUT)
            return VFW_E_INVALID_DIRECTION;
        return S_OK;
    }

    // Filters in an order where every filter comes before those upstream
    // of it (renderers first).
    std::vector<ComPtr<IBaseFilter>> DownstreamFirst() {
        std::vector<ComPtr<IBaseFilter>> order;
        std::vector<bool> seen(m_filters.size());
        std::function<void(size_t)> visit = [&](size_t i) {
            if (seen[i]) return;
            seen[i] = true;
            for (auto& pin : Pins(m_filters[i].filter.Get())) {
                if (Direction(pin.Get()) != PINDIR_OUTPUT) continue;
                ComPtr<IPin> peer;
                if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) continue;
                ComPtr<IBaseFilter> down = PinFilter(peer.Get());
                int j = down ? Find(down.Get()) : -1;
                if (j >= 0) visit(static_cast<size_t>(j));
            }
            order.push_back(m_filters[i].filter);
        };
        for (size_t i = 0; i < m_filters.size(); ++i) visit(i);
        return order;
    }

    template <class F>
    static HRESULT ForEach(const std::vector<ComPtr<IBaseFilter>>& order, F f, bool all = false) {
        HRESULT result = S_OK;
        for (auto& filter : order) {
            HRESULT hr = f(filter.Get());
            if (FAILED(hr)) {
                if (!all) return hr;
                if (SUCCEEDED(result)) result = hr;
            }
        }
        return result;
    }

    // Creates a filter of the table and adds it under its own name.
    ComPtr<IBaseFilter> AddFromTable(const MediaFilterInfo& info) {
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(info.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()))))
            return nullptr;
        if (FAILED(AddFilter(filter.Get(), info.name.c_str()))) return nullptr;
        return filter;
    }

    static std::vector<AM_MEDIA_TYPE> OutputTypes(IPin* out) {
        std::vector<AM_MEDIA_TYPE> types;
        ComPtr<IEnumMediaTypes> e;
        if (FAILED(out->EnumMediaTypes(e.ReleaseAndGetAddressOf()))) return types;
        AM_MEDIA_TYPE* mt = nullptr;
        while (e->Next(1, &mt, nullptr) == S_OK) {
            types.push_back(*mt);
            types.back().pbFormat = nullptr;  // only the GUIDs are needed
            types.back().cbFormat = 0;
            types.back().pUnk = nullptr;
            DeleteMediaType(mt);
        }
        return types;
    }

    // Candidate filters for an output pin, by merit, without repeats.
    static std::vector<MediaFilterInfo> Candidates(IPin* out) {
        std::vector<MediaFilterInfo> all;
        for (auto& mt : OutputTypes(out)) {
            for (auto& info : MediaFindFilters(mt)) {
                bool dup = false;
                for (auto& a : all) dup = dup || a.clsid == info.clsid;
                if (!dup) all.push_back(info);
            }
        }
        return all;
    }

    // Connects out to the first free input of filter that takes it.
    HRESULT ConnectToFilter(IPin* out, IBaseFilter* filter) {
        HRESULT hr = VFW_E_CANNOT_CONNECT;
        for (auto& pin : Pins(filter)) {
            if (Direction(pin.Get()) != PINDIR_INPUT || Connected(pin.Get())) continue;
            hr = out->Connect(pin.Get(), nullptr);
            if (SUCCEEDED(hr)) return hr;
        }
        return hr;
    }

    HRESULT ConnectVia(IPin* out, IPin* in, int depth) {
        if (SUCCEEDED(out->Connect(in, nullptr))) return S_OK;
        if (depth >= kMaxConnectDepth) return VFW_E_CANNOT_CONNECT;
        for (auto& info : Candidates(out)) {
            if (info.renderer) continue;
            ComPtr<IBaseFilter> mid = AddFromTable(info);
            if (!mid) continue;
            if (SUCCEEDED(ConnectToFilter(out, mid.Get()))) {
                for (auto& pin : Pins(mid.Get())) {
                    if (Direction(pin.Get()) != PINDIR_OUTPUT || Connected(pin.Get())) continue;
                    if (SUCCEEDED(ConnectVia(pin.Get(), in, depth + 1))) return S_OK;
                }
            }
            RemoveFilter(mid.Get());
        }
        return VFW_E_CANNOT_CONNECT;
    }

    // S_OK when everything downstream of out ends in renderers,
    // VFW_S_PARTIAL_RENDER when some output could not be rendered,
    // VFW_E_CANNOT_RENDER (and nothing added) when none could.
    HRESULT RenderPin(IPin* out, int depth) {
        if (depth >= kMaxConnectDepth) return VFW_E_CANNOT_RENDER;
        for (auto& info : Candidates(out)) {
            ComPtr<IBaseFilter> next = AddFromTable(info);
            if (!next) continue;
            if (SUCCEEDED(ConnectToFilter(out, next.Get()))) {
                if (info.renderer) return S_OK;
                int rendered = 0, failed = 0;
                for (auto& pin : Pins(next.Get())) {
                    if (Direction(pin.Get()) != PINDIR_OUTPUT || Connected(pin.Get())) continue;
                    HRESULT hr = RenderPin(pin.Get(), depth + 1);
                    if (SUCCEEDED(hr)) ++rendered;
                    if (FAILED(hr) || hr == VFW_S_PARTIAL_RENDER) ++failed;
                }
                if (rendered) return failed ? VFW_S_PARTIAL_RENDER : S_OK;
                RemoveDownstreamOf(next.Get());
            }
            RemoveFilter(next.Get());
        }
        return VFW_E_CANNOT_RENDER;
    }

    // Undoes a failed render below filter (filters added by it).
    void RemoveDownstreamOf(IBaseFilter* filter) {
        for (auto& pin : Pins(filter)) {
            if (Direction(pin.Get()) != PINDIR_OUTPUT) continue;
            ComPtr<IPin> peer;
            if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) continue;
            ComPtr<IBaseFilter> down = PinFilter(peer.Get());
            if (!down) continue;
            RemoveDownstreamOf(down.Get());
            RemoveFilter(down.Get());
        }
    }

    template <class F>
    HRESULT Forward(F f) {
        ComPtr<IVideoWindow> window;
        {
            std::lock_guard<std::recursive_mutex> lock(m_lock);
            for (auto& e : m_filters) {
                if (SUCCEEDED(e.filter->QueryInterface(
                        IID_IVideoWindow,
                        reinterpret_cast<void**>(window.ReleaseAndGetAddressOf()))))
                    break;
            }
        }
        if (!window) return E_NOINTERFACE;
        return f(window.Get());
    }

    std::recursive_mutex m_lock;
    std::vector<Entry> m_filters;
    ComPtr<IReferenceClock> m_clock;
    FILTER_STATE m_state = State_Stopped;

    std::mutex m_eventLock;
    std::condition_variable m_eventReady;
    std::deque<Event> m_events;
    HWND m_notifyWnd = nullptr;
    UINT m_notifyMsg = 0;
    LONG_PTR m_notifyInst = 0;
};

const ComClassRegistration registration(CLSID_FilterGraph, ComCreateInstance<FilterGraph>);

}  // namespace
