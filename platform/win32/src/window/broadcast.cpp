// HWND_BROADCAST across the user's processes.
//
// Each process with a top-level window binds a datagram socket named
// w<pid>.sock in the user's runtime directory (mode 0700, so only the user
// reaches it) and runs a listener thread on it.  A broadcast of a
// registered message sends one request to every such socket, delivers the
// message to its own windows meanwhile, and then collects the answers until
// its time-out; a listener hands the message to its process's top-level
// windows, waits for them up to the sender's time-out and answers.  Only
// the message number and two integers travel: pointers mean nothing in
// another process.  Sockets left behind by processes that have ended are
// removed by the first sender that finds nobody listening.
#include "broadcast.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "internal/runtimedir.h"
#include "messagequeue.h"
#include "windowtable.h"

namespace win32_detail {

namespace {

constexpr uint32_t kRequestMagic = 0x54424331;  // request
constexpr uint32_t kReplyMagic = 0x54424332;    // answer

struct Packet {
    uint32_t magic;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
    uint32_t flags;
    uint32_t timeout;  // ms; UINT32_MAX: none
    uint64_t sequence;
};

std::string SocketName(const std::string& dir, const std::string& leaf) { return dir + "/" + leaf; }

bool MakeAddress(const std::string& path, sockaddr_un* addr, socklen_t* len) {
    if (path.size() >= sizeof(addr->sun_path)) return false;
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// Binds a datagram socket at path, replacing a stale file of that name.
int BindAt(const std::string& path) {
    sockaddr_un addr;
    socklen_t len;
    if (!MakeAddress(path, &addr, &len)) return -1;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        unlink(path.c_str());
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

void SendToLocalWindows(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, bool timed,
                        UINT timeout) {
    for (HWND hwnd : TopLevelWindows()) {
        DWORD_PTR ignored;
        if (timed)
            SendMessageTimeout(hwnd, message, wParam, lParam, flags, timeout, &ignored);
        else
            SendMessage(hwnd, message, wParam, lParam);
    }
}

// Delivers another process's broadcast to this process's top-level
// windows.  Each gets it as a send that is never taken back: the sender's
// time-out bounds only how long the listener waits for the answers, so a
// process that was stopped, or is slow to get the processor, still handles
// a broadcast it reads late.  Windows of a hung thread are left out under
// SMTO_ABORTIFHUNG, as a send in the process leaves them out.
void DeliverFromAnotherProcess(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, bool timed,
                               UINT timeout) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timed ? timeout : 0);
    auto self = CurrentQueue();
    std::vector<std::shared_ptr<SentMessage>> pending;
    for (HWND hwnd : TopLevelWindows()) {
        auto queue = WindowQueue(hwnd);
        if (!queue || ((flags & SMTO_ABORTIFHUNG) && queue->IsHung())) continue;
        auto sent = MakeSent(hwnd, message, wParam, lParam);
        sent->sender = self;
        if (queue->PushSent(sent)) pending.push_back(std::move(sent));
    }
    auto all_done = [&] {
        for (auto& sent : pending) {
            std::lock_guard<std::mutex> lock(sent->mutex);
            if (!sent->done) return false;
        }
        return true;
    };
    while (!all_done() && (!timed || Clock::now() < deadline))
        self->Wait(deadline, !timed, /*display_events=*/false);
    for (auto& sent : pending) {
        std::lock_guard<std::mutex> lock(sent->mutex);
        sent->abandoned = true;  // whatever is left runs without waking us
    }
}

std::string g_listener_path;  // written once, before the listener starts

void Listen(int fd) {
    for (;;) {
        Packet p;
        sockaddr_un from;
        socklen_t from_len = sizeof from;
        ssize_t n = recvfrom(fd, &p, sizeof p, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        if (n != sizeof p || p.magic != kRequestMagic || p.message < 0xC000 || p.message > 0xFFFF)
            continue;
        const bool timed = p.timeout != UINT32_MAX;
        DeliverFromAnotherProcess(p.message, static_cast<WPARAM>(p.wparam),
                                  static_cast<LPARAM>(p.lparam), p.flags, timed,
                                  timed ? p.timeout : 0);
        Packet reply = p;
        reply.magic = kReplyMagic;
        sendto(fd, &reply, sizeof reply, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
               from_len);
    }
}

void RemoveListenerSocket() {
    if (!g_listener_path.empty()) unlink(g_listener_path.c_str());
}

std::atomic<uint64_t> g_sequence{1};

}  // namespace

void StartBroadcastListener() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::string dir = UserRuntimeDir();
        if (dir.empty()) return;
        std::string path = SocketName(dir, "w" + std::to_string(getpid()) + ".sock");
        int fd = BindAt(path);
        if (fd < 0) return;
        g_listener_path = path;
        std::atexit(RemoveListenerSocket);
        std::thread(Listen, fd).detach();
    });
}

void BroadcastSend(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, bool timed,
                   UINT timeout) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timed ? timeout : 0);
    const bool registered = message >= 0xC000 && message <= 0xFFFF;
    int fd = -1;
    std::string reply_path;
    size_t expected = 0;
    if (registered) {
        std::string dir = UserRuntimeDir();
        const std::string own = "w" + std::to_string(getpid()) + ".sock";
        const uint64_t sequence = g_sequence.fetch_add(1);
        if (!dir.empty()) {
            reply_path = SocketName(
                dir, "r" + std::to_string(getpid()) + "-" + std::to_string(sequence) + ".sock");
            fd = BindAt(reply_path);
        }
        if (fd >= 0) {
            Packet p{kRequestMagic,
                     message,
                     static_cast<uint64_t>(wParam),
                     static_cast<int64_t>(lParam),
                     flags,
                     timed ? timeout : UINT32_MAX,
                     sequence};
            if (DIR* d = opendir(dir.c_str())) {
                while (dirent* e = readdir(d)) {
                    std::string leaf = e->d_name;
                    if (leaf.size() < 7 || leaf[0] != 'w' || leaf == own ||
                        leaf.compare(leaf.size() - 5, 5, ".sock") != 0)
                        continue;
                    std::string path = SocketName(dir, leaf);
                    sockaddr_un addr;
                    socklen_t len;
                    if (!MakeAddress(path, &addr, &len)) continue;
                    if (sendto(fd, &p, sizeof p, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&addr),
                               len) == sizeof p)
                        ++expected;
                    else if (errno == ECONNREFUSED || errno == ENOENT)
                        unlink(path.c_str());  // its process has ended
                }
                closedir(d);
            }
        }
    }

    SendToLocalWindows(message, wParam, lParam, flags, timed, timeout);

    while (fd >= 0 && expected > 0) {
        int wait_ms = -1;
        if (timed) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            wait_ms = static_cast<int>(left.count());
        }
        pollfd pfd{fd, POLLIN, 0};
        int r = poll(&pfd, 1, wait_ms);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        Packet reply;
        if (recv(fd, &reply, sizeof reply, 0) == sizeof reply && reply.magic == kReplyMagic)
            --expected;
    }
    if (fd >= 0) {
        close(fd);
        unlink(reply_path.c_str());
    }
}

}  // namespace win32_detail
