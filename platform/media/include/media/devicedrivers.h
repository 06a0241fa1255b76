// Device drivers for the system device enumerator.  A driver registers a
// function per device category that lists the devices present right now,
// one moniker each (see commoniker.h: the moniker's property bag holds
// "FriendlyName", binding it creates the device's filter and fails once
// the device is gone).  CreateClassEnumerator asks every driver of the
// category, in order of registration.
#pragma once

#include <objbase.h>

#include <vector>

#include "com/comptr.h"

// Appends the monikers of the devices present now.
typedef HRESULT (*LPFNLISTDEVICES)(std::vector<ComPtr<IMoniker>>* pMonikers);

void MediaRegisterDeviceDriver(REFCLSID category, LPFNLISTDEVICES pfnList);
void MediaUnregisterDeviceDriver(REFCLSID category, LPFNLISTDEVICES pfnList);

struct MediaDeviceDriverRegistration {
    MediaDeviceDriverRegistration(REFCLSID category, LPFNLISTDEVICES pfnList) {
        MediaRegisterDeviceDriver(category, pfnList);
    }
};
