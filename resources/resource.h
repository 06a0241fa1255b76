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

// Pictures of the capture panel's bitmap buttons (15 x 15, browse 11 x 11)
// and its banner (175 x 15); yellow is the key colour.
#define IDB_PLAY 132
#define IDB_STOP 134
#define IDB_PAUSE 137
#define IDB_FASTFORWARD 138
#define IDB_SLOWFORWARD 139
#define IDB_REWIND 140
#define IDB_SLOWREVERSE 141
#define IDB_STEPFORWARD 142
#define IDB_STEPREVERSE 143
#define IDB_BANNER 144
#define IDB_CAPTURE 145
#define IDB_STOPCAPTURE 147
#define IDB_BROWSE 148

// System-menu command of the About entry.
#define IDM_ABOUTBOX 0x0010

// Controls of the main window.
#define IDC_PREVIEW_FRAME 1023
#define IDC_PANEL_FRAME 1032
#define IDC_ABOUT 1042

// Controls of the About box.
#define IDC_VERSION 1043

// Controls of the capture panel.
#define IDC_PLAY 1003
#define IDC_PAUSE 1004
#define IDC_STOP 1005
#define IDC_FAST_FORWARD 1006
#define IDC_REWIND 1007
#define IDC_STEP_FORWARD 1008
#define IDC_STEP_REVERSE 1009
#define IDC_SLOW_REVERSE 1010
#define IDC_SLOW_FORWARD 1011
#define IDC_TIMECODE 1015
#define IDC_TRANSPORT_MODE 1016
#define IDC_DEVICE_TYPE 1018
#define IDC_CAPTURE 1019
#define IDC_DROPPED 1020
#define IDC_CAPTURED 1021
#define IDC_CAPTURE_FILE 1022
#define IDC_BROWSE 1029
#define IDC_DEVICE 1031
#define IDC_FILE_TYPE 1032
#define IDC_BANNER 1034
