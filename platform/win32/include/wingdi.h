// GDI subset: device contexts over the display, bitmaps, brushes, drawing.
#pragma once

#include "windef.h"

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#define BI_RGB 0L
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020

// Bitmaps and images.
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define LR_COPYDELETEORG 0x00000008

// Stock objects and system colours.
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWTEXT 8
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22

HBITMAP LoadBitmap(HINSTANCE hInstance, LPCSTR lpBitmapName);
BOOL DeleteObject(HGDIOBJ ho);
HGDIOBJ GetStockObject(int i);
DWORD GetSysColor(int nIndex);
// Device-independent bitmaps: 32-bit BI_RGB pictures, bottom-up (positive
// biHeight) or top-down, scaled into the destination with smoothing.
int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                  int SrcWidth, int SrcHeight, const VOID* lpBits, const BITMAPINFO* lpbmi,
                  UINT iUsage, DWORD rop);
BOOL GetTextExtentPoint32(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);
