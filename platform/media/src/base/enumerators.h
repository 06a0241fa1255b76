// Enumerators over a snapshot of counted interface pointers (pins,
// filters) and of media types, as EnumPins, EnumFilters and EnumMediaTypes
// hand them out.
#pragma once

#include <memory>
#include <vector>

#include "com/comobject.h"
#include "media/iids.h"
#include "media/mediatype.h"

template <class IEnum, class Item>
class SnapshotEnum final : public ComObject<IEnum> {
public:
    using List = std::vector<ComPtr<Item>>;
    explicit SnapshotEnum(std::shared_ptr<const List> items, ULONG pos = 0)
        : m_items(std::move(items)), m_pos(pos) {}

    STDMETHODIMP Next(ULONG c, Item** pp, ULONG* pFetched) override {
        if (!pp) return E_POINTER;
        if (c != 1 && !pFetched) return E_INVALIDARG;
        ULONG n = 0;
        while (n < c && m_pos < m_items->size()) (*m_items)[m_pos++].CopyTo(&pp[n++]);
        if (pFetched) *pFetched = n;
        return n == c ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG c) override {
        ULONG left = static_cast<ULONG>(m_items->size()) - m_pos;
        m_pos += c < left ? c : left;
        return c <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** pp) override {
        if (!pp) return E_POINTER;
        *pp = new SnapshotEnum(m_items, m_pos);
        return S_OK;
    }

private:
    std::shared_ptr<const List> m_items;
    ULONG m_pos;
};

// Media types: each Next hands out a new copy (freed with DeleteMediaType).
class MediaTypeEnum final : public ComObject<IEnumMediaTypes> {
public:
    struct List {
        std::vector<AM_MEDIA_TYPE> types;
        ~List() {
            for (auto& mt : types) FreeMediaType(mt);
        }
    };
    explicit MediaTypeEnum(std::shared_ptr<const List> list, ULONG pos = 0)
        : m_list(std::move(list)), m_pos(pos) {}

    STDMETHODIMP Next(ULONG c, AM_MEDIA_TYPE** pp, ULONG* pFetched) override {
        if (!pp) return E_POINTER;
        if (c != 1 && !pFetched) return E_INVALIDARG;
        ULONG n = 0;
        while (n < c && m_pos < m_list->types.size()) {
            pp[n] = CreateMediaType(&m_list->types[m_pos++]);
            if (!pp[n]) break;
            ++n;
        }
        if (pFetched) *pFetched = n;
        return n == c ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG c) override {
        ULONG left = static_cast<ULONG>(m_list->types.size()) - m_pos;
        m_pos += c < left ? c : left;
        return c <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMediaTypes** pp) override {
        if (!pp) return E_POINTER;
        *pp = new MediaTypeEnum(m_list, m_pos);
        return S_OK;
    }

private:
    std::shared_ptr<const List> m_list;
    ULONG m_pos;
};
