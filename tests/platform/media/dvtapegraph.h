// Test filters for the DV filters' tests: the in-memory tape source
// (tapesource.h) and a sink that keeps what reaches it.
#pragma once

#include <dshow.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "dv/difpacks.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/mediatype.h"
#include "mediatest.h"
#include "testsupport/dvtools.h"
#include "testsupport/pins.h"
#include "testsupport/tapesource.h"

DEFINE_GUID(CLSID_TestCollector, 0x1e0f5d10, 0x0012, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x12);

// A sink with one input of a major type (and subtype, unless GUID_NULL)
// that keeps the bytes of every sample.
class Collector final : public BaseFilter {
public:
    Collector(GUID major, GUID sub) : BaseFilter(CLSID_TestCollector), m_pin(this, major, sub) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    const AM_MEDIA_TYPE& Type() const { return m_pin.MediaType(); }
    std::vector<uint8_t> Bytes() {
        std::lock_guard<std::mutex> lock(m_lock2);
        return m_bytes;
    }
    std::vector<long> Sizes() {
        std::lock_guard<std::mutex> lock(m_lock2);
        return m_sizes;
    }
    // Called for every sample, on the streaming thread.
    std::function<void(IMediaSample*)> onSample;
    std::atomic<bool> ended{false};
    std::atomic<long> samples{0};

private:
    class In final : public BaseInputPin {
    public:
        In(Collector* c, GUID major, GUID sub)
            : BaseInputPin(c, L"In"), m_c(c), m_major(major), m_sub(sub) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
            return pmt->majortype == m_major && (m_sub == GUID_NULL || pmt->subtype == m_sub)
                       ? S_OK
                       : VFW_E_TYPE_NOT_ACCEPTED;
        }

    protected:
        HRESULT OnReceive(IMediaSample* s) override {
            BYTE* p = nullptr;
            s->GetPointer(&p);
            const long n = s->GetActualDataLength();
            {
                std::lock_guard<std::mutex> lock(m_c->m_lock2);
                m_c->m_bytes.insert(m_c->m_bytes.end(), p, p + n);
                m_c->m_sizes.push_back(n);
            }
            if (m_c->onSample) m_c->onSample(s);
            ++m_c->samples;
            return S_OK;
        }
        HRESULT OnEndOfStream() override {
            m_c->ended = true;
            return S_OK;
        }

    private:
        Collector* m_c;
        GUID m_major, m_sub;
    };
    In m_pin;
    std::mutex m_lock2;
    std::vector<uint8_t> m_bytes;
    std::vector<long> m_sizes;
};

// Runs the graph until every collector has seen the end of the stream.
inline bool RunToEnd(IGraphBuilder* graph, const std::vector<Collector*>& sinks) {
    ComPtr<IMediaControl> control;
    graph->QueryInterface(IID_IMediaControl,
                          reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()));
    if (!control || FAILED(control->Run())) return false;
    bool ok = WaitFor([&] {
        for (auto* s : sinks)
            if (!s->ended) return false;
        return true;
    });
    control->Stop();
    return ok;
}

inline ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(f.ReleaseAndGetAddressOf()));
    return f;
}

inline std::vector<int16_t> ToPcm(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}
