// Thread priorities on Linux scheduling weights.
//
// Each Win32 priority maps to a nice value relative to the process's nice
// value at start: idle +19, lowest +10, below normal +5, normal 0, above
// normal -5, highest -10, time critical -20 (clamped to -20..19).  Raising a
// thread above the process's level needs privileges (CAP_SYS_NICE or
// RLIMIT_NICE); without them the call still succeeds and only the remembered
// value changes, as the program never depends on the effect.
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>

#include "internal/threadobject.h"

namespace win32_detail {
namespace {

// Threads this subset did not start keep their priority here.
thread_local int t_priority = THREAD_PRIORITY_NORMAL;

int ProcessNice() {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
}

const int kProcessNice = ProcessNice();

bool IsValidPriority(int priority) {
    switch (priority) {
        case THREAD_PRIORITY_IDLE:
        case THREAD_PRIORITY_LOWEST:
        case THREAD_PRIORITY_BELOW_NORMAL:
        case THREAD_PRIORITY_NORMAL:
        case THREAD_PRIORITY_ABOVE_NORMAL:
        case THREAD_PRIORITY_HIGHEST:
        case THREAD_PRIORITY_TIME_CRITICAL:
            return true;
        default:
            return false;
    }
}

int NiceOffset(int priority) {
    switch (priority) {
        case THREAD_PRIORITY_IDLE:
            return 19;
        case THREAD_PRIORITY_LOWEST:
            return 10;
        case THREAD_PRIORITY_BELOW_NORMAL:
            return 5;
        case THREAD_PRIORITY_ABOVE_NORMAL:
            return -5;
        case THREAD_PRIORITY_HIGHEST:
            return -10;
        case THREAD_PRIORITY_TIME_CRITICAL:
            return -20;
        default:
            return 0;
    }
}

}  // namespace

void ApplyThreadPriority(DWORD thread_id, int priority) {
    int nice = std::clamp(kProcessNice + NiceOffset(priority), -20, 19);
    // On Linux PRIO_PROCESS with a thread id addresses that one thread.
    setpriority(PRIO_PROCESS, static_cast<id_t>(thread_id), nice);
}

}  // namespace win32_detail

BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    using namespace win32_detail;
    std::shared_ptr<ThreadObject> thread;
    if (hThread != CurrentThreadPseudoHandle()) {
        thread = ReferenceObjectAs<ThreadObject>(hThread);
        if (!thread) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    if (!IsValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (thread) {
        thread->SetPriority(nPriority);
    } else if (ThreadObject* self = CurrentThreadObject()) {
        self->SetPriority(nPriority);
    } else {
        t_priority = nPriority;
        ApplyThreadPriority(GetCurrentThreadId(), nPriority);
    }
    return TRUE;
}

int GetThreadPriority(HANDLE hThread) {
    using namespace win32_detail;
    if (hThread == CurrentThreadPseudoHandle()) {
        ThreadObject* self = CurrentThreadObject();
        return self ? self->priority() : t_priority;
    }
    auto thread = ReferenceObjectAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority();
}
