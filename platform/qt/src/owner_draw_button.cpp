#include "owner_draw_button.h"

#include <QEvent>
#include <QPainter>

#include "gdi_dc.h"
#include "gdi_objects.h"

namespace qt_display {

OwnerDrawButton::OwnerDrawButton(HWND hwnd, QWidget* parent)
    : QAbstractButton(parent), hwnd_(hwnd) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::pressed, [this] { Request(ODA_SELECT); });
    connect(this, &QAbstractButton::released, [this] { Request(ODA_SELECT); });
}

void OwnerDrawButton::Request(UINT action) {
    if (!hwnd_) return;
    if (dirty_ || !PictureFits()) {
        dirty_ = true;
        update();
        if (action != ODA_DRAWENTIRE) return;
    }
    if (action == ODA_DRAWENTIRE) {
        // The picture has the screen's pixels: on a high-density screen
        // the owner's drawing (in window coordinates) comes out sharp.
        const qreal ratio = devicePixelRatioF();
        picture_ = QImage(size().expandedTo(QSize(1, 1)) * ratio, QImage::Format_RGB32);
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(SysColor(COLOR_BTNFACE));
        dirty_ = false;
    }
    UINT state = 0;
    if (isDown()) state |= ODS_SELECTED;
    if (GetFocus() == hwnd_) state |= ODS_FOCUS;
    if (!IsWindowEnabled(hwnd_)) state |= ODS_DISABLED;
    QPainter painter(&picture_);
    painter.setFont(font());
    DeviceContext dc{&painter};
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd_));
    dis.itemAction = action;
    dis.itemState = state;
    dis.hwndItem = hwnd_;
    dis.hDC = MakeDC(&dc);
    dis.rcItem = RECT{0, 0, width(), height()};
    HWND parent = GetParent(hwnd_);
    if (parent) SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    painter.end();
    update();
}

bool OwnerDrawButton::PictureFits() const {
    return picture_.devicePixelRatio() == devicePixelRatioF() &&
           picture_.size() == size().expandedTo(QSize(1, 1)) * devicePixelRatioF();
}

void OwnerDrawButton::Invalidate() {
    dirty_ = true;
    update();
}

void OwnerDrawButton::paintEvent(QPaintEvent*) {
    if (dirty_ || !PictureFits()) Request(ODA_DRAWENTIRE);
    QPainter p(this);
    if (!picture_.isNull()) p.drawImage(0, 0, picture_);
}

void OwnerDrawButton::resizeEvent(QResizeEvent*) { Invalidate(); }

void OwnerDrawButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Invalidate();
    QAbstractButton::changeEvent(event);
}

}  // namespace qt_display
