// The graph's reference clock: the monotonic system clock in 100 ns units.
#pragma once

#include "com/comobject.h"
#include "media/iids.h"

class SystemClock final : public ComObject<IReferenceClock> {
public:
    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
};
