// The monikers of the devices of a category, from every driver.
#pragma once

#include "media/devicedrivers.h"

std::vector<ComPtr<IMoniker>> ListDevices(REFCLSID category);
