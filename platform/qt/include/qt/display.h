// The Qt display of the window system.
#pragma once

#include "windef.h"

namespace qt_display {

// Makes the calling thread the display thread: creates the Qt application
// if there is none, registers the standard control classes and installs
// the display into the window system.  Call once, on the main thread,
// before the first window is created.
void Install();

// Writes a PNG picture of a window as it shows now (the client area; for a
// top-level window without the frame the display's window manager draws).
bool SaveWindowImage(HWND hwnd, const char* path);

}  // namespace qt_display
