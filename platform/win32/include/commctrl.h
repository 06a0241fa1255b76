// Common controls: the tooltip control.
#pragma once

#include "windef.h"
#include "winuser.h"

#define TOOLTIPS_CLASS "tooltips_class32"

// Tooltip styles.
#define TTS_ALWAYSTIP 0x01
#define TTS_NOPREFIX 0x02

// TOOLINFO flags: uId is the tool's window (TTF_IDISHWND); the tooltip
// watches that window's mouse messages itself (TTF_SUBCLASS).
#define TTF_IDISHWND 0x0001
#define TTF_SUBCLASS 0x0010

// The tool's text is asked for when shown (TTN_GETDISPINFO).
#define LPSTR_TEXTCALLBACKA ((LPSTR)-1L)
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKA

#define TTM_ADDTOOLA (WM_USER + 4)
#define TTM_ADDTOOL TTM_ADDTOOLA

typedef struct tagTOOLINFOA {
    UINT cbSize;
    UINT uFlags;
    HWND hwnd;     // the window that holds the tool
    UINT_PTR uId;  // with TTF_IDISHWND: the tool's window
    RECT rect;
    HINSTANCE hinst;
    LPSTR lpszText;
    LPARAM lParam;
    void* lpReserved;
} TOOLINFOA, *LPTOOLINFOA;
typedef TOOLINFOA TOOLINFO;
typedef LPTOOLINFOA LPTOOLINFO;
