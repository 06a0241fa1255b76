// The per-user runtime directory.
#include "internal/runtimedir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace win32_detail {
namespace {

// Creates the directory if it is missing, then checks that it is one we
// can trust: a directory, not a link, ours, and closed to everyone else.
bool UsableDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string UserRuntimeDir() {
    std::string path = FromEnvironment("TAPELOOM_RUNTIME_DIR");
    if (path.empty()) {
        std::string xdg = FromEnvironment("XDG_RUNTIME_DIR");
        if (!xdg.empty() && xdg.front() == '/') {
            path = xdg + "/tapeloom";
        } else {
            path = "/tmp/tapeloom-" + std::to_string(geteuid());
        }
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return UsableDirectory(path) ? path : std::string();
}

}  // namespace win32_detail
