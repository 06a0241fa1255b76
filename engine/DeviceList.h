// The supported DV devices: the video input devices that have an external
// tape transport reporting a standard-definition 525/60 or 625/50 DV
// signal, indexed 0 .. count - 1 in the order the system listed them.
// Each entry owns one reference to the device's moniker.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

class CDeviceList {
public:
    explicit CDeviceList(bool bEnumerate = false);
    ~CDeviceList();

    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    // Empties the list and scans again; true when a supported device was
    // found.
    bool Enumerate();
    int GetCount() const;
    int GetLastIndex() const;
    // The device's name ("Unknown Device" when it has none); false when
    // the index is outside the list (text untouched) or the device's
    // property store cannot be opened.
    bool GetFriendlyName(int nIndex, std::string& strName) const;
    // The device's type text and standard (0 NTSC, 1 PAL); pnStandard may
    // be NULL.  False, with "Unknown Device Type", when the signal cannot
    // be read; false with nothing changed when the index is outside.
    bool GetDeviceType(int nIndex, std::string& strType, int* pnStandard = NULL) const;
    // The stored moniker, without a new reference; NULL outside the list.
    IMoniker* GetMoniker(int nIndex) const;
    // Binds the device and asks it for its signal.
    static bool IsSupportedDvDevice(IMoniker* pMoniker);
    void Clear();

private:
    static HRESULT ReadSignal(IMoniker* pMoniker, long* plSignal);

    std::vector<IMoniker*> m_monikers;
};
