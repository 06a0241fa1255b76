// Apartments.  Each thread counts its CoInitialize calls; the thread is in
// its single-threaded apartment while the count is above zero.  Objects are
// not tied to apartments: interfaces are called directly from any thread
// and every object here is free-threaded, so entering an apartment only
// marks the thread as allowed to create objects.
#include "apartment.h"

#include <objbase.h>

namespace {
thread_local unsigned t_initCount = 0;
}

bool ComThreadInitialized() { return t_initCount > 0; }

HRESULT CoInitialize(LPVOID pvReserved) {
    if (pvReserved) return E_INVALIDARG;
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_initCount > 0) --t_initCount;
}
