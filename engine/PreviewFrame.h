// Where the live picture goes: the preview frame of the application's main
// window, looked up at the time of the call.
#pragma once

#include <windows.h>

HWND GetPreviewFrameWindow();

// Until the main window exists, another frame can stand in for it.
void SetPreviewFrameWindow(HWND hFrame);
