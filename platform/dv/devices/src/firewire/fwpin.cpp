// The IEEE-1394 DV unit's capture pin.
#include "fwpin.h"

#include <cstring>

#include "dif.h"
#include "dvmediatype.h"

namespace dvfw {

FwPin::FwPin(BaseFilter* filter, std::shared_ptr<FwDevice> device)
    : DvCapturePin(filter, *device, m_stream), m_device(std::move(device)) {}

FwPin::~FwPin() { Inactive(); }

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

// Room for a frame of either standard: the unit may change it.
long FwPin::MaxFrameSize() const { return static_cast<long>(dv::kMaxFrameSize); }

HRESULT FwPin::AttachStream() { return m_device->Attach(&m_stream); }

void FwPin::DetachStream() { m_device->Detach(&m_stream); }

void FwPin::Stream() {
    std::vector<uint8_t> frame;
    while (m_device->NextFrame(&m_stream, &frame)) {
        IMediaSample* sample = GetFrameBuffer();
        if (!sample) return;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long size = static_cast<long>(frame.size());
        if (sample->GetSize() < size) {
            Abort(sample, E_FAIL);
            return;
        }
        std::memcpy(data, frame.data(), frame.size());
        dv::Standard standard = dv::Standard::NTSC;
        dv::ReadStandard(frame.data(), frame.size(), standard);
        // One frame period: 1/25 s, or 1001/30000 s.
        const REFERENCE_TIME period = standard == dv::Standard::PAL ? 400000 : 333667;
        const LONGLONG n = m_delivered++;
        if (!DeliverFrame(sample, size, n * period, period, n)) return;
    }
}

}  // namespace dvfw
