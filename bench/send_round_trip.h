// The measurement shared by the send benchmarks: cross-thread
// SendMessageTimeout round trips to an idle window thread, and how long a
// 20 ms-bounded send holds its sender while the receiver is busy.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace send_bench {

// Keeps the receiving window's thread busy for wParam milliseconds.
constexpr UINT kBusy = WM_USER + 1;

inline LRESULT CALLBACK BusyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kBusy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wp));
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

// Registers the window class "Bench" on BusyProc.
inline void RegisterBenchClass() {
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BusyProc;
    wc.lpszClassName = "Bench";
    RegisterClassEx(&wc);
}

inline double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

// Runs on the sending thread.  `target` takes the WM_SETTEXT sends (a
// timecode text each time); `busy_target`, a "Bench" window of the same
// thread, is kept busy with 30 ms messages back to back for the second
// figure.  `idle_what` and `busy_what` begin the two printed lines.
inline void MeasureSends(HWND target, HWND busy_target, int count, const char* idle_what,
                         const char* busy_what) {
    using namespace std::chrono;
    std::vector<double> us;
    char text[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, "00:00:%02d:%02d", i / 25 % 60, i % 25);
        auto t0 = steady_clock::now();
        DWORD_PTR r;
        SendMessageTimeout(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                           SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &r);
        us.push_back(duration<double, std::micro>(steady_clock::now() - t0).count());
    }
    std::printf("%s over %zu sends: median %.1f us, p99 %.1f us, max %.1f us\n", idle_what,
                us.size(), Percentile(us, 0.5), Percentile(us, 0.99), Percentile(us, 1.0));

    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop) SendMessage(busy_target, kBusy, 30, 0);
    });
    std::vector<double> held;
    for (int i = 0; i < 100; ++i) {
        auto t0 = steady_clock::now();
        DWORD_PTR r;
        SendMessageTimeout(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("text"),
                           SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &r);
        held.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    }
    stop = true;
    busy.join();
    std::printf(
        "%s, 20 ms-bounded send held the sender: median %.2f ms, max %.2f ms "
        "(bound + 2 ms = 22 ms)\n",
        busy_what, Percentile(held, 0.5), Percentile(held, 1.0));
}

}  // namespace send_bench
