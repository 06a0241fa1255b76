// Packets lost on the bus, found from the CIP data block counter and the
// cycle numbers of the packets that did arrive.
#include <gtest/gtest.h>

#include "firewire/continuity.h"

namespace {

using dvfw::PacketContinuity;
using Clock = PacketContinuity::Clock;
using std::chrono::milliseconds;

// A PAL DV stream as a transmitter sends it: one packet a cycle, an empty
// one (no block, the next block's counter) after every fifteen data ones.
struct Stream {
    unsigned cycle = 0;
    unsigned dbc = 0;
    unsigned sent = 0;
    Clock::time_point time = Clock::now();

    // The next packet: cycle, counter, blocks.
    std::tuple<unsigned, unsigned, unsigned> Next() {
        const bool empty = sent % 16 == 15;
        std::tuple<unsigned, unsigned, unsigned> p{cycle % 8000, dbc & 0xFF, empty ? 0u : 1u};
        if (!empty) ++dbc;
        ++sent;
        ++cycle;
        time += std::chrono::microseconds(125);
        return p;
    }
};

TEST(PacketContinuity, CountsTheDataPacketsOfEveryGap) {
    struct Case {
        const char* what;
        unsigned skipped;    // packets skipped after 1000 received
        milliseconds pause;  // clock time on top of the skipped cycles
        unsigned lost;       // data packets expected to be counted
    } const cases[] = {
        {"no gap", 0, milliseconds(0), 0},
        {"one data packet", 1, milliseconds(0), 1},
        {"a few packets with an empty one", 20, milliseconds(0), 19},
        {"one whole frame (300 data packets, past the counter's 256)", 320, milliseconds(0), 300},
        {"four frames", 1280, milliseconds(0), 1200},
        {"longer than the cycle numbers' second", 8000 * 3 / 2, milliseconds(0), 11250},
        {"a silence of the sender, not a loss", 16, milliseconds(2500), 0},
    };
    for (const Case& c : cases) {
        Stream s;
        PacketContinuity continuity;
        unsigned lost = 0;
        for (int i = 0; i < 1000; ++i) {
            auto [cycle, dbc, blocks] = s.Next();
            lost += continuity.Next(cycle, dbc, blocks, s.time);
        }
        for (unsigned i = 0; i < c.skipped; ++i) s.Next();
        s.time += c.pause;
        for (int i = 0; i < 100; ++i) {
            auto [cycle, dbc, blocks] = s.Next();
            lost += continuity.Next(cycle, dbc, blocks, s.time);
        }
        EXPECT_EQ(c.lost, lost) << c.what;
    }
}

TEST(PacketContinuity, CycleNumbersThatTellNothingStillLeaveTheCounter) {
    // A receiver that gets no cycle numbers (all 0) still sees small gaps.
    PacketContinuity continuity;
    const auto t = Clock::now();
    EXPECT_EQ(0u, continuity.Next(0, 10, 1, t));
    EXPECT_EQ(0u, continuity.Next(0, 11, 1, t));
    EXPECT_EQ(5u, continuity.Next(0, 17, 1, t));
    EXPECT_EQ(0u, continuity.Next(0, 18, 0, t));  // an empty packet
    EXPECT_EQ(0u, continuity.Next(0, 18, 1, t));
}

}  // namespace
