// Thread kernel objects, shared by thread creation and thread priorities.
#pragma once

#include <atomic>

#include "internal/kernelobject.h"
#include "winbase.h"

namespace win32_detail {

// A thread started by CreateThread or _beginthread.  Its handle is
// signalled when the thread function has returned.
class ThreadObject final : public WaitableObject {
public:
    explicit ThreadObject(DWORD suspend_count) : m_suspendCount(suspend_count) {}

    // The new thread: records its identifier, then waits while suspended.
    void Started(DWORD id);
    // The creating thread: returns once the new thread has recorded its id.
    void WaitUntilStarted();
    // The new thread: its function returned this code.
    void Finished(DWORD exit_code);

    // Previous suspend count.
    DWORD Resume();
    // STILL_ACTIVE until the thread function has returned.
    DWORD ExitCode();
    DWORD id() const { return m_id.load(std::memory_order_acquire); }

    int priority() const { return m_priority.load(std::memory_order_relaxed); }
    // Remembers the priority and applies it to the thread while it runs.
    // The thread cannot end (and its id cannot be reused) meanwhile.
    void SetPriority(int priority);

protected:
    bool AcquireLocked() override { return m_ended; }

private:
    std::atomic<DWORD> m_id{0};
    std::atomic<int> m_priority{THREAD_PRIORITY_NORMAL};
    DWORD m_suspendCount;
    bool m_started = false;
    bool m_ended = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

// The calling thread's object, or null for threads this subset did not
// start (the main thread, threads of libraries).
ThreadObject* CurrentThreadObject();

// Sets the scheduling weight of the thread with that id from a Win32
// priority (a nice value relative to the process's own).  Errors are
// ignored: without privileges a thread may not raise itself.
void ApplyThreadPriority(DWORD thread_id, int priority);

}  // namespace win32_detail
