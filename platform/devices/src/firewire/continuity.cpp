// Packet loss from the stream's continuity.
#include "continuity.h"

#include <cmath>

namespace dvfw {

namespace {

constexpr unsigned kCyclesPerSecond = 8000;
// A longer silence is the unit having stopped sending (its tape stopped,
// say), not packets lost on the way.
constexpr double kLongestGapSeconds = 2.0;

}  // namespace

unsigned PacketContinuity::Next(unsigned cycle, unsigned dbc, unsigned blocks,
                                Clock::time_point now) {
    cycle %= kCyclesPerSecond;
    dbc &= 0xFF;
    unsigned lost = 0;
    const bool silence =
        m_started && std::chrono::duration<double>(now - m_time).count() > kLongestGapSeconds;
    if (m_started && !silence) {
        const unsigned counted = (dbc - m_nextDbc) & 0xFF;
        // Cycles between the two packets: the cycle numbers give it within
        // a second, the clock how many whole seconds to add.
        int64_t cycles = (cycle + kCyclesPerSecond - m_cycle) % kCyclesPerSecond;
        const double elapsed = std::chrono::duration<double>(now - m_time).count();
        const double clockCycles = elapsed * kCyclesPerSecond;
        if (clockCycles > kCyclesPerSecond / 2)
            cycles += kCyclesPerSecond * std::llround((clockCycles - cycles) / kCyclesPerSecond);
        const int64_t missedCycles = cycles > 1 ? cycles - 1 : 0;
        const double estimate = static_cast<double>(missedCycles) * 15 / 16;
        const int64_t wraps = std::llround((estimate - counted) / 256);
        lost = counted + static_cast<unsigned>(wraps > 0 ? wraps * 256 : 0);
    }
    m_started = true;
    m_nextDbc = (dbc + blocks) & 0xFF;
    m_cycle = cycle;
    m_time = now;
    return lost;
}

}  // namespace dvfw
