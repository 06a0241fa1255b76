// Reassembly of DIF frames from isochronous packets, with packets lost.
#include <gtest/gtest.h>

#include <cstring>

#include "dv/dvtesttape.h"
#include "firewire/dvassembler.h"

namespace {

constexpr size_t kPacket = 480;  // six blocks

struct Collector {
    std::vector<std::vector<uint8_t>> frames;
    dvfw::DvFrameAssembler assembler{
        [this](const uint8_t* f, size_t n) { frames.emplace_back(f, f + n); }};

    // Feeds bytes [from, to) of the stream as packets; packets whose
    // number (counted from `from`) is in `lost` are not delivered.  With
    // `empties`, an empty packet arrives after every fifteen data packets,
    // lost or not, and reports the losses so far (as a receiver does).
    void Feed(const std::vector<uint8_t>& stream, size_t from, size_t to,
              const std::vector<size_t>& lost = {}, bool empties = false) {
        unsigned missing = 0;
        size_t n = 0;
        for (size_t off = from; off < to; off += kPacket, ++n) {
            if (std::find(lost.begin(), lost.end(), n) != lost.end()) {
                ++missing;
            } else {
                assembler.AddPacket(stream.data() + off, std::min(kPacket, to - off), missing);
                missing = 0;
            }
            if (empties && n % 15 == 14) {
                assembler.AddPacket(nullptr, 0, missing);
                missing = 0;
            }
        }
    }
};

class AssemblerTest : public ::testing::TestWithParam<dv::Standard> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dv::MakeTestTape(GetParam(), 6, m_tape));
        m_size = dv::FrameSize(GetParam());
        m_packets = m_size / kPacket;
    }
    const uint8_t* Frame(int i) const { return m_tape.data() + i * m_size; }
    bool Same(const std::vector<uint8_t>& got, int i) const {
        return got.size() == m_size && std::memcmp(got.data(), Frame(i), m_size) == 0;
    }

    std::vector<uint8_t> m_tape;
    size_t m_size = 0;
    size_t m_packets = 0;
};

TEST_P(AssemblerTest, WholeFramesComeOutIntactAndAPartialFirstFrameIsNotCounted) {
    Collector c;
    // Join in the middle of frame 0: its tail belongs to no frame.
    c.Feed(m_tape, m_size / 2 - (m_size / 2) % kPacket, m_tape.size());
    ASSERT_EQ(5u, c.frames.size());
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(Same(c.frames[i], i + 1)) << i;
    EXPECT_EQ(0, c.assembler.Dropped());
    // Empty packets change nothing.
    c.assembler.AddPacket(nullptr, 0, 0);
    EXPECT_EQ(0, c.assembler.Dropped());
}

TEST_P(AssemblerTest, LostPacketsDropExactlyTheFramesTheyHit) {
    // Inside frame 1; the packet carrying frame 3's header; and two packets
    // in a row at the end of frame 4 and the start of frame 5.
    Collector c;
    const size_t p = m_packets;
    c.Feed(m_tape, 0, m_tape.size(), {p + 10, 3 * p, 5 * p - 1, 5 * p});
    ASSERT_EQ(2u, c.frames.size());
    EXPECT_TRUE(Same(c.frames[0], 0));
    EXPECT_TRUE(Same(c.frames[1], 2));
    EXPECT_EQ(4, c.assembler.Dropped());  // frames 1, 3, 4, 5
}

TEST_P(AssemblerTest, AGapLongerThanAFrameCountsTheFramesInside) {
    // From the middle of frame 1 to the middle of frame 4: frames 1 to 4
    // are lost, 2 and 3 without a trace but the packet count.
    Collector c;
    const size_t p = m_packets;
    std::vector<size_t> lost;
    for (size_t n = p + p / 2; n < 4 * p + p / 2; ++n) lost.push_back(n);
    c.Feed(m_tape, 0, m_tape.size(), lost);
    ASSERT_EQ(2u, c.frames.size());
    EXPECT_TRUE(Same(c.frames[0], 0));
    EXPECT_TRUE(Same(c.frames[1], 5));
    EXPECT_EQ(4, c.assembler.Dropped());
}

TEST_P(AssemblerTest, AFrameLostWholeIsCountedThoughEmptyPacketsArrivedInIt) {
    Collector c;
    const size_t p = m_packets;
    std::vector<size_t> lost;
    for (size_t n = 2 * p; n < 3 * p; ++n) lost.push_back(n);
    c.Feed(m_tape, 0, m_tape.size(), lost, true);
    ASSERT_EQ(5u, c.frames.size());
    EXPECT_TRUE(Same(c.frames[2], 3));
    EXPECT_EQ(1, c.assembler.Dropped());
}

TEST_P(AssemblerTest, AFrameCutShortOrWithForeignBlocksIsDropped) {
    Collector c;
    // Frame 0 stops half way (no loss reported), frame 1 follows whole.
    c.Feed(m_tape, 0, m_size / 2);
    c.Feed(m_tape, m_size, 2 * m_size);
    // Frame 2 with one block whose ID is garbage.
    std::vector<uint8_t> bad(Frame(2), Frame(2) + m_size);
    std::memset(bad.data() + 7 * 80, 0xEE, 3);
    c.Feed(bad, 0, m_size);
    c.Feed(m_tape, 3 * m_size, 4 * m_size);
    ASSERT_EQ(2u, c.frames.size());
    EXPECT_TRUE(Same(c.frames[0], 1));
    EXPECT_TRUE(Same(c.frames[1], 3));
    EXPECT_EQ(2, c.assembler.Dropped());
}

INSTANTIATE_TEST_SUITE_P(Standards, AssemblerTest,
                         ::testing::Values(dv::Standard::PAL, dv::Standard::NTSC),
                         [](const auto& info) {
                             return info.param == dv::Standard::PAL ? "PAL" : "NTSC";
                         });

}  // namespace
