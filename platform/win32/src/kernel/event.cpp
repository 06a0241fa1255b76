// Events: manual-reset (stays signalled until reset, releases every waiter)
// and auto-reset (each signal releases exactly one waiter, then resets).
//
// Events are unnamed.  A name is refused (ERROR_NOT_SUPPORTED) rather than
// ignored, so that code relying on a shared named event fails visibly.
#include "internal/kernelobject.h"
#include "winbase.h"

namespace win32_detail {
namespace {

class Event final : public WaitableObject {
public:
    Event(bool manual_reset, bool signalled)
        : m_manualReset(manual_reset), m_signalled(signalled) {}

    void Set() {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        m_changed.notify_all();
    }

    void Reset() {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }

protected:
    bool AcquireLocked() override {
        if (!m_signalled) return false;
        if (!m_manualReset) m_signalled = false;
        return true;
    }

private:
    const bool m_manualReset;
    bool m_signalled;
};

}  // namespace
}  // namespace win32_detail

using win32_detail::Event;

HANDLE CreateEvent(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                   LPCSTR lpName) {
    if (lpName != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    HANDLE handle = win32_detail::InsertObject(
        std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE));
    if (handle != nullptr) SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = win32_detail::ReferenceObjectAs<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = win32_detail::ReferenceObjectAs<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}
