// Cross-thread SendMessageTimeout to the display thread: the UI thread
// waits in GetMessage through the display's event loop (Qt, offscreen
// unless a display is set), and the message changes the text of a shown
// static control, as a timecode readout does.
#include <cstdlib>
#include <thread>

#include "qt/display.h"
#include "send_round_trip.h"

int main() {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qt_display::Install();
    send_bench::RegisterBenchClass();
    HWND top = CreateWindowEx(0, "Bench", "Bench", WS_CAPTION | WS_SYSMENU, 100, 100, 200, 60,
                              nullptr, nullptr, nullptr, nullptr);
    HWND label = CreateWindowEx(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 180, 20,
                                top, nullptr, nullptr, nullptr);
    ShowWindow(top, SW_SHOW);
    const DWORD ui_tid = GetCurrentThreadId();

    std::thread sender([&] {
        send_bench::MeasureSends(label, top, 5000,
                                 "display thread idle, WM_SETTEXT to a shown static",
                                 "display thread busy");
        PostThreadMessage(ui_tid, WM_QUIT, 0, 0);
    });

    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    sender.join();
    DestroyWindow(top);
    return 0;
}
