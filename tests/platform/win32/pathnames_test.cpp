#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstring>
#include <fstream>

#include "testsupport/scratchdir.h"

TEST(GetLongPathName, CanonicalFormOfExistingPath) {
    testsupport::ScratchDir dir;
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    char canonicalDir[4096];
    ASSERT_NE(::realpath(dir.Path().c_str(), canonicalDir), nullptr);
    const std::string expected = std::string(canonicalDir) + "/real";

    // In place, as the default file name is made.
    char buffer[4096];
    std::strcpy(buffer, (dir / "link/../real/.").c_str());
    DWORD n = GetLongPathName(buffer, buffer, sizeof buffer);
    EXPECT_EQ(n, expected.size());
    EXPECT_EQ(std::string(buffer), expected);

    // Too small: the size needed with its terminator, buffer untouched.
    char small[8] = "keep";
    EXPECT_EQ(GetLongPathName((dir / "real").c_str(), small, sizeof small), expected.size() + 1);
    EXPECT_STREQ(small, "keep");
    EXPECT_EQ(GetLongPathName((dir / "real").c_str(), nullptr, 0), expected.size() + 1);
}

TEST(GetLongPathName, MissingPathFails) {
    testsupport::ScratchDir dir;
    char buffer[4096];
    EXPECT_EQ(GetLongPathName((dir / "none").c_str(), buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetLongPathName((dir / "none/deeper").c_str(), buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(GetModuleFileName, RunningExecutable) {
    char buffer[4096];
    DWORD n = GetModuleFileName(nullptr, buffer, sizeof buffer);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::strlen(buffer), n);
    EXPECT_EQ(buffer[0], '/');
    EXPECT_NE(std::string(buffer).find("win32_pathnames_test"), std::string::npos);
    struct stat mine, named;
    ASSERT_EQ(::stat("/proc/self/exe", &mine), 0);
    ASSERT_EQ(::stat(buffer, &named), 0);
    EXPECT_EQ(mine.st_ino, named.st_ino);

    // Too small: cut and terminated, the result is the buffer size.
    char small[6];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileName(nullptr, small, sizeof small), static_cast<DWORD>(sizeof small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(buffer).substr(0, 5));
}
