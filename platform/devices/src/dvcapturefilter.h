// The filter of a DV device: IBaseFilter with one capture pin,
// IAMExtDevice, IAMExtTransport and, unless the device has no timecode
// reader, IAMTimecodeReader.  Every filter bound to a device shares it, as
// the handles of one real device do: transport calls through any of them
// reach the one device.  While the device is gone the filter raises
// EC_DEVICE_LOST (0 = gone, 1 = back).
#pragma once

#include <dshow.h>

#include <functional>
#include <memory>
#include <new>

#include "com/commoniker.h"
#include "dvcapturepin.h"
#include "dvdevice.h"
#include "media/basefilter.h"

namespace dvdeck {

class DvCaptureFilter final : public BaseFilter,
                              public IAMExtDevice,
                              public IAMExtTransport,
                              public IAMTimecodeReader,
                              private DvDeviceListener {
public:
    // A new filter of class `clsid` on the device, with a capture pin of
    // type Pin (constructed from the filter and the device), asked for riid.
    template <class Pin, class Device>
    static HRESULT Create(REFCLSID clsid, const std::shared_ptr<Device>& device, REFIID riid,
                          void** ppv) {
        return CreateWithPin(
            clsid, device,
            [&device](BaseFilter* filter) -> DvCapturePin* {
                return new (std::nothrow) Pin(filter, device);
            },
            riid, ppv);
    }

    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }

    // IAMExtTransport: the basic parameter ED_TRANSBASIC_INPUT_SIGNAL and
    // the transport mode.
    STDMETHODIMP GetTransportBasicParameters(long Param, long* pValue, LPOLESTR* ppszData) override;
    STDMETHODIMP put_Mode(long Mode) override;
    STDMETHODIMP get_Mode(long* pMode) override;

    // IAMTimecodeReader: dwFlags must be ED_DEVCAP_TIMECODE_READ.
    STDMETHODIMP GetTimecode(PTIMECODE_SAMPLE pTimecodeSample) override;

protected:
    void* GetInterface(REFIID riid) override;

private:
    using PinFactory = std::function<DvCapturePin*(BaseFilter*)>;
    static HRESULT CreateWithPin(REFCLSID clsid, std::shared_ptr<DvDevice> device,
                                 const PinFactory& makePin, REFIID riid, void** ppv);
    DvCaptureFilter(REFCLSID clsid, std::shared_ptr<DvDevice> device, const PinFactory& makePin);
    ~DvCaptureFilter() override;
    void DeviceChanged(bool present) override;

    const std::shared_ptr<DvDevice> m_device;
    std::unique_ptr<DvCapturePin> m_pin;
};

// A moniker named `name` for the device: binding it creates a new filter
// of class `clsid` with a pin of type Pin on the device, or fails with
// E_FAIL once the device is gone (unplugged, or dropped by its driver).
template <class Pin, class Device>
HRESULT CreateDvDeviceMoniker(LPCOLESTR name, REFCLSID clsid, const std::shared_ptr<Device>& device,
                              IMoniker** ppmk) {
    std::weak_ptr<Device> weak = device;
    const CLSID cls = clsid;
    return CreateMemoryMoniker(
        name,
        [weak, cls](REFIID riid, void** ppv) -> HRESULT {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            std::shared_ptr<Device> d = weak.lock();
            if (!d || !d->Plugged()) return E_FAIL;
            return DvCaptureFilter::Create<Pin>(cls, d, riid, ppv);
        },
        ppmk);
}

}  // namespace dvdeck
