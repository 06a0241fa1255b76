// Cross-thread SendMessageTimeout: round trip to an idle window thread, and
// how long a 20 ms-bounded send holds its sender when the receiver is busy.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

constexpr UINT kBusy = WM_USER + 1;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kBusy) {
        std::this_thread::sleep_for(milliseconds(wp));
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

}  // namespace

int main() {
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Bench";
    RegisterClassEx(&wc);
    std::promise<std::pair<HWND, DWORD>> ready;
    std::thread ui([&] {
        HWND hwnd =
            CreateWindowEx(0, "Bench", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ready.set_value({hwnd, GetCurrentThreadId()});
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
    });
    auto [hwnd, ui_tid] = ready.get_future().get();

    std::vector<double> us;
    for (int i = 0; i < 20000; ++i) {
        auto t0 = steady_clock::now();
        DWORD_PTR r;
        SendMessageTimeout(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("00:00:00:00"),
                           SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &r);
        us.push_back(duration<double, std::micro>(steady_clock::now() - t0).count());
    }
    std::printf(
        "idle receiver, WM_SETTEXT round trip over %zu sends: median %.1f us, "
        "p99 %.1f us, max %.1f us\n",
        us.size(), Percentile(us, 0.5), Percentile(us, 0.99), Percentile(us, 1.0));

    // Busy receiver: it runs 30 ms messages back to back.
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop) SendMessage(hwnd, kBusy, 30, 0);
    });
    std::vector<double> held;
    for (int i = 0; i < 100; ++i) {
        auto t0 = steady_clock::now();
        DWORD_PTR r;
        SendMessageTimeout(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("text"),
                           SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &r);
        held.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    }
    stop = true;
    busy.join();
    std::printf(
        "busy receiver, 20 ms-bounded send held the sender: median %.2f ms, "
        "max %.2f ms (bound + 2 ms = 22 ms)\n",
        Percentile(held, 0.5), Percentile(held, 1.0));
    PostThreadMessage(ui_tid, WM_QUIT, 0, 0);
    ui.join();
    return 0;
}
