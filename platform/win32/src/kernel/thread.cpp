// Threads: CreateThread, _beginthread, suspension, exit codes, identifiers.
//
// Threads are detached POSIX threads.  The creator waits until the new thread
// has recorded its Linux thread id, so the id is known (and can be posted to)
// as soon as CreateThread returns, also for a suspended thread, which then
// waits at its start until ResumeThread.  A new thread starts at normal
// priority whatever its creator's priority is.
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <new>

#include "internal/threadobject.h"
#include "process.h"

namespace win32_detail {
namespace {

thread_local ThreadObject* t_current = nullptr;
thread_local DWORD t_thread_id = 0;

// A forked child's only thread has a new id.
[[maybe_unused]] const int kForkHandler = pthread_atfork(nullptr, nullptr, [] { t_thread_id = 0; });

struct StartRecord {
    std::shared_ptr<ThreadObject> thread;
    LPTHREAD_START_ROUTINE win32_routine = nullptr;
    void(__cdecl* crt_routine)(void*) = nullptr;
    void* parameter = nullptr;
    // _beginthread's handle, closed when the thread ends.
    HANDLE close_at_exit = nullptr;
};

void* ThreadMain(void* raw) {
    std::unique_ptr<StartRecord> start(static_cast<StartRecord*>(raw));
    ThreadObject& self = *start->thread;
    t_current = &self;
    DWORD id = GetCurrentThreadId();
    ApplyThreadPriority(id, THREAD_PRIORITY_NORMAL);
    self.Started(id);

    DWORD exit_code = 0;
    if (start->win32_routine != nullptr) {
        exit_code = start->win32_routine(start->parameter);
    } else {
        start->crt_routine(start->parameter);
    }

    self.Finished(exit_code);
    if (start->close_at_exit != nullptr) RemoveHandle(start->close_at_exit);
    t_current = nullptr;
    return nullptr;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EPERM:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Starts the thread described by `start`; 0 or the errno of the failure.
int StartThread(std::unique_ptr<StartRecord> start, SIZE_T stack_size) {
    pthread_attr_t attr;
    int error = pthread_attr_init(&attr);
    if (error != 0) return error;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size != 0) {
        // The requested size, whole pages, at least what the system needs.
        SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
        SIZE_T size =
            stack_size > SIZE_MAX - page ? stack_size : (stack_size + page - 1) / page * page;
        if (size < static_cast<SIZE_T>(PTHREAD_STACK_MIN)) size = PTHREAD_STACK_MIN;
        error = pthread_attr_setstacksize(&attr, size);
    }
    std::shared_ptr<ThreadObject> thread = start->thread;
    pthread_t id;
    if (error == 0) error = pthread_create(&id, &attr, ThreadMain, start.get());
    pthread_attr_destroy(&attr);
    if (error != 0) return error;
    start.release();  // now owned by the new thread
    thread->WaitUntilStarted();
    return 0;
}

}  // namespace

void ThreadObject::Started(DWORD id) {
    std::unique_lock lock(m_mutex);
    m_id.store(id, std::memory_order_release);
    m_started = true;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_suspendCount == 0; });
}

void ThreadObject::WaitUntilStarted() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started; });
}

void ThreadObject::Finished(DWORD exit_code) {
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_exitCode = exit_code;
    m_changed.notify_all();
}

DWORD ThreadObject::Resume() {
    std::lock_guard lock(m_mutex);
    DWORD previous = m_suspendCount;
    if (m_suspendCount > 0 && --m_suspendCount == 0) m_changed.notify_all();
    return previous;
}

DWORD ThreadObject::ExitCode() {
    std::lock_guard lock(m_mutex);
    return m_exitCode;
}

void ThreadObject::SetPriority(int priority) {
    std::lock_guard lock(m_mutex);
    m_priority.store(priority, std::memory_order_relaxed);
    if (m_started && !m_ended) ApplyThreadPriority(m_id.load(std::memory_order_relaxed), priority);
}

ThreadObject* CurrentThreadObject() { return t_current; }

}  // namespace win32_detail

using win32_detail::ThreadObject;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>((dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0);
    HANDLE handle = win32_detail::InsertObject(thread);
    if (handle == nullptr) return nullptr;
    auto start = std::make_unique<win32_detail::StartRecord>();
    start->thread = thread;
    start->win32_routine = lpStartAddress;
    start->parameter = lpParameter;
    int error = win32_detail::StartThread(std::move(start), dwStackSize);
    if (error != 0) {
        win32_detail::RemoveHandle(handle);
        SetLastError(win32_detail::ErrorFromErrno(error));
        return nullptr;
    }
    if (lpThreadId != nullptr) *lpThreadId = thread->id();
    return handle;
}

uintptr_t _beginthread(void(__cdecl* start_address)(void*), unsigned stack_size, void* arglist) {
    const uintptr_t failed = static_cast<uintptr_t>(-1);
    if (start_address == nullptr) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return failed;
    }
    auto thread = std::make_shared<ThreadObject>(0);
    HANDLE handle = win32_detail::InsertObject(thread);
    if (handle == nullptr) {
        errno = EAGAIN;
        return failed;
    }
    auto start = std::make_unique<win32_detail::StartRecord>();
    start->thread = thread;
    start->crt_routine = start_address;
    start->parameter = arglist;
    start->close_at_exit = handle;
    int error = win32_detail::StartThread(std::move(start), stack_size);
    if (error != 0) {
        win32_detail::RemoveHandle(handle);
        SetLastError(win32_detail::ErrorFromErrno(error));
        errno = error == EINVAL ? EINVAL : EAGAIN;
        return failed;
    }
    // The thread may already have ended and closed the handle; the value is
    // then simply invalid, never another object's.
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD ResumeThread(HANDLE hThread) {
    if (hThread == win32_detail::CurrentThreadPseudoHandle()) return 0;
    auto thread = win32_detail::ReferenceObjectAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    return thread->Resume();
}

HANDLE GetCurrentThread() { return win32_detail::CurrentThreadPseudoHandle(); }

DWORD GetCurrentThreadId() {
    if (win32_detail::t_thread_id == 0) win32_detail::t_thread_id = static_cast<DWORD>(gettid());
    return win32_detail::t_thread_id;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    if (lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hThread == win32_detail::CurrentThreadPseudoHandle()) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto thread = win32_detail::ReferenceObjectAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}
