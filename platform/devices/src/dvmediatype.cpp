// The capture pins' media type.
#include "dvmediatype.h"

#include <uuids.h>

#include "dv/difpacks.h"
#include "media/mediatype.h"

namespace dvdeck {

HRESULT CheckDvMediaType(const AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    if (pmt->majortype != MEDIATYPE_Interleaved || pmt->subtype != MEDIASUBTYPE_dvsd)
        return S_FALSE;
    if (pmt->formattype != GUID_NULL && pmt->formattype != FORMAT_DvInfo) return S_FALSE;
    return S_OK;
}

DVINFO DvInfoOf(const dv::FrameView& view) {
    dv::DvInfoPacks packs;
    dv::ReadDvInfoPacks(view, packs);
    DVINFO info{};
    info.dwDVAAuxSrc = dv::PackDword(packs.aauxSrc);
    info.dwDVAAuxCtl = dv::PackDword(packs.aauxCtl);
    info.dwDVAAuxSrc1 = dv::PackDword(packs.aauxSrc1);
    info.dwDVAAuxCtl1 = dv::PackDword(packs.aauxCtl1);
    info.dwDVVAuxSrc = dv::PackDword(packs.vauxSrc);
    info.dwDVVAuxCtl = dv::PackDword(packs.vauxCtl);
    return info;
}

HRESULT MakeDvMediaType(size_t frameSize, const DVINFO& info, AM_MEDIA_TYPE* pmt) {
    if (!pmt) return E_POINTER;
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Interleaved;
    mt.subtype = MEDIASUBTYPE_dvsd;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = static_cast<ULONG>(frameSize);
    mt.formattype = FORMAT_DvInfo;
    HRESULT hr = SetMediaTypeFormat(mt, info);
    if (FAILED(hr)) return hr;
    *pmt = mt;
    return S_OK;
}

}  // namespace dvdeck
