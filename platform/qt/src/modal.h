// Qt dialogs of the display run modally the way DialogBoxParam runs a
// dialog: the owner is disabled, and the calling thread goes on answering
// the messages sent and posted to it while the dialog is up.
#pragma once

#include <QDialog>

#include "windows.h"

namespace qt_display {

// Disables the top-level window of owner (if it was enabled) for the
// object's lifetime, then enables it again and brings it to the front.
class OwnerDisabled {
public:
    explicit OwnerDisabled(HWND owner);
    ~OwnerDisabled();
    OwnerDisabled(const OwnerDisabled&) = delete;
    OwnerDisabled& operator=(const OwnerDisabled&) = delete;

    HWND owner() const { return m_owner; }

private:
    HWND m_owner = nullptr;
    bool m_disabled = false;
};

// The widget showing a window's top-level window, or null.
QWidget* TopLevelWidget(HWND hwnd);

// Shows dialog (which must have no Qt parent) modal over `over`, centred on
// it, and runs the window system's modal loop until the dialog finishes.
// Returns the dialog's result; QDialog::Rejected when WM_QUIT ended the
// loop (the dialog is then rejected).
int RunModal(QDialog* dialog, QWidget* over);

}  // namespace qt_display
