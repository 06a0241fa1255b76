// For tests and the display's own helpers: the Qt widget showing a window.
// Program code never includes this.
#pragma once

#include <QWidget>

#include "windef.h"

namespace qt_display {

QWidget* WidgetOf(HWND hwnd);

}  // namespace qt_display
