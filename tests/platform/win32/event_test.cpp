#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Spins (yielding) until the counter reaches a value; the test's own time-out
// catches a value that never comes.
void AwaitCount(const std::atomic<int>& counter, int value) {
    while (counter.load() < value) Sleep(1);
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSignalled) {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    }
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(event));
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released.load(), 4);

    // Still signalled for later waits until reset.
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSignal) {
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            ASSERT_EQ(WaitForSingleObject(event, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
            ++released;
        });
    }
    for (int signal = 1; signal <= 4; ++signal) {
        EXPECT_TRUE(SetEvent(event));
        AwaitCount(released, signal);
        // The one released waiter consumed the signal.
        EXPECT_EQ(released.load(), signal);
        EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    for (auto& waiter : waiters) waiter.join();
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Event, SignalsDoNotAccumulateAndInitialStateCounts) {
    HANDLE automatic = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Two signals without a waiter in between leave one signal.
    SetEvent(automatic);
    SetEvent(automatic);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // A reset takes back a signal nobody has consumed.
    SetEvent(automatic);
    ResetEvent(automatic);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(automatic);

    HANDLE manual = CreateEvent(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(manual);
}

TEST(Event, TimedWaitTimesOutOrEndsAtTheSignal) {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);

    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    long waited = ElapsedMs(start);
    EXPECT_GE(waited, 45);
    EXPECT_LT(waited, 5000);

    // A signal during a long wait ends it long before its time-out.
    std::thread setter([&] {
        Sleep(20);
        SetEvent(event);
    });
    start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_LT(ElapsedMs(start), 20000);
    setter.join();
    CloseHandle(event);
}

// What the setter wrote before SetEvent is visible to the waiter after its
// wait (checked by ThreadSanitizer: the field is deliberately not atomic).
TEST(Event, WaitSeesWritesMadeBeforeTheSignal) {
    HANDLE ready = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    int shared = 0;
    std::thread peer([&] {
        WaitForSingleObject(ready, INFINITE);
        shared += 1;
        SetEvent(done);
    });
    shared = 41;
    SetEvent(ready);
    WaitForSingleObject(done, INFINITE);
    EXPECT_EQ(shared, 42);
    peer.join();
    CloseHandle(ready);
    CloseHandle(done);
}

}  // namespace
