#include "testsupport/pins.h"

ComPtr<IPin> NthPin(IBaseFilter* filter, PIN_DIRECTION dir, int index) {
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.ReleaseAndGetAddressOf()))) return nullptr;
    IPin* p = nullptr;
    int i = 0;
    while (e->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && i++ == index) return pin;
    }
    return nullptr;
}
