// Dialog templates of the main window, the About box and the capture panel,
// and the system-menu text.
#include <windows.h>

#include <iterator>

#include "resource.h"
#include "win32/resources.h"

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

const DialogTemplate kAboutDialog = {
    IDD_ABOUTBOX,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
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

// The capture panel: the video source on the left (device, type, transport
// state and position, the transport buttons), the capture settings and
// counters on the right, the banner and the Capture button below.
constexpr DWORD kLabel = SS_LEFT | SS_CENTERIMAGE | WS_VISIBLE;
constexpr DWORD kSunken = SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | WS_VISIBLE;
constexpr DWORD kDropList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_VISIBLE;
constexpr DWORD kDrawnButton = BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE;

const DialogItem kPanelItems[] = {
    {"BUTTON", "Video Source:", -1, BS_GROUPBOX | WS_VISIBLE, 0, 7, 7, 211, 78},
    {"STATIC", "DV Device:", -1, kLabel, 0, 12, 17, 47, 12},
    {"COMBOBOX", "", IDC_DEVICE, kDropList, 0, 64, 17, 149, 91},
    {"STATIC", "Device Type:", -1, kLabel, 0, 12, 33, 47, 12},
    {"STATIC", "720 x 480 DV NTSC", IDC_DEVICE_TYPE, kSunken, 0, 64, 33, 149, 12},
    {"STATIC", "Current Status:", -1, kLabel, 0, 12, 50, 47, 12},
    {"STATIC", "Play", IDC_TRANSPORT_MODE, kSunken, 0, 64, 50, 30, 12},
    {"STATIC", "Current Possition:", -1, kLabel, 0, 100, 50, 57, 12},
    {"STATIC", "01:01:01:15", IDC_TIMECODE, kSunken, 0, 161, 50, 52, 12},
    {"BUTTON", "[]", IDC_STOP, kDrawnButton | WS_GROUP, 0, 15, 67, 20, 14},
    {"BUTTON", "<<", IDC_SLOW_REVERSE, kDrawnButton, 0, 37, 67, 20, 14},
    {"BUTTON", "<<<", IDC_REWIND, kDrawnButton, 0, 59, 67, 20, 14},
    {"BUTTON", "|>", IDC_PLAY, kDrawnButton, 0, 81, 67, 20, 14},
    {"BUTTON", ">>>", IDC_FAST_FORWARD, kDrawnButton, 0, 103, 67, 20, 14},
    {"BUTTON", ">>", IDC_SLOW_FORWARD, kDrawnButton, 0, 125, 67, 20, 14},
    {"BUTTON", "| |", IDC_PAUSE, kDrawnButton, 0, 147, 67, 20, 14},
    {"BUTTON", "< | |", IDC_STEP_REVERSE, kDrawnButton, 0, 169, 67, 20, 14},
    {"BUTTON", "| | >", IDC_STEP_FORWARD, kDrawnButton, 0, 191, 67, 20, 14},
    {"BUTTON", "Capture:", -1, BS_GROUPBOX | WS_VISIBLE, 0, 222, 7, 211, 78},
    {"STATIC", "Capture File:", -1, kLabel, 0, 227, 17, 47, 12},
    {"EDIT", "", IDC_CAPTURE_FILE,
     ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP | WS_VISIBLE, 0, 279, 17, 128, 12},
    {"BUTTON", "...", IDC_BROWSE, kDrawnButton, 0, 410, 17, 17, 12},
    {"STATIC", "File Type:", -1, kLabel, 0, 227, 33, 47, 12},
    {"COMBOBOX", "", IDC_FILE_TYPE, kDropList, 0, 279, 33, 149, 75},
    {"STATIC", "Dropped:", -1, kLabel, 0, 227, 50, 47, 12},
    {"STATIC", "0 Frames", IDC_DROPPED, kSunken, 0, 279, 50, 149, 12},
    {"STATIC", "Captured:", -1, kLabel, 0, 227, 67, 47, 12},
    {"STATIC", "00:00:10", IDC_CAPTURED, kSunken, 0, 279, 67, 149, 12},
    {"STATIC", "#144", IDC_BANNER, SS_BITMAP | WS_VISIBLE, 0, 7, 94, 117, 9},
    {"BUTTON", "Capture", IDC_CAPTURE, kDrawnButton | WS_GROUP, 0, 365, 89, 68, 14},
};

// A child dialog, hidden until the main window places it.
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
                                      kPanelItems,
                                      static_cast<int>(std::size(kPanelItems))};

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
