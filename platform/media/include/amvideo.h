// Video format description (FORMAT_VideoInfo).
#pragma once

#include <wingdi.h>

#include "strmif.h"

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

DEFINE_GUID(IID_IQualProp, 0x1bd0ecb0, 0xf8e2, 0x11ce, 0xaa, 0xc6, 0x00, 0x20, 0xaf, 0x0b, 0x99,
            0xa3);

// The video renderer's performance counts since the filter last left the
// stopped state.
interface IQualProp : public IUnknown {
    STDMETHOD(get_FramesDroppedInRenderer)(int* pcFrames) PURE;
    STDMETHOD(get_FramesDrawn)(int* pcFramesDrawn) PURE;
};
