// The program with no virtual deck, on the emulated IEEE-1394 bus
// (testsupport/firewire) with one DV camcorder: listed, previewed,
// transport driven over AV/C, recorded.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
    // One command on the emulator's control socket; its answer.
    std::string Emulator(const std::string& command) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/control", m_scratch.path().c_str());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        std::string answer;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            write(fd, (command + "\n").data(), command.size() + 1) > 0)
            for (char c; read(fd, &c, 1) == 1 && c != '\n';) answer += c;
        close(fd);
        return answer;
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

// Five bus resets 20 ms apart while the preview runs: the picture and the
// timecode go on.
TEST_F(EmulatedCamcorder, PreviewSurvivesAResetStorm) {
    Session s(BusOptions());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.ClickWhenEnabled(kPlay));
    ASSERT_TRUE(s.WaitForText(kTransportMode, "Play"));
    EXPECT_EQ(Emulator("storm 5 20"), "ok");
    std::this_thread::sleep_for(milliseconds(1500));
    const std::string before = s.Text(kTimecode);
    EXPECT_TRUE(s.WaitFor([&] { return s.Text(kTimecode) != before; })) << "timecode stands still";
    EXPECT_EQ(s.Text(kTransportMode), "Play");
    EXPECT_GT(s.LitPreviewPixels("fw-after-storm"), 1000);
    ASSERT_TRUE(s.Exit());
}

// Unplugged, the camcorder is gone; plugged again, it is back.  A plug makes
// three resets at once and the new node answers nothing for 500 ms after
// them, as on the kernel stack: the driver reads its ROM during the resets,
// fails, and does not look again until some later reset.  Disabled until
// the driver retries a node it could not read.
TEST_F(EmulatedCamcorder, DISABLED_ReplugIsFoundAgain) {
    Session s(BusOptions());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_EQ(Emulator("unplug camcorder1"), "ok");
    EXPECT_TRUE(s.WaitFor([&] { return !s.Enabled(kCapture); }, milliseconds(3000)));
    EXPECT_EQ(Emulator("plug camcorder1"), "ok");
    EXPECT_TRUE(s.WaitUntilReady(milliseconds(5000))) << "the camcorder is not found again";
    ASSERT_TRUE(s.Exit());
}

}  // namespace
