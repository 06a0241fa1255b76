// StretchDIBits: a device-independent bitmap drawn into a device context,
// scaled to the destination rectangle.  The pixels are read in place (the
// picture is not copied); only what the video window draws is accepted:
// 32-bit BI_RGB colours, copied (SRCCOPY).
#include <QImage>
#include <cstdlib>

#include "gdidc.h"

using namespace qt_display;

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                  int SrcWidth, int SrcHeight, const VOID* lpBits, const BITMAPINFO* lpbmi,
                  UINT iUsage, DWORD rop) {
    QPainter* p = PainterOf(hdc);
    if (!p || !lpBits || !lpbmi || iUsage != DIB_RGB_COLORS || rop != SRCCOPY) return 0;
    const BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0)
        return 0;
    if (DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return 0;
    const int width = h.biWidth;
    const int rows = std::abs(h.biHeight);
    // A bottom-up bitmap keeps its lowest row first, and its source
    // rectangle counts from that row: in memory order the rectangle is the
    // same for both kinds, and a bottom-up one is drawn upside down.
    const QRect source(xSrc, ySrc, SrcWidth, SrcHeight);
    if (!QRect(0, 0, width, rows).contains(source)) return 0;
    const QImage image(static_cast<const uchar*>(lpBits), width, rows, width * 4,
                       QImage::Format_RGB32);
    p->save();
    // Smoothing only where the picture is scaled: a picture drawn at its
    // own size is copied as it is (a top-down one straight through).
    p->setRenderHint(QPainter::SmoothPixmapTransform,
                     SrcWidth != DestWidth || SrcHeight != DestHeight);
    if (h.biHeight > 0) {
        p->translate(xDest, yDest + DestHeight);
        p->scale(1, -1);
    } else {
        p->translate(xDest, yDest);
    }
    p->drawImage(QRectF(0, 0, DestWidth, DestHeight), image, source);
    p->restore();
    return source.height();
}
