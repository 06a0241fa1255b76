// AviWriter's producer side: borrowed buffers, the queue's bound, copies,
// concurrent producers and misuse.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriter;
using media::avi::AviWriterOptions;
using media::avi::DvSystem;
using media::avi::WriteStatus;

TEST(AviWriterThread, BorrowedBuffersAreHeldOnlyWithinTheBound) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    AviWriterOptions options;
    options.queueBytes = 4 * 144008;
    AviWriter writer(options);
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    ASSERT_EQ(writer.Open((dir / "out.avi").string()), WriteStatus::Ok);

    std::atomic<int> alive{0};
    int mostAlive = 0;
    for (size_t i = 0; i < tape.Frames(); ++i) {
        // A frame buffer of the caller's, handed back when written.
        auto* frame = new std::string(tape.Frame(i), tape.frameBytes);
        ++alive;
        std::shared_ptr<const void> keep(frame, [&alive](const std::string* p) {
            delete p;
            --alive;
        });
        ASSERT_EQ(writer.WriteChunk(0, frame->data(), frame->size(), std::move(keep)),
                  WriteStatus::Ok);
        mostAlive = std::max(mostAlive, alive.load());
    }
    // The queue's bound, plus the one chunk let in when the queue is empty.
    EXPECT_LE(mostAlive, 5);
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    EXPECT_EQ(alive.load(), 0) << "every borrowed buffer is handed back";
    EXPECT_TRUE(ReadBackVideo(dir / "out.avi") == tape.dv);
}

// A disk that stops answering for a while: the queue takes up what comes
// meanwhile (its high-water mark says how much), nothing is lost, and the
// producer is held only once the bound is reached.
TEST(AviWriterThread, AStalledDiskFillsTheQueueAndLosesNothing) {
    const Tape& tape = GetTape(true);
    struct Case {
        size_t queueBytes;
        bool producerHeld;  // the stall outlasts what the queue holds
    };
    for (const Case c : {Case{32u << 20, false}, Case{3u << 20, true}}) {
        SCOPED_TRACE(c.queueBytes);
        testsupport::ScratchDir dir;
        AviWriterOptions options;
        options.queueBytes = c.queueBytes;
        options.faults.stallAtOffset = 2'000'000;
        options.faults.stallFor = std::chrono::milliseconds(600);
        AviWriter writer(options);
        writer.AddDvVideoStream(DvSystem::Pal625_50);
        ASSERT_EQ(writer.Open((dir / "out.avi").string()), WriteStatus::Ok);
        const auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < 60; ++i)
            ASSERT_EQ(writer.WriteChunk(0, tape.Frame(i), tape.frameBytes), WriteStatus::Ok);
        const double queued =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(writer.Close(), WriteStatus::Ok);
        const auto totals = writer.Totals();
        EXPECT_EQ(totals.frames, 60u);
        if (c.producerHeld) {
            EXPECT_GT(queued, 0.3);
            EXPECT_LE(totals.queuePeakBytes, c.queueBytes);
            EXPECT_GT(totals.queuePeakBytes, c.queueBytes - 2 * 144008);
        } else {
            EXPECT_LT(queued, 0.3);
            EXPECT_GT(totals.queuePeakBytes, 35u * 144008) << "the frames during the stall";
        }
        EXPECT_NE(totals.Line().find("queue peak"), std::string::npos);
        EXPECT_TRUE(ReadBackVideo(dir / "out.avi") == tape.dv.substr(0, 60 * tape.frameBytes));
    }
}

TEST(AviWriterThread, UnownedBytesAreCopiedBeforeWriteChunkReturns) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    AviWriter writer;
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    ASSERT_EQ(writer.Open((dir / "out.avi").string()), WriteStatus::Ok);
    std::string scratch;
    for (size_t i = 0; i < 20; ++i) {
        scratch.assign(tape.Frame(i), tape.frameBytes);
        ASSERT_EQ(writer.WriteChunk(0, scratch.data(), scratch.size()), WriteStatus::Ok);
        scratch.assign(tape.frameBytes, '\x55');  // reused at once, as a capture buffer would be
    }
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    EXPECT_TRUE(ReadBackVideo(dir / "out.avi") == tape.dv.substr(0, 20 * tape.frameBytes));
}

TEST(AviWriterThread, VideoAndAudioFromTwoThreads) {
    const Tape& tape = GetTape(false);
    testsupport::ScratchDir dir;
    AviWriterOptions options;
    options.riffLimit = 4'000'000;
    options.compatibilityIndex = true;
    AviWriter writer(options);
    const int video = writer.AddDvVideoStream(DvSystem::Ntsc525_60);
    const int audio = writer.AddPcmStream(48000);
    ASSERT_EQ(writer.Open((dir / "out.avi").string()), WriteStatus::Ok);
    std::thread audioThread([&] {
        for (size_t i = 0; i < tape.Frames(); ++i) {
            auto [at, size] = tape.AudioOf(i);
            EXPECT_EQ(writer.WriteChunk(audio, tape.pcm.data() + at, size), WriteStatus::Ok);
            EXPECT_EQ(writer.Status(), WriteStatus::Ok);
        }
    });
    for (size_t i = 0; i < tape.Frames(); ++i)
        EXPECT_EQ(writer.WriteChunk(video, tape.Frame(i), tape.frameBytes), WriteStatus::Ok);
    audioThread.join();
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    EXPECT_GT(writer.Totals().parts, 2u);
    EXPECT_EQ(writer.Totals().audioSamples * 4, tape.pcm.size());
    EXPECT_TRUE(ReadBackVideo(dir / "out.avi") == tape.dv);
    EXPECT_TRUE(ReadBackAudio(dir / "out.avi") == tape.pcm);
}

TEST(AviWriterThread, MisuseIsRefusedWithoutSpoilingTheRecording) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    AviWriter writer;
    EXPECT_EQ(writer.Open((dir / "none.avi").string()), WriteStatus::WriteError) << "no streams";
    EXPECT_EQ(writer.WriteChunk(0, tape.Frame(0), tape.frameBytes), WriteStatus::WriteError)
        << "not open";
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    EXPECT_NE(writer.Open((dir / "missing" / "x.avi").string()), WriteStatus::Ok);
    EXPECT_FALSE(writer.IsOpen());

    AviWriter good;
    good.AddDvVideoStream(DvSystem::Pal625_50);
    ASSERT_EQ(good.Open((dir / "out.avi").string()), WriteStatus::Ok);
    EXPECT_EQ(good.Open((dir / "again.avi").string()), WriteStatus::WriteError);
    EXPECT_EQ(good.WriteChunk(7, tape.Frame(0), tape.frameBytes), WriteStatus::WriteError);
    EXPECT_EQ(good.WriteChunk(0, nullptr, 10), WriteStatus::WriteError);
    EXPECT_EQ(good.Status(), WriteStatus::Ok) << "a refused call is not a write failure";
    EXPECT_EQ(good.WriteChunk(0, tape.Frame(0), tape.frameBytes), WriteStatus::Ok);
    EXPECT_EQ(good.Close(), WriteStatus::Ok);
    EXPECT_EQ(good.Close(), WriteStatus::Ok);
    EXPECT_EQ(good.WriteChunk(0, tape.Frame(1), tape.frameBytes), WriteStatus::WriteError)
        << "closed";
    EXPECT_EQ(good.Totals().frames, 1u);
    EXPECT_EQ(CountVideoPackets(dir / "out.avi"), 1);
}

TEST(AviWriterThread, ReopenedWriterStartsAFreshFile) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    AviWriter writer;
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    writer.AddPcmStream(32000);
    for (int run = 0; run < 2; ++run) {
        const fs::path out = dir / ("run" + std::to_string(run) + ".avi");
        ASSERT_EQ(writer.Open(out.string()), WriteStatus::Ok);
        for (size_t i = 0; i < size_t(5 + run * 5); ++i) {
            ASSERT_EQ(writer.WriteChunk(0, tape.Frame(i), tape.frameBytes), WriteStatus::Ok);
            ASSERT_EQ(writer.WriteChunk(1, tape.pcm.data(), 1280 * 4), WriteStatus::Ok);
        }
        ASSERT_EQ(writer.Close(), WriteStatus::Ok);
        EXPECT_EQ(CountVideoPackets(out), 5 + run * 5);
        auto a = Probe(out, "stream=sample_rate", "a:0");
        EXPECT_EQ(a["sample_rate"], "32000");
    }
}

}  // namespace
