// A source filter that plays a DV tape (whole frames in memory) as a
// device would: interleaved DV, optionally with the tape's DVINFO, unpaced,
// then the end of the stream.  Shared by the DV filters' tests and
// benchmarks.
#pragma once

#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "dv/dif.h"
#include "media/basefilter.h"
#include "media/sourcestream.h"

DEFINE_GUID(CLSID_TestTapeSource, 0x1e0f5d10, 0x0011, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x11);

class TapeSource;

class TapeSourcePin final : public SourceStreamPin {
public:
    explicit TapeSourcePin(TapeSource* source);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override;
    HRESULT FillBuffer(IMediaSample* sample) override;
    void OnThreadStart() override;  // each run plays from the tape's start

private:
    TapeSource* m_source;
};

// Plays `frames` frames of `tape` (0: the tape once; more than the tape
// holds loops it) at each run.  With `withDvInfo` the output type carries
// the DVINFO of the first frame.
class TapeSource final : public BaseFilter {
public:
    explicit TapeSource(std::vector<uint8_t> tape, bool withDvInfo = true, long frames = 0);
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    size_t Frames() const { return m_frameSize ? m_tape.size() / m_frameSize : 0; }
    size_t FrameSize() const { return m_frameSize; }
    const uint8_t* Frame(size_t i) const { return m_tape.data() + i * m_frameSize; }
    // Whether `p` is one of the buffers the source filled.
    bool Filled(const BYTE* p);
    // Frames from `failAt` on fail to fill (a device error); -1: none.
    std::atomic<long> failAt{-1};

private:
    friend class TapeSourcePin;
    TapeSourcePin m_pin;
    const std::vector<uint8_t> m_tape;
    const bool m_withDvInfo;
    dv::Standard m_standard = dv::Standard::PAL;
    size_t m_frameSize = 0;
    size_t m_length = 0;  // frames a run plays
    DVINFO m_info{};
    size_t m_next = 0;  // streaming thread
    std::mutex m_bufLock;
    std::set<const BYTE*> m_buffers;
};
