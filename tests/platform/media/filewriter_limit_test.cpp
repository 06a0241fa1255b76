// A write past the process's file size limit fails with EFBIG once a File
// Writer exists, as writes fail on the platform modelled, so that a
// recording ends through its write error path; the default action of
// SIGXFSZ would end the whole process instead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "mediatest.h"
#include "testsupport/scratchdir.h"

namespace {

// In a child process with SIGXFSZ at its default and a 4 KiB size limit:
// makes a File Writer (or not), then writes 8 KiB.  Exit code 0 when the
// write past the limit failed with EFBIG.
int WritePastTheLimit(const std::string& path, bool makeWriter) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_DFL);
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (makeWriter) {
            CoInitialize(nullptr);
            IBaseFilter* writer = nullptr;
            if (FAILED(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IBaseFilter, reinterpret_cast<void**>(&writer))))
                _exit(3);
            writer->Release();
        }
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::vector<char> bytes(8192, 'x');
        const ssize_t first = write(fd, bytes.data(), bytes.size());
        const ssize_t second = write(fd, bytes.data(), bytes.size());
        _exit(first == 4096 && second < 0 && errno == EFBIG ? 0 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

}  // namespace

TEST(FileWriterLimit, AWritePastTheSizeLimitFailsInsteadOfEndingTheProcess) {
    testsupport::ScratchDir dir;
    // Without a File Writer the signal's default action ends the process:
    // the check sees the difference.
    const int plain = WritePastTheLimit(dir / "plain.avi", false);
    EXPECT_TRUE(WIFSIGNALED(plain) && WTERMSIG(plain) == SIGXFSZ) << plain;
    const int withWriter = WritePastTheLimit(dir / "take.avi", true);
    EXPECT_TRUE(WIFEXITED(withWriter)) << "ended by signal " << WTERMSIG(withWriter);
    EXPECT_EQ(0, WEXITSTATUS(withWriter));
}
