// Helpers for AM_MEDIA_TYPE: format blocks live in task memory
// (CoTaskMemAlloc), as whoever receives a media type frees it.
#pragma once

#include "strmif.h"

// Deep copy of src into *dst (dst must not hold a format block).
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// Frees the format block and the pUnk reference; the structure stays.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// A new deep copy in task memory, or NULL when memory runs out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
// Frees a media type that CreateMediaType (or an enumerator) returned.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);

// Whether a media type matches a partial one: GUID_NULL fields of the
// partial type match anything.
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE& partial);

// A media type with only major type and subtype set (no format block).
AM_MEDIA_TYPE MakeMediaType(REFGUID majortype, REFGUID subtype);

// Gives mt a copy of `size` bytes at `format` as its format block (in task
// memory), in place of the one it held.  E_OUTOFMEMORY leaves mt without
// a format block.
HRESULT SetMediaTypeFormat(AM_MEDIA_TYPE& mt, const void* format, ULONG size);
template <class Format>
HRESULT SetMediaTypeFormat(AM_MEDIA_TYPE& mt, const Format& format) {
    return SetMediaTypeFormat(mt, &format, sizeof format);
}
