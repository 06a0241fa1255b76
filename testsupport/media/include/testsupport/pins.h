// Finds a filter's pins for tests and benchmarks that connect them by hand.
#pragma once

#include <dshow.h>

#include "com/comptr.h"

// The index-th pin of the direction (counted from 0 in the filter's
// enumeration order), or null.
ComPtr<IPin> NthPin(IBaseFilter* filter, PIN_DIRECTION dir, int index = 0);
