// Capture graph builder (CLSID_CaptureGraphBuilder2).
//
// Builds capture graphs on a filter graph: the file-writing end
// (SetOutputFileName), streams from a source to a sink or to the default
// renderers (RenderStream, inserting a smart tee when a preview is asked
// of a pin that only captures), stream control by pin category
// (ControlStream) and interface search around a filter (FindInterface).
// Filters it creates are added under their own names.
//
// Threads: none of its own; calls run on the caller's thread and hold the
// graph's lock through the graph's methods.
#include <vfwmsgs.h>

#include <set>
#include <string>

#include "com/comclasstable.h"
#include "com/comobject.h"
#include "media/filterregistry.h"
#include "media/iids.h"
#include "pinsearch.h"
#include "uuids.h"

namespace {

HRESULT CreateFilter(REFCLSID clsid, ComPtr<IBaseFilter>* filter) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            reinterpret_cast<void**>(filter->ReleaseAndGetAddressOf()));
}

std::wstring FilterName(REFCLSID clsid, const wchar_t* fallback) {
    std::wstring name;
    return MediaFilterName(clsid, &name) ? name : std::wstring(fallback);
}

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2> {
public:
    STDMETHODIMP SetFiltergraph(IGraphBuilder* pfg) override {
        if (!pfg) return E_POINTER;
        if (m_graph) return E_UNEXPECTED;
        m_graph = ComPtr<IGraphBuilder>(pfg);
        return S_OK;
    }

    STDMETHODIMP GetFiltergraph(IGraphBuilder** ppfg) override {
        if (!ppfg) return E_POINTER;
        if (!m_graph) {
            *ppfg = nullptr;
            return E_UNEXPECTED;
        }
        return m_graph.CopyTo(ppfg);
    }

    STDMETHODIMP SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                   IFileSinkFilter** ppSink) override {
        if (ppf) *ppf = nullptr;
        if (ppSink) *ppSink = nullptr;
        if (!pType || !lpstrFile) return E_POINTER;
        if (*pType != MEDIASUBTYPE_Avi) return E_INVALIDARG;
        if (!m_graph) return E_UNEXPECTED;

        ComPtr<IBaseFilter> mux, writer;
        ComPtr<IFileSinkFilter> sink;
        HRESULT hr = CreateFilter(CLSID_AviDest, &mux);
        if (SUCCEEDED(hr)) hr = CreateFilter(CLSID_FileWriter, &writer);
        if (SUCCEEDED(hr)) hr = writer.As(&sink);
        if (FAILED(hr)) return hr;
        hr = sink->SetFileName(lpstrFile, nullptr);
        if (FAILED(hr)) return hr;

        hr = m_graph->AddFilter(mux.Get(), FilterName(CLSID_AviDest, L"AVI Mux").c_str());
        if (FAILED(hr)) return hr;
        hr = m_graph->AddFilter(writer.Get(), FilterName(CLSID_FileWriter, L"File Writer").c_str());
        if (FAILED(hr)) {
            m_graph->RemoveFilter(mux.Get());
            return hr;
        }
        ComPtr<IPin> out = FindFilterPin(mux.Get(), PINDIR_OUTPUT, nullptr, nullptr, true);
        ComPtr<IPin> in = FindFilterPin(writer.Get(), PINDIR_INPUT, nullptr, nullptr, true);
        hr = out && in ? m_graph->ConnectDirect(out.Get(), in.Get(), nullptr) : VFW_E_NOT_FOUND;
        if (FAILED(hr)) {
            m_graph->RemoveFilter(writer.Get());
            m_graph->RemoveFilter(mux.Get());
            return hr;
        }
        if (ppf) *ppf = mux.Detach();
        if (ppSink) *ppSink = sink.Detach();
        return S_OK;
    }

    STDMETHODIMP FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf,
                               REFIID riid, void** ppint) override {
        if (!ppint) return E_POINTER;
        *ppint = nullptr;
        if (!pf) return E_POINTER;
        if (pCategory) {
            ComPtr<IPin> pin = FindFilterPin(pf, PINDIR_OUTPUT, pCategory, pType, false);
            if (pin && SUCCEEDED(pin->QueryInterface(riid, ppint))) return S_OK;
        }
        if (SUCCEEDED(pf->QueryInterface(riid, ppint))) return S_OK;
        std::set<IBaseFilter*> seen;
        return FindDownstream(pf, riid, ppint, &seen) ? S_OK : E_NOINTERFACE;
    }

    STDMETHODIMP RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                              IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) override {
        if (!pSource) return E_POINTER;
        if (!m_graph) return E_UNEXPECTED;
        HRESULT success = S_OK;
        ComPtr<IPin> out;
        ComPtr<IPin> sourcePin;
        ComPtr<IBaseFilter> source;
        if (SUCCEEDED(pSource->QueryInterface(
                IID_IPin, reinterpret_cast<void**>(sourcePin.ReleaseAndGetAddressOf())))) {
            if (DirectionOf(sourcePin.Get()) != PINDIR_OUTPUT || PeerOf(sourcePin.Get()))
                return E_INVALIDARG;
            out = sourcePin;
        } else if (SUCCEEDED(pSource->QueryInterface(
                       IID_IBaseFilter,
                       reinterpret_cast<void**>(source.ReleaseAndGetAddressOf())))) {
            HRESULT hr = SourcePin(pCategory, pType, source.Get(), &out, &success);
            if (FAILED(hr)) return hr;
        } else {
            return E_NOINTERFACE;
        }

        if (pfCompressor) {
            ComPtr<IPin> in = FindFilterPin(pfCompressor, PINDIR_INPUT, nullptr, nullptr, true);
            if (!in) return E_FAIL;
            HRESULT hr = m_graph->Connect(out.Get(), in.Get());
            if (SUCCEEDED(hr))
                out = FindFilterPin(pfCompressor, PINDIR_OUTPUT, nullptr, nullptr, true);
            if (FAILED(hr) || !out) {
                UndoSmartTee();
                return FAILED(hr) ? hr : E_FAIL;
            }
        }

        if (!pfRenderer) {
            HRESULT hr = m_graph->Render(out.Get());
            if (FAILED(hr)) {
                UndoSmartTee();
                return hr;
            }
            m_insertedTee.Reset();
            return hr == S_OK ? success : hr;
        }
        // A sink that grows inputs offers a fresh one after each connection.
        HRESULT hr = E_FAIL;
        for (auto& in : FilterPins(pfRenderer)) {
            if (DirectionOf(in.Get()) != PINDIR_INPUT || PeerOf(in.Get())) continue;
            hr = m_graph->Connect(out.Get(), in.Get());
            if (SUCCEEDED(hr)) {
                m_insertedTee.Reset();
                return success;
            }
        }
        UndoSmartTee();
        return hr;
    }

    STDMETHODIMP ControlStream(const GUID* pCategory, const GUID* pType, IBaseFilter* pFilter,
                               REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, WORD wStartCookie,
                               WORD wStopCookie) override {
        if (!m_graph) return E_UNEXPECTED;
        std::vector<ComPtr<IBaseFilter>> filters;
        if (pFilter) {
            filters.emplace_back(pFilter);
        } else {
            ComPtr<IEnumFilters> e;
            if (FAILED(m_graph->EnumFilters(e.ReleaseAndGetAddressOf()))) return E_FAIL;
            IBaseFilter* f = nullptr;
            while (e->Next(1, &f, nullptr) == S_OK)
                filters.push_back(ComPtr<IBaseFilter>::Adopt(f));
        }
        // The pins of the category; a pin that feeds a smart tee is
        // controlled at the tee's output of the same category, so that
        // gating the capture stream leaves the preview running.
        std::vector<ComPtr<IPin>> pins;
        for (auto& filter : filters) {
            for (auto& pin : FilterPins(filter.Get())) {
                if (DirectionOf(pin.Get()) != PINDIR_OUTPUT ||
                    !PinMatches(pin.Get(), pCategory, pType))
                    continue;
                ComPtr<IPin> target = pin;
                if (ComPtr<IPin> peer = PeerOf(pin.Get())) {
                    ComPtr<IBaseFilter> down = OwnerOf(peer.Get());
                    if (down && IsSmartTee(down.Get())) {
                        target = FindFilterPin(down.Get(), PINDIR_OUTPUT,
                                               pCategory ? pCategory : &PIN_CATEGORY_CAPTURE,
                                               nullptr, false);
                        if (!target) continue;
                    }
                }
                bool dup = false;
                for (auto& p : pins) dup = dup || p.Get() == target.Get();
                if (!dup) pins.push_back(target);
            }
        }
        REFERENCE_TIME start = pstart ? *pstart : 0;
        REFERENCE_TIME stop = pstop ? *pstop : MAXLONGLONG;
        int controlled = 0;
        for (auto& pin : pins) {
            ComPtr<IAMStreamControl> control;
            if (FAILED(pin->QueryInterface(
                    IID_IAMStreamControl,
                    reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()))))
                continue;
            control->StartAt(&start, wStartCookie);
            control->StopAt(&stop, FALSE, wStopCookie);
            ++controlled;
        }
        return controlled ? S_OK : E_FAIL;
    }

private:
    // The output pin RenderStream starts from.
    HRESULT SourcePin(const GUID* pCategory, const GUID* pType, IBaseFilter* source,
                      ComPtr<IPin>* out, HRESULT* success) {
        if (pCategory &&
            (*pCategory == PIN_CATEGORY_PREVIEW || *pCategory == PIN_CATEGORY_CAPTURE)) {
            *out = FindFilterPin(source, PINDIR_OUTPUT, pCategory, pType, true);
            if (*out) return S_OK;
            ComPtr<IPin> capture =
                FindFilterPin(source, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, pType, false);
            if (!capture) return E_FAIL;
            ComPtr<IPin> peer = PeerOf(capture.Get());
            ComPtr<IBaseFilter> tee = peer ? OwnerOf(peer.Get()) : nullptr;
            if (tee && IsSmartTee(tee.Get())) {
                *out = FindFilterPin(tee.Get(), PINDIR_OUTPUT, pCategory, nullptr, true);
                if (*pCategory == PIN_CATEGORY_PREVIEW) *success = VFW_S_NOPREVIEWPIN;
                return *out ? S_OK : E_FAIL;
            }
            if (*pCategory == PIN_CATEGORY_CAPTURE) return E_FAIL;  // the capture pin is taken
            // A capture-only pin asked for a preview: split it with a smart tee.
            HRESULT hr = InsertSmartTee(capture.Get(), out);
            if (FAILED(hr)) return hr;
            *success = VFW_S_NOPREVIEWPIN;
            return S_OK;
        }
        *out = FindFilterPin(source, PINDIR_OUTPUT, pCategory, pType, true);
        return *out ? S_OK : E_FAIL;
    }

    // Puts a smart tee behind the capture pin (keeping what it fed on the
    // tee's capture output) and returns the tee's preview pin.
    HRESULT InsertSmartTee(IPin* capture, ComPtr<IPin>* preview) {
        ComPtr<IBaseFilter> tee;
        HRESULT hr = CreateFilter(CLSID_SmartTee, &tee);
        if (FAILED(hr)) return hr;
        hr = m_graph->AddFilter(tee.Get(), FilterName(CLSID_SmartTee, L"Smart Tee").c_str());
        if (FAILED(hr)) return hr;
        ComPtr<IPin> teeIn = FindFilterPin(tee.Get(), PINDIR_INPUT, nullptr, nullptr, true);
        ComPtr<IPin> teeCapture =
            FindFilterPin(tee.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, true);
        *preview = FindFilterPin(tee.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, true);
        if (!teeIn || !teeCapture || !*preview) {
            m_graph->RemoveFilter(tee.Get());
            return E_FAIL;
        }
        ComPtr<IPin> oldPeer = PeerOf(capture);
        if (oldPeer) {
            hr = m_graph->Disconnect(capture);
            if (SUCCEEDED(hr)) hr = m_graph->Disconnect(oldPeer.Get());
            if (FAILED(hr)) {
                m_graph->RemoveFilter(tee.Get());
                return hr;
            }
        }
        hr = m_graph->ConnectDirect(capture, teeIn.Get(), nullptr);
        if (SUCCEEDED(hr) && oldPeer)
            hr = m_graph->ConnectDirect(teeCapture.Get(), oldPeer.Get(), nullptr);
        if (FAILED(hr)) {
            m_graph->RemoveFilter(tee.Get());
            if (oldPeer) m_graph->ConnectDirect(capture, oldPeer.Get(), nullptr);
            return hr;
        }
        m_insertedTee = tee;
        m_teeSource = ComPtr<IPin>(capture);
        m_teeOldPeer = oldPeer;
        return S_OK;
    }

    // A stream that could not be rendered takes out the tee inserted for
    // it and restores the capture connection it split.
    void UndoSmartTee() {
        if (!m_insertedTee) return;
        m_graph->RemoveFilter(m_insertedTee.Get());
        if (m_teeOldPeer) m_graph->ConnectDirect(m_teeSource.Get(), m_teeOldPeer.Get(), nullptr);
        m_insertedTee.Reset();
        m_teeSource.Reset();
        m_teeOldPeer.Reset();
    }

    bool FindDownstream(IBaseFilter* filter, REFIID riid, void** ppint,
                        std::set<IBaseFilter*>* seen) {
        if (!seen->insert(filter).second) return false;
        for (auto& pin : FilterPins(filter)) {
            if (DirectionOf(pin.Get()) != PINDIR_OUTPUT) continue;
            ComPtr<IPin> peer = PeerOf(pin.Get());
            if (!peer) continue;
            if (SUCCEEDED(peer->QueryInterface(riid, ppint))) return true;
            ComPtr<IBaseFilter> down = OwnerOf(peer.Get());
            if (!down) continue;
            if (SUCCEEDED(down->QueryInterface(riid, ppint))) return true;
            if (FindDownstream(down.Get(), riid, ppint, seen)) return true;
        }
        return false;
    }

    ComPtr<IGraphBuilder> m_graph;
    // The smart tee the current RenderStream call inserted, if any.
    ComPtr<IBaseFilter> m_insertedTee;
    ComPtr<IPin> m_teeSource, m_teeOldPeer;
};

const ComClassRegistration registration(CLSID_CaptureGraphBuilder2,
                                        ComCreateInstance<CaptureGraphBuilder>);

}  // namespace
