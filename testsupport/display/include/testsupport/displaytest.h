// Test support for the display: the Qt display on the test's main thread,
// a test dialog template, and helpers to pump messages and look at pixels.
// It brings the display's sanitizer settings along, so a test program
// includes it in one source file only.
#pragma once

#include <unistd.h>
#include <windows.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <vector>

#include "qt/display.h"
#include "qt/widgetof.h"
#include "win32/resources.h"

namespace display_test {

enum : int {
    kDialogId = 900,
    kCombo = 1001,
    kEdit = 1002,
    kPlain = 1003,   // push button
    kDrawn = 1004,   // owner-drawn button
    kNoStop = 1005,  // button without tab stop
    kLabel = 1006,
    kPicture = 1007,
    kBitmap = 950,
};

inline const win32_resources::DialogItem kItems[] = {
    {"BUTTON", "Group", -1, BS_GROUPBOX | WS_VISIBLE, 0, 4, 4, 150, 90},
    {"STATIC", "&Label:", kLabel, SS_LEFT | SS_CENTERIMAGE | WS_VISIBLE, 0, 8, 14, 40, 10},
    {"COMBOBOX", "", kCombo, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_VISIBLE, 0, 50, 14, 90,
     60},
    {"EDIT", "", kEdit, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_VISIBLE, 0, 50,
     30, 60, 12},
    {"BUTTON", "&Play", kDrawn, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 8, 50, 60, 14},
    {"BUTTON", "Skip", kNoStop, BS_PUSHBUTTON | WS_VISIBLE, 0, 72, 50, 30, 14},
    {"BUTTON", "Other", kPlain, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 106, 50, 40, 14},
    {"STATIC", "#950", kPicture, SS_BITMAP | WS_VISIBLE, 0, 8, 70, 20, 10},
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 160, 8, 40, 14},
    {"BUTTON", "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 160, 26, 40, 14},
};

inline const win32_resources::DialogTemplate kDialog = {
    kDialogId,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    0,
    0,
    0,
    206,
    100,
    "Test Dialog",
    "MS Sans Serif",
    8,
    kItems,
    static_cast<int>(std::size(kItems))};

// A 4 x 2 picture in the standard palette: yellow (11) is the key colour.
inline const uint8_t kBits[] = {11, 0, 11, 9, 11, 11, 12, 15};
inline const win32_resources::BitmapResource kPictureResource = {
    kBitmap, 4, 2, win32_resources::kStandardPalette16, 16, kBits};

inline void InstallDisplay() {
    qt_display::Install();
    win32_resources::RegisterDialog(&kDialog);
    win32_resources::RegisterBitmap(&kPictureResource);
}

// Runs what is in the queue the way a modal dialog loop does.
inline void Pump(HWND hDlg, int rounds = 3) {
    for (int i = 0; i < rounds; ++i) {
        QApplication::processEvents();
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!hDlg || !IsDialogMessage(hDlg, &msg)) {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
            }
        }
    }
}

// Presses a key on the widget of a window, as the user would.
inline void PressKey(HWND hwnd, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    using qt_display::WidgetOf;
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(WidgetOf(hwnd), &press);
    QApplication::sendEvent(WidgetOf(hwnd), &release);
}

// Presses a key on a Qt widget of the display's own (a message box).
inline void PressKeyOn(QWidget* widget, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

inline QImage Grab(HWND hwnd) {
    char path[] = "/tmp/tlgrabXXXXXX.png";
    int fd = mkstemps(path, 4);
    close(fd);
    qt_display::SaveWindowImage(hwnd, path);
    QImage image(path);
    unlink(path);
    return image.convertToFormat(QImage::Format_RGB32);
}

// Plays the user's part while a modal window runs its loop: a timer of
// the display thread runs the steps in turn, each once it is ready.  A
// step's action may open a modal window whose loop runs the next steps.
// A run that has not finished after 20 s closes the active modal or popup
// window, so that a fault fails the test instead of hanging it.
struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
};

// The active modal widget, if it is of type T.
template <class T>
T* Modal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

// A step that acts on the active modal widget once it is a T.
template <class T, class F>
Step When(F act) {
    return Step{[] { return Modal<T>() != nullptr; }, [act] { act(Modal<T>()); }};
}

// A step that waits for a condition.
inline Step Until(std::function<bool()> ready) {
    return Step{std::move(ready), [] {}};
}

class Driver {
public:
    explicit Driver(std::vector<Step> steps) : m_steps(std::move(steps)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start(20);
        m_start = std::chrono::steady_clock::now();
    }
    bool finished() const { return m_next == m_steps.size(); }

private:
    void Tick() {
        if (m_next >= m_steps.size()) return m_timer.stop();
        if (std::chrono::steady_clock::now() - m_start > std::chrono::seconds(20)) {
            m_next = m_steps.size() + 1;  // never finished
            m_timer.stop();
            if (QWidget* w = QApplication::activePopupWidget()) w->close();
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
            return;
        }
        if (!m_steps[m_next].ready()) return;
        // The action runs after the tick: Qt never runs a timer inside its
        // own tick, so a modal loop the action opens would see no ticks.
        QTimer::singleShot(0, &m_timer, m_steps[m_next++].act);
    }
    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace display_test

#include "testsupport/displaysuppressions.h"
