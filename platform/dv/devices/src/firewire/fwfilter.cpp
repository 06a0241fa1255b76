// The IEEE-1394 DV filter and its capture pin.
#include "fwfilter.h"

#include <edevdefs.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "dif.h"
#include "dvmediatype.h"

namespace dvfw {

// ---- pin ---------------------------------------------------------------

FwPin::FwPin(FwFilter* filter, std::shared_ptr<FwDevice> device)
    : BaseOutputPin(filter, L"Capture", PIN_CATEGORY_CAPTURE, true), m_device(std::move(device)) {
    m_stream.running = &m_running;
    m_stream.dropped = &m_dropped;
}

FwPin::~FwPin() { Inactive(); }

HRESULT FwPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) { return dvdeck::CheckDvMediaType(pmt); }

HRESULT FwPin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (n != 0) return S_FALSE;
    // Before the first frame the packs are not known: the multiplexer takes
    // them from the first sample anyway.
    DVINFO info{};
    size_t size = dv::kMaxFrameSize;
    m_device->LastFrameFormat(&info, &size);
    return dvdeck::MakeDvMediaType(size, info, pmt);
}

void* FwPin::GetPinInterface(REFIID riid) {
    if (riid == IID_IAMDroppedFrames) return static_cast<IAMDroppedFrames*>(this);
    return BaseOutputPin::GetPinInterface(riid);
}

HRESULT FwPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES*) {
    // Room for a frame of either standard: the unit may change it.
    ALLOCATOR_PROPERTIES req{4, static_cast<LONG>(dv::kMaxFrameSize), 1, 0}, actual{};
    HRESULT hr = pAlloc->SetProperties(&req, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < req.cbBuffer ? E_FAIL : S_OK;
}

HRESULT FwPin::Active() {
    if (!IsConnected()) return S_OK;
    HRESULT hr = BaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    m_stopping.store(false, std::memory_order_release);
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    hr = m_device->Attach(&m_stream);
    if (FAILED(hr)) {
        BaseOutputPin::Inactive();
        return hr;
    }
    m_thread = std::thread([this] { ThreadProc(); });
    return S_OK;
}

HRESULT FwPin::Inactive() {
    m_stopping.store(true, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    m_device->StopStream(&m_stream);
    BaseOutputPin::Inactive();  // wakes a GetBuffer that waits
    if (m_thread.joinable()) {
        m_thread.join();
        m_device->Detach(&m_stream);
    }
    return S_OK;
}

void FwPin::StateChanged() {
    m_running.store(m_filter->IsRunning(), std::memory_order_release);
    m_device->Wake();
}

STDMETHODIMP FwPin::GetNumDropped(long* plDropped) {
    if (!plDropped) return E_POINTER;
    *plDropped = m_dropped.load(std::memory_order_relaxed);
    return S_OK;
}

STDMETHODIMP FwPin::GetNumNotDropped(long* plNotDropped) {
    if (!plNotDropped) return E_POINTER;
    *plNotDropped = m_notDropped.load(std::memory_order_relaxed);
    return S_OK;
}

void FwPin::ThreadProc() {
    // However the thread ends, the device stops offering this stream frames.
    struct EndStream {
        FwDevice* device;
        FwStream* stream;
        ~EndStream() { device->StopStream(stream); }
    } end{m_device.get(), &m_stream};
    std::vector<uint8_t> frame;
    while (m_device->NextFrame(&m_stream, &frame)) {
        IMemAllocator* alloc = Allocator();
        IMediaSample* sample = nullptr;
        HRESULT hr = alloc ? alloc->GetBuffer(&sample, nullptr, nullptr, 0) : VFW_E_NO_ALLOCATOR;
        if (FAILED(hr)) {
            if (!m_stopping.load(std::memory_order_acquire))
                m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
            return;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long size = static_cast<long>(frame.size());
        if (sample->GetSize() < size) {
            sample->Release();
            m_filter->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
            return;
        }
        std::memcpy(data, frame.data(), frame.size());
        sample->SetActualDataLength(size);
        dv::Standard standard = dv::Standard::NTSC;
        dv::ReadStandard(frame.data(), frame.size(), standard);
        // One frame period: 1/25 s, or 1001/30000 s.
        const REFERENCE_TIME period = standard == dv::Standard::PAL ? 400000 : 333667;
        REFERENCE_TIME t = 0;
        if (!m_filter->StreamTime(&t)) t = m_delivered * period;
        REFERENCE_TIME tEnd = t + period;
        sample->SetTime(&t, &tEnd);
        LONGLONG m = m_delivered, mEnd = m_delivered + 1;
        sample->SetMediaTime(&m, &mEnd);
        sample->SetSyncPoint(TRUE);
        ++m_delivered;
        hr = Deliver(sample);
        sample->Release();
        if (hr == S_OK) {
            m_notDropped.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        // The filter downstream stops before this one: its refusal is the
        // stop arriving, not an error.
        if (hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED || hr == S_FALSE ||
            m_stopping.load(std::memory_order_acquire))
            return;
        m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return;
    }
}

// ---- filter ------------------------------------------------------------

HRESULT FwFilter::Create(std::shared_ptr<FwDevice> device, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    FwFilter* filter = new (std::nothrow) FwFilter(std::move(device));
    if (!filter) return E_OUTOFMEMORY;
    HRESULT hr = filter->QueryInterface(riid, ppv);
    filter->Release();
    return hr;
}

FwFilter::FwFilter(std::shared_ptr<FwDevice> device)
    : BaseFilter(CLSID_TapeloomFirewireDv), m_device(std::move(device)), m_pin(this, m_device) {
    m_device->AddListener(this);
}

FwFilter::~FwFilter() {
    m_device->RemoveListener(this);
    m_pin.Inactive();
}

void* FwFilter::GetInterface(REFIID riid) {
    if (riid == IID_IAMExtDevice) return static_cast<IAMExtDevice*>(this);
    if (riid == IID_IAMExtTransport) return static_cast<IAMExtTransport*>(this);
    if (riid == IID_IAMTimecodeReader) return static_cast<IAMTimecodeReader*>(this);
    return BaseFilter::GetInterface(riid);
}

void FwFilter::DeviceChanged(bool present) {
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)),
                present ? 1 : 0);
}

STDMETHODIMP FwFilter::GetTransportBasicParameters(long Param, long* pValue, LPOLESTR* ppszData) {
    if (ppszData) *ppszData = nullptr;
    if (!pValue) return E_POINTER;
    if (Param != ED_TRANSBASIC_INPUT_SIGNAL) return E_NOTIMPL;
    return m_device->GetSignalCode(pValue);
}

STDMETHODIMP FwFilter::put_Mode(long Mode) { return m_device->PutMode(Mode); }

STDMETHODIMP FwFilter::get_Mode(long* pMode) { return m_device->GetMode(pMode); }

STDMETHODIMP FwFilter::GetTimecode(PTIMECODE_SAMPLE pTimecodeSample) {
    if (!pTimecodeSample) return E_POINTER;
    if (pTimecodeSample->dwFlags != ED_DEVCAP_TIMECODE_READ) return E_NOTIMPL;
    DWORD bcd = 0;
    HRESULT hr = m_device->GetTimecode(&bcd);
    if (SUCCEEDED(hr)) pTimecodeSample->timecode.dwFrames = bcd;
    return hr;
}

}  // namespace dvfw
