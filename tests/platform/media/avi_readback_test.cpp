// Files written by AviWriter, read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriterOptions;
using media::avi::WriteStatus;

struct Case {
    bool pal;
    AviType type;
};

class ReadBack : public ::testing::TestWithParam<Case> {};

TEST_P(ReadBack, HeadersFramesAndAudioMatchTheTape) {
    const Case c = GetParam();
    const Tape& tape = GetTape(c.pal);
    ASSERT_GT(tape.Frames(), 50u);
    testsupport::ScratchDir dir;
    const fs::path out = dir / "out.avi";
    AviWriterOptions options;
    options.compatibilityIndex = true;
    media::avi::AviWriterTotals totals;
    ASSERT_EQ(WriteTape(tape, c.type, out, options, size_t(-1), &totals), WriteStatus::Ok);
    EXPECT_EQ(totals.frames, tape.Frames());
    EXPECT_EQ(totals.parts, 1u);
    EXPECT_EQ(totals.bytes, fs::file_size(out));

    auto v = Probe(out, "stream=codec_name,width,height,r_frame_rate,nb_frames,duration");
    EXPECT_EQ(v["codec_name"], "dvvideo");
    EXPECT_EQ(v["width"], "720");
    EXPECT_EQ(v["height"], c.pal ? "576" : "480");
    EXPECT_EQ(v["r_frame_rate"], c.pal ? "25/1" : "30000/1001");
    if (c.type == AviType::Type2) {
        EXPECT_EQ(v["nb_frames"], std::to_string(tape.Frames()));
    }
    EXPECT_EQ(CountVideoPackets(out), long(tape.Frames()));
    auto format = Probe(out, "format=duration");
    const double duration = std::atof(format["duration"].c_str());
    const double expected = tape.Frames() * (c.pal ? 0.04 : 1001.0 / 30000);
    EXPECT_NEAR(duration, expected, 0.05);

    auto a = Probe(out, "stream=codec_name,sample_rate,channels", "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");

    EXPECT_TRUE(ReadBackVideo(out) == tape.dv) << "DV frames differ from the source";
    EXPECT_TRUE(ReadBackAudio(out) == tape.pcm) << "audio differs from the source";
}

INSTANTIATE_TEST_SUITE_P(DvAvi, ReadBack,
                         ::testing::Values(Case{true, AviType::Type1}, Case{true, AviType::Type2},
                                           Case{false, AviType::Type1},
                                           Case{false, AviType::Type2}),
                         [](const auto& info) {
                             return std::string(info.param.pal ? "Pal" : "Ntsc") +
                                    (info.param.type == AviType::Type1 ? "Type1" : "Type2");
                         });

}  // namespace
