// A recording made the way the panel makes one: the graph runs throughout,
// the capture stream is switched on and off, and the file is read back
// frame by frame.
#include <edevdefs.h>
#include <stdio.h>
#include <uuids.h>

#include <map>
#include <sstream>

#include "dv/dvtesttape.h"
#include "testsupport/decktest.h"
#include "testsupport/displaysuppressions.h"
#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

// Output of a command.
std::string Output(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// The MD5 of each video packet of the file, in order.
std::vector<std::string> VideoFrameHashes(const std::string& path, const std::string& format) {
    std::vector<std::string> hashes;
    std::istringstream in(Output("ffmpeg -v error " + format + " -i '" + path +
                                 "' -map 0:v:0 -c copy -f framemd5 - 2>/dev/null"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        hashes.push_back(line.substr(line.rfind(',') + 1));
    }
    return hashes;
}

class RecordingTest : public DeckTest, public ::testing::WithParamInterface<int> {
protected:
    void Capture(bool on) {
        REFERENCE_TIME start = on ? 0 : MAXLONGLONG, stop = on ? MAXLONGLONG : 0;
        panel.m_pBuilder->ControlStream(&PIN_CATEGORY_CAPTURE, NULL, NULL, &start, &stop, 0, 0);
    }
    long Delivered() {
        long n = 0;
        panel.m_pDroppedFrames->GetNumNotDropped(&n);
        return n;
    }
    long Mode() {
        long mode = 0;
        panel.m_pTransport->get_Mode(&mode);
        return mode;
    }
};

}  // namespace

TEST_P(RecordingTest, CaptureSwitchedOnAndOffRecordsExactlyThoseFrames) {
    const int kFrames = dv::TestTapeFrames(dv::Standard::PAL);
    const std::string tape = decktest::WriteTapeFile(m_dir, dv::Standard::PAL, kFrames);
    decktest::Configure("Tape=" + tape, "unpaced");
    ASSERT_TRUE(panel.m_pDeviceList->Enumerate());
    panel.m_nDeviceIndex = 0;
    panel.m_nVideoStandard = 1;
    panel.m_nFileType = GetParam();
    const std::string first = Path("Rec00000.avi");
    panel.m_strCaptureFile = first;
    ASSERT_TRUE(Build());
    ASSERT_TRUE(panel.StartGraph());

    // Frame by frame with the capture on, then frame by frame with it off,
    // then on again from a still frame up to the end of the tape.  Each
    // step waits until the deck has delivered frames of the new position,
    // so nothing depends on how fast the machine is.
    auto step = [&](long mode) {
        ASSERT_EQ(S_OK, panel.m_pTransport->put_Mode(mode));
        const long delivered = Delivered();
        ASSERT_TRUE(WaitUntil([&] { return Delivered() >= delivered + 3; }));
    };
    Capture(true);
    step(ED_MODE_FREEZE);
    for (int i = 0; i < 20; ++i) step(ED_MODE_STEP_FWD);
    Capture(false);
    for (int i = 0; i < 10; ++i) step(ED_MODE_STEP_FWD);
    Capture(true);
    step(ED_MODE_PLAY);
    ASSERT_TRUE(WaitUntil([&] { return Mode() == ED_MODE_STOP; }, 60000));  // end of tape
    Capture(false);

    // Moving on to the next file closes this one; the next stays empty.
    const std::string second = Path("Rec00001.avi");
    ASSERT_TRUE(panel.SetCaptureFile(second.c_str()));
    panel.StopGraph();

    // Every frame of the file is a frame of the tape, intact and in tape
    // order; the tape's first and last frames are there, and the frames
    // played while the capture was off are not.
    std::map<std::string, int> index;
    const std::vector<std::string> tapeHashes = VideoFrameHashes(tape, "-f dv");
    ASSERT_EQ(static_cast<size_t>(kFrames), tapeHashes.size());
    for (int i = 0; i < kFrames; ++i) index.emplace(tapeHashes[i], i);
    const std::vector<std::string> fileHashes = VideoFrameHashes(first, "");
    ASSERT_GT(fileHashes.size(), 200u);
    std::vector<int> positions;
    for (const std::string& h : fileHashes) {
        auto it = index.find(h);
        ASSERT_NE(index.end(), it) << "a frame that is not on the tape";
        positions.push_back(it->second);
    }
    EXPECT_EQ(0, positions.front());
    EXPECT_EQ(kFrames - 1, positions.back());
    int gaps = 0;
    for (size_t i = 1; i < positions.size(); ++i) {
        ASSERT_LE(positions[i - 1], positions[i]) << "frame " << i;
        if (positions[i] > positions[i - 1] + 1) {
            ++gaps;
            EXPECT_EQ(20, positions[i - 1]);  // the last frame stepped to with the capture on
            EXPECT_EQ(30, positions[i]);      // the frame the capture went on again at
        }
    }
    EXPECT_EQ(1, gaps);

    // ffprobe counts the same frames, with the streams of the file type.
    const std::string probe = Output(
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,nb_read_frames -of csv=p=0 '" +
        first + "'");
    const std::string frames = std::to_string(fileHashes.size());
    if (GetParam() == 0) {
        EXPECT_NE(std::string::npos, probe.find("dvvideo,video," + frames)) << probe;
    } else {
        EXPECT_NE(std::string::npos, probe.find("dvvideo,video," + frames)) << probe;
        EXPECT_NE(std::string::npos, probe.find("pcm_s16le,audio")) << probe;
    }
    EXPECT_EQ(0u, VideoFrameHashes(second, "").size());
}

INSTANTIATE_TEST_SUITE_P(FileTypes, RecordingTest, ::testing::Values(0, 1));
