#include "ownerdrawbutton.h"

#include <QEvent>
#include <QPainter>

#include "gdidc.h"
#include "gdiobjects.h"

namespace qt_display {

OwnerDrawButton::OwnerDrawButton(HWND hwnd, QWidget* parent)
    : QAbstractButton(parent), m_hwnd(hwnd) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::pressed, [this] { Request(ODA_SELECT); });
    connect(this, &QAbstractButton::released, [this] { Request(ODA_SELECT); });
}

void OwnerDrawButton::Request(UINT action) {
    if (!m_hwnd) return;
    if (m_dirty || !PictureFits()) {
        m_dirty = true;
        update();
        if (action != ODA_DRAWENTIRE) return;
    }
    if (action == ODA_DRAWENTIRE) {
        // The picture has the screen's pixels: on a high-density screen
        // the owner's drawing (in window coordinates) comes out sharp.
        const qreal ratio = devicePixelRatioF();
        m_picture = QImage(size().expandedTo(QSize(1, 1)) * ratio, QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(SysColor(COLOR_BTNFACE));
        m_dirty = false;
    }
    UINT state = 0;
    if (isDown()) state |= ODS_SELECTED;
    if (GetFocus() == m_hwnd) state |= ODS_FOCUS;
    if (!IsWindowEnabled(m_hwnd)) state |= ODS_DISABLED;
    QPainter painter(&m_picture);
    painter.setFont(font());
    DeviceContext dc{&painter};
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(m_hwnd));
    dis.itemAction = action;
    dis.itemState = state;
    dis.hwndItem = m_hwnd;
    dis.hDC = MakeDC(&dc);
    dis.rcItem = RECT{0, 0, width(), height()};
    HWND parent = GetParent(m_hwnd);
    if (parent) SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    painter.end();
    update();
}

bool OwnerDrawButton::PictureFits() const {
    return m_picture.devicePixelRatio() == devicePixelRatioF() &&
           m_picture.size() == size().expandedTo(QSize(1, 1)) * devicePixelRatioF();
}

void OwnerDrawButton::Invalidate() {
    m_dirty = true;
    update();
}

void OwnerDrawButton::paintEvent(QPaintEvent*) {
    if (m_dirty || !PictureFits()) Request(ODA_DRAWENTIRE);
    QPainter p(this);
    if (!m_picture.isNull()) p.drawImage(0, 0, m_picture);
}

void OwnerDrawButton::resizeEvent(QResizeEvent*) { Invalidate(); }

void OwnerDrawButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Invalidate();
    QAbstractButton::changeEvent(event);
}

}  // namespace qt_display
