// The IEEE-1394 DV unit's capture pin.
#include "fwpin.h"

#include <evcode.h>

#include <cstring>

#include "dv/dif.h"
#include "dvmediatype.h"

namespace dvfw {

namespace {

// How long a unit that has sent no frame yet is listened to for one when
// a connection asks for its format.
constexpr std::chrono::milliseconds kProbeWait{400};

}  // namespace

FwPin::FwPin(BaseFilter* filter, std::shared_ptr<FwDevice> device)
    : DvCapturePin(filter, *device, m_stream), m_device(std::move(device)) {}

FwPin::~FwPin() { Inactive(); }

HRESULT FwPin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (n != 0) return S_FALSE;
    // The packs of the frames the unit sends; before the first one, a
    // short look at its output, else the standard of its signal mode.
    DVINFO info{};
    size_t size = dv::kMaxFrameSize;
    m_device->ProbeFormat(kProbeWait);
    m_device->LastFrameFormat(&info, &size);
    return dvdeck::MakeDvMediaType(size, info, pmt);
}

// Room for a frame of either standard: the unit may change it.
long FwPin::MaxFrameSize() const { return static_cast<long>(dv::kMaxFrameSize); }

HRESULT FwPin::AttachStream() { return m_device->Attach(&m_stream); }

void FwPin::DetachStream() { m_device->Detach(&m_stream); }

void FwPin::Stream() {
    FwFrame frame;
    HRESULT hr;
    while ((hr = m_device->NextFrame(&m_stream, &frame)) == S_OK) {
        IMediaSample* sample = GetFrameBuffer();
        if (!sample) return;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long size = static_cast<long>(frame.size);
        if (sample->GetSize() < size) {
            Abort(sample, E_FAIL);
            return;
        }
        std::memcpy(data, frame.data.data(), frame.size);
        dv::Standard standard = dv::Standard::NTSC;
        dv::ReadStandard(data, frame.size, standard);
        m_device->Recycle(std::move(frame));
        // One frame period: 1/25 s, or 1001/30000 s.
        const REFERENCE_TIME period = standard == dv::Standard::PAL ? 400000 : 333667;
        const LONGLONG n = m_delivered++;
        if (!DeliverFrame(sample, size, n * period, period, n)) return;
    }
    // The unit's output could not be received again after a bus reset.
    if (FAILED(hr)) m_filter->NotifyEvent(EC_ERRORABORT, hr, 0);
}

}  // namespace dvfw
