// One recording past 2.5 GB (three RIFF parts at the default 1 GiB limit),
// read back whole. Labelled "long": run with `scripts/test --long`.
#include <gtest/gtest.h>

#include <cstring>

#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriter;
using media::avi::AviWriterOptions;
using media::avi::DvSystem;
using media::avi::WriteStatus;

// Reads `command`'s output and compares it, block by block, with `expected`
// repeated; returns the number of bytes that matched before any difference.
uint64_t CompareStream(const std::string& command, const std::string& expected, uint64_t total) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return 0;
    std::vector<char> buffer(1 << 20);
    uint64_t matched = 0;
    bool same = true;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        for (size_t i = 0; same && i < n;) {
            const size_t at = (matched) % expected.size();
            const size_t run = std::min(n - i, expected.size() - at);
            if (std::memcmp(buffer.data() + i, expected.data() + at, run) != 0) {
                same = false;
                break;
            }
            matched += run;
            i += run;
        }
    }
    ::pclose(pipe);
    return same && matched == total ? matched : std::min(matched, total - 1);
}

TEST(AviLong, RecordingPast2_5GBReadsBackWhole) {
    const Tape& tape = GetTape(true);
    const size_t frames = 17'800;  // 11:52 of PAL Type-2, about 2.7 GB
    testsupport::ScratchDir dir;
    const fs::path out = dir / "long.avi";
    AviWriterOptions options;
    options.compatibilityIndex = true;
    AviWriter writer(options);
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    writer.AddPcmStream(48000);
    ASSERT_EQ(writer.Open(out.string()), WriteStatus::Ok);
    // The tape's bytes live as long as the test: borrowed, never copied.
    auto noRelease = [](const void*) {};
    for (size_t i = 0; i < frames; ++i) {
        const size_t f = i % tape.Frames();
        auto [at, size] = tape.AudioOf(f);
        ASSERT_EQ(writer.WriteChunk(0, tape.Frame(f), tape.frameBytes,
                                    std::shared_ptr<const void>(tape.Frame(f), noRelease)),
                  WriteStatus::Ok);
        ASSERT_EQ(writer.WriteChunk(1, tape.pcm.data() + at, size,
                                    std::shared_ptr<const void>(tape.pcm.data(), noRelease)),
                  WriteStatus::Ok);
    }
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    std::printf("%s\n", writer.Totals().Line().c_str());
    EXPECT_GT(fs::file_size(out), 2'500'000'000u);
    EXPECT_EQ(writer.Totals().parts, 3u);

    auto v = Probe(out, "stream=nb_frames,duration");
    EXPECT_EQ(v["nb_frames"], std::to_string(frames));
    EXPECT_NEAR(std::atof(v["duration"].c_str()), frames * 0.04, 0.05);
    const uint64_t videoBytes = uint64_t(frames) * tape.frameBytes;
    EXPECT_EQ(CompareStream("ffmpeg -nostdin -v error -i " + Quote(out) +
                                " -map 0:v -c copy -f rawvideo - 2>/dev/null",
                            tape.dv, videoBytes),
              videoBytes);
    // The whole tape's audio is repeated as often as its frames are.
    const uint64_t audioBytes = uint64_t(frames / tape.Frames()) * tape.pcm.size() +
                                tape.AudioOf(frames % tape.Frames()).first;
    EXPECT_EQ(CompareStream("ffmpeg -nostdin -v error -i " + Quote(out) +
                                " -map 0:a -f s16le -acodec pcm_s16le - 2>/dev/null",
                            tape.pcm, audioBytes),
              audioBytes);
}

}  // namespace
