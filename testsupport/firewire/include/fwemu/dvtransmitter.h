// A camcorder's isochronous DV output: one packet per bus cycle, each a
// two-quadlet CIP header (SID, DBS 0x78, DBC; FMT 0x00 DV, FDF 0x80 for
// 50 Hz / 0x00 for 60 Hz, SYT) with either 480 bytes of the frame (six DIF
// blocks) or nothing (an empty packet).  A frame takes 300 data packets in
// 320 cycles (625/50) or 250 data packets in 8000*1001/30000 cycles (525/60);
// the empty packets fall between them.  The transport moves one frame
// period every time a frame's data slots begin.
//
// While the transport shows no picture (stopped, winding) every packet is
// empty: the stream stays on, so receivers keep getting interrupts.  While
// paused the frame under the head is sent again and again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fwemu/faults.h"
#include "fwemu/tapedeck.h"

namespace fwemu {

inline constexpr size_t kCipHeaderSize = 8;
inline constexpr size_t kDvPayloadSize = 480;
inline constexpr size_t kMaxIsoPacket = kCipHeaderSize + kDvPayloadSize;

class DvTransmitter {
public:
    explicit DvTransmitter(TapeDeck& deck);

    // Runs one bus cycle.  Writes the packet to `out` and returns its
    // length (8 or 488); `lost` is set when a fault says the packet never
    // reaches the bus (the transmitter's counters still move on).
    size_t Cycle(unsigned cycle, int sourceNode, const Faults& faults, uint8_t* out, bool& lost);

    int64_t framesSent() const { return m_framesSent; }
    int64_t packetsSent() const { return m_dataPackets; }
    int64_t packetsLost() const { return m_lost; }

private:
    TapeDeck& m_deck;
    const bool m_pal;
    const unsigned m_slotsPerFrame;
    uint32_t m_accumulator = 0;
    unsigned m_slot = 0;   // data slot within the frame period
    int64_t m_frame = -1;  // frame of this period, -1: no picture
    bool m_frameLost = false;
    uint8_t m_dbc = 0;
    int64_t m_framePeriods = 0;
    int64_t m_dataPackets = 0;  // data packets put on the bus or lost
    int64_t m_framesSent = 0;
    int64_t m_lost = 0;
};

}  // namespace fwemu
