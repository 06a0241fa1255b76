#pragma once

#include <QPainter>

#include "windows.h"

namespace qt_display {

// Runs a window's WM_PAINT with BeginPaint giving this painter's HDC.
void PaintWindow(HWND hwnd, QPainter* painter, const QRect& area);

}  // namespace qt_display
