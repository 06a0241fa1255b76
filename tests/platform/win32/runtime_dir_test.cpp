#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "internal/runtimedir.h"
#include "testsupport/scratchdir.h"

namespace {

using win32_detail::UserRuntimeDir;

class RuntimeDir : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = m_scratch.Path();
        unsetenv("TAPELOOM_RUNTIME_DIR");
    }
    void TearDown() override { unsetenv("TAPELOOM_RUNTIME_DIR"); }
    testsupport::ScratchDir m_scratch{"tapeloom-dirtest"};
    std::string base_;
};

TEST_F(RuntimeDir, OverrideIsCreatedPrivate) {
    std::string dir = base_ + "/override";
    setenv("TAPELOOM_RUNTIME_DIR", (dir + "/").c_str(), 1);
    EXPECT_EQ(UserRuntimeDir(), dir);
    struct stat info {};
    ASSERT_EQ(stat(dir.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(RuntimeDir, UntrustworthyDirectoriesAreRefused) {
    std::string open_dir = base_ + "/open";
    ASSERT_EQ(mkdir(open_dir.c_str(), 0700), 0);
    ASSERT_EQ(chmod(open_dir.c_str(), 0755), 0);
    std::string link = base_ + "/link";
    std::string target = base_ + "/target";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    std::string file = base_ + "/file";
    { std::ofstream(file) << "x"; }
    std::vector<std::string> refused{open_dir, link, file};
    // Only root can give a directory to another user.
    std::string foreign = base_ + "/foreign";
    ASSERT_EQ(mkdir(foreign.c_str(), 0700), 0);
    if (geteuid() == 0 && chown(foreign.c_str(), 1, static_cast<gid_t>(-1)) == 0)
        refused.push_back(foreign);

    for (const std::string& dir : refused) {
        setenv("TAPELOOM_RUNTIME_DIR", dir.c_str(), 1);
        EXPECT_EQ(UserRuntimeDir(), "") << dir;
    }
}

}  // namespace
