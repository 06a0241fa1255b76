// Automation: lets a test process inspect and drive this process's windows
// from outside, as assistive tools drive a desktop.  Off unless the
// environment names a socket in TAPELOOM_AUTOMATION.
#pragma once

#include "windef.h"

namespace qt_display {

// The display created a top-level window (display thread).  The first one
// connects to the automation socket, if any, and waits there until the
// test lets the process go on.
void AutomationWindowCreated(HWND hwnd);

}  // namespace qt_display
