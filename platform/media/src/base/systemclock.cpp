// Reference clock over the steady clock.
#include "systemclock.h"

#include <chrono>

STDMETHODIMP SystemClock::GetTime(REFERENCE_TIME* pTime) {
    if (!pTime) return E_POINTER;
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    *pTime = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100;
    return S_OK;
}
