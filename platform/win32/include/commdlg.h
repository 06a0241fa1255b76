// Common dialogs: the save-file dialog.
#pragma once

#include "windef.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagOFN {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    // Pairs of description and pattern ("*.avi", or several joined by
    // ';'), each zero-terminated; the list ends with an empty string.
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;  // 1-based; 0 takes the first pair
    LPSTR lpstrFile;     // in: initial name; out: the chosen path
    DWORD nMaxFile;      // size of lpstrFile in bytes, terminator included
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;  // without the dot
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
} OPENFILENAME, *LPOPENFILENAME;

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_ENABLEHOOK 0x00000020
#define OFN_NOVALIDATE 0x00000100
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000
#define OFN_NOREADONLYRETURN 0x00008000
#define OFN_ENABLESIZING 0x00800000

// CommDlgExtendedError codes.
#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_SUBCLASSFAILURE 0x3001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

// Shows the save-file dialog over its owner (which is disabled meanwhile;
// the calling thread keeps answering its messages).  TRUE with the full
// path in lpstrFile when the user chose a name; FALSE on cancel
// (CommDlgExtendedError 0) or failure.  A path that does not fit nMaxFile
// gives FNERR_BUFFERTOOSMALL, with the size needed in the first two bytes
// of lpstrFile.  Call on the display thread.
BOOL GetSaveFileName(LPOPENFILENAME lpofn);

// The reason the calling thread's last common dialog call failed; 0 after a
// success or a cancel.
DWORD CommDlgExtendedError();
