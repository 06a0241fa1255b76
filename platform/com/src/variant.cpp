// VARIANT initialisation and clean-up.
#include <objbase.h>

void VariantInit(VARIANTARG* pvarg) {
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    switch (pvarg->vt) {
        case VT_EMPTY:
        case VT_I4:
            break;
        case VT_BSTR:
            SysFreeString(pvarg->bstrVal);
            pvarg->bstrVal = nullptr;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}
