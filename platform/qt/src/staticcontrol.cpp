// STATIC: texts (left, centred, sunken), black rectangle and frame, and
// pictures (STM_SETIMAGE, or a bitmap named "#id" in the template).
#include <QLabel>
#include <QPixmap>

#include "controls.h"
#include "gdiobjects.h"
#include "qtbackend.h"

namespace qt_display {

namespace {

class StaticWidget : public QLabel {
public:
    StaticWidget(DWORD style, QWidget* parent) : QLabel(parent), m_style(style) {
        setTextFormat(Qt::PlainText);
        setFocusPolicy(Qt::NoFocus);
        Qt::Alignment align = Qt::AlignLeft;
        if ((style & SS_TYPEMASK) == SS_CENTER) align = Qt::AlignHCenter;
        if ((style & SS_TYPEMASK) == SS_RIGHT) align = Qt::AlignRight;
        align |= (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
        if ((style & SS_TYPEMASK) == SS_BITMAP) align = Qt::AlignCenter;
        setAlignment(align);
        if (style & SS_SUNKEN) setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (style & WS_BORDER) setFrameStyle(QFrame::Box | QFrame::Plain);
        switch (style & SS_TYPEMASK) {
            case SS_BLACKRECT: {
                QPalette p = palette();
                p.setColor(QPalette::Window, Qt::black);
                setPalette(p);
                setAutoFillBackground(true);
                break;
            }
            case SS_BLACKFRAME: {
                QPalette p = palette();
                p.setColor(QPalette::WindowText, Qt::black);
                setPalette(p);
                setFrameStyle(QFrame::Box | QFrame::Plain);
                break;
            }
        }
    }
    HBITMAP image = nullptr;

private:
    DWORD m_style;
};

}  // namespace

QWidget* CreateStaticWidget(HWND hwnd, DWORD style, QWidget* parent) {
    auto* label = new StaticWidget(style, parent);
    SetWidgetText(label, hwnd, QString::fromStdString(win32_display::StoredWindowText(hwnd)));
    return label;
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* label = dynamic_cast<StaticWidget*>(Backend() ? Backend()->WidgetFor(hwnd) : nullptr);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    switch (msg) {
        case WM_CREATE: {
            // A picture static names its bitmap resource in its text: "#152".
            std::string text = win32_display::StoredWindowText(hwnd);
            if ((style & SS_TYPEMASK) == SS_BITMAP && text.size() > 1 && text[0] == '#') {
                HBITMAP bitmap = LoadBitmap(nullptr, MAKEINTRESOURCE(std::atoi(text.c_str() + 1)));
                if (bitmap)
                    SendMessage(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
            }
            return 0;
        }
        case WM_GETDLGCODE:
            return 0x0100;  // DLGC_STATIC
        case STM_SETIMAGE: {
            if (wp != IMAGE_BITMAP || !label) return 0;
            HBITMAP old = label->image;
            label->image = reinterpret_cast<HBITMAP>(lp);
            auto* bitmap = ObjectAs<GdiBitmap>(label->image);
            label->setPixmap(bitmap ? QPixmap::fromImage(bitmap->image) : QPixmap());
            return reinterpret_cast<LRESULT>(old);
        }
        case STM_GETIMAGE:
            return label && wp == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(label->image) : 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace qt_display
