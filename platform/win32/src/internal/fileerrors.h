// Host file errors as Win32 error codes.
#pragma once

#include <string>

#include "windef.h"

namespace win32_detail {

// The Win32 code for an errno value from an operation on `path`.  ENOENT
// becomes ERROR_FILE_NOT_FOUND when the directory that should hold the file
// exists and ERROR_PATH_NOT_FOUND when it does not.
DWORD FileErrorFromErrno(int err, const std::string& path);

// The directory part of `path` ("." for a bare name), trailing separators
// of the name itself ignored.
std::string ParentDirectory(const std::string& path);

}  // namespace win32_detail
