// The media type of a DV device's capture pin, shared by the device
// drivers: interleaved DV (MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd) with a
// DVINFO format block.
#pragma once

#include <dshow.h>

#include <cstddef>

#include "dv/dif.h"

namespace dvdeck {

// S_OK for interleaved dvsd with a DVINFO format or none, else S_FALSE.
HRESULT CheckDvMediaType(const AM_MEDIA_TYPE* pmt);
// The DVINFO packs of a frame: the AAUX source and control packs of both
// halves of the sequences and the VAUX source and control packs.
DVINFO DvInfoOf(const dv::FrameView& view);
// Fills *pmt (the format block allocated with CoTaskMemAlloc).
HRESULT MakeDvMediaType(size_t frameSize, const DVINFO& info, AM_MEDIA_TYPE* pmt);

}  // namespace dvdeck
