// The in-process class table behind CoCreateInstance.  Components register
// their classes here (normally from a static ComClassRegistration object in
// the component's own file); CoCreateInstance looks the CLSID up and calls
// the creation function.  Platform-internal: the program never calls this.
#pragma once

#include "unknwn.h"

// Creates an object of the class and returns the interface riid in *ppv.
// pUnkOuter is the aggregating outer object (unsupported classes return
// CLASS_E_NOAGGREGATION when it is not null).
typedef HRESULT (*LPFNCREATEINSTANCE)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// Adds (or replaces) the class.  Safe to call from static initialisers.
void ComRegisterClass(REFCLSID rclsid, LPFNCREATEINSTANCE pfnCreate);

// Removes the class; CoCreateInstance then answers REGDB_E_CLASSNOTREG.
void ComUnregisterClass(REFCLSID rclsid);

struct ComClassRegistration {
    ComClassRegistration(REFCLSID rclsid, LPFNCREATEINSTANCE pfnCreate) {
        ComRegisterClass(rclsid, pfnCreate);
    }
};
