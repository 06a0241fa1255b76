// RegisterWindowMessage: one number per name for all processes of the user.
//
// The numbers come from a table file, "messages" in the user's runtime
// directory: one name a line, the n-th line (from 0) being message
// 0xC000 + n.  A process that meets a name not yet in the table appends it
// under an exclusive flock, so two processes registering at once still get
// distinct lines and agree on every number; different names can never share
// a number.  Names compare without regard to ASCII case, as on Windows
// (they are stored folded to lower case; other characters compare exactly).
// Each process keeps the numbers it has seen, so a name costs one file
// access per process.  The table must outlive the processes that use it:
// it is never shortened, and nothing but the removal of the whole runtime
// directory (at logout, with the processes) takes it away.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "internal/runtimedir.h"
#include "winbase.h"
#include "winuser.h"

namespace {

constexpr UINT kFirstMessage = 0xC000;
constexpr size_t kTableSize = 0x4000;  // 0xC000 to 0xFFFF
constexpr size_t kLongestName = 255;

// The name as stored: ASCII folded to lower case; '%', line breaks and
// other control characters escaped as %XX so that every name is one line.
std::string TableLine(const char* name) {
    std::string line;
    for (const char* p = name; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'A' && c <= 'Z') {
            line += static_cast<char>(c - 'A' + 'a');
        } else if (c < 0x20 || c == 0x7F || c == '%') {
            line += '%';
            line += "0123456789ABCDEF"[c >> 4];
            line += "0123456789ABCDEF"[c & 15];
        } else {
            line += static_cast<char>(c);
        }
    }
    return line;
}

// Holds an open table file and its lock for one look-up.
class TableFile {
public:
    ~TableFile() {
        if (m_fd >= 0) close(m_fd);  // drops the lock too
    }

    DWORD Open(const std::string& path) {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (m_fd < 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
        struct stat info {};
        if (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) return ERROR_ACCESS_DENIED;
        int result;
        do {
            result = flock(m_fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        return result == 0 ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
    }

    bool ReadAll(std::string& contents) {
        contents.clear();
        char buffer[4096];
        off_t offset = 0;
        for (;;) {
            ssize_t n = pread(m_fd, buffer, sizeof buffer, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            contents.append(buffer, static_cast<size_t>(n));
            offset += n;
        }
    }

    // Appends at the end; on a failed or short write the file is cut back
    // to its old size, so no partial line is left for others to count.
    bool Append(const std::string& text, size_t old_size) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = pwrite(m_fd, text.data() + done, text.size() - done,
                               static_cast<off_t>(old_size + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                [[maybe_unused]] int ignored = ftruncate(m_fd, static_cast<off_t>(old_size));
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    int m_fd = -1;
};

// The index of `line` in the table, adding it if it is missing; 0 and the
// last error on failure.
UINT LookUp(const std::string& dir, const std::string& line) {
    TableFile file;
    DWORD error = file.Open(dir + "/messages");
    std::string contents;
    if (error == ERROR_SUCCESS && !file.ReadAll(contents)) error = ERROR_ACCESS_DENIED;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    // Every line counts, a final one without its line break included, so
    // that all readers number the table alike.
    size_t index = 0;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        if (contents.compare(start, end - start, line) == 0)
            return kFirstMessage + static_cast<UINT>(index);
        ++index;
        start = end + 1;
    }
    if (index >= kTableSize) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    std::string text;
    if (!contents.empty() && contents.back() != '\n') text += '\n';
    text += line;
    text += '\n';
    if (!file.Append(text, contents.size())) {
        SetLastError(ERROR_DISK_FULL);
        return 0;
    }
    return kFirstMessage + static_cast<UINT>(index);
}

std::mutex g_known_mutex;
std::unordered_map<std::string, UINT>& Known() {
    static auto* known = new std::unordered_map<std::string, UINT>;
    return *known;
}

}  // namespace

UINT RegisterWindowMessage(LPCSTR lpString) {
    if (lpString == nullptr || *lpString == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (std::strlen(lpString) > kLongestName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string dir = win32_detail::UserRuntimeDir();
    if (dir.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    std::string line = TableLine(lpString);
    // Known numbers are kept per directory, which only tests change.
    std::string key = dir + '\n' + line;
    std::lock_guard lock(g_known_mutex);
    auto it = Known().find(key);
    if (it != Known().end()) return it->second;
    UINT message = LookUp(dir, line);
    if (message != 0) Known().emplace(key, message);
    return message;
}
