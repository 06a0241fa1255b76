// Platform-internal building blocks for device enumeration: a moniker over
// a bind function, an in-memory property bag and a moniker enumerator.
//
//   ComPtr<IMoniker> mk;
//   CreateMemoryMoniker(L"Virtual DV Deck",
//                       [deck](REFIID riid, void** ppv) { return deck->Bind(riid, ppv); },
//                       mk.ReleaseAndGetAddressOf());
//   CreateMonikerEnumerator({mk, ...}, ppEnum);
//
// The moniker's BindToObject (and BindMoniker) calls the bind function,
// which creates the device's object and returns the interface asked for,
// or fails, for instance once the device is gone.  BindToStorage with
// IID_IPropertyBag returns the moniker's property bag, which holds
// "FriendlyName" as VT_BSTR; other IIDs give E_NOINTERFACE.  The bind
// function may run on any thread, concurrently with itself.
#pragma once

#include <functional>
#include <vector>

#include "comptr.h"

using MonikerBindFunction = std::function<HRESULT(REFIID riid, void** ppv)>;

// An empty property bag that keeps VT_EMPTY, VT_I4 and VT_BSTR values.  A
// missing name reads as E_INVALIDARG; a stored value of another type than
// the one asked for as DISP_E_TYPEMISMATCH.
HRESULT CreateMemoryPropertyBag(IPropertyBag** ppBag);

HRESULT CreateMemoryMoniker(LPCOLESTR pszFriendlyName, MonikerBindFunction bind, IMoniker** ppmk);

// An enumerator over the monikers, in order; each moniker Next hands out
// carries a new reference.  Clones share the list and copy the position.
HRESULT CreateMonikerEnumerator(std::vector<ComPtr<IMoniker>> monikers, IEnumMoniker** ppEnum);
