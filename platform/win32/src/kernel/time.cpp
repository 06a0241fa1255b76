// Sleep and GetTickCount.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "winbase.h"

VOID Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        // Gives up the rest of the time slice to any thread that is ready.
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) pause();
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

// Milliseconds since the system started, wrapping after 49.7 days as the
// 32-bit Windows count does.
DWORD GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}
