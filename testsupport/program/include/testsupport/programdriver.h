// Test support: runs the real program in processes of its own and drives
// it from outside through the display's automation socket.
//
// Each test gets a private runtime directory (named mutexes, registered
// messages and broadcasts live there), settings file and automation
// socket.  A program process connects to the socket when it creates its
// first top-level window and waits there until the test lets it go on.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/scratchdir.h"

extern char** environ;

namespace program_test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Generous limits: the program under the sanitizers starts slowly.
constexpr milliseconds kStartLimit{30000};
constexpr milliseconds kEndLimit{15000};

// One top-level window as the automation lists it.
struct TopWindow {
    std::string hwnd;
    bool visible = false, enabled = false, iconic = false, foreground = false;
    std::string owner;
    std::string title;
};

// One child window: handle, control id, class, visibility, screen rectangle
// and text.
struct ChildWindow {
    std::string hwnd;
    int id = 0;
    std::string class_name;
    bool visible = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    std::string text;
};

inline std::string QuotedTail(const std::string& line) {
    auto first = line.find('"');
    auto last = line.rfind('"');
    return first == std::string::npos || last <= first ? ""
                                                       : line.substr(first + 1, last - first - 1);
}

// A connected program process: requests and their answers.
class Connection {
public:
    Connection(int fd, int pid) : m_fd(fd), m_pid(pid) {}
    ~Connection() { close(m_fd); }
    int pid() const { return m_pid; }

    // Lets the process go on from its first window.
    void Go() { Send("go"); }

    // The answer's lines; "error ..." lines fail the request.
    std::vector<std::string> Request(const std::string& request) {
        Send(request);
        std::vector<std::string> lines;
        for (std::string line; ReadLine(&line) && line != ".";) lines.push_back(line);
        return lines;
    }
    bool Ok(const std::string& request) {
        for (const auto& line : Request(request))
            if (line.rfind("error", 0) == 0) return false;
        return true;
    }

    std::vector<TopWindow> Windows() {
        std::vector<TopWindow> windows;
        for (const auto& line : Request("windows")) {
            TopWindow w;
            std::istringstream in(line);
            in >> w.hwnd;
            for (std::string field; in >> field && field[0] != '"';) {
                auto eq = field.find('=');
                if (eq == std::string::npos) continue;
                std::string name = field.substr(0, eq), value = field.substr(eq + 1);
                if (name == "visible") w.visible = value == "1";
                if (name == "enabled") w.enabled = value == "1";
                if (name == "iconic") w.iconic = value == "1";
                if (name == "foreground") w.foreground = value == "1";
                if (name == "owner") w.owner = value;
            }
            w.title = QuotedTail(line);
            windows.push_back(w);
        }
        return windows;
    }

    std::optional<TopWindow> Window(const std::string& title) {
        for (const auto& w : Windows())
            if (w.title == title && w.visible) return w;
        return std::nullopt;
    }

    // Waits until a visible top-level window with the title exists.
    std::optional<TopWindow> WaitForWindow(const std::string& title,
                                           milliseconds limit = kStartLimit) {
        const auto deadline = Clock::now() + limit;
        do {
            if (auto w = Window(title)) return w;
            std::this_thread::sleep_for(milliseconds(20));
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

    std::vector<ChildWindow> Children(const std::string& hwnd) {
        std::vector<ChildWindow> children;
        for (const auto& line : Request("children " + hwnd)) {
            ChildWindow c;
            std::istringstream in(line);
            in >> c.hwnd >> c.id >> c.class_name >> c.visible >> c.left >> c.top >> c.right >>
                c.bottom;
            c.text = QuotedTail(line);
            children.push_back(c);
        }
        return children;
    }

    std::optional<ChildWindow> Child(const std::string& hwnd, int id) {
        for (const auto& c : Children(hwnd))
            if (c.id == id) return c;
        return std::nullopt;
    }

private:
    void Send(const std::string& line) {
        std::string data = line + "\n";
        (void)!::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
    }
    bool ReadLine(std::string* line) {
        line->clear();
        for (char c; ::recv(m_fd, &c, 1, 0) == 1;) {
            if (c == '\n') return true;
            *line += c;
        }
        return false;
    }
    int m_fd;
    int m_pid;
};

// The automation socket the test's program processes connect to.
class AutomationServer {
public:
    explicit AutomationServer(const std::string& path) : m_path(path) {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_fd, 8);
    }
    ~AutomationServer() {
        close(m_fd);
        unlink(m_path.c_str());
    }
    const std::string& path() const { return m_path; }

    // The next process that connects, once it has said hello; null when
    // none does within the limit.
    std::unique_ptr<Connection> Accept(milliseconds limit = kStartLimit) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(limit.count())) != 1) return nullptr;
        int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return nullptr;
        std::string hello;
        for (char c; ::recv(fd, &c, 1, 0) == 1 && c != '\n';) hello += c;
        if (hello.rfind("hello ", 0) != 0) {
            close(fd);
            return nullptr;
        }
        return std::make_unique<Connection>(fd, std::atoi(hello.c_str() + 6));
    }

private:
    std::string m_path;
    int m_fd;
};

// The program in a process of its own, possibly under a wrapper command
// (prlimit ...).  The environment is this process's with `environment`'s
// NAME=VALUE settings on top; a later setting replaces an earlier one of
// the same name.
class Program {
public:
    Program(const std::vector<std::string>& environment,
            const std::vector<std::string>& prefix = {}) {
        std::map<std::string, std::string> merged;
        std::vector<std::string> order;
        auto add = [&](const std::string& entry) {
            const std::string name = entry.substr(0, entry.find('='));
            if (!merged.count(name)) order.push_back(name);
            merged[name] = entry;
        };
        for (char** e = environ; *e; ++e) add(*e);
        for (const auto& e : environment) add(e);
        std::vector<std::string> entries;
        for (const auto& name : order) entries.push_back(merged[name]);
        std::vector<char*> envp;
        for (auto& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = prefix;
        args.push_back(TAPELOOM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        m_started = Clock::now();
        if (posix_spawnp(&m_pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
    }
    ~Program() {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    int pid() const { return m_pid; }

    // Waits for the process to end; false if it has not within the limit.
    bool WaitForEnd(milliseconds limit = kEndLimit) {
        const auto deadline = Clock::now() + limit;
        while (!m_ended) {
            int status = 0;
            pid_t r = waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_ended = true;
                m_status = status;
                m_lifetime = std::chrono::duration_cast<milliseconds>(Clock::now() - m_started);
                break;
            }
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return true;
    }
    void Kill() {
        kill(m_pid, SIGKILL);
        WaitForEnd();
    }
    bool ended() const { return m_ended; }
    bool CleanExit() const { return m_ended && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0; }
    // The raw wait status, once ended.
    int status() const { return m_status; }
    Clock::time_point started() const { return m_started; }
    milliseconds lifetime() const { return m_lifetime; }

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status = 0;
    Clock::time_point m_started;
    milliseconds m_lifetime{0};
};

// A private world for the program: runtime directory, settings, temporary
// files and the automation socket, all under one scratch directory.
class ProgramWorld {
public:
    ProgramWorld()
        : m_runtime(m_scratch.Path() + "/run"), m_server(m_scratch.Path() + "/automation") {
        mkdir(m_runtime.c_str(), 0700);
        mkdir((m_scratch.Path() + "/temp").c_str(), 0700);
    }
    const std::string& runtime_dir() const { return m_runtime; }
    const std::string& scratch() const { return m_scratch.Path(); }
    AutomationServer& server() { return m_server; }

    std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> env = {
            "QT_QPA_PLATFORM=offscreen",
            "TAPELOOM_RUNTIME_DIR=" + m_runtime,
            "XDG_RUNTIME_DIR=" + m_runtime,
            "TAPELOOM_REGISTRY=" + m_scratch.Path() + "/registry",
            "TEMP=" + m_scratch.Path() + "/temp",
            "XDG_STATE_HOME=" + m_scratch.Path() + "/state",
            "TAPELOOM_AUTOMATION=" + m_server.path(),
            "TAPELOOM_DECKS=",
            // Qt's own libraries are not built with the sanitizers.
            "TSAN_OPTIONS=suppressions=" SANITIZER_SUPPRESSIONS_DIR "/tsan.supp",
            "LSAN_OPTIONS=suppressions=" SANITIZER_SUPPRESSIONS_DIR "/lsan.supp",
        };
        // A setting in extra replaces the default of the same name.
        for (const std::string& setting : extra) {
            const std::string name = setting.substr(0, setting.find('=') + 1);
            env.erase(std::remove_if(env.begin(), env.end(),
                                     [&](const std::string& e) { return e.rfind(name, 0) == 0; }),
                      env.end());
            env.push_back(setting);
        }
        return env;
    }

    // Starts the program and, when it connects, lets it go on.
    struct Running {
        std::unique_ptr<Program> process;
        std::unique_ptr<Connection> connection;
        TopWindow main;
    };
    Running Start(const std::vector<std::string>& extra = {}) {
        Running r;
        r.process = std::make_unique<Program>(Environment(extra));
        r.connection = m_server.Accept();
        if (!r.connection) return r;
        r.connection->Go();
        if (auto w = r.connection->WaitForWindow("Quindle Tapeloom")) r.main = *w;
        return r;
    }

private:
    testsupport::ScratchDir m_scratch{"tapeloom-app"};
    std::string m_runtime;
    AutomationServer m_server;
};

}  // namespace program_test
