// Pin lookups shared by the capture graph builder's methods.
#pragma once

#include <vector>

#include "media/iids.h"

std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* filter);
ComPtr<IBaseFilter> OwnerOf(IPin* pin);
ComPtr<IPin> PeerOf(IPin* pin);
PIN_DIRECTION DirectionOf(IPin* pin);
// Whether the pin has the category (NULL: any) and offers or carries the
// major type (NULL: any).
bool PinMatches(IPin* pin, const GUID* pCategory, const GUID* pType);
// The filter's first pin of the direction that matches; only unconnected
// pins when freeOnly.
ComPtr<IPin> FindFilterPin(IBaseFilter* filter, PIN_DIRECTION dir, const GUID* pCategory,
                           const GUID* pType, bool freeOnly);
bool IsSmartTee(IBaseFilter* filter);
