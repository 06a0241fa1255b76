// The user's home directory and private directories under it.
#include "internal/hostpaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace win32_detail {

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

std::string XdgDirectory(const char* name, const char* fallback) {
    std::string dir;
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] == '/') {
        dir = value;
    } else {
        dir = HomeDirectory();
        if (dir.empty()) return dir;
        dir += "/";
        dir += fallback;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool MakePrivateDirectory(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    for (std::string::size_type slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0700) != 0 &&
            errno != EEXIST)
            return false;
        if (slash == std::string::npos) break;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace win32_detail
