// Monikers and moniker enumerators.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

DEFINE_GUID(IID_IBindCtx, 0x0000000E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);

// Bind context: callers here always bind without one.
interface IBindCtx;
typedef IBindCtx* LPBC;

// Names an object that can be created on demand.  BindToObject creates (or
// finds) the object and returns its interface riidResult; BindToStorage
// opens the object's storage, such as its property bag.
interface IMoniker : public IUnknown {
    STDMETHOD(BindToObject)
    (IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) PURE;
    STDMETHOD(BindToStorage)(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) PURE;

protected:
    ~IMoniker() = default;
};
typedef IMoniker* LPMONIKER;

// Hands out monikers in order.  Next returns S_OK when it fetched all celt
// monikers and S_FALSE when the sequence ended first.
interface IEnumMoniker : public IUnknown {
    STDMETHOD(Next)(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) PURE;
    STDMETHOD(Skip)(ULONG celt) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMoniker** ppenum) PURE;

protected:
    ~IEnumMoniker() = default;
};
typedef IEnumMoniker* LPENUMMONIKER;
