#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "testsupport/scratchdir.h"

extern char** environ;

using namespace std::chrono;

namespace {

constexpr UINT kActivate = 0xC321;  // a registered message number

// A peer process with its standard output on a pipe.
class Peer {
public:
    explicit Peer(const char* mode) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string exe = (std::filesystem::path(PeerDir()) / "win32_broadcast_peer").string();
        std::string message = std::to_string(kActivate);
        char* argv[] = {exe.data(), const_cast<char*>(mode), message.data(), nullptr};
        EXPECT_EQ(posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Peer() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        close(out_);
    }
    void Signal(int sig) { kill(pid_, sig); }
    // The next line of output, or "" if none comes within the time.
    std::string ReadLine(int timeout_ms) {
        std::string line;
        auto end = steady_clock::now() + milliseconds(timeout_ms);
        for (;;) {
            int left =
                static_cast<int>(duration_cast<milliseconds>(end - steady_clock::now()).count());
            pollfd p{out_, POLLIN, 0};
            if (left < 0 || poll(&p, 1, left) <= 0) return "";
            char c;
            if (read(out_, &c, 1) != 1) return "";
            if (c == '\n') return line;
            line += c;
        }
    }
    static std::string& PeerDir() {
        static std::string dir;
        return dir;
    }

private:
    pid_t pid_ = 0;
    int out_ = -1;
};

class Broadcast : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_scratch = std::make_unique<testsupport::ScratchDir>("tlbc");
        dir_ = s_scratch->Path();
        setenv("TAPELOOM_RUNTIME_DIR", dir_.c_str(), 1);
        Peer::PeerDir() = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    }
    static void TearDownTestSuite() { s_scratch.reset(); }
    static std::unique_ptr<testsupport::ScratchDir> s_scratch;
    static std::string dir_;
};
std::unique_ptr<testsupport::ScratchDir> Broadcast::s_scratch;
std::string Broadcast::dir_;

}  // namespace

TEST_F(Broadcast, ReachesAWindowOfAnotherProcess) {
    Peer peer("answer");
    ASSERT_EQ(peer.ReadLine(10000), "ready");
    auto start = steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeout(HWND_BROADCAST, kActivate, 7, -3, SMTO_BLOCK | SMTO_ABORTIFHUNG, 200, &r);
    auto took = steady_clock::now() - start;
    // The peer has answered by the time the broadcast returns.
    EXPECT_EQ(peer.ReadLine(0), "got 7 -3");
    EXPECT_LT(took, milliseconds(200 + 100));
    // Messages that are not registered stay in the process.
    SendMessageTimeout(HWND_BROADCAST, WM_USER, 1, 1, SMTO_BLOCK, 200, &r);
    EXPECT_EQ(peer.ReadLine(100), "");
}

TEST_F(Broadcast, AHungProcessDoesNotHoldTheSender) {
    Peer hung("hang");
    Peer live("answer");
    ASSERT_EQ(hung.ReadLine(10000), "ready");
    ASSERT_EQ(live.ReadLine(10000), "ready");
    auto start = steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeout(HWND_BROADCAST, kActivate, 1, 2, SMTO_BLOCK | SMTO_ABORTIFHUNG, 200, &r);
    auto took = steady_clock::now() - start;
    EXPECT_LT(took, milliseconds(200 + 100));
    EXPECT_EQ(live.ReadLine(100), "got 1 2");
    EXPECT_EQ(hung.ReadLine(0), "");
}

TEST_F(Broadcast, ABusyProcessStillHandlesABroadcastAfterTheSenderGaveUp) {
    Peer late("late");
    ASSERT_EQ(late.ReadLine(10000), "ready");
    auto start = steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeout(HWND_BROADCAST, kActivate, 3, 4, SMTO_BLOCK | SMTO_ABORTIFHUNG, 100, &r);
    EXPECT_LT(steady_clock::now() - start, milliseconds(100 + 100));
    EXPECT_EQ(late.ReadLine(5000), "got 3 4");
}

TEST_F(Broadcast, StoppedProcessAndLeftoverSockets) {
    // A socket left behind by a process that has gone is removed by the
    // next sender.
    std::string stale = dir_ + "/w999999.sock";
    {
        int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, stale.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        close(fd);
    }
    Peer stopped("answer");
    ASSERT_EQ(stopped.ReadLine(10000), "ready");
    // A process that does not run at all cannot hold the sender either.
    stopped.Signal(SIGSTOP);
    auto start = steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeout(HWND_BROADCAST, kActivate, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 150, &r);
    EXPECT_LT(steady_clock::now() - start, milliseconds(150 + 100));
    EXPECT_FALSE(std::filesystem::exists(stale));
    stopped.Signal(SIGCONT);
    // Continued after the sender gave up, it still handles the broadcast,
    // however long its threads take to get going again.
    EXPECT_EQ(stopped.ReadLine(5000), "got 0 0");
}

TEST_F(Broadcast, ReachesTheProcessOwnWindows) {
    static int got = 0;
    struct P {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == kActivate) ++got;
            return DefWindowProc(h, m, w, l);
        }
    };
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = P::Proc;
    wc.lpszClassName = "OwnBroadcast";
    RegisterClassEx(&wc);
    HWND top =
        CreateWindowEx(0, "OwnBroadcast", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND child =
        CreateWindowEx(0, "OwnBroadcast", "", WS_CHILD, 0, 0, 1, 1, top, nullptr, nullptr, nullptr);
    DWORD_PTR r;
    SendMessageTimeout(HWND_BROADCAST, kActivate, 0, 0, SMTO_BLOCK, 200, &r);
    EXPECT_EQ(got, 1);  // the top-level window only, not its child
    SendMessage(HWND_BROADCAST, kActivate, 0, 0);
    EXPECT_EQ(got, 2);
    (void)child;
    DestroyWindow(top);
}
