// The user's registry file: where it is, reading it, changing it safely.
//
// The file is $TAPELOOM_REGISTRY when that is set, else
// $XDG_CONFIG_HOME/tapeloom/registry, else ~/.config/tapeloom/registry.
// Readers read it without a lock: every write replaces it whole (temporary
// file in the same directory, fsync, rename), so a reader sees one version
// or the next.  Writers serialise on an flock of "<file>.lock" and re-read
// the file under it, so writers in different processes or threads lose no
// value.  A damaged file is renamed to "<file>.damaged-<time>" (never
// deleted, never overwritten), with one line on stderr; its well-formed
// keys and values are written back in its place, so that one bad line
// loses only its own value (a file with none reads as empty).
#pragma once

#include <functional>
#include <string>

#include "internal/registryhive.h"
#include "windef.h"

namespace win32_detail {

std::string RegistryFilePath();

// The current contents; empty when the file is missing or unreadable; the
// good values of a damaged one.
Hive LoadHive();

// Runs `change` on the current contents under the writers' lock and, when
// it returns true, writes the result.  ERROR_SUCCESS or the Win32 code of
// the failure; the file is unchanged on failure.
LONG UpdateHive(const std::function<bool(Hive&)>& change);

}  // namespace win32_detail
