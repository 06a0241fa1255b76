// A moniker that binds through a function and keeps its name in a
// property bag.
#include <utility>

#include "com/commoniker.h"
#include "com/comobject.h"

namespace {

class CMemoryMoniker final : public ComObject<IMoniker> {
public:
    CMemoryMoniker(ComPtr<IPropertyBag> bag, MonikerBindFunction bind)
        : m_bag(std::move(bag)), m_bind(std::move(bind)) {}

    STDMETHODIMP BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                              void** ppvResult) override {
        if (!ppvResult) return E_POINTER;
        *ppvResult = nullptr;
        HRESULT hr = m_bind ? m_bind(riidResult, ppvResult) : MK_E_NOOBJECT;
        if (FAILED(hr)) *ppvResult = nullptr;
        return hr;
    }

    STDMETHODIMP BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                               void** ppvObj) override {
        if (!ppvObj) return E_POINTER;
        *ppvObj = nullptr;
        if (!IsEqualGUID(riid, IID_IPropertyBag)) return E_NOINTERFACE;
        return m_bag.CopyTo(reinterpret_cast<IPropertyBag**>(ppvObj));
    }

private:
    const ComPtr<IPropertyBag> m_bag;
    const MonikerBindFunction m_bind;
};

}  // namespace

HRESULT CreateMemoryMoniker(LPCOLESTR pszFriendlyName, MonikerBindFunction bind, IMoniker** ppmk) {
    if (!ppmk) return E_POINTER;
    *ppmk = nullptr;
    if (!pszFriendlyName) return E_INVALIDARG;
    ComPtr<IPropertyBag> bag;
    HRESULT hr = CreateMemoryPropertyBag(bag.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(pszFriendlyName);
    if (!name.bstrVal) return E_OUTOFMEMORY;
    hr = bag->Write(L"FriendlyName", &name);
    VariantClear(&name);
    if (FAILED(hr)) return hr;
    *ppmk = new CMemoryMoniker(std::move(bag), std::move(bind));
    return S_OK;
}
