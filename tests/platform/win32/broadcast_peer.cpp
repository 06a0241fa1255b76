// Second process for the broadcast tests.  Usage: peer answer|late|hang MESSAGE
// Creates a hidden top-level window, prints "ready", then pumps messages
// (printing "got W L" for each MESSAGE): at once, after a second's pause
// (late), or never (hang).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
UINT g_message;

LRESULT CALLBACK PeerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == g_message) {
        std::printf("got %lu %ld\n", static_cast<unsigned long>(wp), static_cast<long>(lp));
        std::fflush(stdout);
        return 1;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    g_message = static_cast<UINT>(std::strtoul(argv[2], nullptr, 0));
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PeerProc;
    wc.lpszClassName = "Peer";
    RegisterClassEx(&wc);
    HWND hwnd = CreateWindowEx(0, "Peer", "Peer", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 10, 10,
                               nullptr, nullptr, nullptr, nullptr);
    if (!hwnd) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    if (std::strcmp(argv[1], "hang") == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    if (std::strcmp(argv[1], "late") == 0) std::this_thread::sleep_for(std::chrono::seconds(1));
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
    return 0;
}
