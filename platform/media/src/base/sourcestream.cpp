// Streaming thread of a source pin.
#include "media/sourcestream.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <chrono>

SourceStreamPin::SourceStreamPin(BaseFilter* filter, LPCWSTR name, const GUID& category,
                                 bool withStreamControl)
    : BaseOutputPin(filter, name, category, withStreamControl) {}

SourceStreamPin::~SourceStreamPin() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
}

HRESULT SourceStreamPin::Active() {
    if (!IsConnected()) return S_OK;
    HRESULT hr = BaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = false;
    }
    m_thread = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT SourceStreamPin::Inactive() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    BaseOutputPin::Inactive();  // wakes a GetBuffer that waits
    if (m_thread.joinable()) m_thread.join();
    return S_OK;
}

void SourceStreamPin::StateChanged() {
    { std::lock_guard<std::mutex> lock(m_lock); }
    m_wake.notify_all();
}

bool SourceStreamPin::Stopping() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_stop;
}

bool SourceStreamPin::WaitForStreamTime(REFERENCE_TIME t) {
    for (;;) {
        REFERENCE_TIME now = 0;
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_stop) return false;
        if (!m_filter->IsRunning()) {
            m_wake.wait(lock);
            continue;
        }
        if (!m_filter->StreamTime(&now)) return true;  // no clock: no pacing
        if (now >= t) return true;
        // Clock units are 100 ns; the clock runs on the steady clock.
        m_wake.wait_for(lock, std::chrono::microseconds((t - now + 9) / 10));
    }
}

void SourceStreamPin::ThreadProc() {
    OnThreadStart();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stop || m_filter->IsRunning(); });
            if (m_stop) break;
        }
        IMemAllocator* alloc = Allocator();
        IMediaSample* sample = nullptr;
        HRESULT hr = alloc ? alloc->GetBuffer(&sample, nullptr, nullptr, 0) : VFW_E_NO_ALLOCATOR;
        if (FAILED(hr)) {
            if (!Stopping()) m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
            break;
        }
        hr = FillBuffer(sample);
        if (hr == S_OK) {
            if (Stopping()) {
                sample->Release();
                break;
            }
            hr = Deliver(sample);
            sample->Release();
            if (hr == S_OK) continue;
            // The filter downstream stops before this one: its refusal is
            // the stop arriving, not an error.
            if (hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED || hr == S_FALSE || Stopping())
                break;
            m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
            break;
        }
        sample->Release();
        if (Stopping()) break;
        if (hr == S_FALSE) {
            DeliverEndOfStream();
        } else {
            m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
        }
        break;
    }
    OnThreadStop();
}
