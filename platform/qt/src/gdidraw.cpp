// The drawing calls of the GDI subset, on the HDC's QPainter.
#include <QApplication>
#include <QFontMetrics>
#include <QWidget>
#include <vector>

#include "gdidc.h"
#include "gdiobjects.h"
#include "qtbackend.h"
#include "win32/resources.h"

namespace qt_display {

QPainter* PainterOf(HDC hdc) {
    auto* dc = reinterpret_cast<DeviceContext*>(hdc);
    return dc && dc->painter && dc->painter->isActive() ? dc->painter : nullptr;
}

namespace {

// Embossed look of a disabled picture or text: the shape in highlight
// colour one pixel down and right, then in shadow colour in place.
QImage Silhouette(const QImage& shape, QColor colour) {
    QImage out(shape.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x)
            if (qAlpha(shape.pixel(x, y)) > 0) out.setPixel(x, y, colour.rgba());
    return out;
}

// The pixels of a picture that are not white form its shape: DSS_DISABLED
// reduces the picture to one bit against a white background, so exactly
// the white pixels (the disabled copy's key colour) drop out and every
// other colour, light grey included, is embossed.
QImage ShapeOfPicture(const QImage& picture) {
    QImage shape(picture.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu)
                shape.setPixel(x, y, qRgba(0, 0, 0, 255));
    return shape;
}

void DrawEmbossed(QPainter* p, int x, int y, const QImage& shape) {
    p->drawImage(x + 1, y + 1, Silhouette(shape, SysColor(COLOR_BTNHIGHLIGHT)));
    p->drawImage(x, y, Silhouette(shape, SysColor(COLOR_BTNSHADOW)));
}

}  // namespace

}  // namespace qt_display

using namespace qt_display;

BOOL DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState) {
    QPainter* p = PainterOf(hdc);
    if (!p || !lprc || uType != DFC_BUTTON || !(uState & DFCS_BUTTONPUSH)) return FALSE;
    QRect r(lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
    if (r.width() < 2 || r.height() < 2) return TRUE;
    p->save();
    p->fillRect(r, SysColor(COLOR_BTNFACE));
    const bool pushed = (uState & DFCS_PUSHED) != 0;
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    auto line = [&](QColor c, int x1, int y1, int x2, int y2) {
        p->setPen(c);
        p->drawLine(x1, y1, x2, y2);
    };
    if (pushed) {
        // Sunken: a dark outer frame and a shadow line inside it.
        p->setPen(SysColor(COLOR_3DDKSHADOW));
        p->drawRect(QRect(l, t, r.width() - 1, r.height() - 1));
        p->setPen(SysColor(COLOR_BTNSHADOW));
        p->drawRect(QRect(l + 1, t + 1, r.width() - 3, r.height() - 3));
    } else {
        line(SysColor(COLOR_BTNHIGHLIGHT), l, t, rr - 1, t);
        line(SysColor(COLOR_BTNHIGHLIGHT), l, t, l, b - 1);
        line(SysColor(COLOR_3DDKSHADOW), l, b, rr, b);
        line(SysColor(COLOR_3DDKSHADOW), rr, t, rr, b);
        line(SysColor(COLOR_BTNSHADOW), l + 1, b - 1, rr - 1, b - 1);
        line(SysColor(COLOR_BTNSHADOW), rr - 1, t + 1, rr - 1, b - 1);
    }
    p->restore();
    return TRUE;
}

BOOL DrawState(HDC hdc, HBRUSH, DRAWSTATEPROC, LPARAM lData, WPARAM wData, int x, int y, int cx,
               int cy, UINT uFlags) {
    QPainter* p = PainterOf(hdc);
    if (!p) return FALSE;
    const bool disabled = (uFlags & DSS_DISABLED) != 0;
    p->save();
    if ((uFlags & 0x000F) == DST_BITMAP) {
        auto* bitmap = ObjectAs<GdiBitmap>(reinterpret_cast<void*>(lData));
        if (!bitmap) {
            p->restore();
            return FALSE;
        }
        QImage image = bitmap->image;
        if (cx <= 0) cx = image.width();
        if (cy <= 0) cy = image.height();
        image = image.copy(0, 0, cx, cy);
        if (disabled)
            DrawEmbossed(p, x, y, ShapeOfPicture(image));
        else
            p->drawImage(x, y, image);
    } else if ((uFlags & 0x000F) == DST_PREFIXTEXT) {
        QString raw = QString::fromUtf8(reinterpret_cast<const char*>(lData),
                                        wData ? static_cast<int>(wData) : -1);
        // '&' marks the next character as the mnemonic: underlined, and
        // the ampersand itself is not drawn.
        QString text;
        int mnemonic = -1;
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] == '&' && i + 1 < raw.size()) {
                ++i;
                if (raw[i] != '&') mnemonic = static_cast<int>(text.size());
            }
            text += raw[i];
        }
        QFontMetrics fm(p->font());
        QImage shape(fm.horizontalAdvance(text) + 2, fm.height() + 2, QImage::Format_ARGB32);
        shape.fill(Qt::transparent);
        {
            QPainter sp(&shape);
            sp.setFont(p->font());
            sp.setPen(Qt::black);
            sp.drawText(0, fm.ascent(), text);
            if (mnemonic >= 0) {
                int ux = fm.horizontalAdvance(text.left(mnemonic));
                int uw = fm.horizontalAdvance(text.mid(mnemonic, 1));
                sp.drawLine(ux, fm.ascent() + 1, ux + uw - 1, fm.ascent() + 1);
            }
        }
        if (disabled) {
            DrawEmbossed(p, x, y, shape);
        } else {
            p->drawImage(x, y, Silhouette(shape, SysColor(COLOR_BTNTEXT)));
        }
    }
    p->restore();
    return TRUE;
}

BOOL DrawFocusRect(HDC hDC, const RECT* lprc) {
    QPainter* p = PainterOf(hDC);
    if (!p || !lprc) return FALSE;
    // A dotted frame drawn by inverting: a second call at the same place
    // restores what was there.
    p->save();
    p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QColor white(255, 255, 255);
    const int l = lprc->left, t = lprc->top, r = lprc->right - 1, b = lprc->bottom - 1;
    if (r >= l && b >= t) {
        int i = 0;
        auto dot = [&](int x, int y) {
            if ((i++ & 1) == 0) p->fillRect(x, y, 1, 1, white);
        };
        for (int x = l; x <= r; ++x) dot(x, t);
        for (int y = t + 1; y <= b; ++y) dot(r, y);
        for (int x = r - 1; x >= l && b > t; --x) dot(x, b);
        for (int y = b - 1; y > t && r > l; --y) dot(l, y);
    }
    p->restore();
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    QPainter* p = PainterOf(hdc);
    if (!p || !lpString || !psizl) return FALSE;
    QFontMetrics fm(p->font());
    QString text = QString::fromUtf8(lpString, c);
    psizl->cx = fm.horizontalAdvance(text);
    psizl->cy = fm.height();
    return TRUE;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    QPainter* p = PainterOf(hDC);
    auto* icon = ObjectAs<GdiIcon>(hIcon);
    if (!p || !icon) return FALSE;
    int size = GetSystemMetrics(SM_CXICON);
    p->drawPixmap(X, Y, icon->icon.pixmap(size, size));
    return TRUE;
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
        case SM_CXICON:
        case SM_CYICON:
            return 32;
    }
    return 0;
}

HANDLE CopyImage(HANDLE h, UINT type, int cx, int cy, UINT flags) {
    auto* source = ObjectAs<GdiBitmap>(h);
    if (type != IMAGE_BITMAP || !source) return nullptr;
    QImage image = source->image;
    if (cx == 0) cx = image.width();
    if (cy == 0) cy = image.height();
    auto* copy = new GdiBitmap;
    copy->image = (cx == image.width() && cy == image.height())
                      ? image.copy()
                      : image.scaled(cx, cy, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (flags & LR_COPYDELETEORG) DeleteObject(h);
    return Track(copy);
}

HBITMAP CreateMappedBitmap(HINSTANCE, INT_PTR idBitmap, UINT, LPCOLORMAP lpColorMap, int iNumMaps) {
    const auto* resource = win32_resources::FindBitmap(static_cast<int>(idBitmap));
    if (!resource) return nullptr;
    // The mapping works on the colour table: an entry that matches a
    // "from" colour exactly takes its "to" colour.
    std::vector<uint32_t> palette(resource->palette, resource->palette + resource->palette_size);
    for (auto& entry : palette) {
        for (int i = 0; i < iNumMaps; ++i) {
            COLORREF from = lpColorMap[i].from;
            uint32_t rgb = (GetRValue(from) << 16) | (GetGValue(from) << 8) | GetBValue(from);
            if (entry == rgb) {
                COLORREF to = lpColorMap[i].to;
                entry = (GetRValue(to) << 16) | (GetGValue(to) << 8) | GetBValue(to);
                break;
            }
        }
    }
    auto* bitmap = new GdiBitmap;
    bitmap->image = QImage(resource->width, resource->height, QImage::Format_RGB32);
    for (int y = 0; y < resource->height; ++y)
        for (int x = 0; x < resource->width; ++x) {
            uint8_t index = resource->bits[y * resource->width + x];
            bitmap->image.setPixel(x, y,
                                   0xFF000000u | (index < palette.size() ? palette[index] : 0));
        }
    return static_cast<HBITMAP>(Track(bitmap));
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    QPainter* p = PainterOf(hDC);
    auto* brush = ObjectAs<GdiBrush>(hbr);
    if (!p || !lprc || !brush) return 0;
    if (lprc->right > lprc->left && lprc->bottom > lprc->top)
        p->fillRect(
            QRect(lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top),
            brush->color);
    return 1;
}
