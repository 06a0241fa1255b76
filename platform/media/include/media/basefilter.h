// Base class of every filter: IBaseFilter with the stopped / paused /
// running states, the reference clock, the graph the filter has joined and
// the events it raises there.
//
// A derived filter owns its pins (GetPinCount/GetPin) and fills a few hooks:
// OnActive (stopped to paused: streaming resources up), OnRun, OnPause
// (running to paused), OnInactive (to stopped: streaming threads joined).
// Stop first marks the filter stopped, so that Receive rejects new samples,
// then waits for a Receive in progress (ReceiveLock) before OnInactive.
//
// Threads: state changes come from the graph (any application thread);
// Receive runs on upstream streaming threads; NotifyEvent may be called
// from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "iids.h"

class BasePin;

// Platform-internal: answered by every BaseFilter, so that the platform can
// reach its own filters' class (FromInterface).
DEFINE_GUID(IID_IMediaBaseFilterImpl, 0x3a1e9b52, 0x7c0d, 0x4f6a, 0x8e, 0x21, 0x5d, 0x90, 0xb4,
            0x17, 0x63, 0xa8);

class BaseFilter : public IBaseFilter {
public:
    BaseFilter(const CLSID& clsid);
    BaseFilter(const BaseFilter&) = delete;
    BaseFilter& operator=(const BaseFilter&) = delete;

    // IUnknown: the filter answers IUnknown, IMediaFilter, IBaseFilter and
    // whatever GetInterface adds.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;

    // Pins, in a fixed order; GetPin may be called with any index.
    virtual int GetPinCount() = 0;
    virtual BasePin* GetPin(int n) = 0;

    const CLSID& ClassId() const { return m_clsid; }
    FILTER_STATE State() const { return m_state.load(std::memory_order_acquire); }
    bool IsStopped() const { return State() == State_Stopped; }
    bool IsRunning() const { return State() == State_Running; }

    // Current stream time (clock time minus the run's start time); false
    // when the filter has no clock or is not running.
    bool StreamTime(REFERENCE_TIME* pt);
    // The run's start time on the clock.
    REFERENCE_TIME StartTime() const { return m_tStart.load(std::memory_order_acquire); }
    // The clock, with a new reference, or NULL.
    IReferenceClock* Clock();

    // Queues an event in the graph's event queue; S_FALSE outside a graph.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

    // The filter behind an interface pointer of one of the platform's
    // filters (not counted), or NULL.
    static BaseFilter* FromInterface(IUnknown* p);

    // Held by input pins while a sample is received; Stop takes it to
    // wait for the Receive in progress.
    std::mutex& ReceiveLock() { return m_receiveLock; }
    // Guards pins and connections.
    std::recursive_mutex& FilterLock() { return m_lock; }

protected:
    virtual ~BaseFilter();

    // Further interfaces of the filter (no new reference), or NULL.
    virtual void* GetInterface(REFIID riid) { return nullptr; }

    virtual HRESULT OnActive() { return S_OK; }
    virtual HRESULT OnRun(REFERENCE_TIME tStart) { return S_OK; }
    virtual HRESULT OnPause() { return S_OK; }
    virtual HRESULT OnInactive() { return S_OK; }

    std::recursive_mutex m_lock;

private:
    void PinsStateChanged();

    const CLSID m_clsid;
    std::atomic<ULONG> m_cRef{1};
    std::atomic<FILTER_STATE> m_state{State_Stopped};
    std::atomic<REFERENCE_TIME> m_tStart{0};
    std::mutex m_receiveLock;
    std::mutex m_clockLock;
    IReferenceClock* m_clock = nullptr;
    std::mutex m_graphLock;
    IFilterGraph* m_graph = nullptr;         // not counted: the graph holds the filter
    IMediaEventSink* m_eventSink = nullptr;  // not counted, as above
    std::wstring m_name;
};

// IUnknown of a filter class that adds interfaces of its own through
// multiple inheritance: every path reaches BaseFilter's implementation.
#define MEDIA_FILTER_IUNKNOWN                                               \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {         \
        return BaseFilter::QueryInterface(riid, ppv);                       \
    }                                                                       \
    STDMETHODIMP_(ULONG) AddRef() override { return BaseFilter::AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override { return BaseFilter::Release(); }
