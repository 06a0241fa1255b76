// Window system: windows, classes, queues, messages, timers, dialogs,
// controls, menus, message boxes.
#pragma once

#include "windef.h"
#include "winerror.h"

// Registered window messages: the same number (0xC000 to 0xFFFF) for the same
// name in every process of the user.
UINT RegisterWindowMessage(LPCSTR lpString);
