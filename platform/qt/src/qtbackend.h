// The display backend on Qt: one widget per window of the display thread.
#pragma once

#include <QWidget>
#include <map>

#include "win32/display.h"
#include "winuser.h"

namespace qt_display {

class QtBackend final : public win32_display::Backend {
public:
    QtBackend();

    bool IsDisplayThread() override;
    void WaitForEvents(win32_display::Clock::time_point deadline, bool no_deadline) override;
    void Wake() override;
    void WindowCreated(HWND hwnd) override;
    void WindowDestroyed(HWND hwnd) override;
    void WindowChanged(HWND hwnd, unsigned changes) override;
    SIZE DialogBaseUnits(const char* face, int points) override;
    void SetDialogFont(HWND hDlg, const char* face, int points) override;
    void TrackSystemMenu(HWND hwnd, POINT screen) override;

    QWidget* WidgetFor(HWND hwnd) const;
    HWND WindowFor(const QWidget* widget) const;

private:
    void ApplyGeometry(HWND hwnd, QWidget* widget);
    void ApplyIcon(HWND hwnd, QWidget* widget);

    DWORD m_threadId;
    std::map<HWND, QWidget*> m_widgets;
    std::map<const QWidget*, HWND> m_windows;
    std::map<HWND, HWND> m_lastChild;  // a window's most recently created child
};

QtBackend* Backend();

// The font of dialogs: 8-point sans serif.
QFont DialogFont(const char* face, int points);

// A widget for a window of one of the standard control classes, or null.
QWidget* CreateControlWidget(HWND hwnd, const std::string& class_name, DWORD style,
                             QWidget* parent);
void RegisterControlClasses();

// Sends WM_COMMAND with a notification code to the control's parent.
void NotifyParent(HWND control, WORD code);

}  // namespace qt_display
