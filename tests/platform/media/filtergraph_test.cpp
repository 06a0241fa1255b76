// Filter graph manager: names, connections, intelligent connect, states,
// events and the video window.
#include <deque>

#include "com/comclasstable.h"
#include "media/filterregistry.h"
#include "media/graphnotify.h"
#include "media/mediatype.h"
#include "mediatest.h"

namespace {

class FilterGraphTest : public MediaTest {
protected:
    ComPtr<IBaseFilter> Renderer(NullRenderer** out = nullptr) {
        auto* r = new NullRenderer(CLSID_TestRenderer, GUID_NULL, GUID_NULL);
        if (out) *out = r;
        return Adopt<IBaseFilter>(r);
    }
};

TEST_F(FilterGraphTest, AddFilterKeepsNamesUniqueAndFindsFiltersByName) {
    auto graph = NewGraph();
    auto a = Renderer(), b = Renderer(), c = Renderer();
    EXPECT_EQ(S_OK, graph->AddFilter(a.Get(), L"Tapeloom Device"));
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b.Get(), L"Tapeloom Device"));
    EXPECT_EQ(VFW_E_DUPLICATE_NAME, graph->AddFilter(a.Get(), L"again"));
    EXPECT_EQ(S_OK, graph->AddFilter(c.Get(), nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"Tapeloom Device", L"Tapeloom Device 0001", L"Filter"}),
              FilterNames(graph.Get()));

    ComPtr<IBaseFilter> found;
    EXPECT_EQ(S_OK,
              graph->FindFilterByName(L"Tapeloom Device 0001", found.ReleaseAndGetAddressOf()));
    EXPECT_EQ(b.Get(), found.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND,
              graph->FindFilterByName(L"DV Video Decoder", found.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(found);

    FILTER_INFO info{};
    a->QueryFilterInfo(&info);
    EXPECT_TRUE(info.pGraph != nullptr);
    info.pGraph->Release();

    EXPECT_EQ(S_OK, graph->RemoveFilter(a.Get()));
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(a.Get()));
    a->QueryFilterInfo(&info);
    EXPECT_EQ(nullptr, info.pGraph);
    // The name is free again.
    EXPECT_EQ(S_OK, graph->AddFilter(a.Get(), L"Tapeloom Device"));
}

TEST_F(FilterGraphTest, ConnectionsNeedFiltersInTheGraphAndAStoppedGraph) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Stepped);
    auto hold = Adopt<IBaseFilter>(src);
    auto sink = Renderer();
    ComPtr<IPin> out = NthPin(src, PINDIR_OUTPUT), in = NthPin(sink.Get(), PINDIR_INPUT);
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->ConnectDirect(out.Get(), in.Get(), nullptr));
    graph->AddFilter(src, L"src");
    graph->AddFilter(sink.Get(), L"sink");
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->ConnectDirect(in.Get(), out.Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(out.Get(), in.Get(), nullptr));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Connect(out.Get(), in.Get()));

    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(S_OK, in->ConnectionMediaType(&mt));
    EXPECT_EQ(MEDIATYPE_Interleaved, mt.majortype);
    FreeMediaType(mt);

    ComPtr<IMediaControl> control;
    graph.As(&control);
    control->Run();
    EXPECT_EQ(VFW_E_NOT_STOPPED, out->Disconnect());
    control->Stop();
    EXPECT_EQ(S_OK, graph->Disconnect(out.Get()));
    EXPECT_EQ(S_OK, graph->Disconnect(in.Get()));
    EXPECT_EQ(S_FALSE, graph->Disconnect(in.Get()));
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, out->ConnectedTo(peer.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(peer);
}

TEST_F(FilterGraphTest, IntelligentConnectFailuresReturnCodesAndLeaveTheGraphAsItWas) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Stepped);
    auto hold = Adopt<IBaseFilter>(src);
    graph->AddFilter(src, L"src");
    ComPtr<IPin> out = NthPin(src, PINDIR_OUTPUT);

    // Nothing in the table takes the stream.
    StandIns::Unregister();
    EXPECT_EQ(VFW_E_CANNOT_RENDER, graph->Render(out.Get()));
    EXPECT_EQ(1u, FilterNames(graph.Get()).size());

    // A splitter that takes it but whose outputs nothing renders: removed again.
    StandIns::Register();
    MediaUnregisterFilter(CLSID_VideoRenderer);
    EXPECT_EQ(VFW_E_CANNOT_RENDER, graph->Render(out.Get()));
    EXPECT_EQ(1u, FilterNames(graph.Get()).size());

    // A class in the table that cannot be created is skipped.
    ComUnregisterClass(CLSID_DVSplitter);
    MediaRegisterFilter({CLSID_VideoRenderer,
                         L"Video Renderer",
                         MERIT_PREFERRED,
                         {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}},
                         true});
    EXPECT_EQ(VFW_E_CANNOT_RENDER, graph->Render(out.Get()));

    // Connect to an input that no chain reaches.
    auto audioOnly =
        Adopt<IBaseFilter>(new NullRenderer(CLSID_TestRenderer, MEDIATYPE_Audio, GUID_NULL));
    graph->AddFilter(audioOnly.Get(), L"audio");
    EXPECT_EQ(VFW_E_CANNOT_CONNECT,
              graph->Connect(out.Get(), NthPin(audioOnly.Get(), PINDIR_INPUT).Get()));
    EXPECT_EQ(2u, FilterNames(graph.Get()).size());

    // Bad arguments.
    EXPECT_EQ(E_POINTER, graph->Render(nullptr));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->Render(NthPin(audioOnly.Get(), PINDIR_INPUT).Get()));
    EXPECT_EQ(E_POINTER, graph->Connect(out.Get(), nullptr));
    EXPECT_EQ(E_POINTER, graph->AddFilter(nullptr, L"x"));
}

TEST_F(FilterGraphTest, RenderInsertsFiltersByMeritUnderTheirOwnNames) {
    StandIns::Register();
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Stepped);
    auto hold = Adopt<IBaseFilter>(src);
    graph->AddFilter(src, L"src");
    // Audio outputs of the splitter have no renderer: a partial render.
    EXPECT_EQ(VFW_S_PARTIAL_RENDER, graph->Render(NthPin(src, PINDIR_OUTPUT).Get()));
    EXPECT_EQ(
        (std::vector<std::wstring>{L"src", L"DV Splitter", L"DV Video Decoder", L"Video Renderer"}),
        FilterNames(graph.Get()));
}

TEST_F(FilterGraphTest, RunPauseStopCyclesRestartStreamingEachTime) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Unpaced, 1000);
    NullRenderer* sink = nullptr;
    auto hold = Adopt<IBaseFilter>(src);
    auto r = Renderer(&sink);
    graph->AddFilter(src, L"src");
    graph->AddFilter(r.Get(), L"sink");
    ASSERT_EQ(S_OK, graph->Connect(NthPin(src, PINDIR_OUTPUT).Get(),
                                   NthPin(r.Get(), PINDIR_INPUT).Get()));
    ComPtr<IMediaControl> control;
    graph.As(&control);
    for (int i = 0; i < 20; ++i) {
        long before = sink->counter.frames.load();
        ASSERT_EQ(S_OK, control->Run());
        ASSERT_TRUE(WaitFor([&] { return sink->counter.frames.load() > before + 10; }));
        if (i % 2) {
            ASSERT_EQ(S_OK, control->Pause());
            FILTER_STATE fs;
            r->GetState(0, &fs);
            EXPECT_EQ(State_Paused, fs);
        }
        ASSERT_EQ(S_OK, control->Stop());
        FILTER_STATE fs;
        src->GetState(0, &fs);
        EXPECT_EQ(State_Stopped, fs);
    }
    EXPECT_EQ(S_OK, control->Stop());  // stopping twice is harmless
}

TEST_F(FilterGraphTest, GetEventTimesOutWithEAbortWhenTheQueueIsEmpty) {
    auto graph = NewGraph();
    ComPtr<IMediaEventEx> events;
    ASSERT_EQ(S_OK, graph.As(&events));
    long code = 1;
    LONG_PTR p1 = 1, p2 = 1;
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 0));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
    EXPECT_EQ(0, code);
    EXPECT_EQ(E_POINTER, events->GetEvent(nullptr, &p1, &p2, 0));
}

TEST_F(FilterGraphTest, DeviceLostKeepsItsFilterAliveUntilFreeEventParams) {
    auto graph = NewGraph();
    NullRenderer* device = nullptr;
    auto filter = Renderer(&device);
    graph->AddFilter(filter.Get(), L"Tapeloom Device");
    device->NotifyEvent(EC_DEVICE_LOST,
                        reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(filter.Get())), 0);
    graph->RemoveFilter(filter.Get());
    IBaseFilter* raw = filter.Detach();
    EXPECT_EQ(1u, raw->Release());  // the queued event still holds it

    ComPtr<IMediaEvent> events;
    graph.As(&events);
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(EC_DEVICE_LOST, code);
    EXPECT_EQ(0, p2);
    ComPtr<IBaseFilter> lost;
    EXPECT_EQ(S_OK, reinterpret_cast<IUnknown*>(p1)->QueryInterface(
                        IID_IBaseFilter, reinterpret_cast<void**>(lost.ReleaseAndGetAddressOf())));
    lost.Reset();
    EXPECT_EQ(S_OK,
              events->FreeEventParams(code, p1, p2));  // the last reference: no leak under ASan
}

TEST_F(FilterGraphTest, QueuedDeviceLostEventsAreReleasedWithTheGraph) {
    auto graph = NewGraph();
    NullRenderer* device = nullptr;
    auto filter = Renderer(&device);
    graph->AddFilter(filter.Get(), L"dev");
    device->NotifyEvent(EC_DEVICE_LOST,
                        reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(filter.Get())), 0);
    graph.Reset();
    EXPECT_EQ(0u, filter.Detach()->Release());
}

// A message queue standing for a window owned by another thread.
struct TestWindow {
    std::mutex lock;
    std::condition_variable cv;
    std::deque<std::pair<UINT, LPARAM>> posted;
    std::thread::id postedFrom;
};
TestWindow* g_window = nullptr;

BOOL PostToTestWindow(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    if (hwnd != reinterpret_cast<HWND>(g_window)) return FALSE;
    {
        std::lock_guard<std::mutex> lock(g_window->lock);
        g_window->posted.emplace_back(msg, lParam);
    }
    g_window->cv.notify_all();
    return TRUE;
}

TEST_F(FilterGraphTest, EveryQueuedEventPostsTheNotifyMessageToAWindowOfAnotherThread) {
    TestWindow window;
    g_window = &window;
    MediaSetNotifyPoster(PostToTestWindow);
    auto graph = NewGraph();
    ComPtr<IMediaEventEx> events;
    graph.As(&events);
    NullRenderer* filter = nullptr;
    auto hold = Renderer(&filter);
    graph->AddFilter(hold.Get(), L"f");
    filter->NotifyEvent(EC_COMPLETE, 0, 0);  // before registration: announced on registration
    ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(&window), 0x401, 77));

    // The window's thread: fetches events with a 0 ms time-out on each message.
    std::atomic<int> fetched{0};
    std::thread ui([&] {
        for (int seen = 0; seen < 4;) {
            std::unique_lock<std::mutex> lock(window.lock);
            window.cv.wait(lock, [&] { return !window.posted.empty(); });
            auto [msg, inst] = window.posted.front();
            window.posted.pop_front();
            lock.unlock();
            ++seen;
            EXPECT_EQ(0x401u, msg);
            EXPECT_EQ(77, inst);
            long code;
            LONG_PTR p1, p2;
            while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
                events->FreeEventParams(code, p1, p2);
                ++fetched;
            }
        }
    });
    std::thread streaming([&] {
        filter->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
        filter->NotifyEvent(EC_COMPLETE, 0, 0);
        filter->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
    });
    streaming.join();
    ui.join();
    EXPECT_EQ(4, fetched.load());

    // Unregistered: no more posts.
    events->SetNotifyWindow(0, 0, 0);
    filter->NotifyEvent(EC_COMPLETE, 0, 0);
    EXPECT_TRUE(window.posted.empty());
    MediaSetNotifyPoster(nullptr);
    g_window = nullptr;
}

TEST_F(FilterGraphTest, VideoWindowGoesToTheRendererThatOffersIt) {
    auto graph = NewGraph();
    ComPtr<IVideoWindow> window;
    ASSERT_EQ(S_OK, graph.As(&window));
    EXPECT_EQ(E_NOINTERFACE, window->put_Visible(OATRUE));
    long style = 0;
    EXPECT_EQ(E_NOINTERFACE, window->get_WindowStyle(&style));

    NullRenderer* r = nullptr;
    auto hold = Renderer(&r);
    graph->AddFilter(hold.Get(), L"Video Renderer");
    EXPECT_EQ(S_OK, window->put_Owner(1234));
    EXPECT_EQ(S_OK, window->get_WindowStyle(&style));
    EXPECT_EQ(S_OK, window->put_WindowStyle(style & static_cast<long>(0xF930FFFF)));
    EXPECT_EQ(S_OK, window->SetWindowPosition(75, 0, 450, 300));
    EXPECT_EQ(S_OK, window->put_Visible(OATRUE));
    EXPECT_EQ(1234, r->owner.load());
    EXPECT_EQ(0x00C90000 & 0xF930FFFF, r->style.load() & 0xFFFFFFFF);
    EXPECT_EQ(450, r->width.load());
    EXPECT_EQ(OATRUE, r->visible.load());
}

}  // namespace
