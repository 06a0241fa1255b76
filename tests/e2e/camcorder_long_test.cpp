// An hour of tape from a camcorder on the emulated bus, recorded Type-2
// with preview at eight times real time: its memory stays flat, and every
// frame of the tape is in the file or counted as dropped (at eight times
// real time on a busy machine a few may be).  Long: minutes and 13 GB.
#include <gtest/gtest.h>

#include "testsupport/camcorder.h"

namespace {

using namespace e2e;

TEST(CamcorderLong, AnHourOfTapeAtEightTimesRealTimeWithFlatMemory) {
    EmulatedBus bus;
    // The generated tape's 250 frames played 360 times over: an hour.
    std::vector<uint8_t> tape;
    const std::string path = bus.MakeTape("tape.dv", dv::Standard::PAL, 250, &tape);
    ASSERT_FALSE(path.empty());
    bus.Add("pacing x8");
    bus.Add("camcorder name=camcorder1 tape=" + path + " repeat=360 vendor=Acme model=DV-1000");
    Session s(bus.ProgramOptions());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Stop Capture"));
    // Resident memory every 5 s until the tape has run out (an hour of tape
    // in about 7.5 minutes).
    std::vector<long> resident;
    const auto start = Clock::now();
    while (s.Text(kTransportMode) != "Stop" && Clock::now() - start < std::chrono::minutes(20)) {
        std::this_thread::sleep_for(milliseconds(5000));
        resident.push_back(ProcessStatusKilobytes(s.process().pid(), "VmRSS"));
    }
    ASSERT_EQ("Stop", s.Text(kTransportMode)) << "the tape did not run out";
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Capture", milliseconds(60000)));
    const long dropped = std::atol(s.Text(kDropped).c_str());
    ASSERT_TRUE(s.Exit());

    // Flat: the last half never above the first minute's highest by more
    // than 16 MB.
    ASSERT_GE(resident.size(), 20u);
    const long early = *std::max_element(resident.begin(), resident.begin() + 12);
    const long late = *std::max_element(resident.begin() + resident.size() / 2, resident.end());
    EXPECT_LE(late, early + 16 * 1024)
        << "resident kB: first minute " << early << ", last half " << late;
    const Probe p = ProbeFile(s.Temp() + "/Tapeloom00000.avi");
    EXPECT_TRUE(p.HasStream("audio pcm_s16le 48000")) << ::testing::PrintToString(p.streams);
    EXPECT_LT(dropped, 900) << "more than 1 % dropped";
    // Every frame played while recording (the first moment aside).
    EXPECT_GE(p.videoFrames + dropped, 90000 - 25) << p.videoFrames << " in the file";
    EXPECT_LE(p.videoFrames + dropped, 90000) << p.videoFrames << " in the file";
}

}  // namespace
