// BindMoniker: bind a moniker to its object without a bind context.
#include <objbase.h>

HRESULT BindMoniker(LPMONIKER pmk, DWORD grfOpt, REFIID iidResult, LPVOID* ppvResult) {
    if (!ppvResult) return E_POINTER;
    *ppvResult = nullptr;
    if (!pmk) return E_INVALIDARG;
    HRESULT hr = pmk->BindToObject(nullptr, nullptr, iidResult, ppvResult);
    if (FAILED(hr)) *ppvResult = nullptr;
    return hr;
}
