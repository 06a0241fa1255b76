// Dialog templates of the main window and the About box, the stand-in for
// the capture panel's template, and the system-menu text.
#include <windows.h>

#include <iterator>

#include "resource.h"
#include "tapeloom/win32_resources.h"

namespace {

using win32_resources::DialogItem;
using win32_resources::DialogTemplate;

// The main window: the preview frame on top, the placeholder the capture
// panel is laid over, and the About and Exit buttons at the bottom right.
const DialogItem kMainItems[] = {
    {"STATIC", "", IDC_PREVIEW_FRAME, SS_BLACKRECT | WS_BORDER | WS_VISIBLE, WS_EX_DLGMODALFRAME, 7,
     7, 444, 214},
    {"STATIC", "", IDC_PANEL_FRAME, SS_BLACKFRAME, 0, 7, 227, 444, 121},
    {"BUTTON", "About Tapeloom", IDC_ABOUT, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 340, 353,
     65, 14},
    {"BUTTON", "Exit", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 409, 353, 42, 14},
};

const DialogTemplate kMainDialog = {
    IDD_TAPELOOM_DIALOG,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    0,
    0,
    458,
    374,
    "Quindle Tapeloom",
    "MS Sans Serif",
    8,
    kMainItems,
    static_cast<int>(std::size(kMainItems))};

// The About box: the picture, the version line (its text is replaced when
// the box opens) and OK centred below.
const DialogItem kAboutItems[] = {
    {"STATIC", "#152", -1, SS_BITMAP | SS_CENTERIMAGE | WS_VISIBLE, 0, 7, 7, 235, 66},
    {"STATIC", "Tapeloom Version 1.0", IDC_VERSION, SS_CENTER | SS_NOPREFIX | WS_VISIBLE, 0, 7, 75,
     235, 8},
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 99, 88, 50, 14},
};

const DialogTemplate kAboutDialog = {IDD_ABOUTBOX,
                                     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                         DS_SETFONT,
                                     0,
                                     0,
                                     0,
                                     249,
                                     109,
                                     "About Tapeloom",
                                     "MS Sans Serif",
                                     8,
                                     kAboutItems,
                                     static_cast<int>(std::size(kAboutItems))};

// The capture panel's template, still without controls: a child dialog of
// the panel's size, hidden until the main window places it.
const DialogTemplate kCapturePanel = {IDD_CAPTURE_PANEL,
                                      WS_CHILD | DS_MODALFRAME | DS_SETFONT,
                                      0,
                                      0,
                                      0,
                                      440,
                                      115,
                                      "",
                                      "MS Sans Serif",
                                      8,
                                      nullptr,
                                      0};

const win32_resources::StringResource kAboutMenuText = {IDS_ABOUTBOX, "&About Tapeloom..."};

struct Registration {
    Registration() {
        win32_resources::RegisterDialog(&kMainDialog);
        win32_resources::RegisterDialog(&kAboutDialog);
        win32_resources::RegisterDialog(&kCapturePanel);
        win32_resources::RegisterString(&kAboutMenuText);
    }
} s_registration;

}  // namespace
