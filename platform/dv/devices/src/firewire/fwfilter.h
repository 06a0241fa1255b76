// The filter of a DV unit on the IEEE-1394 bus: IBaseFilter with one
// capture pin (interleaved DV, IAMDroppedFrames, IAMStreamControl),
// IAMExtDevice, IAMExtTransport and IAMTimecodeReader.  Every filter bound
// to a unit shares it: transport calls through any of them reach the one
// device.
#pragma once

#include <dshow.h>

#include <atomic>
#include <memory>
#include <thread>

#include "fwdevice.h"
#include "media/basefilter.h"
#include "media/basepin.h"

DEFINE_GUID(CLSID_TapeloomFirewireDv, 0x0c6f3a52, 0x9e17, 0x4b80, 0xa4, 0x3d, 0x18, 0x5b, 0xe2,
            0x7f, 0x90, 0x6c);

namespace dvfw {

class FwFilter;

// The capture pin.  Its streaming thread takes whole frames from the
// device's queue, copies them into samples and delivers them; it ends when
// the filter stops or the unit goes away.
class FwPin final : public BaseOutputPin, public IAMDroppedFrames {
public:
    FwPin(FwFilter* filter, std::shared_ptr<FwDevice> device);
    ~FwPin() override;
    MEDIA_PIN_IUNKNOWN

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    void StateChanged() override;

    // Counts that only grow, over the pin's whole life.
    STDMETHODIMP GetNumDropped(long* plDropped) override;
    STDMETHODIMP GetNumNotDropped(long* plNotDropped) override;

protected:
    void* GetPinInterface(REFIID riid) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

private:
    void ThreadProc();

    const std::shared_ptr<FwDevice> m_device;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_dropped{0};
    std::atomic<long> m_notDropped{0};
    long m_delivered = 0;  // streaming thread only
    FwStream m_stream;
    std::thread m_thread;
};

class FwFilter final : public BaseFilter,
                       public IAMExtDevice,
                       public IAMExtTransport,
                       public IAMTimecodeReader,
                       private dvdeck::DeckListener {
public:
    // A new filter on the device, asked for riid.
    static HRESULT Create(std::shared_ptr<FwDevice> device, REFIID riid, void** ppv);

    MEDIA_FILTER_IUNKNOWN

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

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
    explicit FwFilter(std::shared_ptr<FwDevice> device);
    ~FwFilter() override;
    void DeviceChanged(bool present) override;

    const std::shared_ptr<FwDevice> m_device;
    FwPin m_pin;
};

}  // namespace dvfw
