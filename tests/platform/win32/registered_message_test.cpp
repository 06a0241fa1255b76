#include <gtest/gtest.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "helper_process.h"

namespace {

class RegisteredMessage : public ::testing::Test {
protected:
    ScopedRuntimeDir runtime_dir_;
};

std::vector<UINT> NumbersInHelper(const std::vector<std::string>& names) {
    std::vector<std::string> args{"message"};
    args.insert(args.end(), names.begin(), names.end());
    HelperProcess helper(args);
    std::vector<UINT> numbers;
    for (const std::string& line : helper.ReadAllLines())
        numbers.push_back(static_cast<UINT>(std::stoul(line)));
    helper.Wait();
    return numbers;
}

TEST_F(RegisteredMessage, SameNameSameNumberRegardlessOfCase) {
    UINT number = RegisterWindowMessage("BE65C46E-568F-432d-B4AC-9F7A04298653");
    EXPECT_GE(number, 0xC000u);
    EXPECT_LE(number, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessage("BE65C46E-568F-432d-B4AC-9F7A04298653"), number);
    EXPECT_EQ(RegisterWindowMessage("be65c46e-568f-432D-b4ac-9f7a04298653"), number);

    UINT other = RegisterWindowMessage("case-test-other");
    EXPECT_GE(other, 0xC000u);
    EXPECT_NE(other, number);
}

TEST_F(RegisteredMessage, EmptyOrOverlongNamesFail) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(RegisterWindowMessage(nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterWindowMessage(std::string(256, 'm').c_str()), 0u);
    EXPECT_NE(RegisterWindowMessage(std::string(255, 'm').c_str()), 0u);
}

TEST_F(RegisteredMessage, NumbersAgreeAcrossProcesses) {
    UINT mine = RegisterWindowMessage("across-registered-here");
    std::vector<UINT> helper =
        NumbersInHelper({"ACROSS-registered-here", "across-registered-there"});
    ASSERT_EQ(helper.size(), 2u);
    EXPECT_EQ(helper[0], mine);
    // A name the other process registered first has its number here too.
    EXPECT_EQ(RegisterWindowMessage("Across-Registered-There"), helper[1]);
    EXPECT_NE(helper[1], mine);
}

// Processes registering the same names at the same time, in different
// orders, all agree, and no two names share a number.
TEST_F(RegisteredMessage, ConcurrentProcessesAgreeOnEveryName) {
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) names.push_back("concurrent-" + std::to_string(i));
    std::vector<std::unique_ptr<HelperProcess>> helpers;
    for (int h = 0; h < 4; ++h) {
        std::vector<std::string> order = names;
        std::rotate(order.begin(), order.begin() + h * 3, order.end());
        if (h % 2) std::reverse(order.begin(), order.end());
        std::vector<std::string> args{"message"};
        args.insert(args.end(), order.begin(), order.end());
        helpers.push_back(std::make_unique<HelperProcess>(args));
    }
    std::vector<UINT> expected;
    for (const auto& name : names) expected.push_back(RegisterWindowMessage(name.c_str()));
    EXPECT_EQ(std::set<UINT>(expected.begin(), expected.end()).size(), names.size());

    for (int h = 0; h < 4; ++h) {
        std::vector<std::string> lines = helpers[h]->ReadAllLines();
        ASSERT_EQ(lines.size(), names.size());
        std::vector<std::string> order = names;
        std::rotate(order.begin(), order.begin() + h * 3, order.end());
        if (h % 2) std::reverse(order.begin(), order.end());
        for (size_t i = 0; i < order.size(); ++i) {
            size_t index = std::find(names.begin(), names.end(), order[i]) - names.begin();
            EXPECT_EQ(static_cast<UINT>(std::stoul(lines[i])), expected[index]) << order[i];
        }
    }
}

// Names with line breaks cannot forge or split table entries.
TEST_F(RegisteredMessage, LineBreaksInNamesStayInsideOneEntry) {
    UINT joined = RegisterWindowMessage("first\nsecond");
    UINT first = RegisterWindowMessage("first");
    UINT second = RegisterWindowMessage("second");
    EXPECT_EQ(std::set<UINT>({joined, first, second}).size(), 3u);
    std::vector<UINT> helper = NumbersInHelper({"second", "first\nsecond", "first"});
    EXPECT_EQ(helper, (std::vector<UINT>{second, joined, first}));
}

// A table whose last line was cut short (a writer died mid-line) still
// numbers every later name the same way in every process.
TEST_F(RegisteredMessage, UnfinishedLastLineIsCountedByEveryone) {
    {
        std::ofstream table(runtime_dir_.path() + "/messages", std::ios::binary);
        table << "complete\nunfinish";
    }
    UINT added = RegisterWindowMessage("after-unfinished");
    EXPECT_EQ(added, 0xC002u);
    EXPECT_EQ(NumbersInHelper({"after-unfinished"}), std::vector<UINT>{added});
}

TEST_F(RegisteredMessage, UnusableTableFails) {
    ASSERT_EQ(mkdir((runtime_dir_.path() + "/messages").c_str(), 0700), 0);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(RegisterWindowMessage("no-table"), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
