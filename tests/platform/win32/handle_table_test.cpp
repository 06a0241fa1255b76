#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

void ExpectInvalidHandle(const char* what) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << what;
    SetLastError(ERROR_SUCCESS);
}

TEST(HandleTable, BadHandlesFailCleanly) {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(CloseHandle(event));

    const HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, event, reinterpret_cast<HANDLE>(0x1234)};
    for (HANDLE handle : bad) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CloseHandle(handle));
        ExpectInvalidHandle("CloseHandle");
        EXPECT_FALSE(SetEvent(handle));
        ExpectInvalidHandle("SetEvent");
        EXPECT_FALSE(ResetEvent(handle));
        ExpectInvalidHandle("ResetEvent");
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
        ExpectInvalidHandle("WaitForSingleObject");
        EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_FAILED);
        ExpectInvalidHandle("WaitForSingleObject INFINITE");
        DWORD code = 0;
        EXPECT_FALSE(GetExitCodeThread(handle, &code));
        ExpectInvalidHandle("GetExitCodeThread");
        EXPECT_EQ(ResumeThread(handle), static_cast<DWORD>(-1));
        ExpectInvalidHandle("ResumeThread");
        EXPECT_FALSE(SetThreadPriority(handle, THREAD_PRIORITY_NORMAL));
        ExpectInvalidHandle("SetThreadPriority");
        EXPECT_EQ(GetThreadPriority(handle), THREAD_PRIORITY_ERROR_RETURN);
        ExpectInvalidHandle("GetThreadPriority");
    }
}

DWORD WINAPI ReturnSeven(LPVOID) { return 7; }

TEST(HandleTable, HandlesOfOneKindAreRefusedByTheOthers) {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr);
    HANDLE mutex = CreateMutex(nullptr, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(mutex, nullptr);

    EXPECT_FALSE(SetEvent(thread));
    ExpectInvalidHandle("SetEvent on a thread");
    EXPECT_FALSE(SetEvent(mutex));
    ExpectInvalidHandle("SetEvent on a mutex");
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(event, &code));
    ExpectInvalidHandle("GetExitCodeThread on an event");
    EXPECT_FALSE(SetThreadPriority(event, THREAD_PRIORITY_NORMAL));
    ExpectInvalidHandle("SetThreadPriority on an event");
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    ExpectInvalidHandle("WaitForSingleObject on a mutex");

    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(HandleTable, ClosedHandleValuesAreNotReused) {
    HANDLE first = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(first));
    for (int i = 0; i < 100; ++i) {
        HANDLE next = CreateEvent(nullptr, TRUE, TRUE, nullptr);
        ASSERT_NE(next, first);
        CloseHandle(next);
    }
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);
}

// Closing a handle that another thread waits on leaves that wait intact:
// the object lives until the wait is over.
TEST(HandleTable, CloseDuringAWaitDoesNotPullTheObjectAway) {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiting = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    DWORD result = 0;
    std::thread waiter([&] {
        SetEvent(waiting);
        result = WaitForSingleObject(event, 200);
    });
    WaitForSingleObject(waiting, INFINITE);
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    // Either the wait had not begun (the handle was gone) or it timed out.
    EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED);
    CloseHandle(waiting);
}

TEST(HandleTable, CurrentThreadPseudoHandle) {
    HANDLE self = GetCurrentThread();
    EXPECT_NE(self, nullptr);
    EXPECT_NE(self, INVALID_HANDLE_VALUE);
    EXPECT_EQ(self, GetCurrentThread());
    // Closing it has no effect; it stays usable.
    EXPECT_TRUE(CloseHandle(self));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace
