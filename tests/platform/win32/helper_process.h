// Test support: a private runtime directory and second processes running
// the kernel helper (kernel_helper.cpp).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/scratchdir.h"

extern char** environ;

// A fresh directory of mode 0700, made the user's runtime directory (through
// TAPELOOM_RUNTIME_DIR) for this process and the helpers it starts.
class ScopedRuntimeDir {
public:
    ScopedRuntimeDir() { setenv("TAPELOOM_RUNTIME_DIR", m_dir.Path().c_str(), 1); }
    ~ScopedRuntimeDir() { unsetenv("TAPELOOM_RUNTIME_DIR"); }
    const std::string& path() const { return m_dir.Path(); }

private:
    testsupport::ScratchDir m_dir;
};

// The helper executable started with the given arguments; its standard
// output is read line by line.
class HelperProcess {
public:
    explicit HelperProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<std::string> all{KERNEL_HELPER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, KERNEL_HELPER, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        output_ = fdopen(fds[0], "r");
    }
    ~HelperProcess() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (output_ != nullptr) fclose(output_);
    }

    bool started() const { return pid_ > 0 && output_ != nullptr; }

    // The next line of output without its line break; empty at the end.
    std::string ReadLine() {
        std::string line;
        int c;
        while (output_ != nullptr && (c = fgetc(output_)) != EOF && c != '\n')
            line += static_cast<char>(c);
        return line;
    }

    std::vector<std::string> ReadAllLines() {
        std::vector<std::string> lines;
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) lines.push_back(line);
        return lines;
    }

    void Kill() {
        if (pid_ > 0) kill(pid_, SIGKILL);
    }

    // The raw wait status.
    int Wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        return status;
    }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    bool reaped_ = false;
};
