// GDI objects on Qt: bitmaps, icons, brushes.  A handle is a pointer to
// one of these; live handles are tracked so that a stale one is refused.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

#include "windows.h"

namespace qt_display {

struct GdiObject {
    virtual ~GdiObject() = default;
    bool stock = false;  // never deleted
};

struct GdiBitmap : GdiObject {
    QImage image;
};

struct GdiBrush : GdiObject {
    QColor color;
};

struct GdiIcon : GdiObject {
    QIcon icon;
};

// Registers a new object and returns its handle.
HGDIOBJ Track(GdiObject* object);
// The object a handle names, if it is live and of that kind.
template <class T>
T* ObjectAs(const void* handle);
GdiObject* LiveObject(const void* handle);

template <class T>
T* ObjectAs(const void* handle) {
    return dynamic_cast<T*>(LiveObject(handle));
}

// A bitmap resource as an image (palette indices turned into colours).
QImage ImageFromResource(int id);

QColor SysColor(int index);

}  // namespace qt_display
