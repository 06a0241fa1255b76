#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>

#include "testsupport/scopedenv.h"
#include "testsupport/scratchdir.h"

TEST(GetEnvironmentVariable, BufferSizes) {
    testsupport::ScopedEnv env("TAPELOOM_TEST_VAR", "abcdef");
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);

    // Fits: length without the terminator.
    EXPECT_EQ(GetEnvironmentVariable("TAPELOOM_TEST_VAR", buffer, 7), 6u);
    EXPECT_STREQ(buffer, "abcdef");
    // One short (no room for the terminator): the size needed, buffer untouched.
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(GetEnvironmentVariable("TAPELOOM_TEST_VAR", buffer, 6), 7u);
    EXPECT_EQ(buffer[0], 'z');
    // Size query.
    EXPECT_EQ(GetEnvironmentVariable("TAPELOOM_TEST_VAR", nullptr, 0), 7u);
}

TEST(GetEnvironmentVariable, MissingAndEmpty) {
    testsupport::ScopedEnv missing("TAPELOOM_TEST_MISSING", nullptr);
    char buffer[8] = "keep";
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariable("TAPELOOM_TEST_MISSING", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
    EXPECT_EQ(GetLastError(), 203u);
    EXPECT_STREQ(buffer, "keep");

    // Set but empty: 0 as well, but not "not found".
    testsupport::ScopedEnv empty("TAPELOOM_TEST_EMPTY", "");
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(GetEnvironmentVariable("TAPELOOM_TEST_EMPTY", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_STREQ(buffer, "");
}

TEST(GetEnvironmentVariable, TempFromEnvironmentWins) {
    testsupport::ScopedEnv temp("TEMP", "/srv/capture");
    char buffer[64];
    EXPECT_EQ(GetEnvironmentVariable("TEMP", buffer, sizeof buffer), 12u);
    EXPECT_STREQ(buffer, "/srv/capture");
}

// Without TEMP the platform names a private directory under the user's cache
// directory, creating it; never /tmp.
TEST(GetEnvironmentVariable, TempFallsBackToCacheDirectory) {
    testsupport::ScratchDir dir;
    for (const char* unsetTemp : {static_cast<const char*>(nullptr), ""}) {
        testsupport::ScopedEnv temp("TEMP", unsetTemp);
        testsupport::ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
        char buffer[4096];
        DWORD n = GetEnvironmentVariable("TEMP", buffer, sizeof buffer);
        const std::string expected = dir / "cache/tapeloom/tmp";
        ASSERT_EQ(n, expected.size());
        EXPECT_EQ(std::string(buffer), expected);
        struct stat st;
        ASSERT_EQ(::stat(buffer, &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    {
        // No XDG_CACHE_HOME: ~/.cache.
        testsupport::ScopedEnv temp("TEMP", nullptr);
        testsupport::ScopedEnv cache("XDG_CACHE_HOME", nullptr);
        testsupport::ScopedEnv home("HOME", (dir / "home").c_str());
        char buffer[4096];
        ASSERT_GT(GetEnvironmentVariable("TEMP", buffer, sizeof buffer), 0u);
        EXPECT_EQ(std::string(buffer), dir / "home/.cache/tapeloom/tmp");
    }
    {
        // A cache directory that cannot be made: /var/tmp, still on disk.
        testsupport::ScopedEnv temp("TEMP", nullptr);
        testsupport::ScopedEnv cache("XDG_CACHE_HOME", "/proc/tapeloom-no-such-place");
        char buffer[4096];
        ASSERT_GT(GetEnvironmentVariable("TEMP", buffer, sizeof buffer), 0u);
        EXPECT_STREQ(buffer, "/var/tmp");
    }
}
