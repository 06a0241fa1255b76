#include "DeviceList.h"

#include <dshow.h>
#include <edevdefs.h>
#include <oleauto.h>
#include <string.h>
#include <uuids.h>

namespace {

// Longest friendly name kept, in bytes with the terminator.
const int kMaxNameBytes = 260;

// Cuts a UTF-8 string to at most nMax bytes without splitting a character.
void CutUtf8(std::string& str, size_t nMax) {
    if (str.size() <= nMax) return;
    size_t n = nMax;
    while (n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80) --n;
    str.resize(n);
}

}  // namespace

CDeviceList::CDeviceList(bool bEnumerate) {
    if (bEnumerate) Enumerate();
}

CDeviceList::~CDeviceList() { Clear(); }

bool CDeviceList::Enumerate() {
    Clear();
    ICreateDevEnum* pDevEnum = NULL;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, NULL, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void**>(&pDevEnum))) ||
        pDevEnum == NULL)
        return false;
    IEnumMoniker* pClassEnum = NULL;
    pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pClassEnum, 0);
    pDevEnum->Release();
    if (pClassEnum == NULL) return false;

    IMoniker* pMoniker = NULL;
    ULONG cFetched = 0;
    while (pClassEnum->Next(1, &pMoniker, &cFetched) == S_OK && cFetched == 1) {
        if (pMoniker != NULL && IsSupportedDvDevice(pMoniker))
            m_monikers.push_back(pMoniker);
        else if (pMoniker != NULL)
            pMoniker->Release();
        pMoniker = NULL;
    }
    pClassEnum->Release();
    return !m_monikers.empty();
}

int CDeviceList::GetCount() const { return static_cast<int>(m_monikers.size()); }

int CDeviceList::GetLastIndex() const { return GetCount() - 1; }

IMoniker* CDeviceList::GetMoniker(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount()) return NULL;
    return m_monikers[nIndex];
}

HRESULT CDeviceList::ReadSignal(IMoniker* pMoniker, long* plSignal) {
    IAMExtDevice* pDevice = NULL;
    pMoniker->BindToObject(NULL, NULL, IID_IAMExtDevice, reinterpret_cast<void**>(&pDevice));
    if (pDevice == NULL) return E_NOINTERFACE;
    IAMExtTransport* pTransport = NULL;
    pDevice->QueryInterface(IID_IAMExtTransport, reinterpret_cast<void**>(&pTransport));
    HRESULT hr = E_NOINTERFACE;
    if (pTransport != NULL) {
        hr = pTransport->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, plSignal, NULL);
        pTransport->Release();
    }
    pDevice->Release();
    return hr;
}

bool CDeviceList::IsSupportedDvDevice(IMoniker* pMoniker) {
    if (pMoniker == NULL) return false;
    long lSignal = 0;
    if (FAILED(ReadSignal(pMoniker, &lSignal))) return false;
    return lSignal == ED_TRANSBASIC_SIGNAL_525_60_SD ||
           lSignal == ED_TRANSBASIC_SIGNAL_525_60_SDL ||
           lSignal == ED_TRANSBASIC_SIGNAL_625_50_SD || lSignal == ED_TRANSBASIC_SIGNAL_625_50_SDL;
}

bool CDeviceList::GetFriendlyName(int nIndex, std::string& strName) const {
    IMoniker* pMoniker = GetMoniker(nIndex);
    if (pMoniker == NULL) return false;
    IPropertyBag* pBag = NULL;
    pMoniker->BindToStorage(NULL, NULL, IID_IPropertyBag, reinterpret_cast<void**>(&pBag));
    if (pBag == NULL) {
        strName = "Unknown Device";
        return false;
    }
    VARIANT var;
    VariantInit(&var);
    // A read that fails leaves the variant as it was: it must hold no
    // string for VariantClear to free.
    var.vt = VT_BSTR;
    var.bstrVal = NULL;
    if (FAILED(pBag->Read(L"FriendlyName", &var, NULL)) || var.vt != VT_BSTR ||
        var.bstrVal == NULL) {
        strName = "Unknown Device";
    } else {
        int nBytes = WideCharToMultiByte(CP_ACP, 0, var.bstrVal, -1, NULL, 0, NULL, NULL);
        std::string str(nBytes > 0 ? nBytes : 1, '\0');
        if (nBytes > 0)
            WideCharToMultiByte(CP_ACP, 0, var.bstrVal, -1, &str[0], nBytes, NULL, NULL);
        str.resize(strlen(str.c_str()));
        CutUtf8(str, kMaxNameBytes - 1);
        strName = str;
    }
    VariantClear(&var);
    pBag->Release();
    return true;
}

bool CDeviceList::GetDeviceType(int nIndex, std::string& strType, int* pnStandard) const {
    IMoniker* pMoniker = GetMoniker(nIndex);
    if (pMoniker == NULL) return false;
    long lSignal = 0;
    if (FAILED(ReadSignal(pMoniker, &lSignal))) {
        strType = "Unknown Device Type";
        return false;
    }
    const bool bPal =
        lSignal == ED_TRANSBASIC_SIGNAL_625_50_SD || lSignal == ED_TRANSBASIC_SIGNAL_625_50_SDL;
    strType = bPal ? "720 x 576 DV PAL" : "720 x 480 DV NTSC";
    if (pnStandard != NULL) *pnStandard = bPal ? 1 : 0;
    return true;
}

void CDeviceList::Clear() {
    for (IMoniker* pMoniker : m_monikers) pMoniker->Release();
    m_monikers.clear();
}
