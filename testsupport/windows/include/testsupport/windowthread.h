// Test support: a thread that owns windows and pumps its queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace test_support {

// Registers a class once per name with the given procedure.
inline void RegisterTestClass(const char* name, WNDPROC proc, int extra = 0) {
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.lpszClassName = name;
    RegisterClassEx(&wc);
}

// A thread that runs `setup` (which may create windows), then a
// GetMessage loop until WM_QUIT.
class PumpThread {
public:
    explicit PumpThread(std::function<void()> setup = {}) {
        std::promise<DWORD> started;
        auto id = started.get_future();
        m_thread = std::thread([this, setup, &started] {
            MSG msg;
            PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
            if (setup) setup();
            started.set_value(GetCurrentThreadId());
            while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
        });
        m_tid = id.get();
    }
    ~PumpThread() { Stop(); }
    void Stop() {
        if (m_thread.joinable()) {
            PostThreadMessage(m_tid, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }
    DWORD tid() const { return m_tid; }

private:
    std::thread m_thread;
    DWORD m_tid = 0;
};

}  // namespace test_support
