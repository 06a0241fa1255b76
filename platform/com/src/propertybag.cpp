// An in-memory property bag: named VT_EMPTY, VT_I4 and VT_BSTR values,
// readable and writable from any thread.
#include <map>
#include <mutex>
#include <string>

#include "com/commoniker.h"
#include "com/comobject.h"

namespace {

struct StoredValue {
    VARTYPE vt = VT_EMPTY;
    LONG lVal = 0;
    std::wstring str;
};

class CMemoryPropertyBag final : public ComObject<IPropertyBag> {
public:
    STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override {
        if (!pVar) return E_POINTER;
        if (!pszPropName) return E_INVALIDARG;
        StoredValue value;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_values.find(pszPropName);
            if (it == m_values.end()) return E_INVALIDARG;
            value = it->second;
        }
        if (pVar->vt != VT_EMPTY && pVar->vt != value.vt) return DISP_E_TYPEMISMATCH;
        // *pVar is overwritten, not cleared: on entry it only names the
        // wanted type.
        switch (value.vt) {
            case VT_I4:
                pVar->lVal = value.lVal;
                break;
            case VT_BSTR:
                pVar->bstrVal =
                    SysAllocStringLen(value.str.data(), static_cast<UINT>(value.str.size()));
                if (!pVar->bstrVal) return E_OUTOFMEMORY;
                break;
            default:
                break;
        }
        pVar->vt = value.vt;
        return S_OK;
    }

    STDMETHODIMP Write(LPCOLESTR pszPropName, VARIANT* pVar) override {
        if (!pVar) return E_POINTER;
        if (!pszPropName) return E_INVALIDARG;
        StoredValue value;
        value.vt = pVar->vt;
        switch (pVar->vt) {
            case VT_EMPTY:
                break;
            case VT_I4:
                value.lVal = pVar->lVal;
                break;
            case VT_BSTR:
                // A NULL BSTR is the empty string.
                if (pVar->bstrVal) value.str.assign(pVar->bstrVal, SysStringLen(pVar->bstrVal));
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
        std::lock_guard lock(m_mutex);
        m_values[pszPropName] = std::move(value);
        return S_OK;
    }

private:
    std::mutex m_mutex;
    std::map<std::wstring, StoredValue, std::less<>> m_values;
};

}  // namespace

HRESULT CreateMemoryPropertyBag(IPropertyBag** ppBag) {
    if (!ppBag) return E_POINTER;
    *ppBag = new CMemoryPropertyBag;
    return S_OK;
}
