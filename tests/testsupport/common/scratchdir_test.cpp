// The toolbox's scratch directory and environment guard.
#include "testsupport/scratchdir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "testsupport/scopedenv.h"

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::ScratchDir;

namespace {

TEST(ScratchDir, IsPrivateAndNamedAfterItsPrefix) {
    ScratchDir parent;
    ASSERT_FALSE(parent.Path().empty());
    ScratchDir dir("toolbox", parent.Path());
    ASSERT_FALSE(dir.Path().empty());
    EXPECT_EQ(fs::path(dir.Path()).parent_path(), fs::path(parent.Path()));
    EXPECT_EQ(fs::path(dir.Path()).filename().string().rfind("toolbox-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(dir.Path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(dir / "a.avi", fs::path(dir.Path()) / "a.avi");
}

// A test may leave directories its owner cannot write or search: the
// scratch directory goes all the same.
TEST(ScratchDir, GoesWithWhatATestTookRightsFrom) {
    struct Case {
        const char* name;
        fs::perms top;   // rights left on the scratch directory itself
        fs::perms deep;  // rights left on a directory inside it
    };
    const Case cases[] = {
        {"plain", fs::perms::owner_all, fs::perms::owner_all},
        {"read-only inside", fs::perms::owner_all, fs::perms::owner_read | fs::perms::owner_exec},
        {"unsearchable inside", fs::perms::owner_all, fs::perms::none},
        {"read-only top", fs::perms::owner_read | fs::perms::owner_exec, fs::perms::owner_all},
        {"nothing anywhere", fs::perms::none, fs::perms::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path;
        for (bool explicitly : {false, true}) {
            std::optional<ScratchDir> dir(std::in_place);
            path = dir->Path();
            fs::create_directories(*dir / "a/b");
            std::ofstream(*dir / "a/b/file") << "x";
            fs::permissions(*dir / "a/b", c.deep);
            fs::permissions(*dir / "a", c.deep);
            fs::permissions(path, c.top);
            if (explicitly) {
                EXPECT_TRUE(dir->Remove());
                EXPECT_TRUE(dir->Path().empty());
            }
            dir.reset();
            EXPECT_FALSE(fs::exists(path));
        }
    }
}

TEST(ScratchDir, IsEmptyWhereNoneCanBeMade) {
    ScratchDir dir("toolbox", "/proc/tapeloom-no-such-place");
    EXPECT_TRUE(dir.Path().empty());
    EXPECT_TRUE(dir.Remove());
}

TEST(ScopedEnv, SetsOrUnsetsForTheScopeAndPutsBackWhatWasThere) {
    struct Case {
        const char* before;  // null: not set
        const char* value;   // null: unset in the scope
    };
    const Case cases[] = {
        {nullptr, "on"},  {nullptr, nullptr}, {"old", "new"},
        {"old", nullptr}, {"", "x"},          {"old", ""},
    };
    const char* const kName = "TAPELOOM_TOOLBOX_TEST";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before ? c.before : "(unset)") + " -> " +
                     (c.value ? c.value : "(unset)"));
        if (c.before)
            ::setenv(kName, c.before, 1);
        else
            ::unsetenv(kName);
        {
            ScopedEnv env(kName, c.value);
            const char* now = ::getenv(kName);
            if (c.value) {
                ASSERT_NE(now, nullptr);
                EXPECT_STREQ(now, c.value);
            } else {
                EXPECT_EQ(now, nullptr);
            }
        }
        const char* after = ::getenv(kName);
        if (c.before) {
            ASSERT_NE(after, nullptr);
            EXPECT_STREQ(after, c.before);
        } else {
            EXPECT_EQ(after, nullptr);
        }
    }
    ::unsetenv(kName);
}

}  // namespace
