#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "helper_process.h"

namespace {

class NamedMutex : public ::testing::Test {
protected:
    ScopedRuntimeDir runtime_dir_;
};

std::string OutcomeInHelper(const std::string& name) {
    HelperProcess helper({"mutex", name});
    std::string outcome = helper.ReadLine();
    helper.Wait();
    return outcome;
}

TEST_F(NamedMutex, SecondCreateInTheSameProcessFindsIt) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    HANDLE first = CreateMutex(nullptr, FALSE, "instance");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    HANDLE second = CreateMutex(nullptr, FALSE, "instance");
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    // It lives while any handle is open.
    EXPECT_TRUE(CloseHandle(first));
    HANDLE third = CreateMutex(nullptr, FALSE, "instance");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(second);
    CloseHandle(third);
    HANDLE fresh = CreateMutex(nullptr, FALSE, "instance");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(fresh);
}

TEST_F(NamedMutex, NamesAreCaseSensitiveAndDistinct) {
    std::vector<HANDLE> handles;
    for (const char* name : {"Name", "name", "Name2"}) {
        handles.push_back(CreateMutex(nullptr, FALSE, name));
        EXPECT_NE(handles.back(), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << name;
        EXPECT_EQ(OutcomeInHelper(name), "exists") << name;
    }
    for (HANDLE handle : handles) CloseHandle(handle);
}

TEST_F(NamedMutex, ExistsForOtherProcessesWhileTheCreatorHoldsIt) {
    const std::string name = "BE65C46E-568F-432d-B4AC-9F7A04298653";
    EXPECT_EQ(OutcomeInHelper(name), "first");  // the helper has ended: gone again

    HANDLE mutex = CreateMutex(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(OutcomeInHelper(name), "exists");
    EXPECT_EQ(OutcomeInHelper(name), "exists");

    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_EQ(OutcomeInHelper(name), "first");
}

TEST_F(NamedMutex, KilledCreatorLeavesNoMutexBehind) {
    HelperProcess holder({"hold", "instance"});
    ASSERT_EQ(holder.ReadLine(), "first");

    HANDLE mutex = CreateMutex(nullptr, FALSE, "instance");
    EXPECT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A handle to another process's mutex does not keep it alive.
    holder.Kill();
    int status = holder.Wait();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    HANDLE again = CreateMutex(nullptr, FALSE, "instance");
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(OutcomeInHelper("instance"), "exists");
    CloseHandle(mutex);
    CloseHandle(again);
}

TEST_F(NamedMutex, ExactlyOneOfSeveralStartingProcessesIsFirst) {
    std::vector<std::unique_ptr<HelperProcess>> helpers;
    for (int i = 0; i < 4; ++i)
        helpers.push_back(
            std::make_unique<HelperProcess>(std::vector<std::string>{"hold", "race"}));
    int first = 0;
    int exists = 0;
    for (auto& helper : helpers) {
        std::string outcome = helper->ReadLine();
        first += outcome == "first";
        exists += outcome == "exists";
    }
    EXPECT_EQ(first, 1);
    EXPECT_EQ(exists, 3);
}

// The lock file of the name is something this process cannot open.  Tests
// run as root, where file modes do not stop an open, so the path is made a
// directory, which no process can open for writing.
TEST_F(NamedMutex, UnopenableLockIsAccessDenied) {
    ASSERT_EQ(mkdir((runtime_dir_.path() + "/mutex.locked").c_str(), 0700), 0);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateMutex(nullptr, FALSE, "locked"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OutcomeInHelper("locked"), "denied");
    // Other names are unaffected.
    HANDLE unlocked = CreateMutex(nullptr, FALSE, "unlocked");
    EXPECT_NE(unlocked, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(unlocked);
}

TEST_F(NamedMutex, AnyNameStaysInsideTheRuntimeDirectory) {
    const std::string long_a(MAX_PATH - 1, '/');
    const std::string long_b = long_a + "a";
    const char* names[] = {"..",  "../escape",  "a/b",          "/etc/passwd", ".",
                           "%2F", "\\Local\\x", long_a.c_str(), long_b.c_str()};
    std::vector<HANDLE> handles;
    for (const char* name : names) {
        handles.push_back(CreateMutex(nullptr, FALSE, name));
        EXPECT_NE(handles.back(), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << name;
    }
    for (HANDLE handle : handles) CloseHandle(handle);
    // One plain lock file per name, all directly inside the directory.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(runtime_dir_.path())) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
        EXPECT_EQ(entry.path().filename().string().rfind("mutex.", 0), 0u) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, std::size(names));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(runtime_dir_.path()).parent_path() /
                                         "escape"));

    EXPECT_EQ(CreateMutex(nullptr, FALSE, std::string(MAX_PATH + 1, 'x').c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

// Without a trustworthy runtime directory no named mutex can exist; the
// caller sees neither "exists" nor "denied".
TEST_F(NamedMutex, UntrustedRuntimeDirectoryIsNotAnExistingMutex) {
    ASSERT_EQ(chmod(runtime_dir_.path().c_str(), 0755), 0);
    EXPECT_EQ(CreateMutex(nullptr, FALSE, "instance"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
