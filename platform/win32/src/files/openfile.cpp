// OpenFile: existence tests, deletion and opening for reading or writing,
// the uses the program makes of it; _lclose for the handle OF_READ and
// OF_WRITE return.
//
// An HFILE is the host's file descriptor.  Only OF_READ and OF_WRITE leave
// one open.
// OF_EXIST looks the name up without opening it, so a file this user may
// not read still counts as existing and a free-name search never takes its
// name.  A directory is not a file: every mode fails on it with
// ERROR_ACCESS_DENIED.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "internal/fileerrors.h"
#include "winbase.h"
#include "winfiles.h"

namespace {

// The fully qualified name, cut to what szPathName holds.
void FillPathName(LPOFSTRUCT of, const std::string& path) {
    std::string full = path;
    if (!path.empty() && path[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr) full = std::string(cwd) + "/" + path;
    }
    size_t n = full.size() < OFS_MAXPATHNAME - 1 ? full.size() : OFS_MAXPATHNAME - 1;
    std::memcpy(of->szPathName, full.data(), n);
    of->szPathName[n] = '\0';
}

HFILE Fail(LPOFSTRUCT of, DWORD error) {
    if (of != nullptr) of->nErrCode = static_cast<WORD>(error);
    SetLastError(error);
    return HFILE_ERROR;
}

}  // namespace

HFILE OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle) {
    if (lpReOpenBuff == nullptr) return Fail(nullptr, ERROR_INVALID_PARAMETER);
    std::memset(lpReOpenBuff, 0, sizeof *lpReOpenBuff);
    lpReOpenBuff->cBytes = sizeof *lpReOpenBuff;
    lpReOpenBuff->fFixedDisk = 1;
    if (lpFileName == nullptr) return Fail(lpReOpenBuff, ERROR_INVALID_PARAMETER);
    const std::string path = lpFileName;
    FillPathName(lpReOpenBuff, path);
    if (path.empty()) return Fail(lpReOpenBuff, ERROR_PATH_NOT_FOUND);

    if (uStyle & OF_DELETE) {
        if (::unlink(path.c_str()) != 0)
            return Fail(lpReOpenBuff, win32_detail::FileErrorFromErrno(errno, path));
        return TRUE;
    }

    struct stat st;
    if (uStyle & OF_EXIST) {
        if (::stat(path.c_str(), &st) != 0)
            return Fail(lpReOpenBuff, win32_detail::FileErrorFromErrno(errno, path));
        if (S_ISDIR(st.st_mode)) return Fail(lpReOpenBuff, ERROR_ACCESS_DENIED);
        return TRUE;
    }

    const UINT access = uStyle & 0x3;
    if (access != OF_READ && access != OF_WRITE) return Fail(lpReOpenBuff, ERROR_INVALID_PARAMETER);
    // Not blocking: a FIFO without a reader fails instead of holding the
    // caller (for a regular file the flag changes nothing, and it is
    // cleared on the handle).
    const int flags = access == OF_WRITE ? O_WRONLY | O_NONBLOCK : O_RDONLY;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail(lpReOpenBuff, win32_detail::FileErrorFromErrno(errno, path));
    if (access == OF_WRITE) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return Fail(lpReOpenBuff, ERROR_ACCESS_DENIED);
    }
    return fd;
}

HFILE _lclose(HFILE hFile) {
    if (hFile < 0 || ::close(hFile) != 0) {
        // close() releases the descriptor even when it reports EINTR.
        if (hFile >= 0 && errno == EINTR) return 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return HFILE_ERROR;
    }
    return 0;
}
