// The capture pin of a DV device's filter: interleaved DV out, with
// IAMDroppedFrames and IAMStreamControl.  While the filter is paused or
// running a streaming thread takes frames from the device, puts them into
// samples and delivers them; it ends when the filter stops, the device
// goes, or delivery fails.
//
// A device's pin says how large a frame can be, puts its stream on the
// device and takes it off, and runs the streaming loop (Stream) with the
// helpers below.  Its destructor calls Inactive(), since the streaming
// thread calls into it.
#pragma once

#include <dshow.h>

#include <atomic>
#include <thread>

#include "dvdevice.h"
#include "media/basepin.h"

namespace dvdeck {

class DvCapturePin : public BaseOutputPin, public IAMDroppedFrames {
public:
    MEDIA_PIN_IUNKNOWN

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    void StateChanged() override;

    // Counts that only grow, over the pin's whole life.
    STDMETHODIMP GetNumDropped(long* plDropped) override;
    STDMETHODIMP GetNumNotDropped(long* plNotDropped) override;

protected:
    // `stream` is the derived pin's own, on `device`.
    DvCapturePin(BaseFilter* filter, DvDevice& device, DvStream& stream);

    void* GetPinInterface(REFIID riid) override;
    // Four buffers of MaxFrameSize().
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // The largest frame a sample has to hold.
    virtual long MaxFrameSize() const = 0;
    // Puts the stream on the device (the filter leaves the stopped state),
    // and takes it off again once the streaming thread has ended.
    virtual HRESULT AttachStream() = 0;
    virtual void DetachStream() = 0;
    // The streaming thread's loop.
    virtual void Stream() = 0;

    // A buffer from the allocator, or null: the stream ends (a failure
    // raises EC_ERRORABORT unless the pin is stopping).
    IMediaSample* GetFrameBuffer();
    // Raises EC_ERRORABORT for a frame that cannot be delivered, releasing
    // its sample.
    void Abort(IMediaSample* sample, HRESULT hr);
    // Stamps the sample as one frame of `size` bytes (stream time, or
    // `fallbackStart` while the filter has no clock; `duration`; media time
    // `mediaTime`), delivers and releases it.  True when it was delivered;
    // false when the stream ends: the filter downstream stopping first, or
    // a failure raised as EC_ERRORABORT.
    bool DeliverFrame(IMediaSample* sample, long size, REFERENCE_TIME fallbackStart,
                      REFERENCE_TIME duration, LONGLONG mediaTime);

private:
    DvDevice& m_device;
    DvStream& m_stream;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_dropped{0};
    std::atomic<long> m_notDropped{0};
    std::thread m_thread;
};

}  // namespace dvdeck
