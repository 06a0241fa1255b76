// The DV Splitter on arbitrary frames: one graph per tape format (PAL and
// NTSC, 48 kHz stereo and 32 kHz four-channel), source -> splitter -> a
// sink on every output, held paused; each input is one sample given to the
// splitter's input as a device's streaming thread gives it.  The sinks
// check what comes out: video is the input sample itself, audio whole
// stereo samples within the buffer.
#include <combaseapi.h>
#include <control.h>
#include <dshow.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "com/comptr.h"
#include "fuzz_frames.h"
#include "media/allocator.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "testsupport/pins.h"
#include "testsupport/tapesource.h"

namespace {

DEFINE_GUID(CLSID_FuzzSink, 0x1e0f5d10, 0x0f00, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0xf0);

IMediaSample* g_current = nullptr;  // the sample being received

class Sink final : public BaseFilter {
public:
    Sink() : BaseFilter(CLSID_FuzzSink), m_pin(this) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

private:
    class In final : public BaseInputPin {
    public:
        explicit In(Sink* sink) : BaseInputPin(sink, L"In") {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }

    protected:
        HRESULT OnReceive(IMediaSample* s) override {
            const long n = s->GetActualDataLength();
            if (n < 0 || n > s->GetSize()) std::abort();
            if (MediaType().majortype == MEDIATYPE_Video) {
                if (s != g_current) std::abort();  // video passes by reference
            } else if (n % 4 != 0) {
                std::abort();  // stereo 16-bit samples only
            }
            return S_OK;
        }
    };
    In m_pin;
};

struct SplitGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> splitter;
    ComPtr<IMemInputPin> input;
};

std::vector<SplitGraph> g_graphs;
ComPtr<IMemAllocator> g_alloc;

bool Build(const std::vector<uint8_t>& frame, SplitGraph& g) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(g.graph.ReleaseAndGetAddressOf()))))
        return false;
    if (FAILED(CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(g.splitter.ReleaseAndGetAddressOf()))))
        return false;
    auto source = ComPtr<IBaseFilter>::Adopt(new TapeSource(frame));
    if (FAILED(g.graph->AddFilter(source.Get(), L"Tape")) ||
        FAILED(g.graph->AddFilter(g.splitter.Get(), L"DV Splitter")) ||
        FAILED(g.graph->ConnectDirect(NthPin(source.Get(), PINDIR_OUTPUT, 0).Get(),
                                      NthPin(g.splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr)))
        return false;
    for (int i = 0;; ++i) {
        ComPtr<IPin> out = NthPin(g.splitter.Get(), PINDIR_OUTPUT, i);
        if (!out) break;
        auto sink = ComPtr<IBaseFilter>::Adopt(new Sink);
        const std::wstring name = L"Sink" + std::to_wstring(i);
        if (FAILED(g.graph->AddFilter(sink.Get(), name.c_str())) ||
            FAILED(g.graph->ConnectDirect(out.Get(), NthPin(sink.Get(), PINDIR_INPUT, 0).Get(),
                                          nullptr)))
            return false;
    }
    ComPtr<IMediaControl> control;
    if (FAILED(g.graph->QueryInterface(
            IID_IMediaControl, reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()))) ||
        FAILED(control->Pause()))
        return false;
    return SUCCEEDED(NthPin(g.splitter.Get(), PINDIR_INPUT, 0)
                         ->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(
                                                                g.input.ReleaseAndGetAddressOf())));
}

constexpr long kBufferBytes = 2 * dv::kMaxFrameSize;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitialize(nullptr);
    if (!fuzzframes::Init()) std::abort();
    g_graphs.resize(fuzzframes::BaseCount());
    for (size_t i = 0; i < g_graphs.size(); ++i)
        if (!Build(fuzzframes::Base(i), g_graphs[i])) std::abort();
    ALLOCATOR_PROPERTIES want{1, kBufferBytes, 1, 0}, actual{};
    if (FAILED(MemAllocator::Create(g_alloc.ReleaseAndGetAddressOf())) ||
        FAILED(g_alloc->SetProperties(&want, &actual)) || FAILED(g_alloc->Commit()))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes = fuzzframes::Frame(data, size);
    SplitGraph& g = g_graphs[(size ? data[0] : 0) % g_graphs.size()];
    IMediaSample* sample = nullptr;
    if (FAILED(g_alloc->GetBuffer(&sample, nullptr, nullptr, 0))) std::abort();
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    const long n = static_cast<long>(std::min<size_t>(bytes.size(), kBufferBytes));
    if (n > 0) std::memcpy(p, bytes.data(), static_cast<size_t>(n));
    sample->SetActualDataLength(n);
    REFERENCE_TIME t0 = 0, t1 = 400000;
    if (size & 1) sample->SetTime(&t0, &t1);
    g_current = sample;
    g.input->Receive(sample);
    g_current = nullptr;
    sample->Release();
    return 0;
}
