// A moniker enumerator over a fixed list.
#include <memory>
#include <mutex>
#include <utility>

#include "com/commoniker.h"
#include "com/comobject.h"

namespace {

using MonikerList = std::vector<ComPtr<IMoniker>>;

class CEnumMoniker final : public ComObject<IEnumMoniker> {
public:
    CEnumMoniker(std::shared_ptr<const MonikerList> list, size_t pos)
        : m_list(std::move(list)), m_pos(pos) {}

    STDMETHODIMP Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override {
        if (!rgelt) return E_POINTER;
        // Without a place for the count the caller cannot know how many
        // monikers it got, so only one at a time is allowed.
        if (!pceltFetched && celt != 1) return E_INVALIDARG;
        ULONG fetched = 0;
        {
            std::lock_guard lock(m_mutex);
            while (fetched < celt && m_pos < m_list->size())
                (*m_list)[m_pos++].CopyTo(&rgelt[fetched++]);
        }
        if (pceltFetched) *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG celt) override {
        std::lock_guard lock(m_mutex);
        size_t left = m_list->size() - m_pos;
        if (celt > left) {
            m_pos = m_list->size();
            return S_FALSE;
        }
        m_pos += celt;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        std::lock_guard lock(m_mutex);
        m_pos = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(IEnumMoniker** ppenum) override {
        if (!ppenum) return E_POINTER;
        std::lock_guard lock(m_mutex);
        *ppenum = new CEnumMoniker(m_list, m_pos);
        return S_OK;
    }

private:
    const std::shared_ptr<const MonikerList> m_list;
    std::mutex m_mutex;
    size_t m_pos;
};

}  // namespace

HRESULT CreateMonikerEnumerator(std::vector<ComPtr<IMoniker>> monikers, IEnumMoniker** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    for (const ComPtr<IMoniker>& mk : monikers)
        if (!mk) return E_INVALIDARG;
    *ppEnum = new CEnumMoniker(std::make_shared<const MonikerList>(std::move(monikers)), 0);
    return S_OK;
}
