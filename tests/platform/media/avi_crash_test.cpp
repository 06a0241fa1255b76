// A recording cut short at any moment leaves a valid AVI: the file is
// frozen after every possible number of writes (as a killed process leaves
// it) and read as an index-trusting reader reads it; and real processes are
// killed mid-recording and the file handed to ffprobe, GStreamer and
// mediainfo.
#include <gtest/gtest.h>
#include <signal.h>

#include "avi_readers.h"
#include "avi_snapshot.h"
#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriter;
using media::avi::AviWriterOptions;
using media::avi::DvSystem;
using media::avi::WriteStatus;

constexpr size_t kCheckpointFrames = 4;

AviWriterOptions Checkpointed(uint64_t riffLimit) {
    AviWriterOptions options;
    options.compatibilityIndex = true;
    options.riffLimit = riffLimit;
    options.queueBytes = 1 << 20;
    options.checkpointInterval = std::chrono::milliseconds(0);
    options.checkpointFrames = kCheckpointFrames;
    return options;
}

// Frames [0, frames) of `tape`, audio after each frame for Type-2.
void Record(AviWriter& writer, const Tape& tape, AviType type, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        writer.WriteChunk(0, tape.Frame(i), tape.frameBytes);
        if (type == AviType::Type2) {
            auto [at, size] = tape.AudioOf(i);
            writer.WriteChunk(1, tape.pcm.data() + at, size);
        }
    }
}

// Video chunks whose bytes are all in the file, found by walking the
// chunks from the first movi list on, past the sizes in the headers (the
// writes of a recording leave no holes).
uint64_t VideoChunksOnDisk(const std::string& d) {
    using snapshot_detail::Id;
    using snapshot_detail::U32;
    uint64_t at = 0;
    for (uint64_t list = 12; list + 12 <= d.size(); list += 8 + U32(d, list + 4)) {
        if (Id(d, list) == "LIST" && Id(d, list + 8) == "movi") {
            at = list + 12;
            break;
        }
    }
    uint64_t frames = 0;
    while (at != 0 && at + 8 <= d.size()) {
        const std::string id = Id(d, at);
        const uint32_t size = U32(d, at + 4);
        if (id == "RIFF") {
            at += 24;  // into the next part's movi list
            continue;
        }
        if (at + 8 + size > d.size()) break;
        if (id == "00dc") ++frames;
        at += 8 + size + (size & 1);
    }
    return frames;
}

// Every indexed video chunk holds the tape's frame of its place.
bool FramesMatchTape(const std::string& d, const Snapshot& s, const Tape& tape) {
    for (size_t k = 0; k < s.videoChunks.size(); ++k)
        if (d.compare(s.videoChunks[k], tape.frameBytes, tape.Frame(k), tape.frameBytes) != 0)
            return false;
    return true;
}

TEST(AviCrash, FileFrozenAfterAnyWriteIsValid) {
    struct Case {
        const char* name;
        bool pal;
        AviType type;
        uint64_t riffLimit;
        size_t frames;
    };
    // Parts of about 13 (Type-2) and 16 (Type-1) frames: several part
    // boundaries, checkpoints inside parts, and a last part left growing.
    const Case cases[] = {
        {"PAL Type-2", true, AviType::Type2, 2'000'000, 40},
        {"NTSC Type-2", false, AviType::Type2, 2'000'000, 40},
        {"PAL Type-1", true, AviType::Type1, 2'400'000, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Tape& tape = GetTape(c.pal);
        const unsigned streams = c.type == AviType::Type1 ? 1 : 2;
        testsupport::ScratchDir dir;
        const fs::path out = dir / "frozen.avi";
        size_t states = 0;
        bool complete = false;
        for (uint64_t writes = 0; !complete && writes < 400; ++writes) {
            SCOPED_TRACE("frozen after " + std::to_string(writes) + " writes");
            AviWriterOptions options = Checkpointed(c.riffLimit);
            options.syncParts = false;  // syncing makes no difference to a frozen file
            options.faults.freezeAfterWrites = writes;
            {
                AviWriter writer(options);
                if (c.type == AviType::Type1) {
                    writer.AddInterleavedDvStream(
                        c.pal ? DvSystem::Pal625_50 : DvSystem::Ntsc525_60, {});
                } else {
                    writer.AddDvVideoStream(c.pal ? DvSystem::Pal625_50 : DvSystem::Ntsc525_60);
                    writer.AddPcmStream(48000);
                }
                ASSERT_EQ(writer.Open(out.string()), WriteStatus::Ok);
                Record(writer, tape, c.type, c.frames);
                ASSERT_EQ(writer.Close(), WriteStatus::Ok);
            }
            const std::string d = ReadFile(out);
            if (d.size() < 2048) continue;  // the header not yet written
            ++states;
            const Snapshot s = ReadSnapshot(d, streams);
            ASSERT_EQ(s.error, "");
            // The indexes reach every frame on disk but those since the
            // last checkpoint (and the one whose checkpoint is on its way).
            const uint64_t onDisk = VideoChunksOnDisk(d);
            EXPECT_LE(s.frames, onDisk);
            EXPECT_LE(onDisk, s.frames + kCheckpointFrames + 1);
            EXPECT_TRUE(FramesMatchTape(d, s, tape));
            if (c.type == AviType::Type2) {
                EXPECT_EQ(s.audioSamples * 4, tape.AudioOf(s.frames).first)
                    << "the audio of exactly the indexed frames";
            }
            if (states % 9 == 1) {
                // ffmpeg may read on past the index into what is on disk.
                const long packets = CountVideoPackets(out);
                EXPECT_GE(packets, long(s.frames));
                EXPECT_LE(packets, long(onDisk));
            }
            complete = s.frames == c.frames && d.find("idx1") != std::string::npos;
        }
        EXPECT_TRUE(complete) << "the clean recording ends with every frame";
        EXPECT_GT(states, 20u);
        std::printf("%s: %zu frozen states, each valid\n", c.name, states);
    }
}

// A killed recording before its first checkpoint is an empty, valid AVI;
// a later checkpoint covers everything before it.
TEST(AviCrash, CheckpointsFollowTheInterval) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    const fs::path out = dir / "steps.avi";
    AviWriterOptions options = Checkpointed(1ull << 30);
    options.syncParts = false;
    AviWriter writer(options);
    writer.AddDvVideoStream(DvSystem::Pal625_50);
    writer.AddPcmStream(48000);
    ASSERT_EQ(writer.Open(out.string()), WriteStatus::Ok);
    struct Step {
        size_t framesWritten;
        uint64_t framesIndexed;
    };
    // A checkpoint is taken before the video chunk that follows 4 frames.
    const Step steps[] = {{0, 0}, {3, 0}, {4, 0}, {5, 4}, {8, 4}, {9, 8}, {30, 28}};
    size_t written = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.framesWritten);
        for (; written < step.framesWritten; ++written) {
            writer.WriteChunk(0, tape.Frame(written), tape.frameBytes);
            auto [at, size] = tape.AudioOf(written);
            writer.WriteChunk(1, tape.pcm.data() + at, size);
        }
        // Wait for the writer thread: the header rewrite is its last piece.
        Snapshot s;
        for (int i = 0; i < 200; ++i) {
            s = ReadSnapshot(ReadFile(out), 2);
            if (s.error.empty() && s.frames == step.framesIndexed) break;
            ::usleep(10'000);
        }
        EXPECT_EQ(s.error, "");
        EXPECT_EQ(s.frames, step.framesIndexed);
    }
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    const Snapshot s = ReadSnapshot(ReadFile(out), 2);
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(s.frames, 30u);
    EXPECT_EQ(writer.Totals().checkpoints, 7u);
}

// A checkpoint after every frame: past the super index entries kept for
// the growing part, one index of the whole part so far takes their place.
TEST(AviCrash, CheckpointIndexesOfAPartAreMergedWhenTheirEntriesRunOut) {
    const Tape& tape = GetTape(true);
    testsupport::ScratchDir dir;
    const fs::path out = dir / "merged.avi";
    AviWriterOptions options = Checkpointed(1ull << 30);
    options.syncParts = false;
    options.checkpointFrames = 1;
    AviWriter writer(options);
    writer.AddInterleavedDvStream(DvSystem::Pal625_50, {});
    ASSERT_EQ(writer.Open(out.string()), WriteStatus::Ok);
    struct Step {
        size_t frames;          // written so far
        uint32_t videoIndexes;  // super index entries once the header is on disk
    };
    // Before frame k the checkpoint indexes frames up to k - 1: entry 64 is
    // the last one of its own, the 65th checkpoint merges them all.
    const Step steps[] = {{2, 1}, {65, 64}, {66, 1}, {70, 5}, {100, 35}};
    size_t written = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.frames);
        for (; written < step.frames; ++written)
            writer.WriteChunk(0, tape.Frame(written), tape.frameBytes);
        Snapshot s;
        for (int i = 0; i < 200; ++i) {
            s = ReadSnapshot(ReadFile(out), 1);
            if (s.error.empty() && s.frames + 1 == step.frames) break;
            ::usleep(10'000);
        }
        EXPECT_EQ(s.error, "");
        EXPECT_EQ(s.frames + 1, step.frames);
        EXPECT_EQ(s.videoIndexes, step.videoIndexes);
    }
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);
    const Snapshot s = ReadSnapshot(ReadFile(out), 1);
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(s.frames, 100u);
    EXPECT_EQ(s.videoIndexes, 1u) << "one index for the finished part";
    EXPECT_EQ(CountVideoPackets(out), 100);
}

// Real processes killed mid-recording, read by the real readers.
TEST(AviCrash, KilledProcessLeavesAFileEveryReaderReads) {
    const Tape& tape = GetTape(true);
    struct Case {
        const char* name;
        AviType type;
        size_t killAfter;     // frames given to the writer
        bool closed = false;  // a clean stop instead of the kill
    };
    const Case cases[] = {
        {"Type-2, first RIFF", AviType::Type2, 70},
        {"Type-1, first RIFF", AviType::Type1, 70},
        {"Type-2, third RIFF", AviType::Type2, 90},
        // The checkpoint indexes left in the movi lists trouble no reader.
        {"Type-2, three RIFFs, clean stop", AviType::Type2, 90, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScratchDir dir;
        const fs::path out = dir / "killed.avi";
        // Checkpoints every 25 frames, one second of PAL.
        AviWriterOptions options = Checkpointed(c.killAfter == 90 ? 5'000'000 : 1ull << 30);
        options.checkpointFrames = 25;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            AviWriter writer(options);
            AddStreams(writer, tape, c.type);
            writer.Open(out.string());
            Record(writer, tape, c.type, c.killAfter);
            if (c.closed) {
                writer.Close();
                ::_exit(0);
            }
            ::usleep(300'000);  // the writer thread catches up
            ::kill(::getpid(), SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_EQ(WIFSIGNALED(status), !c.closed);

        const std::string d = ReadFile(out);

        const Snapshot s = ReadSnapshot(d, c.type == AviType::Type1 ? 1 : 2);
        ASSERT_EQ(s.error, "");
        EXPECT_GE(s.frames + 25, c.killAfter) << "at most a second lost";
        if (c.closed) {
            EXPECT_EQ(s.frames, c.killAfter);
            EXPECT_NE(d.find("idx1"), std::string::npos);
        }

        std::printf("%s, %zu frames given: ", c.name, c.killAfter);
        CheckReaders(out, s, c.type, /*countPackets=*/true);
    }
}

}  // namespace
