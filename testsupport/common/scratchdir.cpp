#include "testsupport/scratchdir.h"

#include <stdlib.h>

#include <system_error>

namespace testsupport {
namespace fs = std::filesystem;

namespace {

// Gives the owner read, write and search rights on every directory of the
// tree, so that a test that made one read-only does not leave it behind.
void MakeRemovable(const fs::path& dir) {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) MakeRemovable(it->path());
}

}  // namespace

ScratchDir::ScratchDir(const std::string& prefix, const fs::path& parent) {
    std::error_code ec;
    const fs::path base = parent.empty() ? fs::temp_directory_path(ec) : parent;
    std::string pattern = ((ec ? fs::path("/tmp") : base) / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
}

ScratchDir::~ScratchDir() { Remove(); }

bool ScratchDir::Remove() {
    if (m_path.empty()) return true;
    MakeRemovable(m_path);
    std::error_code ec;
    fs::remove_all(m_path, ec);
    if (ec || fs::exists(m_path, ec)) return false;
    m_path.clear();
    return true;
}

}  // namespace testsupport
