#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "testsupport/windowthread.h"

using namespace std::chrono;
using test_support::RegisterTestClass;

TEST(PostMessage, FromFourThreadsEachInOrder) {
    const DWORD me = GetCurrentThreadId();
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    constexpr int kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([=] {
            for (int i = 0; i < kPerThread; ++i)
                ASSERT_TRUE(PostThreadMessage(me, WM_USER + t, static_cast<WPARAM>(i), 0));
        });
    int next[4] = {0, 0, 0, 0};
    for (int n = 0; n < 4 * kPerThread; ++n) {
        ASSERT_EQ(GetMessage(&msg, nullptr, 0, 0), TRUE);
        int t = static_cast<int>(msg.message - WM_USER);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 4);
        EXPECT_EQ(msg.wParam, static_cast<WPARAM>(next[t]++));
        EXPECT_EQ(msg.hwnd, nullptr);
    }
    for (auto& p : posters) p.join();
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(PostMessage, ThreadWithoutQueue) {
    std::atomic<DWORD> tid{0};
    std::atomic<bool> go{false};
    std::thread plain([&] {
        tid = GetCurrentThreadId();
        while (!go) std::this_thread::yield();
    });
    while (tid == 0) std::this_thread::yield();
    // The thread has made no window-system call, so it has no queue yet.
    EXPECT_FALSE(PostThreadMessage(tid, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
    go = true;
    plain.join();
    // Nor after it has ended.
    test_support::PumpThread ended;
    DWORD ended_tid = ended.tid();
    EXPECT_TRUE(PostThreadMessage(ended_tid, WM_USER, 0, 0));
    ended.Stop();
    EXPECT_FALSE(PostThreadMessage(ended_tid, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST(PostMessage, GetMessageResults) {
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    PostThreadMessage(GetCurrentThreadId(), WM_QUIT, 3, 0);
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(GetMessage(&msg, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
    PostQuitMessage(5);
    PostThreadMessage(GetCurrentThreadId(), WM_USER, 0, 0);
    // Posted messages come before the quit flag.
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 5u);
}

TEST(PostMessage, PeekAndFilters) {
    struct P {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
            return m == WM_USER ? 77 : DefWindowProc(h, m, w, l);
        }
    };
    RegisterTestClass("PostTest", P::Proc);
    HWND a = CreateWindowEx(0, "PostTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowEx(0, "PostTest", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    PostMessage(a, WM_USER + 1, 1, 0);
    PostMessage(b, WM_USER, 2, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, a);
    ASSERT_TRUE(PeekMessage(&msg, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_EQ(DispatchMessage(&msg), 77);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
    // A window's posted messages go with it.
    DestroyWindow(a);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostMessage(a, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(b);
}
