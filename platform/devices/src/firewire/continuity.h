// Finds the data packets a DV stream lost on the bus from the stream
// itself: the data block counter (DBC) of each packet's CIP header, and
// the isochronous cycle it arrived in.  The bus reports no loss of its own
// (its per-packet count is always 0), so frames lost whole would otherwise
// go uncounted.
//
// Each cycle carries one packet of the stream, with one data block or
// none (an empty packet carries the counter of the next block).  The
// counter alone tells a gap modulo 256 blocks; the cycles gone by tell
// about how many blocks the gap held (15 of 16 cycles carry one), which
// picks the multiple of 256.  Cycle numbers repeat every second: a gap
// longer than that is measured on the clock.  After more than two seconds
// without a packet the unit is taken to have stopped sending: nothing is
// counted for that silence.
#pragma once

#include <chrono>
#include <cstdint>

namespace dvfw {

class PacketContinuity {
public:
    using Clock = std::chrono::steady_clock;

    // A packet received in `cycle` (0-7999) whose CIP header carries
    // `dbc` and which holds `blocks` data blocks, at time `now`.  Returns
    // the data blocks that went missing just before it.
    unsigned Next(unsigned cycle, unsigned dbc, unsigned blocks, Clock::time_point now);

private:
    bool m_started = false;
    unsigned m_nextDbc = 0;
    unsigned m_cycle = 0;
    Clock::time_point m_time;
};

}  // namespace dvfw
