// Test filters for the media framework's tests.
#include "testfilters.h"

#include <vfwmsgs.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "com/comclasstable.h"
#include "media/allocator.h"
#include "media/filterregistry.h"
#include "media/mediatype.h"

namespace {

AM_MEDIA_TYPE DvType() {
    AM_MEDIA_TYPE mt = MakeMediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    mt.formattype = FORMAT_DvInfo;
    mt.lSampleSize = kFrameBytes;
    return mt;
}

bool ByReference(IMemAllocator* source, IMediaSample* sample) {
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    auto* alloc = static_cast<MemAllocator*>(source);
    return alloc && alloc->OwnsBuffer(p);
}

}  // namespace

// ---- TestSource --------------------------------------------------------

TestSourcePin::TestSourcePin(TestSource* source)
    : SourceStreamPin(source, L"Capture", PIN_CATEGORY_CAPTURE, true), m_source(source) {}

HRESULT TestSourcePin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    return pmt->majortype == MEDIATYPE_Interleaved && pmt->subtype == MEDIASUBTYPE_dvsd ? S_OK
                                                                                        : S_FALSE;
}

HRESULT TestSourcePin::GetMediaType(int n, AM_MEDIA_TYPE* pmt) {
    if (n != 0) return S_FALSE;
    *pmt = DvType();
    return S_OK;
}

STDMETHODIMP TestSourcePin::GetNumDropped(long* p) {
    *p = 0;
    return S_OK;
}
STDMETHODIMP TestSourcePin::GetNumNotDropped(long* p) {
    *p = m_source->Produced();
    return S_OK;
}

void* TestSourcePin::GetPinInterface(REFIID riid) {
    if (riid == IID_IAMDroppedFrames) return static_cast<IAMDroppedFrames*>(this);
    return SourceStreamPin::GetPinInterface(riid);
}

HRESULT TestSourcePin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) {
    ALLOCATOR_PROPERTIES req{static_cast<LONG>(m_source->m_buffers),
                             static_cast<LONG>(m_source->m_frameBytes), 1, 0},
        actual{};
    return alloc->SetProperties(&req, &actual);
}

HRESULT TestSourcePin::FillBuffer(IMediaSample* sample) {
    const long n = m_source->m_produced.load();
    if (m_source->m_mode == TestSource::Mode::Paced && !WaitForStreamTime(n * kFrameTime))
        return S_FALSE;
    if (m_source->m_mode == TestSource::Mode::Stepped) {
        std::unique_lock<std::mutex> lock(m_source->m_stepLock);
        while (m_source->m_permits == 0) {
            if (Stopping()) return S_FALSE;
            m_source->m_stepCv.wait_for(lock, std::chrono::milliseconds(5));
        }
        --m_source->m_permits;
    }
    return m_source->Fill(sample);
}

TestSource::TestSource(Mode mode, long frameBytes, long buffers)
    : BaseFilter(CLSID_TestSource),
      m_mode(mode),
      m_frameBytes(frameBytes),
      m_buffers(buffers),
      m_pin(this) {}

void TestSource::Step(int n) {
    {
        std::lock_guard<std::mutex> lock(m_stepLock);
        m_permits += n;
    }
    m_stepCv.notify_all();
}

HRESULT TestSource::Fill(IMediaSample* sample) {
    if (m_fail.exchange(false)) return E_FAIL;
    const long n = m_produced.load();
    if (m_limit && n >= m_limit) return S_FALSE;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::memcpy(p, &n, sizeof n);  // the frame number, so sinks can check order
    sample->SetActualDataLength(m_frameBytes);
    REFERENCE_TIME t0 = n * kFrameTime, t1 = t0 + kFrameTime;
    sample->SetTime(&t0, &t1);
    sample->SetSyncPoint(TRUE);
    m_produced.store(n + 1);
    return S_OK;
}

// ---- CountingInput ------------------------------------------------------

CountingInput::CountingInput(BaseFilter* filter, LPCWSTR name, GUID major, GUID sub,
                             Counter* counter, std::function<HRESULT(IMediaSample*)> onSample)
    : BaseInputPin(filter, name),
      m_major(major),
      m_sub(sub),
      m_counter(counter),
      m_onSample(std::move(onSample)) {}

HRESULT CountingInput::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    if (m_major != GUID_NULL && pmt->majortype != m_major) return S_FALSE;
    if (m_sub != GUID_NULL && pmt->subtype != m_sub) return S_FALSE;
    return S_OK;
}

HRESULT CountingInput::GetMediaType(int, AM_MEDIA_TYPE*) { return S_FALSE; }

HRESULT CountingInput::OnReceive(IMediaSample* sample) {
    long n = -1;
    BYTE* p = nullptr;
    if (SUCCEEDED(sample->GetPointer(&p)) &&
        sample->GetActualDataLength() >= static_cast<long>(sizeof n))
        std::memcpy(&n, p, sizeof n);
    m_counter->lastFrame = n;
    m_counter->frames++;
    return m_onSample ? m_onSample(sample) : S_OK;
}

HRESULT CountingInput::OnEndOfStream() {
    m_counter->endOfStream++;
    return S_OK;
}

// ---- NullRenderer -------------------------------------------------------

NullRenderer::NullRenderer(const CLSID& clsid, GUID major, GUID sub, int delayMs)
    : BaseFilter(clsid),
      m_delayMs(delayMs),
      m_input(this, L"In", major, sub, &counter, [this](IMediaSample* s) {
          if (Source && ByReference(Source, s)) counter.byReference++;
          if (m_delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
          return S_OK;
      }) {}

void* NullRenderer::GetInterface(REFIID riid) {
    if (riid == IID_IVideoWindow) return static_cast<IVideoWindow*>(this);
    return nullptr;
}

STDMETHODIMP NullRenderer::put_WindowStyle(long v) {
    style = v;
    return S_OK;
}
STDMETHODIMP NullRenderer::get_WindowStyle(long* v) {
    *v = style;
    return S_OK;
}
STDMETHODIMP NullRenderer::put_Visible(long v) {
    visible = v;
    return S_OK;
}
STDMETHODIMP NullRenderer::put_Owner(OAHWND v) {
    owner = v;
    return S_OK;
}
STDMETHODIMP NullRenderer::put_MessageDrain(OAHWND) { return S_OK; }
STDMETHODIMP NullRenderer::SetWindowPosition(long, long, long w, long) {
    width = w;
    return S_OK;
}

// ---- PassThrough --------------------------------------------------------

class PassThrough::OutPin final : public BaseOutputPin {
public:
    OutPin(PassThrough* f, LPCWSTR name, Out type) : BaseOutputPin(f, name), m_type(type) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        return pmt->majortype == m_type.major && pmt->subtype == m_type.sub ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override {
        if (n != 0) return S_FALSE;
        *pmt = MakeMediaType(m_type.major, m_type.sub);
        return S_OK;
    }

private:
    Out m_type;
};

PassThrough::PassThrough(const CLSID& clsid, GUID inMajor, GUID inSub, std::vector<Out> outs)
    : BaseFilter(clsid), m_input(this, L"Input", inMajor, inSub, &counter, [this](IMediaSample* s) {
          for (auto* out : m_outs)
              if (out->IsConnected()) out->Deliver(s);
          return S_OK;
      }) {
    int i = 0;
    for (auto& o : outs) {
        std::wstring name = L"Output " + std::to_wstring(++i);
        m_outs.push_back(new OutPin(this, name.c_str(), o));
    }
}

PassThrough::~PassThrough() {
    for (auto* out : m_outs) delete out;
}

int PassThrough::GetPinCount() { return 1 + static_cast<int>(m_outs.size()); }
BasePin* PassThrough::GetPin(int n) {
    if (n == 0) return &m_input;
    if (n > 0 && n <= static_cast<int>(m_outs.size())) return m_outs[n - 1];
    return nullptr;
}

// ---- GrowingSink --------------------------------------------------------

class GrowingSink::In final : public BaseInputPin {
public:
    In(GrowingSink* sink, LPCWSTR name, Counter* counter)
        : BaseInputPin(sink, name), m_sink(sink), m_counter(counter) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }

protected:
    HRESULT CompleteConnect(IPin*) override {
        m_sink->Grow();
        return S_OK;
    }
    HRESULT OnReceive(IMediaSample* s) override {
        m_counter->frames++;
        m_sink->total.frames++;
        if (m_sink->Source && ByReference(m_sink->Source, s)) m_sink->total.byReference++;
        return S_OK;
    }

private:
    GrowingSink* m_sink;
    Counter* m_counter;
};

class GrowingSink::OutPin final : public BaseOutputPin {
public:
    explicit OutPin(GrowingSink* s) : BaseOutputPin(s, L"AVI Out") {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        return pmt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override {
        if (n != 0) return S_FALSE;
        *pmt = MakeMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_Avi);
        return S_OK;
    }
};

GrowingSink::GrowingSink(const CLSID& clsid) : BaseFilter(clsid), m_out(new OutPin(this)) {
    Grow();
}

GrowingSink::~GrowingSink() {
    for (auto* in : m_inputs) delete in;
    delete m_out;
}

void GrowingSink::Grow() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_counters.push_back(std::make_unique<Counter>());
    std::wstring name = L"Input " + std::to_wstring(m_inputs.size() + 1);
    m_inputs.push_back(new In(this, name.c_str(), m_counters.back().get()));
}

int GrowingSink::GetPinCount() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return static_cast<int>(m_inputs.size()) + 1;
}
BasePin* GrowingSink::GetPin(int n) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (n >= 0 && n < static_cast<int>(m_inputs.size())) return m_inputs[n];
    if (n == static_cast<int>(m_inputs.size())) return m_out;
    return nullptr;
}

long GrowingSink::Frames(size_t n) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return n < m_counters.size() ? m_counters[n]->frames.load() : -1;
}
size_t GrowingSink::InputCount() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_inputs.size();
}

STDMETHODIMP GrowingSink::SetOutputCompatibilityIndex(BOOL f) {
    compatIndex = f;
    return S_OK;
}
STDMETHODIMP GrowingSink::put_Mode(InterleavingMode m) {
    interleave = m;
    return S_OK;
}
void* GrowingSink::GetInterface(REFIID riid) {
    if (riid == IID_IConfigAviMux) return static_cast<IConfigAviMux*>(this);
    if (riid == IID_IConfigInterleaving) return static_cast<IConfigInterleaving*>(this);
    return nullptr;
}

// ---- TestFileSink -------------------------------------------------------

TestFileSink::TestFileSink()
    : BaseFilter(CLSID_FileWriter), m_input(this, L"in", MEDIATYPE_Stream, GUID_NULL, &counter) {}

STDMETHODIMP TestFileSink::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) {
    if (!name) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    m_name = name;
    return S_OK;
}
std::wstring TestFileSink::FileName() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_name;
}
void* TestFileSink::GetInterface(REFIID riid) {
    if (riid == IID_IFileSinkFilter) return static_cast<IFileSinkFilter*>(this);
    return nullptr;
}

// ---- StandIns -----------------------------------------------------------

std::atomic<NullRenderer*> StandIns::lastRenderer{nullptr};
std::atomic<GrowingSink*> StandIns::lastMux{nullptr};
std::atomic<TestFileSink*> StandIns::lastWriter{nullptr};
std::atomic<int> StandIns::renderDelayMs{0};

namespace {

template <class T>
HRESULT Hand(T* obj, REFIID riid, void** ppv) {
    HRESULT hr = obj->QueryInterface(riid, ppv);
    obj->Release();
    return hr;
}

}  // namespace

void StandIns::Register() {
    ComRegisterClass(CLSID_DVSplitter, [](IUnknown*, REFIID riid, void** ppv) {
        return Hand(new PassThrough(CLSID_DVSplitter, MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd,
                                    {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd},
                                     {MEDIATYPE_Audio, MEDIASUBTYPE_PCM},
                                     {MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}),
                    riid, ppv);
    });
    ComRegisterClass(CLSID_DVVidDec, [](IUnknown*, REFIID riid, void** ppv) {
        return Hand(new PassThrough(CLSID_DVVidDec, MEDIATYPE_Video, MEDIASUBTYPE_dvsd,
                                    {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}),
                    riid, ppv);
    });
    ComRegisterClass(CLSID_VideoRenderer, [](IUnknown*, REFIID riid, void** ppv) {
        auto* r = new NullRenderer(CLSID_VideoRenderer, MEDIATYPE_Video, MEDIASUBTYPE_RGB32,
                                   renderDelayMs);
        lastRenderer = r;
        return Hand(r, riid, ppv);
    });
    ComRegisterClass(CLSID_AviDest, [](IUnknown*, REFIID riid, void** ppv) {
        auto* m = new GrowingSink(CLSID_AviDest);
        lastMux = m;
        return Hand(m, riid, ppv);
    });
    ComRegisterClass(CLSID_FileWriter, [](IUnknown*, REFIID riid, void** ppv) {
        auto* w = new TestFileSink();
        lastWriter = w;
        return Hand(w, riid, ppv);
    });
    MediaRegisterFilter({CLSID_DVSplitter,
                         L"DV Splitter",
                         MERIT_NORMAL,
                         {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}},
                         false});
    MediaRegisterFilter({CLSID_DVVidDec,
                         L"DV Video Decoder",
                         MERIT_PREFERRED,
                         {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}},
                         false});
    MediaRegisterFilter({CLSID_VideoRenderer,
                         L"Video Renderer",
                         MERIT_PREFERRED,
                         {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}},
                         true});
    MediaRegisterFilter({CLSID_AviDest, L"AVI Mux", MERIT_DO_NOT_USE, {}, false});
    MediaRegisterFilter({CLSID_FileWriter, L"File Writer", MERIT_DO_NOT_USE, {}, false});
}

void StandIns::Unregister() {
    for (const CLSID* c : {&CLSID_DVSplitter, &CLSID_DVVidDec, &CLSID_VideoRenderer, &CLSID_AviDest,
                           &CLSID_FileWriter}) {
        ComUnregisterClass(*c);
        MediaUnregisterFilter(*c);
    }
}

// ---- helpers ------------------------------------------------------------

std::vector<std::wstring> FilterNames(IFilterGraph* graph) {
    std::vector<std::wstring> names;
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.ReleaseAndGetAddressOf());
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(info.achName);
        f->Release();
    }
    return names;
}
