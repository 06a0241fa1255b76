// BeginPaint / EndPaint / InvalidateRect.  A window paints while the
// display paints its widget: BeginPaint hands out the device context of
// that paint.
#include "paint.h"

#include <map>

#include "gdidc.h"
#include "ownerdrawbutton.h"
#include "qtbackend.h"

namespace qt_display {

namespace {
std::map<HWND, DeviceContext*>& Painting() {
    static auto* painting = new std::map<HWND, DeviceContext*>;  // display thread only
    return *painting;
}
}  // namespace

void PaintWindow(HWND hwnd, QPainter* painter, const QRect& area) {
    DeviceContext dc{painter};
    Painting()[hwnd] = &dc;
    SendMessage(hwnd, WM_PAINT, 0, 0);
    Painting().erase(hwnd);
    (void)area;
}

}  // namespace qt_display

using namespace qt_display;

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto it = Painting().find(hWnd);
    if (it == Painting().end() || !lpPaint) return nullptr;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = MakeDC(it->second);
    GetClientRect(hWnd, &lpPaint->rcPaint);
    return lpPaint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL) {
    QWidget* widget = Backend() ? Backend()->WidgetFor(hWnd) : nullptr;
    if (!widget) return IsWindow(hWnd);
    if (auto* button = dynamic_cast<OwnerDrawButton*>(widget)) {
        button->Invalidate();
        return TRUE;
    }
    if (lpRect)
        widget->update(QRect(lpRect->left, lpRect->top, lpRect->right - lpRect->left,
                             lpRect->bottom - lpRect->top));
    else
        widget->update();
    return TRUE;
}
