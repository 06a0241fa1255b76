// The client side of the emulated bus's control socket, for tests and
// check programs: one command line sent, one answer line read.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fwemu {

// Sends `command` to the socket at `path`; the answer ("ok ...",
// "error ..."), or "error connect" when nobody listens there.
inline std::string ControlCommand(const std::string& path, const std::string& command) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "error socket";
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        close(fd);
        return "error connect";
    }
    const std::string line = command + "\n";
    std::string answer;
    if (write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        for (char c; read(fd, &c, 1) == 1 && c != '\n';) answer += c;
    } else {
        answer = "error write";
    }
    close(fd);
    return answer;
}

// The same to the socket $FWEMU_CONTROL names.
inline std::string ControlCommand(const std::string& command) {
    const char* path = std::getenv("FWEMU_CONTROL");
    return ControlCommand(path ? path : "", command);
}

}  // namespace fwemu
