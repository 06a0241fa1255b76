// The virtual deck's pacing: rate error and delivery jitter over a run in
// real time, the CPU the process used per minute of tape, and the unpaced
// rate.  Prints figures; asserts nothing.
//
//   deck_bench [seconds]     (default 60)
#include <dshow.h>
#include <edevdefs.h>
#include <stdlib.h>
#include <time.h>
#include <uuids.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "devices/virtualdeck.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/iids.h"
#include "testsupport/pins.h"

DEFINE_GUID(CLSID_DeckBenchSink, 0x7a1c0e55, 0x0b7d, 0x4d1e, 0x8a, 0x31, 0x00, 0x00, 0x00, 0x00,
            0x5e, 0x02);

namespace {

using Clock = std::chrono::steady_clock;

class Sink;

class SinkPin final : public BaseInputPin {
public:
    SinkPin(BaseFilter* f, std::vector<Clock::time_point>* arrivals, std::mutex* lock)
        : BaseInputPin(f, L"In"), m_arrivals(arrivals), m_lock(lock) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override {
        return pmt->majortype == MEDIATYPE_Interleaved ? S_OK : S_FALSE;
    }

protected:
    HRESULT OnReceive(IMediaSample*) override {
        std::lock_guard<std::mutex> lock(*m_lock);
        m_arrivals->push_back(Clock::now());
        return S_OK;
    }

private:
    std::vector<Clock::time_point>* m_arrivals;
    std::mutex* m_lock;
};

class Sink final : public BaseFilter {
public:
    Sink() : BaseFilter(CLSID_DeckBenchSink), m_pin(this, &arrivals, &lock) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;

private:
    SinkPin m_pin;
};

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

ComPtr<IBaseFilter> FirstDeck() {
    ComPtr<ICreateDevEnum> devenum;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(devenum.ReleaseAndGetAddressOf()));
    ComPtr<IEnumMoniker> e;
    if (!devenum || devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory,
                                                   e.ReleaseAndGetAddressOf(), 0) != S_OK)
        return nullptr;
    IMoniker* m = nullptr;
    if (e->Next(1, &m, nullptr) != S_OK) return nullptr;
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(m);
    ComPtr<IBaseFilter> filter;
    BindMoniker(moniker.Get(), 0, IID_IBaseFilter,
                reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
    return filter;
}

struct Run {
    std::vector<Clock::time_point> arrivals;
    double cpu = 0, wall = 0;
    long dropped = 0;
};

// Plays the deck for `seconds` into deck -> smart tee -> sink (capture).
bool Play(double seconds, Run* run) {
    ComPtr<IBaseFilter> deck = FirstDeck();
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> tee;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf()));
    CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(tee.ReleaseAndGetAddressOf()));
    if (!deck || !graph || !tee) return false;
    ComPtr<Sink> sink = ComPtr<Sink>::Adopt(new Sink);
    graph->AddFilter(deck.Get(), L"Deck");
    graph->AddFilter(tee.Get(), L"Tee");
    graph->AddFilter(sink.Get(), L"Sink");
    if (graph->ConnectDirect(NthPin(deck.Get(), PINDIR_OUTPUT).Get(),
                             NthPin(tee.Get(), PINDIR_INPUT).Get(), nullptr) != S_OK ||
        graph->ConnectDirect(NthPin(tee.Get(), PINDIR_OUTPUT, 0).Get(),
                             NthPin(sink.Get(), PINDIR_INPUT).Get(), nullptr) != S_OK)
        return false;
    ComPtr<IMediaControl> control;
    ComPtr<IAMExtTransport> transport;
    graph.As(&control);
    deck.As(&transport);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    control->Run();
    transport->put_Mode(ED_MODE_PLAY);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    control->Stop();
    run->wall = std::chrono::duration<double>(Clock::now() - t0).count();
    run->cpu = CpuSeconds() - cpu0;
    ComPtr<IAMDroppedFrames> dropped;
    NthPin(deck.Get(), PINDIR_OUTPUT).As(&dropped);
    if (dropped) dropped->GetNumDropped(&run->dropped);
    std::lock_guard<std::mutex> lock(sink->lock);
    run->arrivals = sink->arrivals;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(2.0, std::atof(argv[1])) : 60.0;
    CoInitialize(nullptr);

    setenv("TAPELOOM_DECKS", "Bench Deck=pal", 1);
    setenv("TAPELOOM_DECK_PACING", "realtime", 1);
    VirtualDeckReload();
    Run rt;
    if (!Play(seconds, &rt) || rt.arrivals.size() < 10) {
        std::printf("deck_bench: the deck did not stream\n");
        return 1;
    }
    // Rate: frames between the first and the last arrival against the
    // nominal 25 a second.
    const double period = 0.040;
    const size_t n = rt.arrivals.size();
    const double span =
        std::chrono::duration<double>(rt.arrivals.back() - rt.arrivals.front()).count();
    const double expected = span / period;
    const double rateError = (static_cast<double>(n - 1) - expected) / expected * 100.0;
    // Jitter: each arrival against the ideal grid through the first one.
    std::vector<double> dev;
    for (size_t i = 0; i < n; ++i) {
        const double t = std::chrono::duration<double>(rt.arrivals[i] - rt.arrivals[0]).count();
        dev.push_back(std::fabs(t - static_cast<double>(i) * period) * 1000.0);
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < n; ++i)
        intervals.push_back(
            std::fabs(std::chrono::duration<double>(rt.arrivals[i] - rt.arrivals[i - 1]).count() -
                      period) *
            1000.0);
    std::sort(dev.begin(), dev.end());
    std::sort(intervals.begin(), intervals.end());
    auto p95 = [](const std::vector<double>& v) { return v[v.size() * 95 / 100]; };
    std::printf("real-time run: %.1f s, %zu frames delivered, %ld dropped\n", rt.wall, n,
                rt.dropped);
    std::printf("pacing error over %.1f s: %+.4f %% (goal under 0.1 %%)\n", span, rateError);
    std::printf(
        "delivery jitter against the frame grid: p95 %.3f ms, max %.3f ms (goal p95 under 2 ms)\n",
        p95(dev), dev.back());
    std::printf("frame interval deviation: p95 %.3f ms, max %.3f ms\n", p95(intervals),
                intervals.back());
    std::printf("CPU of the process per minute of tape: %.3f s (%.2f %% of one core)\n",
                rt.cpu / rt.wall * 60.0, rt.cpu / rt.wall * 100.0);

    setenv("TAPELOOM_DECK_PACING", "unpaced", 1);
    VirtualDeckReload();
    Run un;
    if (Play(std::min(seconds, 5.0), &un) && !un.arrivals.empty()) {
        std::printf(
            "unpaced: %.0f frames a second (%.1fx real time), CPU %.3f s per minute of tape\n",
            static_cast<double>(un.arrivals.size()) / un.wall,
            static_cast<double>(un.arrivals.size()) / un.wall / 25.0,
            un.cpu / (static_cast<double>(un.arrivals.size()) / 25.0) * 60.0);
    }
    unsetenv("TAPELOOM_DECKS");
    VirtualDeckReload();
    CoUninitialize();
    return 0;
}
