// Kernel objects and the process's handle table.
//
// Every HANDLE the kernel subset gives out names a reference-counted object
// in one table.  Handle values are never reused within a process, so a stale
// handle (closed, or closed for the caller as _beginthread does) answers
// ERROR_INVALID_HANDLE instead of reaching another object.  An operation
// takes its own reference while it runs, so CloseHandle on one thread never
// pulls an object away from a wait on another.
//
// Other parts of the Win32 subset add object kinds by deriving from
// KernelObject (or WaitableObject for objects WaitForSingleObject accepts)
// and calling InsertObject.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "windef.h"

namespace win32_detail {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;
};

// An object with a signalled state.  Derived classes keep their state under
// m_mutex, decide in AcquireLocked whether a waiter may pass (and consume the
// signal if the object resets itself), and call m_changed.notify_all() under
// m_mutex whenever the state becomes signalled.
class WaitableObject : public KernelObject {
public:
    // Returns WAIT_OBJECT_0 or WAIT_TIMEOUT.  INFINITE waits without limit.
    DWORD Wait(DWORD milliseconds);

protected:
    virtual bool AcquireLocked() = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// Puts an object into the table.  Returns null (last error
// ERROR_NOT_ENOUGH_MEMORY) only if memory runs out.
HANDLE InsertObject(std::shared_ptr<KernelObject> object);

// The object a handle names, or null when the handle is not open.
std::shared_ptr<KernelObject> ReferenceObject(HANDLE handle);

template <class T>
std::shared_ptr<T> ReferenceObjectAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(ReferenceObject(handle));
}

// Removes a handle from the table; false if it was not open.  The object
// goes when its last reference does.
bool RemoveHandle(HANDLE handle);

// The pseudo-handle GetCurrentThread returns; it is never in the table.
inline HANDLE CurrentThreadPseudoHandle() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

}  // namespace win32_detail
