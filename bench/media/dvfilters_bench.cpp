// DV filters, side by side in one run:
//  - DV Video Decoder frames per second at full and half resolution
//    (tape -> DV Splitter -> decoder -> null sink), and at half resolution
//    into the Video Renderer, whose window sits in a window of the
//    display (offscreen without one) while the main thread runs its queue;
//  - AVI Mux + File Writer frames per second, Type-1 and Type-2 (tape ->
//    [DV Splitter ->] mux -> writer -> file), against `ffmpeg -c copy` of
//    the same tape into an AVI and `cp` of its bytes (the disk's limit);
//  - copies of frame data between the device's buffers and the disk.
//
//   media_dvfilters_bench [frames] [directory for the files]
#include <dshow.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "amvideo.h"
#include "com/comclasstable.h"
#include "dv/dvtesttape.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "qt/display.h"
#include "testsupport/pins.h"
#include "testsupport/tapesource.h"

namespace {

DEFINE_GUID(CLSID_BenchSink, 0x7b3e51a0, 0x0b1e, 0x4c11, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0b,
            0xe2);

// Counts what reaches it; any type.
class Sink final : public BaseFilter {
public:
    Sink() : BaseFilter(CLSID_BenchSink), m_pin(this) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    std::atomic<bool> ended{false};

private:
    class In final : public BaseInputPin {
    public:
        explicit In(Sink* s) : BaseInputPin(s, L"In"), m_s(s) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
            return pmt->subtype == MEDIASUBTYPE_RGB32 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }

    protected:
        HRESULT OnReceive(IMediaSample*) override { return S_OK; }
        HRESULT OnEndOfStream() override {
            m_s->ended = true;
            return S_OK;
        }

    private:
        Sink* m_s;
    };
    In m_pin;
};

template <class T>
ComPtr<T> Make(REFCLSID clsid, REFIID iid) {
    ComPtr<T> p;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                     reinterpret_cast<void**>(p.ReleaseAndGetAddressOf()));
    return p;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double DecoderFps(const std::vector<uint8_t>& tape, long frames, int resolution) {
    auto graph = Make<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto* tapeFilter = new TapeSource(tape, true, frames);
    auto* sink = new Sink();
    auto splitter = Make<IBaseFilter>(CLSID_DVSplitter, IID_IBaseFilter);
    auto decoder = Make<IBaseFilter>(CLSID_DVVidDec, IID_IBaseFilter);
    graph->AddFilter(tapeFilter, L"Tape");
    graph->AddFilter(splitter.Get(), L"DV Splitter");
    graph->AddFilter(decoder.Get(), L"DV Video Decoder");
    graph->AddFilter(sink, L"Sink");
    graph->ConnectDirect(NthPin(tapeFilter, PINDIR_OUTPUT, 0).Get(),
                         NthPin(splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr);
    graph->ConnectDirect(NthPin(splitter.Get(), PINDIR_OUTPUT, 0).Get(),
                         NthPin(decoder.Get(), PINDIR_INPUT, 0).Get(), nullptr);
    graph->ConnectDirect(NthPin(decoder.Get(), PINDIR_OUTPUT, 0).Get(),
                         NthPin(sink, PINDIR_INPUT, 0).Get(), nullptr);
    ComPtr<IIPDVDec> dec;
    decoder.As(&dec);
    dec->put_IPDisplay(resolution);
    ComPtr<IMediaControl> control;
    graph.As(&control);
    const auto start = std::chrono::steady_clock::now();
    control->Run();
    while (!sink->ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double s = Seconds(start);
    control->Stop();
    tapeFilter->Release();
    sink->Release();
    return frames / s;
}

// Decoder and renderer at half resolution: frames per second through
// Receive, and how many of them the window's thread drew.
double RendererFps(const std::vector<uint8_t>& tape, long frames, int* drawn, int* dropped) {
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qt_display::Install();
    WNDCLASSEX wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "BenchOwner";
    RegisterClassEx(&wc);
    HWND owner = CreateWindowEx(0, "BenchOwner", "Preview", WS_OVERLAPPED | WS_CAPTION, 50, 50, 400,
                                320, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(owner, SW_SHOW);
    SetTimer(owner, 1, 10, nullptr);  // the loop below looks at the stream's end

    auto graph = Make<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto* tapeFilter = new TapeSource(tape, true, frames);
    auto splitter = Make<IBaseFilter>(CLSID_DVSplitter, IID_IBaseFilter);
    auto decoder = Make<IBaseFilter>(CLSID_DVVidDec, IID_IBaseFilter);
    auto renderer = Make<IBaseFilter>(CLSID_VideoRenderer, IID_IBaseFilter);
    graph->AddFilter(tapeFilter, L"Tape");
    graph->AddFilter(splitter.Get(), L"DV Splitter");
    graph->AddFilter(decoder.Get(), L"DV Video Decoder");
    graph->AddFilter(renderer.Get(), L"Video Renderer");
    graph->ConnectDirect(NthPin(tapeFilter, PINDIR_OUTPUT, 0).Get(),
                         NthPin(splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr);
    graph->ConnectDirect(NthPin(splitter.Get(), PINDIR_OUTPUT, 0).Get(),
                         NthPin(decoder.Get(), PINDIR_INPUT, 0).Get(), nullptr);
    ComPtr<IIPDVDec> dec;
    decoder.As(&dec);
    dec->put_IPDisplay(DVRESOLUTION_HALF);
    graph->ConnectDirect(NthPin(decoder.Get(), PINDIR_OUTPUT, 0).Get(),
                         NthPin(renderer.Get(), PINDIR_INPUT, 0).Get(), nullptr);
    ComPtr<IVideoWindow> window;
    graph.As(&window);
    window->put_Owner(reinterpret_cast<OAHWND>(owner));
    window->put_WindowStyle(WS_CHILD);
    window->SetWindowPosition(12, 10, 375, 300);
    window->put_Visible(OATRUE);
    ComPtr<IMediaControl> control;
    graph.As(&control);
    ComPtr<IMediaEvent> events;
    graph.As(&events);
    const auto start = std::chrono::steady_clock::now();
    control->Run();
    for (bool done = false; !done;) {
        MSG msg;
        if (GetMessage(&msg, nullptr, 0, 0) <= 0) break;
        DispatchMessage(&msg);
        long code;
        LONG_PTR p1, p2;
        while (!done && SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) {
            events->FreeEventParams(code, p1, p2);
            done = code == EC_COMPLETE;
        }
    }
    const double s = Seconds(start);
    control->Stop();
    ComPtr<IQualProp> qual;
    renderer.As(&qual);
    qual->get_FramesDrawn(drawn);
    qual->get_FramesDroppedInRenderer(dropped);
    window->put_Visible(OAFALSE);
    window->put_Owner(0);
    tapeFilter->Release();
    DestroyWindow(owner);
    return frames / s;
}

double MuxFps(const std::vector<uint8_t>& tape, long frames, bool type2, const std::string& file) {
    auto graph = Make<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto builder =
        Make<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
    builder->SetFiltergraph(graph.Get());
    auto* tapeFilter = new TapeSource(tape, true, frames);
    graph->AddFilter(tapeFilter, L"Tape");
    const std::wstring name(file.begin(), file.end());
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    builder->SetOutputFileName(&MEDIASUBTYPE_Avi, name.c_str(), mux.ReleaseAndGetAddressOf(),
                               sink.ReleaseAndGetAddressOf());
    ComPtr<IConfigAviMux> config;
    if (SUCCEEDED(mux.As(&config))) config->SetOutputCompatibilityIndex(TRUE);
    ComPtr<IConfigInterleaving> interleaving;
    if (SUCCEEDED(mux.As(&interleaving))) interleaving->put_Mode(INTERLEAVE_NONE_BUFFERED);
    if (type2) {
        auto splitter = Make<IBaseFilter>(CLSID_DVSplitter, IID_IBaseFilter);
        graph->AddFilter(splitter.Get(), L"DV Splitter");
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, tapeFilter, nullptr,
                              splitter.Get());
        builder->RenderStream(nullptr, nullptr, splitter.Get(), nullptr, mux.Get());
        builder->RenderStream(nullptr, nullptr, splitter.Get(), nullptr, mux.Get());
    } else {
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, tapeFilter, nullptr,
                              mux.Get());
    }
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    graph.As(&control);
    graph.As(&events);
    const auto start = std::chrono::steady_clock::now();
    control->Run();
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 600000))) {
        events->FreeEventParams(code, p1, p2);
        if (code == EC_COMPLETE || code == EC_ERRORABORT) break;
    }
    control->Stop();  // finalises the file: part of the cost
    const double s = Seconds(start);
    tapeFilter->Release();
    if (code != EC_COMPLETE) std::printf("  (recording ended with event %ld)\n", code);
    return frames / s;
}

double CommandFps(const std::string& command, long frames) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    return frames / Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 1500;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    CoInitialize(nullptr);
    const std::string tapePath = dv::TestTapePath(dv::Standard::PAL);
    std::ifstream in(tapePath, std::ios::binary);
    const std::vector<uint8_t> tape((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (tape.size() < 144000) {
        std::fprintf(stderr, "no test tape\n");
        return 1;
    }
    // A DV file of `frames` frames, for ffmpeg and cp.
    const std::string dvFile = dir + "/tapeloom-bench.dv";
    {
        std::ofstream out(dvFile, std::ios::binary | std::ios::trunc);
        const size_t count = tape.size() / 144000;
        for (long i = 0; i < frames; ++i)
            out.write(reinterpret_cast<const char*>(tape.data() + (i % count) * 144000), 144000);
    }
    std::printf("PAL DV, %ld frames (%.0f MB), files in %s\n", frames, frames * 0.144, dir.c_str());

    const long decodeFrames = std::min<long>(frames, 500);
    std::printf("DV Video Decoder, full resolution: %8.1f frames/s\n",
                DecoderFps(tape, decodeFrames, DVRESOLUTION_FULL));
    std::printf("DV Video Decoder, half resolution: %8.1f frames/s\n",
                DecoderFps(tape, decodeFrames, DVRESOLUTION_HALF));
    int drawn = 0, dropped = 0;
    const double shown = RendererFps(tape, decodeFrames, &drawn, &dropped);
    std::printf(
        "DV Video Decoder + Video Renderer, half resolution: %8.1f frames/s "
        "(%d drawn, %d dropped while the display thread painted)\n",
        shown, drawn, dropped);

    const std::string avi = dir + "/tapeloom-bench.avi";
    const double t1 = MuxFps(tape, frames, false, avi);
    const double t2 = MuxFps(tape, frames, true, avi);
    const double ff = CommandFps("ffmpeg -nostdin -loglevel error -y -i '" + dvFile +
                                     "' -c copy '" + avi + "' && sync '" + avi + "'",
                                 frames);
    const double cp = CommandFps("cp '" + dvFile + "' '" + avi + "' && sync '" + avi + "'", frames);
    std::printf("AVI Mux + File Writer, Type-1:     %8.1f frames/s\n", t1);
    std::printf("AVI Mux + File Writer, Type-2:     %8.1f frames/s (%.2fx ffmpeg, %.2fx cp)\n", t2,
                ff > 0 ? t2 / ff : 0, cp > 0 ? t2 / cp : 0);
    std::printf("ffmpeg -c copy into AVI:           %8.1f frames/s\n", ff);
    std::printf("cp of the DV bytes:                %8.1f frames/s\n", cp);
    std::printf(
        "Copies of frame data between the device's buffer and the disk: 1 (the splitter passes "
        "the frame by reference; the mux copies it once into the writer thread's queue)\n");
    std::remove(avi.c_str());
    std::remove(dvFile.c_str());
    CoUninitialize();
    return 0;
}
