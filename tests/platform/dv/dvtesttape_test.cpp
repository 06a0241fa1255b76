// Generated test tapes as real readers see them (ffprobe, ffmpeg), their
// timecode and tone, and the on-disk cache.
#include "dv/dvtesttape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "dv/dvaudioextractor.h"
#include "dv/dvtimecode.h"
#include "testsupport/dvtools.h"

using namespace dv;

namespace {

struct TapeCase {
    Standard standard;
    const char* rate;
    const char* height;
    int64_t firstFrame;  // NTSC: two frames before a dropped-frame minute
};

class GeneratedTape : public ::testing::TestWithParam<TapeCase> {};

TEST_P(GeneratedTape, FfprobeSeesStandardTimecodeAndTone) {
    const TapeCase c = GetParam();
    const int frames = 30;
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(c.standard, frames, tape, c.firstFrame));
    const size_t size = FrameSize(c.standard);
    ASSERT_EQ(tape.size(), frames * size);
    testsupport::ScratchDir dir;
    const std::string path = dir / "tape.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, tape));

    EXPECT_EQ(dvtest::Probe(path, "stream=codec_name"), "dvvideo\npcm_s16le");
    EXPECT_EQ(dvtest::Probe(path, "stream=width,height", "v:0"), std::string("720\n") + c.height);
    EXPECT_EQ(dvtest::Probe(path, "stream=r_frame_rate", "v:0"), c.rate);
    EXPECT_EQ(dvtest::Probe(path, "stream=sample_rate,channels", "a:0"), "48000\n2");
    // The video decodes without a complaint.
    EXPECT_EQ(dvtest::Run("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1"), "");

    // Timecode in every frame; ffprobe agrees on a few of them.
    for (int i = 0; i < frames; ++i) {
        FrameView view;
        ASSERT_TRUE(ViewFrame(tape.data() + i * size, size, view));
        const std::optional<Timecode> tc = ReadTimecode(view);
        ASSERT_TRUE(tc);
        EXPECT_EQ(*tc, TimecodeAt(c.firstFrame + i, c.standard)) << i;
        if (i < 4) {
            const std::string one = dir / "one.dv";
            dvtest::WriteFile(one, tape.data() + i * size, size);
            char text[16];
            std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", tc->hours, tc->minutes,
                          tc->seconds, c.standard == Standard::NTSC ? ';' : ':', tc->frames);
            EXPECT_EQ(dvtest::Probe(one, "format_tags=timecode"), text);
        }
    }

    // A 1 kHz tone as ffmpeg decodes it: two zero crossings a millisecond,
    // the same on both channels.
    const std::vector<int16_t> pcm = dvtest::FfmpegAudio(path);
    ASSERT_GT(pcm.size(), 2u * 48000 * frames / 31);
    int crossings = 0;
    int16_t peak = 0;
    for (size_t i = 2; i < pcm.size(); i += 2) {
        ASSERT_EQ(pcm[i], pcm[i + 1]);
        crossings += (pcm[i - 2] < 0) != (pcm[i] < 0);
        peak = std::max(peak, pcm[i]);
    }
    const double seconds = pcm.size() / 2 / 48000.0;
    EXPECT_NEAR(crossings / 2.0 / seconds, 1000.0, 10.0);
    EXPECT_NEAR(peak, 0.3 * 32767, 2);
}

INSTANTIATE_TEST_SUITE_P(Standards, GeneratedTape,
                         ::testing::Values(TapeCase{Standard::PAL, "25/1", "576", 25 * 3599},
                                           TapeCase{Standard::NTSC, "30000/1001", "480", 1798}),
                         [](const auto& info) {
                             return info.param.standard == Standard::PAL ? "PAL" : "NTSC";
                         });

TEST(GeneratedTape, ToneIsContinuousAndTheMarkerMoves) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::NTSC, 7, tape));
    AudioExtractor extractor;
    std::vector<int16_t> pcm(2 * kAudioBufferSamples);
    int64_t k = 0;
    for (int f = 0; f < 7; ++f) {
        const AudioExtraction got = extractor.Extract(tape.data() + f * kFrameSizeNTSC,
                                                      kFrameSizeNTSC, pcm.data(), nullptr);
        ASSERT_FALSE(got.silenced);
        for (int n = 0; n < got.samples; ++n, ++k) {
            const int16_t want =
                static_cast<int16_t>(std::lround(0.3 * 32767 * std::sin(2 * M_PI * (k % 48) / 48)));
            ASSERT_EQ(pcm[2 * n], want) << f << " " << n;
        }
    }

    // The marker (a white square in the black strip at the bottom) moves
    // 8 pixels a frame.
    testsupport::ScratchDir dir;
    const std::string path = dir / "tape.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, tape));
    const std::string gray = dvtest::Run("ffmpeg -nostdin -v error -i '" + path +
                                         "' -frames:v 2 -f rawvideo -pix_fmt gray -");
    ASSERT_EQ(gray.size(), 2u * 720 * 480);
    auto markerLeft = [&](int frame) {
        const int row = 480 * 7 / 8;  // middle of the strip
        for (int x = 0; x < 720; ++x)
            if (uint8_t(gray[frame * 720 * 480 + row * 720 + x]) > 128) return x;
        return -1;
    };
    EXPECT_NEAR(markerLeft(0), 0, 2);
    EXPECT_NEAR(markerLeft(1), 8, 2);
}

TEST(TestTapeCache, MadeOnceAtTheRightSizeAndRemadeWhenDamaged) {
    testsupport::ScratchDir dir;
    const std::string path = TestTapePath(Standard::PAL, dir.Path());
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::file_size(path), kFrameSizePAL * TestTapeFrames(Standard::PAL));
    const auto made = std::filesystem::last_write_time(path);
    EXPECT_EQ(TestTapePath(Standard::PAL, dir.Path()), path);
    EXPECT_EQ(std::filesystem::last_write_time(path), made);

    // The cached tape loops seamlessly: a whole number of tone periods, and
    // no leftover temporary files.
    const std::vector<uint8_t> tape = dvtest::ReadFile(path);
    EXPECT_EQ(TestTapeFrames(Standard::PAL) * 1920 % 48, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    std::filesystem::resize_file(path, 1000);
    EXPECT_EQ(TestTapePath(Standard::PAL, dir.Path()), path);
    EXPECT_EQ(dvtest::ReadFile(path), tape);
}

TEST(TestTapeCache, ConcurrentFirstUseGivesOneWholeFile) {
    testsupport::ScratchDir dir;
    std::string paths[2];
    std::thread a([&] { paths[0] = TestTapePath(Standard::NTSC, dir.Path()); });
    std::thread b([&] { paths[1] = TestTapePath(Standard::NTSC, dir.Path()); });
    a.join();
    b.join();
    ASSERT_FALSE(paths[0].empty());
    EXPECT_EQ(paths[0], paths[1]);
    EXPECT_EQ(std::filesystem::file_size(paths[0]),
              kFrameSizeNTSC * TestTapeFrames(Standard::NTSC));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(TestTapeCache, DefaultDirectoryFollowsXdgCacheHome) {
    const char* old = std::getenv("XDG_CACHE_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CACHE_HOME", "/some/cache", 1);
    EXPECT_EQ(TestTapeCacheDir(), "/some/cache/tapeloom");
    if (old)
        setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
}

}  // namespace
