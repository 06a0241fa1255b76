// WaitForSingleObject over any waitable kernel object.
#include <chrono>

#include "internal/kernelobject.h"
#include "winbase.h"

namespace win32_detail {

DWORD WaitableObject::Wait(DWORD milliseconds) {
    std::unique_lock lock(m_mutex);
    if (milliseconds == INFINITE) {
        m_changed.wait(lock, [this] { return AcquireLocked(); });
        return WAIT_OBJECT_0;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    // The predicate is tried once more after the deadline, so a signal that
    // arrives together with the time-out is taken, not lost.
    return m_changed.wait_until(lock, deadline, [this] { return AcquireLocked(); }) ? WAIT_OBJECT_0
                                                                                    : WAIT_TIMEOUT;
}

}  // namespace win32_detail

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto object = win32_detail::ReferenceObjectAs<win32_detail::WaitableObject>(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(dwMilliseconds);
}
