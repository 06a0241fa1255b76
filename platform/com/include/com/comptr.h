// Platform-internal helpers for code that implements or uses COM objects
// inside platform/ (not for the program, which handles references itself).
//
// ComIid<I>::value is the IID of interface I, declared once per interface
// with COM_DECLARE_IID(I) next to the interface (it names IID_I).
//
// ComPtr<T> owns one reference:
//   ComPtr<IMoniker> p(raw);          // takes its own reference (AddRef)
//   ComPtr<IMoniker> q = ComPtr<IMoniker>::Adopt(raw);  // takes over raw's
//   obj->Make(p.ReleaseAndGetAddressOf());              // out parameter
//   ComPtr<IPropertyBag> bag; p.As(&bag);               // QueryInterface
//   *ppv = p.Detach();                                  // hand the reference on
#pragma once

#include <cstddef>
#include <utility>

#include "objbase.h"

template <class I>
struct ComIid;

#define COM_DECLARE_IID(I)                           \
    template <>                                      \
    struct ComIid<I> {                               \
        static constexpr const IID& value = IID_##I; \
    }

COM_DECLARE_IID(IUnknown);
COM_DECLARE_IID(IMoniker);
COM_DECLARE_IID(IEnumMoniker);
COM_DECLARE_IID(IPropertyBag);

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    // Takes over a reference the caller already holds (no AddRef).
    static ComPtr Adopt(T* p) {
        ComPtr r;
        r.m_p = p;
        return r;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Releases the held reference and returns the slot for an out parameter.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &m_p;
    }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    // New reference into *pp (for returning through an out parameter).
    HRESULT CopyTo(T** pp) const {
        if (!pp) return E_POINTER;
        *pp = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }

    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!out) return E_POINTER;
        if (!m_p) {
            out->Reset();
            return E_POINTER;
        }
        return m_p->QueryInterface(ComIid<U>::value,
                                   reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }

private:
    T* m_p = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
    return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) {
    return a.Get() == nullptr;
}
