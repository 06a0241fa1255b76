// The emulator's parts on their own: bus descriptions, the DV stream's
// cadence and headers (both standards), and the AV/C unit's answers to what
// the clients do not send.  ROMs, faults and the rest are checked through
// the real libraries (bus_test.cpp).
#include <edevdefs.h>
#include <gtest/gtest.h>

#include "fwemu/avcunit.h"
#include "fwemu/config.h"
#include "fwemu/dvtransmitter.h"
#include "fwemutest.h"

namespace {

using namespace fwemu;

struct DescriptionCase {
    const char* text;
    bool ok;
    const char* firstName;
};

TEST(EmulatorTest, BusDescriptions) {
    const DescriptionCase cases[] = {
        {"camcorder tape=/t.dv\n", true, "camcorder1"},
        {"# two\ncamcorder name=a tape=x.dv delay=20 interim\nport\ndisk\n", true, "a"},
        {"camcorder\n", false, ""},                     // no tape
        {"scanner\n", false, ""},                       // unknown kind
        {"camcorder tape=x.dv wobble=3\n", false, ""},  // unknown word
        {"camcorder tape=x.dv guid=zz\n", false, ""},
        {"pacing sideways\n", false, ""},
        {"pacing x0\n", false, ""},
        {"pacing x8\ncamcorder tape=x.dv repeat=360\n", true, "camcorder1"},
        {"hdv vendor=\"Big Maker\" model=\"HD 1\"\n", true, "hdv1"},
    };
    for (const DescriptionCase& c : cases) {
        BusDescription bus;
        std::string error;
        EXPECT_EQ(ParseBusDescription(c.text, bus, &error), c.ok) << c.text << error;
        if (c.ok) {
            EXPECT_EQ(bus.nodes.at(0).name, c.firstName);
        }
    }
    BusDescription bus;
    ASSERT_TRUE(
        ParseBusDescription("pacing fast\ncamcorder name=a tape=x.dv delay=20 interim=never\nport\n"
                            "iidc vendor=\"Big Maker\" unplugged nobroadcast\n",
                            bus, nullptr));
    EXPECT_TRUE(bus.fast);
    EXPECT_EQ(bus.ports, 2);
    EXPECT_EQ(bus.nodes[0].faults.delayMs, 20);
    EXPECT_EQ(bus.nodes[0].faults.interimMs, Faults::kNever);
    EXPECT_EQ(bus.nodes[1].port, 1);
    EXPECT_EQ(bus.nodes[1].vendor, "Big Maker");
    EXPECT_FALSE(bus.nodes[1].plugged);
    EXPECT_FALSE(bus.nodes[1].broadcast);
    EXPECT_NE(bus.nodes[0].guid, bus.nodes[1].guid);
    ASSERT_TRUE(ParseBusDescription("pacing x8\ncamcorder tape=x.dv repeat=360\n", bus, nullptr));
    EXPECT_EQ(bus.speed, 8);
    EXPECT_EQ(bus.nodes.at(0).repeat, 360);
}

class StreamTest : public ::testing::TestWithParam<dv::Standard> {
protected:
    void SetUp() override {
        std::vector<uint8_t> tape;
        ASSERT_TRUE(dv::MakeTestTape(GetParam(), 4, tape));
        m_path = m_dir.WriteBytes("tape.dv", tape);
        m_deck = std::make_unique<TapeDeck>(m_path);
        ASSERT_TRUE(m_deck->ok());
        m_tx = std::make_unique<DvTransmitter>(*m_deck);
    }
    // Runs `cycles` cycles; returns the payload of the data packets.
    std::vector<uint8_t> Run(int cycles, int* data = nullptr, int* syts = nullptr) {
        std::vector<uint8_t> payload;
        uint8_t packet[kMaxIsoPacket];
        for (int c = 0; c < cycles; ++c) {
            bool lost = false;
            const size_t n = m_tx->Cycle(static_cast<unsigned>(c), 5, m_faults, packet, lost);
            EXPECT_EQ(packet[0], 5);  // SID
            EXPECT_EQ(packet[1], 0x78);
            EXPECT_EQ(packet[4], 0x80);  // EOH, FMT DV
            EXPECT_EQ(packet[5], GetParam() == dv::Standard::PAL ? 0x80 : 0x00);
            if (syts && (packet[6] != 0xFF || packet[7] != 0xFF)) ++*syts;
            if (n == kMaxIsoPacket) {
                EXPECT_EQ(packet[3], m_dbc++);
                payload.insert(payload.end(), packet + 8, packet + n);
                if (data) ++*data;
            } else {
                EXPECT_EQ(n, kCipHeaderSize);
                EXPECT_EQ(packet[3], m_dbc);  // empty packets carry the next DBC
            }
        }
        return payload;
    }
    // Cycles of `frames` frame periods.
    int Cycles(int frames) const {
        // 250 data packets in 8008/30 cycles: the cycle that carries the last.
        return GetParam() == dv::Standard::PAL ? 320 * frames : (frames * 250 * 2002 + 1874) / 1875;
    }

    fwemutest::Scratch m_dir;
    std::string m_path;
    std::unique_ptr<TapeDeck> m_deck;
    std::unique_ptr<DvTransmitter> m_tx;
    Faults m_faults;
    uint8_t m_dbc = 0;
};

TEST_P(StreamTest, PlayingSendsTheTapeAtTheDvCadence) {
    m_deck->transport().SetMode(ED_MODE_PLAY);
    int data = 0, syts = 0;
    const std::vector<uint8_t> payload = Run(Cycles(3), &data, &syts);
    EXPECT_EQ(data, 3 * static_cast<int>(m_deck->frameSize() / kDvPayloadSize));
    EXPECT_EQ(syts, 3);  // one timestamp a frame
    const std::vector<uint8_t> tape = fwemutest::ReadBytes(m_path);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), tape.begin()));
    EXPECT_EQ(m_tx->framesSent(), 3);
}

TEST_P(StreamTest, PausedRepeatsTheStillFrameAndStoppedSendsEmptyPackets) {
    m_deck->transport().SetMode(ED_MODE_PLAY);
    Run(Cycles(2));
    m_deck->transport().SetMode(ED_MODE_FREEZE);
    const std::vector<uint8_t> still = Run(Cycles(2));
    const size_t fs = m_deck->frameSize();
    ASSERT_EQ(still.size(), 2 * fs);
    EXPECT_TRUE(std::equal(still.begin(), still.begin() + fs, still.begin() + fs));
    EXPECT_TRUE(std::equal(still.begin(), still.begin() + fs, m_deck->frame(1)));
    m_deck->transport().SetMode(ED_MODE_STOP);
    EXPECT_TRUE(Run(Cycles(2)).empty());
}

TEST_P(StreamTest, LostFramesAreLostWhole) {
    m_deck->transport().SetMode(ED_MODE_PLAY);
    m_faults.frameLossEvery = 2;
    uint8_t packet[kMaxIsoPacket];
    int lostPackets = 0;
    for (int c = 0; c < Cycles(4); ++c) {
        bool lost = false;
        m_tx->Cycle(static_cast<unsigned>(c), 0, m_faults, packet, lost);
        lostPackets += lost;
    }
    EXPECT_EQ(lostPackets, 2 * static_cast<int>(m_deck->frameSize() / kDvPayloadSize));
    EXPECT_EQ(m_tx->framesSent(), 2);
}

INSTANTIATE_TEST_SUITE_P(Standards, StreamTest,
                         ::testing::Values(dv::Standard::PAL, dv::Standard::NTSC));

struct AvcCase {
    std::vector<uint8_t> command;
    std::vector<uint8_t> answer;
};

TEST(EmulatorTest, AvcAnswers) {
    TapeDeck deck(dv::Standard::PAL, 100);
    AvcUnit unit(deck, false, 0x0000F0);
    const auto now = Clock::now();
    const AvcCase cases[] = {
        {{0x01, 0xFF, 0x31, 0x07, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x0C, 0xFF, 0x31, 0x07, 0x20, 0xFF, 0xFF, 0xFF}},
        {{0x01, 0xFF, 0x31, 0x17, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x0C, 0xFF, 0x31, 0x17, 0xFF, 0xFF, 0xFF, 0xFF}},
        {{0x01, 0xFF, 0x30, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x0C, 0xFF, 0x30, 0x07, 0x20, 0x00, 0x00, 0xF0}},
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC4, 0x60}},  // stopped
        {{0x00, 0x20, 0xC3, 0x75}, {0x09, 0x20, 0xC3, 0x75}},  // PLAY
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC3, 0x75}},
        {{0x00, 0x20, 0xC3, 0x7D}, {0x09, 0x20, 0xC3, 0x7D}},  // pause
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC3, 0x7D}},
        {{0x00, 0x20, 0xC4, 0x65}, {0x09, 0x20, 0xC4, 0x65}},  // rewind
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC4, 0x65}},
        {{0x00, 0x20, 0xC3, 0x3F}, {0x09, 0x20, 0xC3, 0x3F}},  // fastest forward
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC3, 0x3F}},
        {{0x00, 0x20, 0xC3, 0x30}, {0x09, 0x20, 0xC3, 0x30}},  // next frame: a still
        {{0x01, 0x20, 0xD0, 0x7F}, {0x0C, 0x20, 0xC3, 0x7D}},
        {{0x01, 0x20, 0x78, 0xFF}, {0x0C, 0x20, 0x78, 0x80}},
        {{0x01, 0x20, 0x51, 0x71, 0xFF, 0xFF, 0xFF, 0xFF}, {0x0C, 0x20, 0x51, 0x71, 0x01, 0, 0, 0}},
        {{0x00, 0x20, 0xC2, 0x75}, {0x0A, 0x20, 0xC2, 0x75}},  // RECORD: write-protected
        {{0x00, 0x20, 0xC3, 0x99}, {0x0A, 0x20, 0xC3, 0x99}},  // no such play mode
        {{0x02, 0x20, 0xC3, 0x75}, {0x0C, 0x20, 0xC3, 0x75}},  // inquiry: implemented
        {{0x01, 0x20, 0x52, 0x71}, {0x08, 0x20, 0x52, 0x71}},  // not implemented
        {{0x00, 0x20, 0xD0, 0x7F}, {0x08, 0x20, 0xD0, 0x7F}},  // a status as control
        {{0x01, 0x48, 0x31, 0x07}, {0x08, 0x48, 0x31, 0x07}},  // no such subunit
    };
    for (const AvcCase& c : cases)
        EXPECT_EQ(unit.Answer(c.command, now), c.answer) << int(c.command[2]);
}

}  // namespace
