// Helpers of the emulated-bus tests: a scratch directory with a generated
// tape and a bus description, programs run on the emulated bus, and the
// frames of a capture matched against the tape.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dv/dvtesttape.h"
#include "testsupport/scratchdir.h"

namespace fwemutest {

struct Scratch {
    testsupport::ScratchDir dir{"fwemu-test"};
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name)) << text;
        return Path(name);
    }
    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(Path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct RunResult {
    int status = -1;  // exit code; 128 + signal when killed
    std::string output;
};

// Runs argv in `dir` with the emulator in place of libraw1394 and the
// given extra environment; stdout and stderr together in `output`.
inline RunResult RunOnBus(const std::vector<std::string>& argv, const std::string& dir,
                          const std::map<std::string, std::string>& env, int timeoutSec = 60) {
    const std::string log = dir + "/run.log";
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("LD_LIBRARY_PATH", FWEMU_LIB_DIR, 1);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        if (chdir(dir.c_str()) != 0) _exit(126);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    RunResult r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::vector<uint8_t> out = ReadBytes(log);
    r.output.assign(out.begin(), out.end());
    return r;
}

// True when `program` is on the PATH.
inline bool Installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Index in the tape of each frame of `capture` (-1: no tape frame has
// those bytes).
inline std::vector<int> MatchFrames(const std::vector<uint8_t>& tape,
                                    const std::vector<uint8_t>& capture, size_t frameSize) {
    std::map<std::string, int> index;
    for (size_t i = 0; i + frameSize <= tape.size(); i += frameSize)
        index.emplace(std::string(tape.begin() + i, tape.begin() + i + frameSize),
                      static_cast<int>(i / frameSize));
    std::vector<int> found;
    for (size_t i = 0; i + frameSize <= capture.size(); i += frameSize) {
        auto it = index.find(std::string(capture.begin() + i, capture.begin() + i + frameSize));
        found.push_back(it == index.end() ? -1 : it->second);
    }
    return found;
}

inline bool Consecutive(const std::vector<int>& frames) {
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i] < 0 || (i > 0 && frames[i] != frames[i - 1] + 1)) return false;
    return !frames.empty();
}

}  // namespace fwemutest
