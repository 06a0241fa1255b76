#include "modal.h"

#include <QWindow>

#include "qtbackend.h"
#include "win32/display.h"

namespace qt_display {

namespace {

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongPtr(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

}  // namespace

OwnerDisabled::OwnerDisabled(HWND owner) : m_owner(TopLevelOf(owner)) {
    m_disabled = m_owner && IsWindowEnabled(m_owner);
    if (m_disabled) EnableWindow(m_owner, FALSE);
}

OwnerDisabled::~OwnerDisabled() {
    if (!m_owner || !IsWindow(m_owner)) return;
    if (m_disabled) EnableWindow(m_owner, TRUE);
    SetForegroundWindow(m_owner);
}

QWidget* TopLevelWidget(HWND hwnd) {
    QtBackend* backend = Backend();
    return backend ? backend->WidgetFor(TopLevelOf(hwnd)) : nullptr;
}

int RunModal(QDialog* dialog, QWidget* over) {
    dialog->setWindowModality(Qt::WindowModal);
    if (over) {
        // The window manager keeps the dialog above its owner.
        dialog->winId();
        over->window()->winId();
        dialog->windowHandle()->setTransientParent(over->window()->windowHandle());
        dialog->adjustSize();
        QRect frame = over->window()->frameGeometry();
        dialog->move(frame.center() - dialog->rect().center());
    }
    bool done = false;
    const DWORD thread = GetCurrentThreadId();
    auto connection = QObject::connect(dialog, &QDialog::finished, [&done, thread] {
        done = true;
        PostThreadMessage(thread, WM_NULL, 0, 0);  // the modal loop looks again
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    const bool finished = win32_display::RunModalLoop([&] { return done; });
    QObject::disconnect(connection);
    if (!finished) {
        dialog->reject();
        return QDialog::Rejected;
    }
    return dialog->result();
}

}  // namespace qt_display
