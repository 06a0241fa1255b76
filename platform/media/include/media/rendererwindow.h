// Platform-internal: the window of a video renderer, for the platform's own
// tools and tests (the program reaches the window only through
// IVideoWindow).
#pragma once

#include "iids.h"

DEFINE_GUID(IID_IMediaRendererWindow, 0x8c2f4e61, 0x3b7a, 0x4d19, 0xa5, 0x0e, 0x71, 0xd3, 0x2c,
            0x96, 0x4b, 0x18);

interface IMediaRendererWindow : public IUnknown {
    // The renderer's window now, or NULL (S_FALSE) while it has none: the
    // window exists while the renderer has an owner, and is made on the
    // owner's thread, so it may appear some time after put_Owner.
    STDMETHOD(GetWindowHandle)(HWND* phwnd) PURE;
};
COM_DECLARE_IID(IMediaRendererWindow);
