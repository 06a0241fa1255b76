// The capture pin of a DV unit on the IEEE-1394 bus.  Its filter is the
// DV devices' filter (dvcapturefilter.h) on the unit.
#pragma once

#include <dshow.h>

#include <memory>

#include "dvcapturepin.h"
#include "fwdevice.h"

DEFINE_GUID(CLSID_TapeloomFirewireDv, 0x0c6f3a52, 0x9e17, 0x4b80, 0xa4, 0x3d, 0x18, 0x5b, 0xe2,
            0x7f, 0x90, 0x6c);

namespace dvfw {

// The streaming thread takes whole frames from the device's queue and
// copies them into samples.
class FwPin final : public dvdeck::DvCapturePin {
public:
    FwPin(BaseFilter* filter, std::shared_ptr<FwDevice> device);
    ~FwPin() override;

    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    long MaxFrameSize() const override;
    HRESULT AttachStream() override;
    void DetachStream() override;
    void Stream() override;

private:
    const std::shared_ptr<FwDevice> m_device;
    long m_delivered = 0;  // streaming thread only
    FwStream m_stream;
};

}  // namespace dvfw
