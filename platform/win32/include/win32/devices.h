// Device arrival and removal, as the system announces it to windows.
#pragma once

#include "windef.h"

namespace win32_devices {

// Sends WM_DEVICECHANGE (event, data) to every top-level window of the
// process, hidden ones included, each on its own thread.  Returns without
// waiting for the windows to answer; device drivers call it when a device
// comes or goes (event DBT_DEVNODES_CHANGED).
void BroadcastDeviceChange(WPARAM event, LPARAM data);

}  // namespace win32_devices
