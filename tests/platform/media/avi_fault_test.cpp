// AviWriter under failing writes (a file size limit hit in the header, in
// the middle of a part, at a part boundary, while finalising) and under a
// SIGKILL mid-recording: the writer reports the failure and leaves a file
// that ffmpeg reads, with every frame that reached the disk whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriterOptions;
using media::avi::AviWriterTotals;
using media::avi::WriteStatus;

AviWriterOptions SmallParts() {
    AviWriterOptions options;
    options.compatibilityIndex = true;
    options.riffLimit = 3'000'000;
    options.queueBytes = 1 << 20;
    return options;
}

// Runs a Type-2 recording of the whole tape with the file size limited to
// `limit` bytes (writes past it fail with EFBIG, SIGXFSZ ignored).
WriteStatus RecordWithLimit(const Tape& tape, const fs::path& out, uint64_t limit,
                            AviWriterTotals* totals) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit limited = saved;
    limited.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &limited);
    const WriteStatus status =
        WriteTape(tape, AviType::Type2, out, SmallParts(), size_t(-1), totals);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    return status;
}

// Offsets of the first part's 'ix00' and the file's size when written whole.
struct Landmarks {
    uint64_t firstIndex = 0, size = 0, header = 0;
};

Landmarks Measure(const Tape& tape, const fs::path& dir) {
    const fs::path whole = dir / "whole.avi";
    EXPECT_EQ(WriteTape(tape, AviType::Type2, whole, SmallParts()), WriteStatus::Ok);
    const std::string bytes = ReadFile(whole);
    Landmarks m;
    m.size = bytes.size();
    m.firstIndex = bytes.find("ix00");
    m.header = bytes.find("movi") + 4;
    return m;
}

TEST(AviFault, SizeLimitAtEveryStageLeavesAReadableFile) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    const Landmarks m = Measure(tape, dir.Path());
    ASSERT_NE(m.firstIndex, std::string::npos);

    struct Case {
        const char* where;
        uint64_t limit;
    };
    const Case cases[] = {
        {"the header", 2000},
        {"right after the header", m.header + 100},
        {"the middle of the first part", 1'500'000},
        {"the first part's indexes", m.firstIndex + 50},
        {"the middle of a later part", 7'777'777},
        {"the final indexes", m.size - 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const fs::path out = dir / "limited.avi";
        AviWriterTotals totals;
        EXPECT_EQ(RecordWithLimit(tape, out, c.limit, &totals), WriteStatus::FileTooLarge);
        EXPECT_EQ(totals.status, WriteStatus::FileTooLarge);
        std::printf("limit at %s: %s\n", c.where, totals.Line().c_str());
        EXPECT_LE(fs::file_size(out), c.limit);
        EXPECT_EQ(totals.bytes, fs::file_size(out));
        if (c.limit < m.header) {
            EXPECT_EQ(fs::file_size(out), 0u) << "a file without its header should be empty";
            EXPECT_EQ(totals.frames, 0u);
            continue;
        }
        // Every frame that fitted whole is kept: at most the frame cut by the
        // limit, and the audio chunk after it, are lost.
        const uint64_t perFrame = 144008 + 7688;
        const uint64_t fitted = std::min<uint64_t>(tape.Frames(), (c.limit - m.header) / perFrame);
        EXPECT_GE(totals.frames + 1, fitted);
        EXPECT_EQ(CountVideoPackets(out), long(totals.frames));
        EXPECT_TRUE(ReadBackVideo(out) == tape.dv.substr(0, totals.frames * tape.frameBytes));
        const std::string audio = ReadBackAudio(out);
        EXPECT_EQ(audio.size(), totals.audioSamples * 4);
        EXPECT_TRUE(audio == tape.pcm.substr(0, audio.size()));
    }
}

TEST(AviFault, UnwritableFileReportsDiskFull) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    media::avi::AviWriter writer;
    writer.AddDvVideoStream(media::avi::DvSystem::Pal625_50);
    ASSERT_EQ(writer.Open("/dev/full"), WriteStatus::Ok);
    const Tape& tape = GetTape(true);
    WriteStatus status = WriteStatus::Ok;
    for (size_t i = 0; i < 20 && status == WriteStatus::Ok; ++i)
        status = writer.WriteChunk(0, tape.Frame(i), tape.frameBytes);
    EXPECT_EQ(writer.Close(), WriteStatus::DiskFull);
    EXPECT_EQ(writer.Status(), WriteStatus::DiskFull);
    EXPECT_EQ(writer.Totals().frames, 0u);
    EXPECT_NE(writer.Totals().Line().find("disk full"), std::string::npos);
}

// Waits until `file` has stopped growing for a while (the writer thread idle).
void WaitUntilStill(const fs::path& file) {
    std::error_code ec;
    uintmax_t last = 0;
    for (int still = 0, rounds = 0; still < 5 && rounds < 500; ++rounds) {
        ::usleep(20'000);
        const uintmax_t size = fs::file_size(file, ec);
        still = size == last ? still + 1 : 0;
        last = size;
    }
}

// A recording killed mid-way: the parts finished before the kill keep their
// indexes, ffmpeg reads on into the unfinished part by scanning, and no more
// is lost than the writer's queue held.
TEST(AviFault, KilledRecordingKeepsWhatReachedTheDisk) {
    const Tape& tape = GetTape(true);
    struct Case {
        size_t killAfter;  // frames; the parts end near 19, 38, 57
        bool drained;      // kill once the writer thread has caught up
    };
    for (const Case c : {Case{10, true}, Case{40, true}, Case{70, false}}) {
        SCOPED_TRACE(c.killAfter);
        testsupport::ScratchDir dir;
        const fs::path out = dir / "killed.avi";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            media::avi::AviWriter writer(SmallParts());
            writer.AddDvVideoStream(media::avi::DvSystem::Pal625_50);
            writer.AddPcmStream(48000);
            writer.Open(out.string());
            for (size_t i = 0; i < c.killAfter; ++i) {
                writer.WriteChunk(0, tape.Frame(i), tape.frameBytes);
                auto [at, size] = tape.AudioOf(i);
                writer.WriteChunk(1, tape.pcm.data() + at, size);
            }
            if (c.drained) WaitUntilStill(out);
            ::kill(::getpid(), SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        const long packets = CountVideoPackets(out);
        if (c.drained) {
            EXPECT_EQ(packets, long(c.killAfter));
        } else {
            // The queue holds at most 1 MiB (about 7 frames) and the chunk in hand.
            EXPECT_GE(packets, long(c.killAfter) - 9);
            EXPECT_LE(packets, long(c.killAfter));
        }
        const std::string video = ReadBackVideo(out);
        EXPECT_EQ(video.size(), size_t(std::max(0L, packets)) * tape.frameBytes);
        EXPECT_TRUE(video == tape.dv.substr(0, video.size()));
        std::printf("SIGKILL after %zu frames%s: ffmpeg reads %ld\n", c.killAfter,
                    c.drained ? " (written)" : " (queue not drained)", packets);
    }
}

}  // namespace
