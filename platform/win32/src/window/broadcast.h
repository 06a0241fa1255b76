// HWND_BROADCAST: a message sent to every top-level window of the process
// and, for registered messages, of the user's other processes.
#pragma once

#include "winuser.h"

namespace win32_detail {

// Sends to every top-level window; each is given the time-out (when timed).
// Registered messages (0xC000 to 0xFFFF) also go to the user's other
// processes, with their parameters as plain integers; the call returns by
// the time-out whatever those processes do.
void BroadcastSend(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, bool timed,
                   UINT timeout);

// Lets the user's other processes reach this process's top-level windows.
// Called when the first top-level window is created.
void StartBroadcastListener();

}  // namespace win32_detail
