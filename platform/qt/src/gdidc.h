// Device contexts: an HDC is a QPainter on a widget or an image.
#pragma once

#include <QPainter>

#include "windows.h"

namespace qt_display {

struct DeviceContext {
    QPainter* painter;
};

// Makes a device context for a painter; the caller keeps both alive while
// the HDC is in use.
inline HDC MakeDC(DeviceContext* dc) { return reinterpret_cast<HDC>(dc); }
QPainter* PainterOf(HDC hdc);

}  // namespace qt_display
