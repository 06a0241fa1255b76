// Reassembles DIF frames from the blocks of isochronous packets.
//
// A frame starts with the header block of sequence 0 and is whole when
// every one of its blocks arrived in place (1500 blocks at 525/60, 1800 at
// 625/50).  Every block carries its own position (sequence, section,
// number), so a gap shows where it is: a frame that misses blocks, or
// whose header was lost, is counted as dropped and never handed on.
// Whole frames that vanished inside a gap of lost packets are counted from
// the packet count (one frame is 250 or 300 packets of six blocks); the
// losses reported with empty packets add up to one gap.
// Blocks before the first header belong to no frame and are not counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "dv/dif.h"

namespace dvfw {

class DvFrameAssembler {
public:
    // Called with every whole frame (valid during the call only).
    using FrameFunction = std::function<void(const uint8_t* frame, size_t size)>;
    explicit DvFrameAssembler(FrameFunction onFrame);

    // One packet's DIF blocks (size a multiple of 80; a trailing partial
    // block is ignored) and the packets lost before it.
    void AddPacket(const uint8_t* data, size_t size, unsigned lost);

    // Frames found damaged or missing so far.
    long Dropped() const { return m_dropped; }

    // Trades the frame buffer for `other`, which is made large enough for
    // any frame.  The frame function may call it to keep the frame it was
    // handed without copying it.
    void ExchangeBuffer(std::vector<uint8_t>& other);

private:
    enum class State { Idle, Collecting, Between, Headless };
    void AddBlock(const uint8_t* block);
    void StartFrame(const uint8_t* header);
    void Finish();

    FrameFunction m_onFrame;
    State m_state = State::Idle;
    dv::Standard m_standard = dv::Standard::NTSC;
    bool m_seenStandard = false;
    int m_blocks = 0;  // blocks in a frame of m_standard
    int m_next = 0;    // position of the next block expected
    bool m_damaged = false;
    long m_dropped = 0;
    unsigned m_lostRun = 0;  // packets lost since the last one with blocks
    std::vector<uint8_t> m_frame;
};

// Position of a block within its frame from its ID (sequence * 150 + place
// in the sequence), or -1 when the ID is no block of a frame of `standard`.
int BlockPosition(const uint8_t* block, dv::Standard standard);

}  // namespace dvfw
