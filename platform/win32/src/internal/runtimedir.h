// The per-user runtime directory shared by all of the user's processes:
// named mutex lock files, the registered-message table and whatever else
// the user's instances of the program use to find each other.
#pragma once

#include <string>

namespace win32_detail {

// Path of the directory, created on first use with mode 0700.  Taken from
// TAPELOOM_RUNTIME_DIR if set (tests), else $XDG_RUNTIME_DIR/tapeloom, else
// /tmp/tapeloom-<uid>.  The directory must be a real directory (not a
// symbolic link) owned by the calling user and closed to group and others;
// if it is not, or cannot be created, the result is empty and errno tells
// why (EACCES for a directory that fails the ownership or mode check).
std::string UserRuntimeDir();

}  // namespace win32_detail
