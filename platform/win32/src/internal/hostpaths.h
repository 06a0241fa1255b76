// The user's home directory and private directories under it.
#pragma once

#include <string>

namespace win32_detail {

// $HOME when it is an absolute path, else the password database's entry;
// empty when neither is known.
std::string HomeDirectory();

// An absolute directory named by the environment variable `name` (such as
// XDG_CACHE_HOME), else `fallback` under the home directory; empty when
// neither is known.  Trailing separators are dropped.
std::string XdgDirectory(const char* name, const char* fallback);

// Creates `path` (absolute) and its missing parents with mode 0700; true when
// it is then a directory this user may write into.
bool MakePrivateDirectory(const std::string& path);

}  // namespace win32_detail
