// Work handed to the thread that owns a window, without waiting for it.
#pragma once

#include <functional>

#include "windef.h"

namespace win32_window_task {

// Queues `task` for the thread that owns `hwnd` and returns at once.  The
// thread runs it where it runs messages other threads send to it (inside
// GetMessage, PeekMessage and its own waiting sends), in order with them.
// False, with nothing queued, when `hwnd` names no window or its thread has
// ended.  The task runs even if the window is destroyed meanwhile, and is
// dropped unrun if the thread ends first.
bool PostWindowTask(HWND hwnd, std::function<void()> task);

}  // namespace win32_window_task
