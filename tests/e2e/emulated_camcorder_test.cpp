// The program with no virtual deck, on the emulated IEEE-1394 bus
// (testsupport/firewire) with one DV camcorder: listed, previewed,
// transport driven over AV/C, recorded.
#include <gtest/gtest.h>

#include "e2e.h"

namespace {

using namespace e2e;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The frames of a Type-2 AVI: each video chunk ("00dc") holds one.
std::vector<std::string> AviFrames(const std::string& avi, size_t frameSize) {
    std::vector<std::string> frames;
    for (size_t i = 0; i + 8 + frameSize <= avi.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(avi.data() + i);
        const uint32_t size = p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24;
        if (avi.compare(i, 4, "00dc") == 0 && size == frameSize) {
            frames.push_back(avi.substr(i + 8, size));
            i += 7 + size;
        }
    }
    return frames;
}
using std::chrono::milliseconds;

class EmulatedCamcorder : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(FWEMU_LIB_DIR) + "/libraw1394.so.11"))
            GTEST_SKIP() << "the emulated bus is not built";
        m_tape = m_scratch.path() + "/tape.dv";
        Output(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
            "sine=f=1000:sample_rate=48000 -t 12 -target pal-dv -f dv " +
            Quote(m_tape));
        ASSERT_TRUE(std::filesystem::exists(m_tape));
        WriteFile(m_scratch.path() + "/bus.txt",
                  "camcorder tape=" + m_tape + " vendor=Acme model=\"DV-1\"\n");
    }
    Options BusOptions() {
        Options o;
        o.decks = "";
        o.env = {std::string("LD_LIBRARY_PATH=") + FWEMU_LIB_DIR,
                 "FWEMU_BUS=" + m_scratch.path() + "/bus.txt",
                 "FWEMU_CONTROL=" + m_scratch.path() + "/control"};
        return o;
    }
    std::string Emulator(const std::string& command) {
        return Output(
            "printf '%s\\n' " + Quote(command) +
            " | timeout 5 python3 -c \"import socket,sys;"
            "s=socket.socket(socket.AF_UNIX);s.connect('" +
            m_scratch.path() +
            "/control');s.sendall(sys.stdin.buffer.read());print(s.recv(4096).decode().strip())\"");
    }

    ScratchDir m_scratch;
    std::string m_tape;
};

TEST_F(EmulatedCamcorder, ListedPreviewedAndRecorded) {
    Session s(BusOptions());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady()) << "no device ready: " << s.Text(kDevice);
    EXPECT_EQ(s.Text(kDeviceType), "720 x 576 DV PAL");
    ASSERT_TRUE(s.ClickWhenEnabled(kPlay));
    EXPECT_TRUE(s.WaitForText(kTransportMode, "Play")) << s.Text(kTransportMode);
    EXPECT_EQ(Emulator("state camcorder1").rfind("ok play", 0), 0u) << Emulator("state camcorder1");
    long lit = 0;
    EXPECT_TRUE(s.WaitFor([&] { return (lit = s.LitPreviewPixels("fw-preview")) > 1000; },
                          milliseconds(3000)))
        << "preview frame stays dark: " << lit;
    const std::string first = s.Text(kTimecode);
    EXPECT_TRUE(s.WaitFor([&] { return s.Text(kTimecode) != first; })) << "timecode stands still";
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    ASSERT_TRUE(s.Click(kCapture) && s.WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(3000));
    ASSERT_TRUE(s.Click(kCapture) && s.WaitForText(kCapture, "Capture"));
    EXPECT_TRUE(s.Shot("fw-recorded"));
    EXPECT_EQ(s.Text(kDropped), "0 Frames");
    ASSERT_TRUE(s.Exit());
    const Probe p = ProbeFile(file);
    EXPECT_TRUE(p.HasStream("video dvvideo")) << ::testing::PrintToString(p.streams);
    EXPECT_GE(p.videoFrames, 60);
    EXPECT_LE(p.videoFrames, 90);
    // The recording holds the tape's frames as they are, in order.
    constexpr size_t kFrame = 144000;
    const std::string tape = ReadAll(m_tape);
    const std::vector<std::string> frames = AviFrames(ReadAll(file), kFrame);
    ASSERT_FALSE(frames.empty());
    const size_t at = tape.find(frames.front());
    ASSERT_NE(at, std::string::npos) << "the first recorded frame is no frame of the tape";
    for (size_t i = 0; i < frames.size(); ++i)
        ASSERT_EQ(tape.compare(at + i * kFrame, kFrame, frames[i]), 0) << "frame " << i;
}

}  // namespace
