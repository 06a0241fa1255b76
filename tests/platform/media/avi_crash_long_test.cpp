// Recordings killed past the first RIFF (1 GiB) and past 4 GiB, Type-1 and
// Type-2, read by ffprobe, GStreamer and mediainfo. Labelled "long" (about
// 10 GB written): run with `scripts/test --long`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

#include "avi_readers.h"
#include "avi_snapshot.h"

namespace {

using namespace avitest;
using media::avi::AviWriter;
using media::avi::AviWriterOptions;
using media::avi::DvSystem;

// The file mapped read-only, for the snapshot reader.
class Mapped {
public:
    explicit Mapped(const fs::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        size_ = fd >= 0 ? size_t(fs::file_size(file)) : 0;
        if (size_) data_ = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
        if (fd >= 0) ::close(fd);
        if (data_ == MAP_FAILED) data_ = nullptr;
    }
    ~Mapped() {
        if (data_) ::munmap(data_, size_);
    }
    std::string_view View() const {
        return data_ ? std::string_view(static_cast<const char*>(data_), size_)
                     : std::string_view();
    }

private:
    void* data_ = nullptr;
    size_t size_ = 0;
};

TEST(AviCrashLong, KilledPastOneAndFourGiBEveryReaderReads) {
    const Tape& tape = GetTape(true);
    struct Case {
        const char* name;
        AviType type;
        size_t killAfter;  // frames given to the writer
    };
    const Case cases[] = {
        {"Type-2 past 1 GiB", AviType::Type2, 8'000},
        {"Type-1 past 1 GiB", AviType::Type1, 8'000},
        {"Type-2 past 4 GiB", AviType::Type2, 29'000},
        {"Type-1 past 4 GiB", AviType::Type1, 30'500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ScratchDir dir;
        const fs::path out = dir / "killed.avi";
        AviWriterOptions options;  // the program's: 1 GiB parts, a checkpoint a second
        options.compatibilityIndex = true;
        options.checkpointFrames = 25;  // and one a second of tape, however fast it comes
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            AviWriter writer(options);
            AddStreams(writer, tape, c.type);
            writer.Open(out.string());
            auto noRelease = [](const void*) {};
            for (size_t i = 0; i < c.killAfter; ++i) {
                const size_t f = i % tape.Frames();
                writer.WriteChunk(0, tape.Frame(f), tape.frameBytes,
                                  std::shared_ptr<const void>(tape.Frame(f), noRelease));
                if (c.type == AviType::Type2) {
                    auto [at, size] = tape.AudioOf(f);
                    writer.WriteChunk(1, tape.pcm.data() + at, size,
                                      std::shared_ptr<const void>(tape.pcm.data(), noRelease));
                }
            }
            ::sleep(2);  // the writer thread catches up
            ::kill(::getpid(), SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        Snapshot s;
        {
            const Mapped file(out);
            s = ReadSnapshot(file.View(), c.type == AviType::Type1 ? 1 : 2);
        }
        ASSERT_EQ(s.error, "");
        EXPECT_GE(s.frames + 25, c.killAfter) << "at most a second lost";
        EXPECT_GE(s.parts, c.killAfter > 20'000 ? 4u : 2u);
        std::printf("%s: killed after %zu frames, %.2f GB: ", c.name, c.killAfter,
                    double(fs::file_size(out)) / 1e9);
        CheckReaders(out, s, c.type, /*countPackets=*/false);
    }
}

}  // namespace
