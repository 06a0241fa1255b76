// GetLongPathName.  The host has no short names; the "long form" of a path
// is its canonical absolute form, which like the Windows long form exists
// only for a path that exists.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal/fileerrors.h"
#include "winbase.h"
#include "winfiles.h"

DWORD GetLongPathName(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer) {
    if (lpszShortPath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string shortPath = lpszShortPath;
    if (shortPath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    char* resolved = ::realpath(shortPath.c_str(), nullptr);
    if (resolved == nullptr) {
        SetLastError(win32_detail::FileErrorFromErrno(errno, shortPath));
        return 0;
    }
    const std::string longPath = resolved;
    std::free(resolved);
    const DWORD length = static_cast<DWORD>(longPath.size());
    if (lpszLongPath == nullptr || cchBuffer <= length) return length + 1;
    std::memmove(lpszLongPath, longPath.c_str(), length + 1);
    return length;
}
