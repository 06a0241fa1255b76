// The kernel behaviour the emulated bus models, seen through the real
// libraw1394 API, librom1394 and libavc1394 by a check program
// (fwemu_probe) with the emulator beneath it.
#include <gtest/gtest.h>

#include <sstream>

#include "fwemutest.h"

namespace {

using fwemutest::RunOnBus;

class BusTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> tape;
        // Four seconds: the stream scenarios run for less.
        ASSERT_TRUE(dv::MakeTestTape(dv::Standard::PAL, 100, tape));
        m_tape = m_dir.WriteBytes("tape.dv", tape);
    }
    // Runs a probe scenario on a bus of the given node lines (the tape is
    // $TAPE); returns its output.
    std::string Probe(const std::string& scenario, std::string nodes, bool withBus = true) {
        for (size_t at; (at = nodes.find("$TAPE")) != std::string::npos;)
            nodes.replace(at, 5, m_tape);
        std::map<std::string, std::string> env{{"FWEMU_CONTROL", m_dir.Path("control")}};
        env["FWEMU_BUS"] = withBus ? m_dir.Write("bus.txt", nodes) : "";
        const auto r = RunOnBus({FWEMU_PROBE, scenario}, m_dir.dir.Path(), env, 30);
        EXPECT_EQ(r.status, 0) << scenario << ": " << r.output;
        return r.output;
    }
    // The numbers after `key` in the output.
    static std::vector<long> Values(const std::string& out, const std::string& key) {
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string w;
            words >> w;
            if (w != key) continue;
            std::vector<long> v;
            for (std::string x; words >> x;) {
                char* end;
                const long n = std::strtol(x.c_str(), &end, 0);
                if (*end == '\0') v.push_back(n);
            }
            return v;
        }
        return {};
    }

    fwemutest::Scratch m_dir;
    std::string m_tape;
};

TEST_F(BusTest, StaleGenerationFailsUntilTheHandleSeesTheReset) {
    const std::string out = Probe("stale-generation", "camcorder tape=$TAPE\n");
    EXPECT_EQ(Values(out, "before"), std::vector<long>{0});
    EXPECT_NE(out.find("stale -1 EAGAIN"), std::string::npos) << out;
    EXPECT_EQ(Values(out, "unchanged"), std::vector<long>{1});
    EXPECT_EQ(Values(out, "advanced"), std::vector<long>{1});
    EXPECT_EQ(Values(out, "after"), std::vector<long>{0});
}

TEST_F(BusTest, ANodeThatInitiatedAResetAnswersNothingForHalfASecond) {
    const std::string out = Probe("initiator-window", "camcorder tape=$TAPE\n");
    EXPECT_EQ(Values(out, "local"), std::vector<long>{0});
    const std::vector<long> window = Values(out, "window");
    ASSERT_EQ(window.size(), 1u) << out;
    EXPECT_GE(window[0], 450);
    EXPECT_LE(window[0], 900);
}

TEST_F(BusTest, PluggingRenumbersNodesWithSeveralResets) {
    const std::string out = Probe("plug", "camcorder tape=$TAPE\ndisk\n");
    EXPECT_EQ(Values(out, "nodes"), std::vector<long>{3});
    EXPECT_EQ(Values(out, "unplugged_nodes"), (std::vector<long>{2, 1}));
    EXPECT_EQ(Values(out, "disk_moved_to_0"), std::vector<long>{1});
    EXPECT_EQ(Values(out, "plugged_nodes"), (std::vector<long>{3, 3}));
    EXPECT_EQ(Values(out, "disk_moved_to_1"), std::vector<long>{1});
    const std::vector<long> window = Values(out, "new_node_window");
    ASSERT_EQ(window.size(), 1u);
    EXPECT_GE(window[0], 500);
    EXPECT_LE(window[0], 1000);
}

TEST_F(BusTest, ResetStormsAndRenumbering) {
    const std::string out = Probe("storm", "camcorder tape=$TAPE\ndisk\n");
    EXPECT_EQ(Values(out, "storm_resets"), (std::vector<long>{4, 4}));
    EXPECT_EQ(Values(out, "renumbered"), (std::vector<long>{1, 1}));  // GUIDs stay, numbers move
}

TEST_F(BusTest, FcpResponsesReachEveryListeningHandle) {
    const std::string out = Probe("fcp-listeners", "camcorder tape=$TAPE\n");
    EXPECT_EQ(Values(out, "answers"), (std::vector<long>{1, 1}));
}

struct AvcCase {
    const char* faults;
    const char* play;   // libavc1394's answer to PLAY (hex, 8 digits)
    const char* state;  // its answer to TRANSPORT STATE after it
    const char* deck;   // the transport afterwards
    long minMs, maxMs;  // time PLAY took
};

const AvcCase kAvcCases[] = {
    {"", "0920c375", "0c20c375", "ok play", 0, 150},
    {"delay=50", "0920c375", "0c20c375", "ok play", 40, 190},
    // Later than libavc1394's 200 ms wait: PLAY is sent twice; the first
    // answer is taken for the second command.
    {"delay=300", "0920c375", "0920c375", "ok play", 200, 350},
    {"interim=100", "0920c375", "0c20c375", "ok play", 90, 190},
    {"reject", "0a20c375", "0a20d07f", "ok stop", 0, 150},
    {"silent", "ffffffff", "ffffffff", "ok stop", 390, 600},  // nor does it act
    {"transition=1000", "0920c375", "0b20c375", "ok play", 0, 150},
    // Each answer comes after the next command: the retry of PLAY gets the
    // first PLAY's answer, TRANSPORT STATE gets the second one's.
    {"late", "0920c375", "0920c375", "ok play", 190, 300},
};

TEST_F(BusTest, AvcFaultsAsLibavc1394SeesThem) {
    for (const AvcCase& c : kAvcCases) {
        SCOPED_TRACE(c.faults);
        const std::string out =
            Probe("avc", std::string("camcorder tape=$TAPE ") + c.faults + "\n");
        std::istringstream in(out);
        std::string line, play, state;
        long ms = -1;
        while (std::getline(in, line)) {
            std::istringstream w(line);
            std::string key;
            w >> key;
            if (key == "play") w >> play >> key >> ms;
            if (key == "state") w >> state;
        }
        EXPECT_EQ(play, c.play) << out;
        EXPECT_EQ(state, c.state) << out;
        EXPECT_NE(out.find(std::string("deck ") + c.deck), std::string::npos) << out;
        EXPECT_GE(ms, c.minMs);
        EXPECT_LE(ms, c.maxMs);
    }
}

TEST_F(BusTest, IsoStreamHasTheCadenceAndHeadersOfDv) {
    const std::string out = Probe("iso", "camcorder tape=$TAPE playing\n");
    const std::vector<long> v = Values(out, "data");
    ASSERT_EQ(v.size(), 6u) << out;  // data empty gaps dropped bad frames
    const long data = v[0], empty = v[1];
    // About a second at 8000 cycles: 300 data packets in every 320.
    EXPECT_GT(data + empty, 6000);
    EXPECT_LT(data + empty, 9000);
    EXPECT_NEAR(double(data) / double(data + empty), 300.0 / 320.0, 0.005);
    EXPECT_EQ(v[2], 0);  // DBC continuous
    EXPECT_EQ(v[3], 0);  // libraw1394 never reports drops on this stack
    EXPECT_EQ(v[4], 0);  // CIP headers: DBS 0x78, FMT DV, FDF 50 Hz
    EXPECT_NEAR(double(v[5]), double(data) / 300.0, 1.5);
}

TEST_F(BusTest, AFullReceiveBufferLosesPacketsSilently) {
    const std::string out = Probe("iso-overflow", "camcorder tape=$TAPE playing\n");
    const std::vector<long> after = Values(out, "after_pause");
    ASSERT_EQ(after.size(), 2u) << out;  // gaps, data packets
    EXPECT_GE(after[0], 1);              // the DBC jumps where packets were lost
    EXPECT_EQ(Values(out, "data")[3], 0);
}

TEST_F(BusTest, InjectedPacketLossShowsInTheDbc) {
    const std::string out = Probe("iso", "camcorder tape=$TAPE playing loss=100\n");
    const std::vector<long> v = Values(out, "data");
    ASSERT_EQ(v.size(), 6u) << out;
    EXPECT_NEAR(double(v[2]), double(v[0]) / 99.0, 3.0);
    EXPECT_EQ(v[3], 0);
}

TEST_F(BusTest, WithoutABusDescriptionThereAreNoPorts) {
    const std::string out = Probe("no-bus", "", false);
    EXPECT_EQ(Values(out, "handle"), (std::vector<long>{1, 0}));
}

TEST_F(BusTest, LoopIterateCanBeMadeToFailWithEintr) {
    const std::string out = Probe("eintr", "camcorder tape=$TAPE eintr=2\n");
    EXPECT_EQ(Values(out, "eintr"), std::vector<long>{2});
}

TEST_F(BusTest, ConfigRomsAndUnitsOfEveryKind) {
    const std::string out = Probe("roms",
                                  "camcorder tape=$TAPE vendor=\"Acme Video\" model=DV-1\n"
                                  "hdv\ndisk\niidc\n");
    // librom1394's node types: 2 AV/C, 3 SBP-2, 1 IIDC (DC), 0 unknown.
    EXPECT_NE(
        out.find("node 0 type 2 specifier 00a02d sw 010001 text Acme Video|DV-1 vcr 1 signal 80"),
        std::string::npos)
        << out;
    EXPECT_NE(
        out.find(
            "node 1 type 2 specifier 00a02d sw 010001 text Emulated|Emulated hdv vcr 1 signal 90"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("node 2 type 3 specifier 00609e sw 010483"), std::string::npos) << out;
    EXPECT_NE(out.find("node 3 type 1 specifier 00a02d sw 000100"), std::string::npos) << out;
    EXPECT_NE(out.find("node 4 type 0"), std::string::npos) << out;  // the PC
}

// The program's own bus code (raw1394bus.cpp) on the emulated bus: found,
// its ROM read, AV/C answered, DV received; the camcorder's own broadcast
// connection outlives a bus reset, so the stream goes on.
TEST_F(BusTest, TheProgramsBusCodeReceivesAcrossAReset) {
    std::map<std::string, std::string> env{
        {"FWEMU_CONTROL", m_dir.Path("control")},
        {"FWEMU_BUS", m_dir.Write("bus.txt", "camcorder tape=" + m_tape + "\n")}};
    const auto r = RunOnBus({FWEMU_DRIVER_PROBE}, m_dir.dir.Path(), env, 30);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("rom 1 specifier 00a02d text Emulated|Emulated camcorder"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("play 1 09"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("receiving 1 channel 63"), std::string::npos) << r.output;
    EXPECT_EQ(Values(r.output, "reset_seen"), std::vector<long>{1});
    EXPECT_GT(Values(r.output, "before_reset").at(0), 3000);
    EXPECT_GT(Values(r.output, "late_data").at(0), 3000) << r.output;
}

// A camcorder without a broadcast connection gets a point-to-point one from
// the bus code; a bus reset clears it (IEC 61883-1), and the bus code sets
// it up again on the same channel: the stream goes on past the second a
// connection survives unrestored.
TEST_F(BusTest, ThePointToPointConnectionIsRestoredAfterAReset) {
    std::map<std::string, std::string> env{
        {"FWEMU_CONTROL", m_dir.Path("control")},
        {"FWEMU_BUS", m_dir.Write("bus.txt", "camcorder nobroadcast tape=" + m_tape + "\n")}};
    const auto r = RunOnBus({FWEMU_DRIVER_PROBE}, m_dir.dir.Path(), env, 30);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("receiving 1 channel 0"), std::string::npos) << r.output;
    EXPECT_GT(Values(r.output, "late_data").at(0), 3000) << r.output;
    EXPECT_EQ(Values(r.output, "broken"), std::vector<long>{0});
}

}  // namespace
