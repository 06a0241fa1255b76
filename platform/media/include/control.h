// Application-level interfaces of the filter graph: running it, its event
// queue and the video window of its renderer.
#pragma once

#include "strmif.h"

typedef LONG_PTR OAHWND;
typedef LONG_PTR OAEVENT;
typedef long OAFILTER_STATE;

#define OATRUE (-1)
#define OAFALSE (0)

DEFINE_GUID(IID_IMediaControl, 0x56a868b1, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
DEFINE_GUID(IID_IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
DEFINE_GUID(IID_IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
DEFINE_GUID(IID_IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);

interface IMediaControl : public IUnknown {
    STDMETHOD(Run)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Stop)() PURE;
    STDMETHOD(GetState)(LONG msTimeout, OAFILTER_STATE* pfs) PURE;
};

interface IMediaEvent : public IUnknown {
    STDMETHOD(GetEvent)
    (long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) PURE;
    STDMETHOD(FreeEventParams)(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) PURE;
};

interface IMediaEventEx : public IMediaEvent {
    STDMETHOD(SetNotifyWindow)(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) PURE;
};

interface IVideoWindow : public IUnknown {
    STDMETHOD(put_WindowStyle)(long WindowStyle) PURE;
    STDMETHOD(get_WindowStyle)(long* WindowStyle) PURE;
    STDMETHOD(put_Visible)(long Visible) PURE;
    STDMETHOD(put_Owner)(OAHWND Owner) PURE;
    STDMETHOD(put_MessageDrain)(OAHWND Drain) PURE;
    STDMETHOD(SetWindowPosition)(long Left, long Top, long Width, long Height) PURE;
};
