// AM_MEDIA_TYPE helpers.
#include "media/mediatype.h"

#include <objbase.h>

#include <cstring>

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
    if (!dst || !src) return E_POINTER;
    *dst = *src;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src->cbFormat && src->pbFormat) {
        HRESULT hr = SetMediaTypeFormat(*dst, src->pbFormat, src->cbFormat);
        if (FAILED(hr)) {
            // dst holds no reference it would release later.
            dst->pUnk = nullptr;
            return hr;
        }
    }
    if (dst->pUnk) dst->pUnk->AddRef();
    return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    if (mt.pUnk) mt.pUnk->Release();
    mt.pUnk = nullptr;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
    auto* p = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!p) return nullptr;
    if (FAILED(CopyMediaType(p, src))) {
        CoTaskMemFree(p);
        return nullptr;
    }
    return p;
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) {
    if (!pmt) return;
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE& partial) {
    if (partial.majortype != GUID_NULL && partial.majortype != mt.majortype) return false;
    if (partial.subtype != GUID_NULL && partial.subtype != mt.subtype) return false;
    if (partial.formattype != GUID_NULL && partial.formattype != mt.formattype) return false;
    return true;
}

HRESULT SetMediaTypeFormat(AM_MEDIA_TYPE& mt, const void* format, ULONG size) {
    BYTE* block = size ? static_cast<BYTE*>(CoTaskMemAlloc(size)) : nullptr;
    if (size && !block) {
        if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
        mt.pbFormat = nullptr;
        mt.cbFormat = 0;
        return E_OUTOFMEMORY;
    }
    if (size) std::memcpy(block, format, size);
    if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.pbFormat = block;
    mt.cbFormat = size;
    return S_OK;
}

AM_MEDIA_TYPE MakeMediaType(REFGUID majortype, REFGUID subtype) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = majortype;
    mt.subtype = subtype;
    mt.bFixedSizeSamples = TRUE;
    return mt;
}
