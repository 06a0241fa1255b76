// BUTTON: push buttons, default push buttons, group boxes and owner-drawn
// buttons.
#include <QGroupBox>
#include <QPushButton>

#include "controls.h"
#include "ownerdrawbutton.h"
#include "qtbackend.h"

namespace qt_display {

QWidget* CreateButtonWidget(HWND hwnd, DWORD style, QWidget* parent) {
    const QString text = QString::fromStdString(win32_display::StoredWindowText(hwnd));
    switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX: {
            auto* group = new QGroupBox(StripMnemonic(text), parent);
            group->setFocusPolicy(Qt::NoFocus);
            return group;
        }
        case BS_OWNERDRAW: {
            auto* button = new OwnerDrawButton(hwnd, parent);
            button->setText(text);
            QObject::connect(button, &QAbstractButton::clicked,
                             [hwnd] { NotifyParent(hwnd, BN_CLICKED); });
            return button;
        }
    }
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
    QObject::connect(button, &QAbstractButton::clicked, [hwnd] { NotifyParent(hwnd, BN_CLICKED); });
    return button;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const DWORD type = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)) & BS_TYPEMASK;
    switch (msg) {
        case WM_GETDLGCODE:
            if (type == BS_GROUPBOX) return 0x0100;  // DLGC_STATIC
            return DLGC_BUTTON |
                   (type == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (auto* button = dynamic_cast<OwnerDrawButton*>(Backend()->WidgetFor(hwnd)))
                button->Request(ODA_FOCUS);
            return 0;
        case BM_CLICK:
            if (auto* button = qobject_cast<QAbstractButton*>(Backend()->WidgetFor(hwnd)))
                if (IsWindowEnabled(hwnd)) button->click();
            return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace qt_display
