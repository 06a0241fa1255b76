// The DV devices' filter.
#include "dvcapturefilter.h"

#include <edevdefs.h>
#include <evcode.h>

namespace dvdeck {

HRESULT DvCaptureFilter::CreateWithPin(REFCLSID clsid, std::shared_ptr<DvDevice> device,
                                       const PinFactory& makePin, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    DvCaptureFilter* filter = new (std::nothrow) DvCaptureFilter(clsid, std::move(device), makePin);
    if (!filter) return E_OUTOFMEMORY;
    HRESULT hr = filter->m_pin ? filter->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
    filter->Release();
    return hr;
}

DvCaptureFilter::DvCaptureFilter(REFCLSID clsid, std::shared_ptr<DvDevice> device,
                                 const PinFactory& makePin)
    : BaseFilter(clsid), m_device(std::move(device)), m_pin(makePin(this)) {
    m_device->AddListener(this);
}

DvCaptureFilter::~DvCaptureFilter() {
    m_device->RemoveListener(this);
    if (m_pin) m_pin->Inactive();
}

void* DvCaptureFilter::GetInterface(REFIID riid) {
    if (riid == IID_IAMExtDevice) return static_cast<IAMExtDevice*>(this);
    if (riid == IID_IAMExtTransport) return static_cast<IAMExtTransport*>(this);
    if (riid == IID_IAMTimecodeReader && m_device->HasTimecodeReader())
        return static_cast<IAMTimecodeReader*>(this);
    return BaseFilter::GetInterface(riid);
}

void DvCaptureFilter::DeviceChanged(bool present) {
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)),
                present ? 1 : 0);
}

STDMETHODIMP DvCaptureFilter::GetTransportBasicParameters(long Param, long* pValue,
                                                          LPOLESTR* ppszData) {
    if (ppszData) *ppszData = nullptr;
    if (!pValue) return E_POINTER;
    if (Param != ED_TRANSBASIC_INPUT_SIGNAL) return E_NOTIMPL;
    return m_device->GetSignalCode(pValue);
}

STDMETHODIMP DvCaptureFilter::put_Mode(long Mode) { return m_device->PutMode(Mode); }

STDMETHODIMP DvCaptureFilter::get_Mode(long* pMode) { return m_device->GetMode(pMode); }

STDMETHODIMP DvCaptureFilter::GetTimecode(PTIMECODE_SAMPLE pTimecodeSample) {
    if (!pTimecodeSample) return E_POINTER;
    if (pTimecodeSample->dwFlags != ED_DEVCAP_TIMECODE_READ) return E_NOTIMPL;
    DWORD bcd = 0;
    HRESULT hr = m_device->GetTimecode(&bcd);
    if (SUCCEEDED(hr)) pTimecodeSample->timecode.dwFrames = bcd;
    return hr;
}

}  // namespace dvdeck
