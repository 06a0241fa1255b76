// A private directory for one test or benchmark, removed with everything in
// it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class ScratchDir {
public:
    // Makes `<parent>/<prefix>-XXXXXX` (mkdtemp, mode 0700); the parent is
    // the temporary directory ($TMPDIR, else /tmp) unless given.  Path()
    // is empty when the directory could not be made.
    explicit ScratchDir(const std::string& prefix = "tapeloom-test",
                        const std::filesystem::path& parent = std::filesystem::path());
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const {
        return std::filesystem::path(m_path) / name;
    }
    // Removes the directory now, first giving its owner back the rights a
    // test may have taken away; false when something is left.  The
    // destructor does the same.
    bool Remove();

private:
    std::string m_path;
};

}  // namespace testsupport
