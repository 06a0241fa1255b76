// Apartments, object creation and the task allocator.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

// Enters a single-threaded apartment on the calling thread: S_OK the first
// time, S_FALSE when the thread is already in one.  Every successful call
// is balanced by one CoUninitialize.  pvReserved must be NULL.
HRESULT CoInitialize(LPVOID pvReserved);
// Leaves the apartment once the calls are balanced; harmless on a thread
// that never entered one.
void CoUninitialize();

// Creates an object of a registered in-process class.  The calling thread
// must have initialised COM (CO_E_NOTINITIALIZED otherwise); an unknown
// class, or a context without CLSCTX_INPROC_SERVER, gives
// REGDB_E_CLASSNOTREG.  *ppv is NULL on every failure.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Memory handed across interfaces (media type format blocks and the like):
// whoever receives it frees it with CoTaskMemFree.
LPVOID CoTaskMemAlloc(SIZE_T cb);
void CoTaskMemFree(LPVOID pv);
