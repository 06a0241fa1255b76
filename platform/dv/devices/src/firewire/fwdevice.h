// One DV unit with a tape subunit on the IEEE-1394 bus: its identity, its
// transport (AV/C commands), whether it is present, the filters bound to
// it and the capture streams it feeds.
//
// Capture: while at least one stream is attached the unit's isochronous
// output is received; the receive thread reassembles whole frames and
// puts each one into the queue of every stream whose filter runs.  A
// queue holds kFrameQueue frames; a frame that finds it full is dropped
// and counted, so the receive thread never waits for the graph.  Frames
// the bus lost or damaged are counted as dropped in every running stream.
//
// Locks: besides the device's lock (dvdevice.h), m_receiveLock serialises
// starting and stopping the reception and m_lastLock guards the last whole
// frame.
#pragma once

#include <strmif.h>
#include <windef.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dvassembler.h"
#include "dvdevice.h"
#include "fwbus.h"

namespace dvfw {

inline constexpr size_t kFrameQueue = 4;

// The device's side of one capture stream: whole frames received, not
// yet taken (dropped: frames lost on the bus or finding the queue full).
struct FwStream : dvdeck::DvStream {
    std::deque<std::vector<uint8_t>> queue;  // guarded by the device's lock
};

class FwDevice final : public dvdeck::DvDevice, private DvPacketSink {
public:
    FwDevice(std::shared_ptr<BusPort> port, int portIndex, int node, const ConfigRom& rom);
    ~FwDevice() override;

    uint64_t Guid() const { return m_guid; }
    int PortIndex() const { return m_portIndex; }
    int Node() const { return m_node.load(std::memory_order_acquire); }
    const std::wstring& FriendlyName() const { return m_name; }

    // The unit came back (at node `node`); see DvDevice::Plug.
    bool Plug(int node);
    // After a bus reset that left the unit in place (at node `node`): a
    // running reception is set up again, since a reset breaks the
    // connection to the unit's output plug.
    void BusReset(int node);

    // Transport and status; fail while the unit is gone or silent.
    HRESULT PutMode(long mode) override;
    HRESULT GetMode(long* mode) override;
    HRESULT GetTimecode(DWORD* bcd) override;
    HRESULT GetSignalCode(long* code) override;
    // DVINFO and frame size from the last whole frame received, or the
    // defaults of the signal (false when nothing is known yet).
    bool LastFrameFormat(DVINFO* info, size_t* frameSize);

    // Streams.  Attach starts the reception with the first stream (fails
    // when it cannot start).  NextFrame blocks until the stream has a frame (true), or
    // it stops or the unit goes (false).
    HRESULT Attach(FwStream* s);
    void Detach(FwStream* s);
    bool NextFrame(FwStream* s, std::vector<uint8_t>* frame);

private:
    HRESULT Transaction(const std::vector<uint8_t>& command, std::vector<uint8_t>* response);
    void OnPacket(const uint8_t* data, size_t size, unsigned lost) override;
    void OnFrame(const uint8_t* frame, size_t size);
    void ClearQueuesLocked() override;

    const std::shared_ptr<BusPort> m_port;
    const int m_portIndex;
    const uint64_t m_guid;
    const std::wstring m_name;
    std::atomic<int> m_node;

    std::vector<FwStream*> m_streams;  // guarded by m_lock

    // Reception: started with the first stream, stopped with the last.
    std::mutex m_receiveLock;  // starting and stopping
    std::unique_ptr<DvReceiver> m_receiver;
    DvFrameAssembler m_assembler;  // receive thread only
    long m_assemblerDropped = 0;   // receive thread only

    std::mutex m_lastLock;
    std::vector<uint8_t> m_last;  // the last whole frame, empty before one
};

// "Vendor Model" from the configuration ROM's texts, one of them when the
// other is missing, else a generic name.
std::wstring FriendlyNameOf(const ConfigRom& rom);

}  // namespace dvfw
