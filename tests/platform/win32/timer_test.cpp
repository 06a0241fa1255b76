#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "testsupport/windowthread.h"

using namespace std::chrono;

namespace {

std::atomic<int> g_ticks{0};
std::atomic<DWORD> g_tick_thread{0};

LRESULT CALLBACK TimerProcWnd(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == 1) {
        ++g_ticks;
        g_tick_thread = GetCurrentThreadId();
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace

TEST(Timer, WindowTimerTicksOnTheOwningThread) {
    test_support::RegisterTestClass("TimerTest", TimerProcWnd);
    HWND hwnd = nullptr;
    test_support::PumpThread owner([&] {
        hwnd =
            CreateWindowEx(0, "TimerTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    });
    g_ticks = 0;
    // Set from another thread, still delivered on the window's thread.
    EXPECT_EQ(SetTimer(hwnd, 1, 20, nullptr), 1u);
    auto start = steady_clock::now();
    while (g_ticks < 5 && steady_clock::now() - start < seconds(10))
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_GE(g_ticks, 5);
    EXPECT_EQ(g_tick_thread, owner.tid());
    // Five ticks of 20 ms take at least 100 ms.
    EXPECT_GE(steady_clock::now() - start, milliseconds(95));
    EXPECT_TRUE(KillTimer(hwnd, 1));
    std::this_thread::sleep_for(milliseconds(30));
    int after = g_ticks;
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(g_ticks, after);
    EXPECT_FALSE(KillTimer(hwnd, 1));
}

TEST(Timer, ThreadTimerWithCallback) {
    static std::atomic<int> calls{0};
    struct P {
        static VOID CALLBACK Tick(HWND, UINT msg, UINT_PTR, DWORD) {
            if (msg == WM_TIMER) ++calls;
        }
    };
    UINT_PTR id = SetTimer(nullptr, 0, 10, P::Tick);
    ASSERT_NE(id, 0u);
    UINT_PTR other = SetTimer(nullptr, 0, 1000, nullptr);
    EXPECT_NE(other, id);
    MSG msg;
    while (calls < 3 && GetMessage(&msg, nullptr, 0, 0) > 0) {
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
        EXPECT_EQ(msg.wParam, id);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(KillTimer(nullptr, id));
    EXPECT_TRUE(KillTimer(nullptr, other));
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(Timer, PostedMessagesComeFirst) {
    UINT_PTR id = SetTimer(nullptr, 0, 10, nullptr);
    std::this_thread::sleep_for(milliseconds(30));
    PostThreadMessage(GetCurrentThreadId(), WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(GetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    // Missed expirations make one WM_TIMER, not a burst.
    EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    KillTimer(nullptr, id);
}
