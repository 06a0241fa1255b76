// Numeric identifiers of the program's resources and of the controls in
// its dialog templates.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_TAPELOOM_DIALOG 102
#define IDD_CAPTURE_PANEL 129

// Strings.
#define IDS_ABOUTBOX 101

// Icons and bitmaps.
#define IDR_MAINFRAME 128
#define IDB_ABOUT 152

// System-menu command of the About entry.
#define IDM_ABOUTBOX 0x0010

// Controls of the main window.
#define IDC_PREVIEW_FRAME 1023
#define IDC_PANEL_FRAME 1032
#define IDC_ABOUT 1042

// Controls of the About box.
#define IDC_VERSION 1043
