// VARIANT and the property bag interface.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

// A tagged value.  vt names the member of the union in use; VT_BSTR values
// own their string, which VariantClear frees.
typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
    };
} VARIANT;
typedef VARIANT* LPVARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANTARG;

// Receives errors from IPropertyBag::Read; callers here always pass none.
interface IErrorLog;

DEFINE_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8,
            0x51);

// Named values of an object, such as a device's "FriendlyName".  Read takes
// the wanted type in pVar->vt (VT_EMPTY: the stored type) and overwrites
// *pVar without freeing what it held; the caller frees the result with
// VariantClear.
interface IPropertyBag : public IUnknown {
    STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) PURE;
    STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) PURE;

protected:
    ~IPropertyBag() = default;
};
typedef IPropertyBag* LPPROPERTYBAG;
