// Filter states, clock, graph membership and events.
#include "media/basefilter.h"

#include <vfwmsgs.h>

#include <cwchar>

#include "enumerators.h"
#include "media/basepin.h"

BaseFilter::BaseFilter(const CLSID& clsid) : m_clsid(clsid) {}

BaseFilter::~BaseFilter() {
    if (m_clock) m_clock->Release();
}

STDMETHODIMP BaseFilter::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaFilter || riid == IID_IBaseFilter ||
        riid == IID_IMediaBaseFilterImpl) {
        *ppv = static_cast<IBaseFilter*>(this);
    } else {
        *ppv = GetInterface(riid);
        if (!*ppv) return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BaseFilter::AddRef() {
    return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1;
}

STDMETHODIMP_(ULONG) BaseFilter::Release() {
    ULONG n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) delete this;
    return n;
}

BaseFilter* BaseFilter::FromInterface(IUnknown* p) {
    if (!p) return nullptr;
    IBaseFilter* f = nullptr;
    if (FAILED(p->QueryInterface(IID_IMediaBaseFilterImpl, reinterpret_cast<void**>(&f))))
        return nullptr;
    f->Release();  // the caller holds p
    return static_cast<BaseFilter*>(f);
}

void BaseFilter::PinsStateChanged() {
    for (int i = 0; i < GetPinCount(); ++i)
        if (BasePin* pin = GetPin(i)) pin->StateChanged();
}

STDMETHODIMP BaseFilter::Stop() {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (State() == State_Stopped) return S_OK;
        m_state.store(State_Stopped, std::memory_order_release);
    }
    // Let a Receive in progress finish before the resources go.
    { std::lock_guard<std::mutex> wait(m_receiveLock); }
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    HRESULT hr = S_OK;
    for (int i = 0; i < GetPinCount(); ++i) {
        if (BasePin* pin = GetPin(i)) {
            HRESULT hrPin = pin->Inactive();
            if (FAILED(hrPin) && SUCCEEDED(hr)) hr = hrPin;
        }
    }
    HRESULT hrFilter = OnInactive();
    PinsStateChanged();
    return SUCCEEDED(hr) ? hrFilter : hr;
}

STDMETHODIMP BaseFilter::Pause() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const FILTER_STATE old = State();
    if (old == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            if (BasePin* pin = GetPin(i)) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) {
                    for (int j = 0; j < i; ++j)
                        if (BasePin* done = GetPin(j)) done->Inactive();
                    return hr;
                }
            }
        }
        HRESULT hr = OnActive();
        if (FAILED(hr)) {
            for (int i = 0; i < GetPinCount(); ++i)
                if (BasePin* pin = GetPin(i)) pin->Inactive();
            return hr;
        }
        m_state.store(State_Paused, std::memory_order_release);
    } else if (old == State_Running) {
        m_state.store(State_Paused, std::memory_order_release);
        OnPause();
    }
    PinsStateChanged();
    return S_OK;
}

STDMETHODIMP BaseFilter::Run(REFERENCE_TIME tStart) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (State() == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    m_tStart.store(tStart, std::memory_order_release);
    if (State() == State_Running) return S_OK;
    m_state.store(State_Running, std::memory_order_release);
    HRESULT hr = OnRun(tStart);
    PinsStateChanged();
    return hr;
}

STDMETHODIMP BaseFilter::GetState(DWORD, FILTER_STATE* State) {
    if (!State) return E_POINTER;
    *State = this->State();
    return S_OK;
}

STDMETHODIMP BaseFilter::SetSyncSource(IReferenceClock* pClock) {
    std::lock_guard<std::mutex> lock(m_clockLock);
    if (pClock) pClock->AddRef();
    if (m_clock) m_clock->Release();
    m_clock = pClock;
    return S_OK;
}

STDMETHODIMP BaseFilter::GetSyncSource(IReferenceClock** pClock) {
    if (!pClock) return E_POINTER;
    *pClock = Clock();
    return S_OK;
}

IReferenceClock* BaseFilter::Clock() {
    std::lock_guard<std::mutex> lock(m_clockLock);
    if (m_clock) m_clock->AddRef();
    return m_clock;
}

bool BaseFilter::StreamTime(REFERENCE_TIME* pt) {
    ComPtr<IReferenceClock> clock = ComPtr<IReferenceClock>::Adopt(Clock());
    if (!clock || !IsRunning()) return false;
    REFERENCE_TIME now = 0;
    if (FAILED(clock->GetTime(&now))) return false;
    *pt = now - StartTime();
    return true;
}

STDMETHODIMP BaseFilter::EnumPins(IEnumPins** ppEnum) {
    if (!ppEnum) return E_POINTER;
    auto list = std::make_shared<std::vector<ComPtr<IPin>>>();
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        for (int i = 0; i < GetPinCount(); ++i)
            if (BasePin* pin = GetPin(i)) list->emplace_back(static_cast<IPin*>(pin));
    }
    *ppEnum = new SnapshotEnum<IEnumPins, IPin>(std::move(list));
    return S_OK;
}

STDMETHODIMP BaseFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
    if (!Id || !ppPin) return E_POINTER;
    *ppPin = nullptr;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (int i = 0; i < GetPinCount(); ++i) {
        BasePin* pin = GetPin(i);
        if (pin && pin->Name() == Id) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP BaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    if (!pInfo) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_graphLock);
    std::wcsncpy(pInfo->achName, m_name.c_str(), MAX_FILTER_NAME - 1);
    pInfo->achName[MAX_FILTER_NAME - 1] = 0;
    pInfo->pGraph = m_graph;
    if (m_graph) m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP BaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
    std::lock_guard<std::mutex> lock(m_graphLock);
    m_graph = pGraph;
    m_name = pName ? pName : L"";
    m_eventSink = nullptr;
    if (pGraph) {
        // Kept without a reference, like the graph pointer: the graph
        // outlives its membership.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(
                pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
            m_eventSink = sink;
            sink->Release();
        }
    }
    return S_OK;
}

HRESULT BaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    std::lock_guard<std::mutex> lock(m_graphLock);
    if (!m_eventSink) return S_FALSE;
    return m_eventSink->Notify(code, param1, param2);
}
