// Programs nobody here wrote, on the emulated bus: Debian's dvcont drives
// the transport, dvgrab and ffmpeg capture, and what they write must be the
// tape's own frames.
#include <gtest/gtest.h>

#include <sstream>

#include "fwemutest.h"

namespace {

using fwemutest::RunOnBus;
using fwemutest::Scratch;

class ClientsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // scripts/packages.txt installs them.
        for (const char* program : {"dvcont", "dvgrab", "ffmpeg"})
            if (!fwemutest::Installed(program)) GTEST_SKIP() << program << " is not installed";
    }
    // A tape whose timecode starts at 01:02:03:07 (PAL) or as NTSC at the
    // same frame count.
    void MakeTape(dv::Standard standard, int frames) {
        ASSERT_TRUE(dv::MakeTestTape(standard, frames, m_tape, 25 * 3723 + 7));
        m_frameSize = dv::FrameSize(standard);
        m_tapePath = m_dir.WriteBytes("tape.dv", m_tape);
    }
    std::map<std::string, std::string> Bus(const std::string& extra, bool fast = true) {
        const std::string text = std::string(fast ? "pacing fast\n" : "") +
                                 "camcorder tape=" + m_tapePath + " " + extra + "\n";
        return {{"FWEMU_BUS", m_dir.Write("bus.txt", text)}};
    }
    void ExpectTapeFrames(const std::vector<uint8_t>& capture, size_t atLeast) {
        const std::vector<int> frames = fwemutest::MatchFrames(m_tape, capture, m_frameSize);
        EXPECT_EQ(capture.size() % m_frameSize, 0u);
        EXPECT_GE(frames.size(), atLeast);
        EXPECT_TRUE(fwemutest::Consecutive(frames))
            << "first " << (frames.empty() ? -2 : frames.front()) << " of " << frames.size();
    }

    Scratch m_dir;
    std::vector<uint8_t> m_tape;
    std::string m_tapePath;
    size_t m_frameSize = 0;
};

struct DvcontCase {
    const char* commands;  // one dvcont run
    const char* expected;  // its output lines, '|' between them
};

// libavc1394's status strings for the transport states the deck reports.
const DvcontCase kDvcontCases[] = {
    {"status", "Winding stopped"},
    {"play status", "Playing"},
    {"play pause status", "Playing Paused"},
    {"play pause pause status", "Playing"},  // a second pause resumes play
    {"play stop status", "Winding stopped"},
    {"rewind status", "Winding reverse"},
    {"play rewind status", "Playing Reverse"},  // while playing: fastest reverse
    {"ff status", "Winding forward"},
    {"play ff status", "Playing Fast Forward"},
    {"reverse status", "Playing Reverse"},
    {"timecode", "01:02:03:07"},
};

TEST_F(ClientsTest, DvcontDrivesTheTransportAndReadsItsState) {
    MakeTape(dv::Standard::PAL, 30);
    for (const DvcontCase& c : kDvcontCases) {
        std::vector<std::string> argv{"dvcont"};
        std::istringstream words(c.commands);
        for (std::string w; words >> w;) argv.push_back(w);
        const auto r = RunOnBus(argv, m_dir.dir.Path(), Bus("", false), 20);
        std::string expected = c.expected;
        for (char& ch : expected)
            if (ch == '|') ch = '\n';
        EXPECT_EQ(r.status, 0) << c.commands;
        EXPECT_EQ(r.output, expected + "\n") << c.commands;
    }
}

TEST_F(ClientsTest, DvcontFindsNoDeckWithoutABus) {
    MakeTape(dv::Standard::PAL, 5);
    // No FWEMU_BUS: a machine without FireWire ports.
    const auto r = RunOnBus({"dvcont", "status"}, m_dir.dir.Path(), {{"FWEMU_BUS", ""}}, 20);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.output.find("Playing"), std::string::npos);
}

struct GrabCase {
    dv::Standard standard;
    const char* format;
};

TEST_F(ClientsTest, DvgrabWritesTheTapesFrames) {
    for (const GrabCase c :
         {GrabCase{dv::Standard::PAL, "raw"}, GrabCase{dv::Standard::NTSC, "raw"},
          GrabCase{dv::Standard::PAL, "dv2"}}) {
        SCOPED_TRACE(std::string(c.format) + (c.standard == dv::Standard::PAL ? " PAL" : " NTSC"));
        MakeTape(c.standard, 40);
        // dvgrab plays the tape itself and stops when the transport stops
        // at the end of the tape.
        const auto r =
            RunOnBus({"dvgrab", "-format", c.format, "cap-"}, m_dir.dir.Path(), Bus(""), 60);
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string file =
            m_dir.Path(std::string("cap-001.") + (c.format == std::string("raw") ? "dv" : "avi"));
        std::vector<uint8_t> capture = fwemutest::ReadBytes(file);
        std::filesystem::remove(file);
        if (std::string(c.format) == "dv2") {
            // Type-2 AVI: each video chunk ("00dc") holds one whole frame.
            std::vector<uint8_t> frames;
            for (size_t i = 0; i + 8 + m_frameSize <= capture.size(); ++i) {
                const uint8_t* p = &capture[i];
                const uint32_t size = p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24;
                if (p[0] == '0' && p[1] == '0' && p[2] == 'd' && p[3] == 'c' &&
                    size == m_frameSize) {
                    frames.insert(frames.end(), p + 8, p + 8 + size);
                    i += 7 + size;
                }
            }
            capture = frames;
        }
        // The last frame is not complete until a next one starts, which
        // never comes: every other frame from the first is there.
        ExpectTapeFrames(capture, 39);
    }
}

TEST_F(ClientsTest, FfmpegCapturesTheTapesFrames) {
    MakeTape(dv::Standard::PAL, 60);
    // ffmpeg sends no PLAY: the deck is playing already.  Its video packets
    // are the whole DIF frames; the dv muxer would rebuild audio and
    // subcode, so the video stream is copied as it is.
    const auto r = RunOnBus({"ffmpeg", "-v", "error", "-f", "iec61883", "-i", "auto", "-frames:v",
                             "40", "-map", "0:v", "-c", "copy", "-f", "rawvideo", "cap.dv"},
                            m_dir.dir.Path(), Bus("playing"), 60);
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectTapeFrames(fwemutest::ReadBytes(m_dir.Path("cap.dv")), 40);
    // And through the dv muxer, as one would record a tape: whole frames
    // (the muxer holds the last video frame back for want of its audio).
    const auto dv = RunOnBus({"ffmpeg", "-v", "error", "-f", "iec61883", "-i", "auto", "-frames:v",
                              "40", "-c", "copy", "-f", "dv", "mux.dv"},
                             m_dir.dir.Path(), Bus("playing"), 60);
    ASSERT_EQ(dv.status, 0) << dv.output;
    const size_t muxed = fwemutest::ReadBytes(m_dir.Path("mux.dv")).size();
    EXPECT_EQ(muxed % m_frameSize, 0u);
    EXPECT_GE(muxed, 39 * m_frameSize);
}

// Once its capture has begun, dvgrab at real time loses no frame; its
// start (the first frames while the tape starts) may take a few, more on a
// loaded machine.
TEST_F(ClientsTest, DvgrabAtRealTimeLosesNothing) {
    MakeTape(dv::Standard::PAL, 75);
    const auto start = std::chrono::steady_clock::now();
    const auto r =
        RunOnBus({"dvgrab", "-format", "raw", "cap-"}, m_dir.dir.Path(), Bus("", false), 60);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectTapeFrames(fwemutest::ReadBytes(m_dir.Path("cap-001.dv")), 68);
    // 75 frames at 25 a second, after dvgrab's own start.
    EXPECT_GT(seconds, 2.9);
}

}  // namespace
