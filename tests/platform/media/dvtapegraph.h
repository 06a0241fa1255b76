// Test filters for the DV filters' tests: a source that plays a DV tape
// (whole frames in memory) as a device would, interleaved DV with the
// tape's DVINFO, and a sink that keeps what reaches it.
#pragma once

#include <dshow.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "../dv/dvtestutil.h"
#include "difpacks.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/mediatype.h"
#include "media/sourcestream.h"
#include "mediatest.h"

DEFINE_GUID(CLSID_TestTapeSource, 0x1e0f5d10, 0x0011, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x11);
DEFINE_GUID(CLSID_TestCollector, 0x1e0f5d10, 0x0012, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x12);

class TapeSource;

class TapeSourcePin final : public SourceStreamPin {
public:
    explicit TapeSourcePin(TapeSource* source);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        return pmt->majortype == MEDIATYPE_Interleaved ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override {
        ALLOCATOR_PROPERTIES want{4, static_cast<LONG>(dv::kMaxFrameSize), 1, 0}, actual{};
        return alloc->SetProperties(&want, &actual);
    }
    HRESULT FillBuffer(IMediaSample* sample) override;
    void OnThreadStart() override;  // each run plays the tape from its start

private:
    TapeSource* m_source;
};

// Plays `tape` once, unpaced, then ends the stream.  With `withDvInfo` the
// output type carries the DVINFO of the first frame.
class TapeSource final : public BaseFilter {
public:
    TapeSource(std::vector<uint8_t> tape, bool withDvInfo = true)
        : BaseFilter(CLSID_TestTapeSource), m_pin(this), m_tape(std::move(tape)) {
        dv::FrameView view;
        if (dv::ViewFrame(m_tape.data(), m_tape.size(), view)) {
            m_standard = view.standard;
            m_frameSize = dv::FrameSize(view.standard);
            dv::DvInfoPacks packs;
            dv::ReadDvInfoPacks(view, packs);
            m_info.dwDVAAuxSrc = dv::PackDword(packs.aauxSrc);
            m_info.dwDVAAuxCtl = dv::PackDword(packs.aauxCtl);
            m_info.dwDVAAuxSrc1 = dv::PackDword(packs.aauxSrc1);
            m_info.dwDVAAuxCtl1 = dv::PackDword(packs.aauxCtl1);
            m_info.dwDVVAuxSrc = dv::PackDword(packs.vauxSrc);
            m_info.dwDVVAuxCtl = dv::PackDword(packs.vauxCtl);
        }
        m_withDvInfo = withDvInfo;
    }
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    size_t Frames() const { return m_frameSize ? m_tape.size() / m_frameSize : 0; }
    size_t FrameSize() const { return m_frameSize; }
    const uint8_t* Frame(size_t i) const { return m_tape.data() + i * m_frameSize; }
    bool Filled(const BYTE* p) {
        std::lock_guard<std::mutex> lock(m_bufLock);
        return m_buffers.count(p) != 0;
    }
    // Frames from `first` on fail to fill (a device error).
    std::atomic<long> failAt{-1};

private:
    friend class TapeSourcePin;
    TapeSourcePin m_pin;
    std::vector<uint8_t> m_tape;
    dv::Standard m_standard = dv::Standard::PAL;
    size_t m_frameSize = 0;
    DVINFO m_info{};
    bool m_withDvInfo = true;
    size_t m_next = 0;  // streaming thread
    std::mutex m_bufLock;
    std::set<const BYTE*> m_buffers;
};

inline TapeSourcePin::TapeSourcePin(TapeSource* source)
    : SourceStreamPin(source, L"DV A/V Out", PIN_CATEGORY_CAPTURE), m_source(source) {}

inline HRESULT TapeSourcePin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (n != 0) return S_FALSE;
    *pmt = MakeMediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    if (!m_source->m_withDvInfo) return S_OK;
    pmt->formattype = FORMAT_DvInfo;
    pmt->cbFormat = sizeof(DVINFO);
    pmt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(DVINFO)));
    std::memcpy(pmt->pbFormat, &m_source->m_info, sizeof(DVINFO));
    return S_OK;
}

inline void TapeSourcePin::OnThreadStart() { m_source->m_next = 0; }

inline HRESULT TapeSourcePin::FillBuffer(IMediaSample* sample) {
    TapeSource& s = *m_source;
    if (s.m_next >= s.Frames()) return S_FALSE;
    if (s.failAt >= 0 && static_cast<long>(s.m_next) >= s.failAt) return E_FAIL;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::memcpy(p, s.Frame(s.m_next), s.m_frameSize);
    {
        std::lock_guard<std::mutex> lock(s.m_bufLock);
        s.m_buffers.insert(p);
    }
    sample->SetActualDataLength(static_cast<long>(s.m_frameSize));
    const REFERENCE_TIME frame = s.m_standard == dv::Standard::PAL ? 400000 : 333667;
    REFERENCE_TIME t0 = static_cast<REFERENCE_TIME>(s.m_next) * frame, t1 = t0 + frame;
    sample->SetTime(&t0, &t1);
    ++s.m_next;
    return S_OK;
}

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
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()));
    if (!control || FAILED(control->Run())) return false;
    bool ok = WaitFor([&] {
        for (auto* s : sinks)
            if (!s->ended) return false;
        return true;
    });
    control->Stop();
    return ok;
}

inline ComPtr<IPin> NthPin(IBaseFilter* filter, PIN_DIRECTION dir, int index) {
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.ReleaseAndGetAddressOf());
    IPin* p = nullptr;
    int i = 0;
    while (e->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && i++ == index) return pin;
    }
    return nullptr;
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
