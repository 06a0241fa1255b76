// Cross-thread SendMessageTimeout: round trip to an idle window thread, and
// how long a 20 ms-bounded send holds its sender when the receiver is busy.
#include "send_round_trip.h"

#include <future>
#include <thread>

int main() {
    send_bench::RegisterBenchClass();
    std::promise<std::pair<HWND, DWORD>> ready;
    std::thread ui([&] {
        HWND hwnd =
            CreateWindowEx(0, "Bench", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ready.set_value({hwnd, GetCurrentThreadId()});
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
    });
    auto [hwnd, ui_tid] = ready.get_future().get();

    send_bench::MeasureSends(hwnd, hwnd, 20000, "idle receiver, WM_SETTEXT round trip",
                             "busy receiver");
    PostThreadMessage(ui_tid, WM_QUIT, 0, 0);
    ui.join();
    return 0;
}
