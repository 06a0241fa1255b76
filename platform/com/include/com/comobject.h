// Platform-internal base for COM objects implemented inside platform/.
//
//   class CDeck : public ComObject<IAMExtDevice, IAMExtTransport> { ... };
//   ComPtr<CDeck> deck = ComPtr<CDeck>::Adopt(new CDeck(...));  // count 1
//
// ComObject<I...> derives from each listed interface and implements
// IUnknown for all of them: an atomic reference count that starts at 1
// (the creator's reference) and deletes the object when it reaches 0, and a
// QueryInterface that answers IID_IUnknown (through the first interface)
// and each listed interface's IID (ComIid, see comptr.h).  An object that
// answers more IIDs (a base interface's IID, an interface of a member)
// overrides GetInterface and falls back to ComObject::GetInterface.
// Aggregation is not supported.
//
// ComCreateInstance<T> is an LPFNCREATEINSTANCE for the class table
// (comclasstable.h) over a default-constructible ComObject.
#pragma once

#include <atomic>
#include <new>

#include "comptr.h"

template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = GetInterface(riid);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return m_cRef.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n == 0) delete this;
        return n;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // The interface pointer for riid without a new reference, or nullptr.
    virtual void* GetInterface(REFIID riid) {
        if (IsEqualGUID(riid, IID_IUnknown))
            return static_cast<IUnknown*>(static_cast<First*>(this));
        void* p = nullptr;
        auto match = [&]<class I>(I* pItf) {
            if (!p && IsEqualGUID(riid, ComIid<I>::value)) p = pItf;
        };
        match(static_cast<First*>(this));
        (match(static_cast<Rest*>(this)), ...);
        return p;
    }

private:
    std::atomic<ULONG> m_cRef{1};
};

template <class T>
HRESULT ComCreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    T* p = new (std::nothrow) T();
    if (!p) return E_OUTOFMEMORY;
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}
