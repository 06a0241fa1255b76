#include <gtest/gtest.h>
#include <process.h>
#include <sys/resource.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <set>
#include <thread>
#include <vector>

#include "helper_process.h"

namespace {

struct Gate {
    HANDLE go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> ran{false};
    std::atomic<DWORD> id{0};
    ~Gate() { CloseHandle(go); }
};

DWORD WINAPI WaitForGateThenReturn42(LPVOID parameter) {
    auto* gate = static_cast<Gate*>(parameter);
    gate->id = GetCurrentThreadId();
    gate->ran = true;
    WaitForSingleObject(gate->go, INFINITE);
    return 42;
}

TEST(Thread, HandleIsSignalledWithTheExitCodeWhenTheThreadEnds) {
    Gate gate;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitForGateThenReturn42, &gate, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 30), static_cast<DWORD>(WAIT_TIMEOUT));

    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(gate.id.load(), id);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    // An ended thread stays signalled for every later wait.
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResume) {
    Gate gate;
    SetEvent(gate.go);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitForGateThenReturn42, &gate, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    // The id is known before the thread runs (it can be posted to).
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(gate.ran.load());
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL));

    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(gate.ran.load());
    EXPECT_EQ(gate.id.load(), id);
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
    CloseHandle(thread);
}

DWORD WINAPI ReportIdentity(LPVOID parameter) {
    auto* ids = static_cast<std::pair<DWORD, DWORD>*>(parameter);
    ids->first = GetCurrentThreadId();
    ids->second = GetCurrentProcessId();
    return 0;
}

TEST(Thread, IdentifiersAreLinuxIdsAndDistinct) {
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());

    constexpr int kThreads = 8;
    std::vector<std::pair<DWORD, DWORD>> reported(kThreads);
    std::vector<HANDLE> threads;
    std::set<DWORD> ids{GetCurrentThreadId()};
    for (int i = 0; i < kThreads; ++i) {
        DWORD id = 0;
        // Suspended, so that all of them are alive at once.
        threads.push_back(
            CreateThread(nullptr, 0, ReportIdentity, &reported[i], CREATE_SUSPENDED, &id));
        ASSERT_NE(threads.back(), nullptr);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(kThreads + 1));
    for (int i = 0; i < kThreads; ++i) {
        ResumeThread(threads[i]);
        WaitForSingleObject(threads[i], INFINITE);
        EXPECT_TRUE(ids.count(reported[i].first));
        EXPECT_EQ(reported[i].second, GetCurrentProcessId());
        CloseHandle(threads[i]);
    }
}

TEST(Thread, LastErrorIsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen_by_other = 1;
    std::thread other([&] {
        seen_by_other = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
    });
    other.join();
    EXPECT_EQ(seen_by_other, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

void WaitForGate(void* parameter) {
    auto* gate = static_cast<Gate*>(parameter);
    gate->ran = true;
    WaitForSingleObject(gate->go, INFINITE);
}

TEST(BeginThread, HandleIsClosedByTheRuntimeWhenTheThreadEnds) {
    Gate gate;
    uintptr_t started = _beginthread(WaitForGate, 0, &gate);
    ASSERT_NE(started, static_cast<uintptr_t>(-1));
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    // Running: the handle is valid and not signalled.
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    SetEvent(gate.go);
    // Ended: the wait returns, either on the signal or because the handle
    // is already gone; soon after, the handle is invalid for good.
    DWORD result = WaitForSingleObject(thread, INFINITE);
    EXPECT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_FAILED);
    while (WaitForSingleObject(thread, 0) != WAIT_FAILED) Sleep(1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_TRUE(gate.ran.load());
}

TEST(BeginThread, MissingFunctionFails) {
    errno = 0;
    EXPECT_EQ(_beginthread(nullptr, 0, nullptr), static_cast<uintptr_t>(-1));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A second process limits its address space so that no thread stack fits:
// both ways of starting a thread report the failure, no crash, no handle.
TEST(BeginThread, FailsWhenTheStackCannotBeAllocated) {
    HelperProcess helper({"thread-limit"});
    ASSERT_TRUE(helper.started());
    std::string crt = helper.ReadLine();
    std::string win32 = helper.ReadLine();
    int status = helper.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(crt, "beginthread failed " + std::to_string(EAGAIN) + " " +
                       std::to_string(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(win32, "createthread failed " + std::to_string(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(ThreadPriority, RememberedAndValidated) {
    HANDLE self = GetCurrentThread();
    EXPECT_EQ(GetThreadPriority(self), THREAD_PRIORITY_NORMAL);
    for (int priority :
         {THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_IDLE, THREAD_PRIORITY_TIME_CRITICAL,
          THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_NORMAL}) {
        EXPECT_TRUE(SetThreadPriority(self, priority)) << priority;
        EXPECT_EQ(GetThreadPriority(self), priority);
    }
    for (int invalid : {3, -3, 7, 16, THREAD_PRIORITY_ERROR_RETURN}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(SetThreadPriority(self, invalid)) << invalid;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(GetThreadPriority(self), THREAD_PRIORITY_NORMAL);
}

struct NiceReport {
    int priority = 0;
    int nice = 0;
};

DWORD WINAPI ReportPriority(LPVOID parameter) {
    auto* report = static_cast<NiceReport*>(parameter);
    report->priority = GetThreadPriority(GetCurrentThread());
    report->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(GetCurrentThreadId()));
    return 0;
}

// Threads start at normal priority whatever their creator runs at, and a
// lower priority really lowers the thread's scheduling weight (always
// permitted, unlike raising it).
TEST(ThreadPriority, NewThreadsStartNormalAndLoweringTakesEffect) {
    int process_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(GetCurrentThreadId()));
    ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST));

    NiceReport normal;
    HANDLE thread = CreateThread(nullptr, 0, ReportPriority, &normal, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(normal.priority, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(normal.nice, process_nice);

    NiceReport lowest;
    thread = CreateThread(nullptr, 0, ReportPriority, &lowest, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_LOWEST));
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(lowest.priority, THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(lowest.nice, std::min(process_nice + 10, 19));

    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

TEST(Time, SleepAndTickCount) {
    DWORD before = GetTickCount();
    Sleep(0);
    Sleep(30);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 10000u);
}

}  // namespace
