// DeleteFile: removes a file (never a directory).
#include <unistd.h>

#include <cerrno>
#include <string>

#include "internal/fileerrors.h"
#include "winbase.h"
#include "winfiles.h"

BOOL DeleteFile(LPCSTR lpFileName) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = lpFileName;
    if (::unlink(path.c_str()) != 0) {
        SetLastError(win32_detail::FileErrorFromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}
