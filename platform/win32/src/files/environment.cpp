// GetEnvironmentVariable, and the TEMP directory the platform provides.
//
// Recordings are written into TEMP by default and run to many gigabytes, so
// when the environment has no TEMP (or an empty one) the platform names a
// directory on disk, never the host's /tmp, which is often memory-backed:
//   $XDG_CACHE_HOME/tapeloom/tmp, else ~/.cache/tapeloom/tmp (created with
//   mode 0700 where missing), else /var/tmp when neither can be made.
// TMPDIR is not consulted: it commonly names a memory-backed directory.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "internal/hostpaths.h"
#include "winbase.h"
#include "winfiles.h"

namespace {

std::string DefaultTempDirectory() {
    std::string cache = win32_detail::XdgDirectory("XDG_CACHE_HOME", ".cache");
    if (!cache.empty()) {
        std::string dir = cache + "/tapeloom/tmp";
        if (win32_detail::MakePrivateDirectory(dir)) return dir;
    }
    return "/var/tmp";
}

}  // namespace

DWORD GetEnvironmentVariable(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    std::optional<std::string> value;
    if (lpName != nullptr && *lpName != '\0') {
        if (const char* host = std::getenv(lpName)) value = host;
    }
    if (lpName != nullptr && std::strcmp(lpName, "TEMP") == 0 && (!value || value->empty()))
        value = DefaultTempDirectory();
    if (!value) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(value->size());
    if (lpBuffer == nullptr || nSize <= length) return length + 1;
    std::memcpy(lpBuffer, value->c_str(), length + 1);
    if (length == 0) SetLastError(ERROR_SUCCESS);
    return length;
}
