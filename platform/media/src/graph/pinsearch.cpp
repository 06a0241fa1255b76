// Pin lookups by category and media type.
#include "pinsearch.h"

#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/mediatype.h"
#include "uuids.h"

std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    if (!filter || FAILED(filter->EnumPins(e.ReleaseAndGetAddressOf()))) return pins;
    IPin* pin = nullptr;
    while (e->Next(1, &pin, nullptr) == S_OK) pins.push_back(ComPtr<IPin>::Adopt(pin));
    return pins;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
    PIN_INFO info{};
    if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
    return ComPtr<IBaseFilter>::Adopt(info.pFilter);
}

ComPtr<IPin> PeerOf(IPin* pin) {
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()))) return nullptr;
    return peer;
}

PIN_DIRECTION DirectionOf(IPin* pin) {
    PIN_DIRECTION dir = PINDIR_INPUT;
    pin->QueryDirection(&dir);
    return dir;
}

bool PinMatches(IPin* pin, const GUID* pCategory, const GUID* pType) {
    if (pCategory) {
        ComPtr<IMediaPinCategory> cat;
        GUID category = GUID_NULL;
        if (FAILED(pin->QueryInterface(IID_IMediaPinCategory,
                                       reinterpret_cast<void**>(cat.ReleaseAndGetAddressOf()))) ||
            cat->GetCategory(&category) != S_OK || category != *pCategory)
            return false;
    }
    if (!pType) return true;
    AM_MEDIA_TYPE mt{};
    if (SUCCEEDED(pin->ConnectionMediaType(&mt))) {
        bool match = mt.majortype == *pType;
        FreeMediaType(mt);
        return match;
    }
    ComPtr<IEnumMediaTypes> e;
    if (FAILED(pin->EnumMediaTypes(e.ReleaseAndGetAddressOf()))) return false;
    AM_MEDIA_TYPE* pmt = nullptr;
    bool match = false;
    while (!match && e->Next(1, &pmt, nullptr) == S_OK) {
        match = pmt->majortype == *pType;
        DeleteMediaType(pmt);
    }
    return match;
}

ComPtr<IPin> FindFilterPin(IBaseFilter* filter, PIN_DIRECTION dir, const GUID* pCategory,
                           const GUID* pType, bool freeOnly) {
    for (auto& pin : FilterPins(filter)) {
        if (DirectionOf(pin.Get()) != dir) continue;
        if (freeOnly && PeerOf(pin.Get())) continue;
        if (PinMatches(pin.Get(), pCategory, pType)) return pin;
    }
    return nullptr;
}

bool IsSmartTee(IBaseFilter* filter) {
    BaseFilter* f = BaseFilter::FromInterface(filter);
    return f && f->ClassId() == CLSID_SmartTee;
}
