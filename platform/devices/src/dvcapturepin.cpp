// The DV devices' capture pin.
#include "dvcapturepin.h"

#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include "dvmediatype.h"

namespace dvdeck {

DvCapturePin::DvCapturePin(BaseFilter* filter, DvDevice& device, DvStream& stream)
    : BaseOutputPin(filter, L"Capture", PIN_CATEGORY_CAPTURE, true),
      m_device(device),
      m_stream(stream) {}

HRESULT DvCapturePin::CheckMediaType(const AM_MEDIA_TYPE* pmt) { return CheckDvMediaType(pmt); }

void* DvCapturePin::GetPinInterface(REFIID riid) {
    if (riid == IID_IAMDroppedFrames) return static_cast<IAMDroppedFrames*>(this);
    return BaseOutputPin::GetPinInterface(riid);
}

HRESULT DvCapturePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES*) {
    ALLOCATOR_PROPERTIES req{4, static_cast<LONG>(MaxFrameSize()), 1, 0}, actual{};
    HRESULT hr = pAlloc->SetProperties(&req, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < req.cbBuffer ? E_FAIL : S_OK;
}

HRESULT DvCapturePin::Active() {
    if (!IsConnected()) return S_OK;
    HRESULT hr = BaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    m_stopping.store(false, std::memory_order_release);
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    m_stream.running = &m_running;
    m_stream.dropped = &m_dropped;
    hr = AttachStream();
    if (FAILED(hr)) {
        BaseOutputPin::Inactive();
        return hr;
    }
    m_thread = std::thread([this] {
        Stream();
        // However the thread ends, the device stops offering this stream
        // frames (else they would pile up as dropped until the filter stops).
        m_device.StopStream(&m_stream);
    });
    return S_OK;
}

HRESULT DvCapturePin::Inactive() {
    m_stopping.store(true, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    m_device.StopStream(&m_stream);
    BaseOutputPin::Inactive();  // wakes a GetBuffer that waits
    if (m_thread.joinable()) {
        m_thread.join();
        DetachStream();
    }
    return S_OK;
}

void DvCapturePin::StateChanged() {
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    m_device.Wake();
}

STDMETHODIMP DvCapturePin::GetNumDropped(long* plDropped) {
    if (!plDropped) return E_POINTER;
    *plDropped = m_dropped.load(std::memory_order_relaxed);
    return S_OK;
}

STDMETHODIMP DvCapturePin::GetNumNotDropped(long* plNotDropped) {
    if (!plNotDropped) return E_POINTER;
    *plNotDropped = m_notDropped.load(std::memory_order_relaxed);
    return S_OK;
}

IMediaSample* DvCapturePin::GetFrameBuffer() {
    IMemAllocator* alloc = Allocator();
    IMediaSample* sample = nullptr;
    HRESULT hr = alloc ? alloc->GetBuffer(&sample, nullptr, nullptr, 0) : VFW_E_NO_ALLOCATOR;
    if (SUCCEEDED(hr)) return sample;
    if (!m_stopping.load(std::memory_order_acquire)) m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
    return nullptr;
}

void DvCapturePin::Abort(IMediaSample* sample, HRESULT hr) {
    sample->Release();
    m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
}

bool DvCapturePin::DeliverFrame(IMediaSample* sample, long size, REFERENCE_TIME fallbackStart,
                                REFERENCE_TIME duration, LONGLONG mediaTime) {
    sample->SetActualDataLength(size);
    REFERENCE_TIME t = 0;
    if (!m_filter->StreamTime(&t)) t = fallbackStart;
    REFERENCE_TIME tEnd = t + duration;
    sample->SetTime(&t, &tEnd);
    LONGLONG m = mediaTime, mEnd = mediaTime + 1;
    sample->SetMediaTime(&m, &mEnd);
    sample->SetSyncPoint(TRUE);
    HRESULT hr = Deliver(sample);
    sample->Release();
    if (hr == S_OK) {
        m_notDropped.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    // The filter downstream stops before this one: its refusal is the stop
    // arriving, not an error.
    if (hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED || hr == S_FALSE ||
        m_stopping.load(std::memory_order_acquire))
        return false;
    m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
    return false;
}

}  // namespace dvdeck
