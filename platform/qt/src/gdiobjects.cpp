#include "gdiobjects.h"

#include <map>
#include <mutex>
#include <set>

#include "win32/resources.h"

namespace qt_display {

namespace {

std::mutex g_mutex;
std::set<const void*>& Live() {
    static auto* live = new std::set<const void*>;
    return *live;
}

int ResourceId(LPCSTR name) {
    return IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : -1;
}

QImage ImageOf(const win32_resources::BitmapResource& b) {
    QImage image(b.width, b.height, QImage::Format_RGB32);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            uint8_t index = b.bits[y * b.width + x];
            uint32_t rgb = index < b.palette_size ? b.palette[index] : 0;
            image.setPixel(x, y, 0xFF000000u | rgb);
        }
    return image;
}

}  // namespace

HGDIOBJ Track(GdiObject* object) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Live().insert(object);
    return object;
}

GdiObject* LiveObject(const void* handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!handle || !Live().count(handle)) return nullptr;
    return static_cast<GdiObject*>(const_cast<void*>(handle));
}

QImage ImageFromResource(int id) {
    const auto* b = win32_resources::FindBitmap(id);
    return b ? ImageOf(*b) : QImage();
}

QColor SysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return QColor(255, 255, 255);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
            return QColor(0, 0, 0);
        case COLOR_BTNFACE:
            return QColor(212, 208, 200);
        case COLOR_BTNSHADOW:
            return QColor(128, 128, 128);
        case COLOR_GRAYTEXT:
            return QColor(128, 128, 128);
        case COLOR_BTNHIGHLIGHT:
            return QColor(255, 255, 255);
        case COLOR_3DDKSHADOW:
            return QColor(64, 64, 64);
        case COLOR_3DLIGHT:
            return QColor(212, 208, 200);
    }
    return QColor(0, 0, 0);
}

}  // namespace qt_display

using namespace qt_display;

HBITMAP LoadBitmap(HINSTANCE, LPCSTR lpBitmapName) {
    QImage image = ImageFromResource(ResourceId(lpBitmapName));
    if (image.isNull()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto* bitmap = new GdiBitmap;
    bitmap->image = image;
    return static_cast<HBITMAP>(Track(bitmap));
}

HICON LoadIcon(HINSTANCE, LPCSTR lpIconName) {
    const auto* resource = win32_resources::FindIcon(ResourceId(lpIconName));
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // Loaded icons are shared and live as long as the process.
    static std::mutex mutex;
    static std::map<int, HICON>* loaded = new std::map<int, HICON>;
    std::lock_guard<std::mutex> lock(mutex);
    HICON& icon = (*loaded)[resource->id];
    if (!icon) {
        auto* object = new GdiIcon;
        object->stock = true;
        for (int i = 0; i < resource->image_count; ++i) {
            const auto& img = resource->images[i];
            QImage image = ImageOf(img.picture).convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (img.transparent && img.transparent[y * image.width() + x])
                        image.setPixel(x, y, 0);
            object->icon.addPixmap(QPixmap::fromImage(image));
        }
        icon = static_cast<HICON>(Track(object));
    }
    return icon;
}

HCURSOR LoadCursor(HINSTANCE hInstance, LPCSTR lpCursorName) {
    // Only the system arrow: the display shows its own arrow cursor.
    if (hInstance || lpCursorName != IDC_ARROW) return nullptr;
    static GdiObject* arrow = [] {
        auto* object = new GdiObject;
        object->stock = true;
        Track(object);
        return object;
    }();
    return static_cast<HCURSOR>(static_cast<void*>(arrow));
}

BOOL DeleteObject(HGDIOBJ ho) {
    GdiObject* object = LiveObject(ho);
    if (!object || object->stock) return FALSE;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        Live().erase(ho);
    }
    delete object;
    return TRUE;
}

HGDIOBJ GetStockObject(int i) {
    static GdiBrush* white = [] {
        auto* brush = new GdiBrush;
        brush->color = Qt::white;
        brush->stock = true;
        Track(brush);
        return brush;
    }();
    static GdiBrush* black = [] {
        auto* brush = new GdiBrush;
        brush->color = Qt::black;
        brush->stock = true;
        Track(brush);
        return brush;
    }();
    switch (i) {
        case WHITE_BRUSH:
            return white;
        case BLACK_BRUSH:
            return black;
    }
    return nullptr;
}

DWORD GetGuiResources(HANDLE hProcess, DWORD uiFlags) {
    if (hProcess != GetCurrentProcess() || uiFlags != GR_GDIOBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<DWORD>(Live().size());
}

DWORD GetSysColor(int nIndex) {
    QColor c = SysColor(nIndex);
    return RGB(c.red(), c.green(), c.blue());
}
