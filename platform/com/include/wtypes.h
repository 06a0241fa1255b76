// Base OLE types: wide strings, BSTR, variant type tags, class contexts.
#pragma once

#include <windef.h>

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
#define OLESTR(str) L##str

// A BSTR points at the first character of a length-prefixed, NUL-terminated
// wide string allocated by SysAllocString; the 32-bit byte count sits just
// before the pointer.
typedef OLECHAR* BSTR;

typedef unsigned short VARTYPE;

enum VARENUM {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_BSTR = 8,
};

// Where CoCreateInstance may look for a class.  Every class here is an
// in-process server.
enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
};
typedef DWORD CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
