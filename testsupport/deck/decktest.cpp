// Helpers of the virtual deck's tests.
#include "testsupport/decktest.h"

#include <uuids.h>

#include <cstring>
#include <fstream>

#include "dv/dif.h"
#include "dv/dvtesttape.h"

namespace decktest {

SinkPin::SinkPin(SinkFilter* filter) : BaseInputPin(filter, L"In"), m_sink(filter) {}

HRESULT SinkPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
    return pmt->majortype == MEDIATYPE_Interleaved && pmt->subtype == MEDIASUBTYPE_dvsd ? S_OK
                                                                                        : S_FALSE;
}

HRESULT SinkPin::OnReceive(IMediaSample* sample) { return m_sink->Take(sample); }

HRESULT SinkFilter::Take(IMediaSample* sample) {
    Seen seen{-1, -1, false};
    LONGLONG m = 0, mEnd = 0;
    if (sample->GetMediaTime(&m, &mEnd) == S_OK) seen.frame = m;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const size_t size = static_cast<size_t>(sample->GetActualDataLength());
    dv::FrameView view;
    if (dv::ViewFrame(data, size, view)) {
        if (auto tc = dv::ReadTimecode(view)) seen.timecode = dv::FrameIndexOf(*tc, view.standard);
    }
    seen.intact = dv::CheckFrame(data, size).ok();
    seen.size = size;
    std::unique_lock<std::mutex> lock(m_lock);
    m_frames.push_back(seen);
    m_arrivals.push_back(std::chrono::steady_clock::now());
    m_cv.wait(lock, [this] { return !m_stalled || IsStopped(); });
    return S_OK;
}

void Configure(const std::string& decks, const std::string& pacing, const std::string& control) {
    auto set = [](const char* name, const std::string& v) {
        if (v.empty())
            unsetenv(name);
        else
            setenv(name, v.c_str(), 1);
    };
    set("TAPELOOM_DECKS", decks);
    set("TAPELOOM_DECK_PACING", pacing);
    set("TAPELOOM_DECK_CONTROL", control);
    VirtualDeckReload();
}

std::vector<ComPtr<IMoniker>> ListDevices() {
    std::vector<ComPtr<IMoniker>> out;
    ComPtr<ICreateDevEnum> devenum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum,
                                reinterpret_cast<void**>(devenum.ReleaseAndGetAddressOf()))))
        return out;
    ComPtr<IEnumMoniker> e;
    if (devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.ReleaseAndGetAddressOf(),
                                       0) != S_OK)
        return out;
    IMoniker* m = nullptr;
    ULONG fetched = 0;
    while (e->Next(1, &m, &fetched) == S_OK && fetched == 1)
        out.push_back(ComPtr<IMoniker>::Adopt(m));
    return out;
}

std::wstring FriendlyName(IMoniker* moniker) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf()))))
        return L"";
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    std::wstring name;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) name = v.bstrVal;
    VariantClear(&v);
    return name;
}

ComPtr<IBaseFilter> BindDeck(const std::wstring& name) {
    for (auto& m : ListDevices()) {
        if (FriendlyName(m.Get()) != name) continue;
        ComPtr<IBaseFilter> filter;
        BindMoniker(m.Get(), 0, IID_IBaseFilter,
                    reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
        return filter;
    }
    return nullptr;
}

bool TestGraph::Build(IBaseFilter* deckFilter) {
    deck = ComPtr<IBaseFilter>(deckFilter);
    EXPECT_EQ(S_OK,
              CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())));
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     reinterpret_cast<void**>(tee.ReleaseAndGetAddressOf())));
    if (!graph || !tee || !deck) return false;
    capture = ComPtr<SinkFilter>::Adopt(new SinkFilter);
    preview = ComPtr<SinkFilter>::Adopt(new SinkFilter);
    EXPECT_EQ(S_OK, graph->AddFilter(deck.Get(), L"Tapeloom Device"));
    EXPECT_EQ(S_OK, graph->AddFilter(tee.Get(), L"Smart Tee"));
    EXPECT_EQ(S_OK, graph->AddFilter(capture.Get(), L"Capture Sink"));
    EXPECT_EQ(S_OK, graph->AddFilter(preview.Get(), L"Preview Sink"));
    HRESULT hr1 = graph->ConnectDirect(NthPin(deck.Get(), PINDIR_OUTPUT).Get(),
                                       NthPin(tee.Get(), PINDIR_INPUT).Get(), nullptr);
    HRESULT hr2 = graph->ConnectDirect(NthPin(tee.Get(), PINDIR_OUTPUT, 0).Get(),
                                       NthPin(capture.Get(), PINDIR_INPUT).Get(), nullptr);
    HRESULT hr3 = graph->ConnectDirect(NthPin(tee.Get(), PINDIR_OUTPUT, 1).Get(),
                                       NthPin(preview.Get(), PINDIR_INPUT).Get(), nullptr);
    EXPECT_EQ(S_OK, hr1);
    EXPECT_EQ(S_OK, hr2);
    EXPECT_EQ(S_OK, hr3);
    graph.As(&control);
    graph.As(&events);
    return hr1 == S_OK && hr2 == S_OK && hr3 == S_OK && control && events;
}

ComPtr<IAMExtTransport> TestGraph::Transport() {
    ComPtr<IAMExtTransport> t;
    deck.As(&t);
    return t;
}

ComPtr<IAMDroppedFrames> TestGraph::Dropped() {
    ComPtr<IAMDroppedFrames> d;
    NthPin(deck.Get(), PINDIR_OUTPUT).As(&d);
    return d;
}

long TestGraph::Mode() {
    long mode = -1;
    EXPECT_EQ(S_OK, Transport()->get_Mode(&mode));
    return mode;
}

int64_t TestGraph::Timecode() {
    ComPtr<IAMTimecodeReader> reader;
    deck.As(&reader);
    if (!reader) return -2;
    TIMECODE_SAMPLE s{};
    s.dwFlags = 0x1019;
    if (reader->GetTimecode(&s) != S_OK) return -1;
    const DWORD d = s.timecode.dwFrames;
    auto digit = [d](int i) { return static_cast<int>((d >> (28 - 4 * i)) & 0xF); };
    dv::Timecode tc;
    tc.hours = digit(0) * 10 + digit(1);
    tc.minutes = digit(2) * 10 + digit(3);
    tc.seconds = digit(4) * 10 + digit(5);
    tc.frames = digit(6) * 10 + digit(7);
    dv::Standard standard = dv::Standard::PAL;
    long signal = 0;
    if (Transport()->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &signal, nullptr) ==
            S_OK &&
        signal < ED_TRANSBASIC_SIGNAL_625_50_SD)
        standard = dv::Standard::NTSC;
    return dv::FrameIndexOf(tc, standard);
}

std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> TestGraph::TakeEvents() {
    std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> out;
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        out.emplace_back(code, p1, p2);
        events->FreeEventParams(code, p1, p2);
    }
    return out;
}

bool WaitFor(const std::function<bool()>& cond, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void DeckTest::SetUp() { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }

void DeckTest::TearDown() {
    Configure("");
    CoUninitialize();
}

std::string WriteTapeFile(const std::string& dir, dv::Standard standard, int frames,
                          const std::function<void(int, uint8_t*)>& change) {
    // The first frames of the cached test tape.
    const size_t size = dv::FrameSize(standard);
    std::vector<uint8_t> data(size * static_cast<size_t>(frames));
    std::ifstream in(dv::TestTapePath(standard), std::ios::binary);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    EXPECT_TRUE(in.good());
    if (change)
        for (int i = 0; i < frames; ++i) change(i, data.data() + i * size);
    const std::string path = dir + (standard == dv::Standard::PAL ? "/pal.dv" : "/ntsc.dv");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return path;
}

}  // namespace decktest
