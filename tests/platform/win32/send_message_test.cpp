#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "testsupport/windowthread.h"
#include "win32/devices.h"

using namespace std::chrono;
using test_support::PumpThread;
using test_support::RegisterTestClass;

namespace {

constexpr UINT kAdd = WM_USER + 10;       // returns wParam + lParam
constexpr UINT kSendBack = WM_USER + 11;  // sends kAdd to the window in lParam
constexpr UINT kSleep = WM_USER + 12;     // sleeps wParam ms
constexpr UINT kThread = WM_USER + 13;    // returns the thread it ran on

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kAdd:
            return static_cast<LRESULT>(wp) + lp;
        case kSendBack:
            return SendMessage(reinterpret_cast<HWND>(lp), kAdd, 40, 2);
        case kSleep:
            std::this_thread::sleep_for(milliseconds(wp));
            return 1;
        case kThread:
            return GetCurrentThreadId();
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

HWND MakeWindow() {
    RegisterTestClass("SendTest", TestProc);
    return CreateWindowEx(0, "SendTest", "", WS_CAPTION, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                          nullptr);
}

// A window on its own pumping thread.
struct RemoteWindow {
    HWND hwnd = nullptr;
    PumpThread thread{[this] { hwnd = MakeWindow(); }};
};

}  // namespace

TEST(SendMessage, RunsOnTheOwnersThread) {
    RemoteWindow remote;
    EXPECT_EQ(SendMessage(remote.hwnd, kAdd, 2, 3), 5);
    EXPECT_EQ(static_cast<DWORD>(SendMessage(remote.hwnd, kThread, 0, 0)), remote.thread.tid());
    HWND local = MakeWindow();
    EXPECT_EQ(static_cast<DWORD>(SendMessage(local, kThread, 0, 0)), GetCurrentThreadId());
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeout(remote.hwnd, kAdd, 1, 1, SMTO_NORMAL, 1000, &result));
    EXPECT_EQ(result, 2u);
    DestroyWindow(local);
}

TEST(SendMessage, TextsCrossThreads) {
    RemoteWindow remote;
    EXPECT_TRUE(SetWindowText(remote.hwnd, "Play"));
    char buf[16] = "xxxxxxxxxxxxxxx";
    EXPECT_EQ(GetWindowText(remote.hwnd, buf, 3), 2);
    EXPECT_STREQ(buf, "Pl");
    EXPECT_EQ(GetWindowTextLength(remote.hwnd), 4);
}

TEST(SendMessage, MutualSendsDoNotDeadlock) {
    RemoteWindow a, b;
    // a's procedure sends to b while we wait for a; b answers at once.
    EXPECT_EQ(SendMessage(a.hwnd, kSendBack, 0, reinterpret_cast<LPARAM>(b.hwnd)), 42);
    // Two threads sending to each other's windows at the same moment.
    HWND mine = MakeWindow();
    std::atomic<LRESULT> theirs{0};
    std::thread other(
        [&] { theirs = SendMessage(a.hwnd, kSendBack, 0, reinterpret_cast<LPARAM>(mine)); });
    // While we wait for a (which may be blocked sending to us on the other
    // thread's behalf), we answer it.
    while (theirs == 0)
        ASSERT_EQ(SendMessage(a.hwnd, kSendBack, 0, reinterpret_cast<LPARAM>(mine)), 42);
    other.join();
    EXPECT_EQ(theirs, 42);
    DestroyWindow(mine);
}

TEST(SendMessage, TimeOut) {
    RemoteWindow remote;
    DWORD_PTR result = 7;
    auto start = steady_clock::now();
    std::thread busy([&] { SendMessage(remote.hwnd, kSleep, 300, 0); });
    std::this_thread::sleep_for(milliseconds(20));
    LRESULT ok = SendMessageTimeout(remote.hwnd, WM_SETTEXT, 0,
                                    reinterpret_cast<LPARAM>(std::string("lost").c_str()),
                                    SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &result);
    auto waited = steady_clock::now() - start;
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(waited, milliseconds(250));
    busy.join();
    // The withdrawn text never arrives.
    char buf[16];
    GetWindowText(remote.hwnd, buf, sizeof buf);
    EXPECT_STREQ(buf, "");
}

TEST(SendMessage, AbandonedTextIsACopy) {
    // The receiver is running the message when the sender gives up; the
    // sender's string goes away at once, the receiver still reads a copy.
    RemoteWindow remote;
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop) SendMessage(remote.hwnd, kSleep, 1, 0);
    });
    for (int i = 0; i < 50; ++i) {
        std::string text(64, static_cast<char>('a' + i % 26));
        DWORD_PTR r;
        SendMessageTimeout(remote.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                           SMTO_BLOCK, 1, &r);
    }
    stop = true;
    busy.join();
    char buf[80];
    GetWindowText(remote.hwnd, buf, sizeof buf);
    EXPECT_TRUE(buf[0] == '\0' || std::string(buf).size() == 64);
}

TEST(SendMessage, HungReceiverIsSkipped) {
    RemoteWindow remote;
    // The owner stops pumping for more than five seconds.
    std::thread hang([&] { SendMessage(remote.hwnd, kSleep, 6500, 0); });
    std::this_thread::sleep_for(milliseconds(5300));
    DWORD_PTR r;
    auto start = steady_clock::now();
    EXPECT_EQ(SendMessageTimeout(remote.hwnd, kAdd, 1, 2, SMTO_ABORTIFHUNG, 1000, &r), 0);
    EXPECT_LT(steady_clock::now() - start, milliseconds(100));
    // Without the flag the same send waits for its time-out.
    start = steady_clock::now();
    EXPECT_EQ(SendMessageTimeout(remote.hwnd, kAdd, 1, 2, SMTO_NORMAL, 100, &r), 0);
    EXPECT_GE(steady_clock::now() - start, milliseconds(100));
    hang.join();
    // Until the owner is back in GetMessage it still counts as hung; a plain
    // send returns once it is.
    SendMessage(remote.hwnd, kAdd, 0, 0);
    // An idle thread waiting in GetMessage is not hung, however long it waits.
    EXPECT_TRUE(SendMessageTimeout(remote.hwnd, kAdd, 1, 2, SMTO_ABORTIFHUNG, 1000, &r));
    EXPECT_EQ(r, 3u);
}

TEST(SendMessage, ToAnEndedThreadFails) {
    HWND hwnd;
    {
        RemoteWindow remote;
        hwnd = remote.hwnd;
    }
    DWORD_PTR r;
    EXPECT_EQ(SendMessageTimeout(hwnd, kAdd, 1, 2, SMTO_NORMAL, 100, &r), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessage(hwnd, kAdd, 1, 2), 0);
}

TEST(SendMessage, DeviceChangeReachesHiddenTopLevelWindows) {
    static std::atomic<int> seen{0};
    static std::atomic<DWORD> seen_on{0};
    seen = 0;
    struct P {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == WM_DEVICECHANGE && w == DBT_DEVNODES_CHANGED) {
                seen_on = GetCurrentThreadId();
                ++seen;
            }
            return DefWindowProc(h, m, w, l);
        }
    };
    RegisterTestClass("DevChange", P::Proc);
    HWND hidden = nullptr;
    PumpThread thread([&] {
        hidden = CreateWindowEx(0, "DevChange", "Caption", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT,
                                10, 10, nullptr, nullptr, nullptr, nullptr);
    });
    ASSERT_FALSE(IsWindowVisible(hidden));
    std::thread([] { win32_devices::BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0); }).join();
    for (int i = 0; i < 200 && seen == 0; ++i) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(seen_on, thread.tid());
}
