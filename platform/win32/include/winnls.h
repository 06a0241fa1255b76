// Code page conversion.  CP_ACP is UTF-8 here, as is CP_UTF8; WCHAR strings
// hold one code point a character (wchar_t is 32 bits).
#pragma once

#include "windef.h"
#include "winerror.h"

#define CP_ACP 0
#define CP_UTF8 65001

#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

// cbMultiByte / cchWideChar -1: the input ends at its zero, which is
// converted too and counted.  An output size of 0 asks for the size needed.
// Results: the number of characters written (or needed), 0 on failure with
// ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER or
// ERROR_NO_UNICODE_TRANSLATION.  Invalid input becomes U+FFFD unless the
// *_ERR_INVALID_CHARS flag is given.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
