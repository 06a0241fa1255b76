// Test support for the dialog framework: the display on the test's main
// thread, test dialog templates and a message pump.
#pragma once

#include <afxwin.h>

#include <cstdlib>
#include <iterator>

#include "testsupport/displaytest.h"

namespace afx_test {

enum : int {
    kDialogId = 700,
    kChildId = 701,
    kCombo = 1101,
    kEdit = 1102,
    kPlain = 1103,  // push button
    kDrawn = 1104,  // owner-drawn button
    kLabel = 1105,
    kOther = 1106,  // push button without a handler
};

inline const win32_resources::DialogItem kItems[] = {
    {"COMBOBOX", "", kCombo, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_VISIBLE, 0, 8, 8, 90,
     60},
    {"EDIT", "", kEdit, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_VISIBLE, 0, 8,
     24, 90, 12},
    {"BUTTON", "&Play", kDrawn, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 8, 40, 60, 14},
    {"BUTTON", "Plain", kPlain, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 72, 40, 40, 14},
    {"BUTTON", "Other", kOther, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 116, 40, 40, 14},
    {"STATIC", "Label", kLabel, SS_LEFT | WS_VISIBLE, 0, 8, 60, 60, 10},
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
    80,
    "Framework Test",
    "MS Sans Serif",
    8,
    kItems,
    static_cast<int>(std::size(kItems))};

inline const win32_resources::DialogItem kChildItems[] = {
    {"STATIC", "Child", kLabel, SS_LEFT | WS_VISIBLE, 0, 4, 4, 60, 10},
    {"BUTTON", "Plain", kPlain, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 4, 18, 40, 14},
};

// A child dialog, not visible when created, as a panel inside a window.
inline const win32_resources::DialogTemplate kChild = {
    kChildId,    WS_CHILD | DS_MODALFRAME | DS_SETFONT,   0, 0, 0, 100, 40, "", "MS Sans Serif", 8,
    kChildItems, static_cast<int>(std::size(kChildItems))};

inline void InstallDisplay() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    display_test::InstallDisplay();
    win32_resources::RegisterDialog(&kDialog);
    win32_resources::RegisterDialog(&kChild);
}

// Runs what is in the queue as a modeless dialog's message loop does.
inline void Pump(int rounds = 3) { display_test::Pump(nullptr, rounds); }

}  // namespace afx_test
