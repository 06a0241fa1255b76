// Frames through source -> smart tee -> two null sinks (capture and
// preview branch), as fast as the graph takes them.  Prints frames per
// second and the copies of frame data made per frame: a frame counts as
// copied when a sink receives it in a buffer that is not one of the
// source's own.
//
//   media_smarttee_bench [frames] [frame bytes]
#include <dshow.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "com/comclasstable.h"
#include "media/allocator.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/sourcestream.h"

namespace {

DEFINE_GUID(CLSID_BenchFilter, 0x7b3e51a0, 0x0b1e, 0x4c11, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0b,
            0xe0);

class Source;

class SourcePin final : public SourceStreamPin {
public:
    SourcePin(BaseFilter* f, long frames, long bytes)
        : SourceStreamPin(f, L"Capture", PIN_CATEGORY_CAPTURE, true),
          m_frames(frames),
          m_bytes(bytes) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        return pmt->majortype == MEDIATYPE_Interleaved ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override {
        if (n) return S_FALSE;
        *pmt = AM_MEDIA_TYPE{};
        pmt->majortype = MEDIATYPE_Interleaved;
        pmt->subtype = MEDIASUBTYPE_dvsd;
        pmt->formattype = FORMAT_DvInfo;
        return S_OK;
    }
    std::atomic<long> produced{0};

protected:
    HRESULT DecideBufferSize(IMemAllocator* a, ALLOCATOR_PROPERTIES*) override {
        ALLOCATOR_PROPERTIES req{8, static_cast<LONG>(m_bytes), 16, 0}, act{};
        return a->SetProperties(&req, &act);
    }
    HRESULT FillBuffer(IMediaSample* s) override {
        long n = produced.load();
        if (n >= m_frames) return S_FALSE;
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memcpy(p, &n, sizeof n);  // a device writes the frame; here only its number
        s->SetActualDataLength(m_bytes);
        REFERENCE_TIME t0 = n * 400000LL, t1 = t0 + 400000;
        s->SetTime(&t0, &t1);
        produced.store(n + 1);
        return S_OK;
    }

private:
    long m_frames, m_bytes;
};

class Source final : public BaseFilter {
public:
    Source(long frames, long bytes) : BaseFilter(CLSID_BenchFilter), pin(this, frames, bytes) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &pin : nullptr; }
    SourcePin pin;
};

class Sink;

class SinkPin final : public BaseInputPin {
public:
    SinkPin(BaseFilter* f, Sink* s) : BaseInputPin(f, L"In"), m_sink(s) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }

protected:
    HRESULT OnReceive(IMediaSample* s) override;
    HRESULT OnEndOfStream() override;

private:
    Sink* m_sink;
};

class Sink final : public BaseFilter {
public:
    Sink() : BaseFilter(CLSID_BenchFilter), pin(this, this) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &pin : nullptr; }
    SinkPin pin;
    MemAllocator* source = nullptr;
    std::atomic<long> frames{0}, copies{0};
    std::atomic<bool> ended{false};
};

HRESULT SinkPin::OnReceive(IMediaSample* s) {
    BYTE* p = nullptr;
    s->GetPointer(&p);
    if (!m_sink->source->OwnsBuffer(p)) m_sink->copies++;
    m_sink->frames++;
    return S_OK;
}
HRESULT SinkPin::OnEndOfStream() {
    m_sink->ended = true;
    return S_OK;
}

ComPtr<IPin> FindPin(IBaseFilter* f, const wchar_t* name) {
    ComPtr<IPin> pin;
    f->FindPin(name, pin.ReleaseAndGetAddressOf());
    return pin;
}

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 100000;
    const long bytes = argc > 2 ? std::atol(argv[2]) : 144000;
    CoInitialize(nullptr);
    {
        ComPtr<IGraphBuilder> graph;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf()));
        ComPtr<IBaseFilter> tee;
        CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                         reinterpret_cast<void**>(tee.ReleaseAndGetAddressOf()));
        auto* src = new Source(frames, bytes);
        auto* capture = new Sink();
        auto* preview = new Sink();
        auto holdSrc = ComPtr<IBaseFilter>::Adopt(src);
        auto holdCap = ComPtr<IBaseFilter>::Adopt(capture);
        auto holdPrev = ComPtr<IBaseFilter>::Adopt(preview);
        graph->AddFilter(src, L"Source");
        graph->AddFilter(tee.Get(), L"Smart Tee");
        graph->AddFilter(capture, L"Capture Sink");
        graph->AddFilter(preview, L"Preview Sink");
        if (FAILED(graph->ConnectDirect(&src->pin, FindPin(tee.Get(), L"Input").Get(), nullptr)) ||
            FAILED(graph->ConnectDirect(FindPin(tee.Get(), L"Capture").Get(), &capture->pin,
                                        nullptr)) ||
            FAILED(graph->ConnectDirect(FindPin(tee.Get(), L"Preview").Get(), &preview->pin,
                                        nullptr))) {
            std::fprintf(stderr, "cannot build the graph\n");
            return 1;
        }
        capture->source = preview->source = static_cast<MemAllocator*>(src->pin.Allocator());
        ComPtr<IMediaControl> control;
        graph->QueryInterface(IID_IMediaControl,
                              reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()));
        auto t0 = std::chrono::steady_clock::now();
        control->Run();
        while (!capture->ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
        auto t1 = std::chrono::steady_clock::now();
        control->Stop();
        const double secs = std::chrono::duration<double>(t1 - t0).count();
        const long delivered = capture->frames + preview->frames;
        std::printf("source -> smart tee -> 2 null sinks, %ld frames of %ld bytes\n", frames,
                    bytes);
        std::printf("  capture branch: %ld frames, preview branch: %ld frames (newest only)\n",
                    capture->frames.load(), preview->frames.load());
        std::printf("  %.0f frames/s (%.2f s)\n", capture->frames / secs, secs);
        std::printf("  copies of frame data per frame: %.3f\n",
                    delivered
                        ? static_cast<double>(capture->copies + preview->copies) / capture->frames
                        : 0.0);
    }
    CoUninitialize();
    return 0;
}
