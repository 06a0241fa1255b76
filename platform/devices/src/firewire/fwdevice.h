// One DV unit with a tape subunit on the IEEE-1394 bus: its identity, its
// transport (AV/C commands), whether it is present, the filters bound to
// it and the capture streams it feeds.
//
// Node numbers change at every bus reset.  The device addresses its unit
// only in the bus generation a scan last found it in: between a reset and
// the scan that finds the unit again, its calls fail rather than reach
// whatever node now has the old number.
//
// Load on the unit: the status calls come many times a second.  The
// transport state is asked at most every kStatusMaxAge and again after
// every command; while frames arrive the timecode is the last frame's
// own, else it is asked at most every kStatusMaxAge too.
//
// Capture: while at least one stream is attached the unit's isochronous
// output is received; the receive thread reassembles whole frames and
// puts each one into the queue of every stream whose filter runs (the
// first stream takes the assembled buffer itself, not a copy).  A queue
// holds kFrameQueue frames; a frame that finds it full is dropped and
// counted, so the receive thread never waits for the graph.  Frames the
// bus lost or damaged are counted as dropped in every running stream.  A
// reception that breaks for good (its connection could not be set up
// again after a bus reset) ends every stream with an error.
//
// Locks: besides the device's lock (dvdevice.h), which also guards what
// the last frame said, m_receiveLock serialises starting and stopping the
// reception, and m_statusLock the cached status answers.
#pragma once

#include <strmif.h>
#include <windef.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dvassembler.h"
#include "dvdevice.h"
#include "fwbus.h"

namespace dvfw {

inline constexpr size_t kFrameQueue = 4;
inline constexpr std::chrono::milliseconds kStatusMaxAge{150};

// A whole frame received: a buffer large enough for any frame, and the
// frame's size.
struct FwFrame {
    std::vector<uint8_t> data;
    size_t size = 0;
};

// The device's side of one capture stream: whole frames received, not
// yet taken (dropped: frames lost on the bus or finding the queue full).
struct FwStream : dvdeck::DvStream {
    std::deque<FwFrame> queue;  // guarded by the device's lock
    bool broken = false;        // guarded by the device's lock
};

class FwDevice final : public dvdeck::DvDevice, private DvPacketSink {
public:
    using Clock = std::chrono::steady_clock;

    FwDevice(std::shared_ptr<BusPort> port, int portIndex, int node, unsigned generation,
             const ConfigRom& rom);
    ~FwDevice() override;

    uint64_t Guid() const { return m_guid; }
    int PortIndex() const { return m_portIndex; }
    int Node() const { return m_node.load(std::memory_order_acquire); }
    const std::wstring& FriendlyName() const { return m_name; }

    // A scan of bus generation `generation` found the unit at node `node`.
    // A unit that was gone is back (see DvDevice::Plug); one that stayed
    // has its running reception connected again.
    void Found(int node, unsigned generation);

    // Transport and status; fail while the unit is gone, silent, or not
    // yet found again after a bus reset.
    HRESULT PutMode(long mode) override;
    HRESULT GetMode(long* mode) override;
    HRESULT GetTimecode(DWORD* bcd) override;
    HRESULT GetSignalCode(long* code) override;

    // DVINFO and frame size: the last whole frame's, else what the unit's
    // signal mode says (standard only; false when nothing is known).
    bool LastFrameFormat(DVINFO* info, size_t* frameSize);
    // When no frame has been seen yet, receives for up to `wait` to see
    // one (a unit that sends nothing costs the wait once).
    void ProbeFormat(std::chrono::milliseconds wait);

    // Streams.  Attach starts the reception with the first stream (fails
    // when it cannot start).  NextFrame blocks until the stream has a
    // frame (S_OK), stops or the unit goes (S_FALSE), or the reception
    // broke (E_FAIL).  A frame taken is given back with Recycle.
    HRESULT Attach(FwStream* s);
    void Detach(FwStream* s);
    HRESULT NextFrame(FwStream* s, FwFrame* frame);
    void Recycle(FwFrame&& frame);

private:
    // What the last whole frame said; guarded by m_lock.
    struct FrameInfo {
        bool valid = false;
        Clock::time_point time;
        DVINFO dvinfo{};
        size_t size = 0;
        std::optional<DWORD> timecode;
        long signal = 0;
    };
    // A status answer kept for kStatusMaxAge.
    struct Cached {
        bool valid = false;
        Clock::time_point time;
        HRESULT hr = E_FAIL;
        long value = 0;
    };

    HRESULT Transaction(const std::vector<uint8_t>& command, std::vector<uint8_t>* response);
    template <typename Ask>
    HRESULT CachedStatus(Cached& cache, long* value, Ask ask);
    // A status inquiry whose answer `parse` turns into *value (E_FAIL when
    // it says nothing).
    template <typename Parse>
    HRESULT Inquire(const std::vector<uint8_t>& command, Parse parse, long* value);
    bool FramesFlowing();
    bool StartReceptionLocked();  // under m_receiveLock
    void OnPacket(const uint8_t* data, size_t size, unsigned lost) override;
    void OnReceptionBroken() override;
    void OnFrame(const uint8_t* frame, size_t size);
    void ClearQueuesLocked() override;

    const std::shared_ptr<BusPort> m_port;
    const int m_portIndex;
    const uint64_t m_guid;
    const std::wstring m_name;
    std::atomic<int> m_node;
    std::atomic<unsigned> m_generation;  // the bus generation m_node is valid in

    std::mutex m_statusLock;
    Cached m_mode, m_timecode, m_signal;

    std::vector<FwStream*> m_streams;           // guarded by m_lock
    std::vector<std::vector<uint8_t>> m_spare;  // buffers given back; guarded by m_lock
    FrameInfo m_lastFrame;                      // guarded by m_lock
    Clock::time_point m_lastProbe;              // guarded by m_receiveLock
    bool m_probed = false;                      // guarded by m_receiveLock

    // Reception: started with the first stream, stopped with the last.
    std::mutex m_receiveLock;  // starting and stopping
    std::unique_ptr<DvReceiver> m_receiver;
    DvFrameAssembler m_assembler;  // receive thread only
    long m_assemblerDropped = 0;   // receive thread only
};

// "Vendor Model" from the configuration ROM's texts, one of them when the
// other is missing, else a generic name.
std::wstring FriendlyNameOf(const ConfigRom& rom);

}  // namespace dvfw
