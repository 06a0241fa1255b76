// C runtime thread start.
#pragma once

#include "windef.h"

// Starts a thread running start_address(arglist).  Returns the thread's
// handle, or (uintptr_t)-1 when the thread cannot be started.  The handle is
// closed by the runtime when the thread ends, as with the C runtime's form.
uintptr_t _beginthread(void(__cdecl* start_address)(void*), unsigned stack_size, void* arglist);
