// The user's registry file (see the header for the rules it keeps).
#include "internal/registryfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "internal/fileerrors.h"
#include "internal/hostpaths.h"
#include "winerror.h"

namespace win32_detail {

namespace {

// Holds an exclusive flock of the lock file for its lifetime.
class WriterLock {
public:
    explicit WriterLock(const std::string& file) {
        std::string path = file + ".lock";
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = FileErrorFromErrno(errno, path);
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = ERROR_ACCESS_DENIED;
                break;
            }
        }
    }
    ~WriterLock() {
        if (m_fd >= 0) ::close(m_fd);  // releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    LONG Error() const { return static_cast<LONG>(m_error); }

private:
    int m_fd = -1;
    DWORD m_error = ERROR_SUCCESS;
};

// The whole file; nullopt with errno set when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Replaces the file by `text` atomically.  Called under the writers' lock.
LONG WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string dir = ParentDirectory(path);
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return static_cast<LONG>(FileErrorFromErrno(errno, temp));
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    int err = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return err == ENOSPC || err == EDQUOT ? ERROR_DISK_FULL : ERROR_CANTWRITE;
    }
    SyncDirectory(dir);
    return ERROR_SUCCESS;
}

// Moves a damaged file out of the way under a name no other file has.
// Called under the writers' lock.  False when it could not be moved.
// bKeptValues: its good values are written back in its place.
bool SetAside(const std::string& path, bool bKeptValues) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string aside = path + ".damaged-" + stamp;
    struct stat st;
    for (int n = 2; ::lstat(aside.c_str(), &st) == 0; ++n)
        aside = path + ".damaged-" + stamp + "-" + std::to_string(n);
    if (::rename(path.c_str(), aside.c_str()) == 0) {
        std::fprintf(stderr, "tapeloom: registry file %s is damaged; kept as %s; %s\n",
                     path.c_str(), aside.c_str(),
                     bKeptValues ? "its good values are kept" : "settings start empty");
        return true;
    }
    // Said once: every later read would find the same file again.
    static std::atomic<bool> s_told{false};
    if (!s_told.exchange(true))
        std::fprintf(stderr,
                     "tapeloom: registry file %s is damaged and cannot be set aside; settings read "
                     "as empty\n",
                     path.c_str());
    return false;
}

// The contents of the file, setting a damaged one aside and writing its
// good values back in its place; called under the writers' lock.  nullopt,
// with the reason in `error`, when the file exists but cannot be read, or
// is damaged and cannot be moved out of the way of a writer.
std::optional<Hive> LoadLocked(const std::string& path, LONG& error) {
    std::optional<std::string> text = ReadFile(path);
    if (!text) {
        if (errno == ENOENT) return Hive();
        error = static_cast<LONG>(FileErrorFromErrno(errno, path));
        return std::nullopt;
    }
    ParsedHive parsed = Hive::Parse(*text);
    if (!parsed.damaged) return std::move(parsed.hive);
    const bool bKeep = !parsed.hive.Empty();
    if (!SetAside(path, bKeep)) {
        error = ERROR_BADDB;
        return std::nullopt;
    }
    // Every later read and write finds the good values; when they cannot be
    // written back this read still has them.
    if (bKeep) WriteFileAtomically(path, parsed.hive.Serialize());
    return std::move(parsed.hive);
}

}  // namespace

std::string RegistryFilePath() {
    const char* moved = std::getenv("TAPELOOM_REGISTRY");
    if (moved != nullptr && moved[0] != '\0') return moved;
    std::string config = XdgDirectory("XDG_CONFIG_HOME", ".config");
    if (config.empty()) config = ".";
    return config + "/tapeloom/registry";
}

Hive LoadHive() {
    const std::string path = RegistryFilePath();
    std::optional<std::string> text = ReadFile(path);
    if (!text) return Hive();
    ParsedHive parsed = Hive::Parse(*text);
    if (!parsed.damaged) return std::move(parsed.hive);
    // Damaged: look again under the lock, where no writer can be replacing
    // it, and set it aside if it still is.  A file that cannot be set aside
    // still gives its good values to readers.
    WriterLock lock(path);
    if (lock.Error() != ERROR_SUCCESS) return std::move(parsed.hive);
    LONG error = ERROR_SUCCESS;
    if (std::optional<Hive> hive = LoadLocked(path, error)) return std::move(*hive);
    return std::move(parsed.hive);
}

LONG UpdateHive(const std::function<bool(Hive&)>& change) {
    const std::string path = RegistryFilePath();
    std::string dir = ParentDirectory(path);
    if (dir[0] == '/') MakePrivateDirectory(dir);
    WriterLock lock(path);
    if (lock.Error() != ERROR_SUCCESS) return lock.Error();
    LONG error = ERROR_SUCCESS;
    std::optional<Hive> hive = LoadLocked(path, error);
    if (!hive) return error;
    if (!change(*hive)) return ERROR_SUCCESS;
    return WriteFileAtomically(path, hive->Serialize());
}

}  // namespace win32_detail
