// CreateMutex: the named mutex that marks a running instance.
//
// A named mutex exists, for all processes of the user, exactly as long as
// the process that created it holds a handle to it, crash included.  It is a
// lock file in the user's runtime directory with an exclusive flock held by
// the creating process: the kernel drops the lock when that process closes
// the file or dies, so a stale lock file (files are never removed) counts
// as no mutex.  Another process that finds the lock taken gets a handle
// that holds nothing and ERROR_ALREADY_EXISTS; the same name again in the
// creating process gives a handle to the same object and the same error.  A
// lock file that cannot be opened (no permission, not a regular file) is a
// mutex of that name this process may not open: NULL and
// ERROR_ACCESS_DENIED.
//
// The mutex only marks existence: it cannot be waited on or owned, and
// bInitialOwner = TRUE is refused with ERROR_NOT_SUPPORTED.  Names are case
// sensitive, as on Windows, and at most MAX_PATH characters.
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

#include "internal/kernelobject.h"
#include "internal/runtimedir.h"
#include "winbase.h"

namespace win32_detail {
namespace {

class Mutex final : public KernelObject {
public:
    Mutex() = default;
    // The name's lock file descriptor, holding the lock.
    Mutex(std::string name, int fd) : m_name(std::move(name)), m_fd(fd) {}
    ~Mutex() override;

private:
    std::string m_name;
    int m_fd = -1;
};

// Named mutexes this process created, by name.  An entry leaves the map and
// its lock is dropped in one step, under the map's lock; an entry whose
// object is expired but still present is on its way out.
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::pair<Mutex*, std::weak_ptr<Mutex>>> created;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

Mutex::~Mutex() {
    if (m_fd < 0) return;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.created.find(m_name);
    if (it != registry.created.end() && it->second.first == this) registry.created.erase(it);
    close(m_fd);
}

char HexDigit(unsigned value) { return "0123456789ABCDEF"[value & 15]; }

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// A file name that is safe for any name: letters, digits, '-' and '_' stay,
// every other byte becomes %XX, so no '/', '.' or ".." can appear.  Names
// whose escaped form is too long for a file name keep an escaped prefix and
// get a 64-bit hash of the whole name.
std::string LockFileName(const std::string& name) {
    std::string escaped;
    for (unsigned char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_';
        if (plain) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += HexDigit(c >> 4);
            escaped += HexDigit(c);
        }
    }
    if (escaped.size() > 200) {
        uint64_t hash = Fnv1a(name);
        size_t cut = 150;
        size_t escape = escaped.rfind('%', cut - 1);
        if (escape != std::string::npos && escape + 3 > cut) cut = escape;  // no cut %XX
        escaped.resize(cut);
        escaped += '~';
        for (int shift = 60; shift >= 0; shift -= 4)
            escaped += HexDigit(static_cast<unsigned>(hash >> shift));
    }
    return "mutex." + escaped;
}

DWORD OpenError(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EISDIR:
        case ELOOP:
        case ENXIO:
        case ETXTBSY:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_FUNCTION;
    }
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

HANDLE CreateNamedMutex(const std::string& name) {
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    for (;;) {
        auto it = registry.created.find(name);
        if (it == registry.created.end()) break;
        if (std::shared_ptr<Mutex> existing = it->second.second.lock()) {
            // Insert outside the lock: if this becomes the last reference,
            // the destructor takes the lock.
            lock.unlock();
            HANDLE handle = InsertObject(std::move(existing));
            if (handle != nullptr) SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
        // Its last handle is being closed; the lock is dropped in a moment.
        lock.unlock();
        sched_yield();
        lock.lock();
    }

    std::string dir = UserRuntimeDir();
    if (dir.empty()) {
        // No trustworthy directory: the mutex cannot exist anywhere.
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    std::string path = dir + "/" + LockFileName(name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return Fail(OpenError(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        int error = errno;
        close(fd);
        if (error != EWOULDBLOCK) return Fail(ERROR_NOT_SUPPORTED);
        // Another process created it: a handle that holds nothing.
        HANDLE handle = InsertObject(std::make_shared<Mutex>());
        if (handle != nullptr) SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    auto mutex = std::make_shared<Mutex>(name, fd);
    registry.created[name] = {mutex.get(), mutex};
    lock.unlock();
    HANDLE handle = InsertObject(std::move(mutex));
    if (handle != nullptr) SetLastError(ERROR_SUCCESS);
    return handle;
}

}  // namespace
}  // namespace win32_detail

HANDLE CreateMutex(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName) {
    using namespace win32_detail;
    if (bInitialOwner) return Fail(ERROR_NOT_SUPPORTED);
    if (lpName == nullptr || *lpName == '\0') {
        HANDLE handle = InsertObject(std::make_shared<Mutex>());
        if (handle != nullptr) SetLastError(ERROR_SUCCESS);
        return handle;
    }
    if (std::strlen(lpName) > MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);
    return CreateNamedMutex(lpName);
}
