// Host file errors as Win32 error codes.
#include "internal/fileerrors.h"

#include <sys/stat.h>

#include <cerrno>

#include "winerror.h"

namespace win32_detail {

std::string ParentDirectory(const std::string& path) {
    std::string::size_type end = path.find_last_not_of('/');
    if (end == std::string::npos) return "/";
    std::string::size_type slash = path.rfind('/', end);
    if (slash == std::string::npos) return ".";
    std::string::size_type dirEnd = path.find_last_not_of('/', slash);
    if (dirEnd == std::string::npos) return "/";
    return path.substr(0, dirEnd + 1);
}

DWORD FileErrorFromErrno(int err, const std::string& path) {
    switch (err) {
        case ENOENT: {
            if (path.empty()) return ERROR_PATH_NOT_FOUND;
            struct stat st;
            std::string dir = ParentDirectory(path);
            if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
            return ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

}  // namespace win32_detail
