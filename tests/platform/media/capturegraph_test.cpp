// Capture graph builder: the two graph shapes the program builds, their
// teardown, stream control on the capture branch, interface search and
// the failure paths.
#include "com/comclasstable.h"
#include "media/filterregistry.h"
#include "mediatest.h"

namespace {

class CaptureGraphTest : public MediaTest {
protected:
    void SetUp() override {
        MediaTest::SetUp();
        StandIns::Register();
        graph = NewGraph();
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2,
                                   reinterpret_cast<void**>(builder.ReleaseAndGetAddressOf())));
        ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
        source = new TestSource(TestSource::Mode::Stepped);
        device = Adopt<IBaseFilter>(source);
        ASSERT_EQ(S_OK, graph->AddFilter(device.Get(), L"Tapeloom Device"));
        graph.As(&control);
    }
    void TearDown() override {
        if (control) control->Stop();
        control.Reset();
        builder.Reset();
        graph.Reset();
        device.Reset();
        MediaTest::TearDown();
    }

    // The program's two builds, as its engine makes them.
    void BuildType1() {
        ASSERT_EQ(S_OK, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"/tmp/out.avi",
                                                   mux.ReleaseAndGetAddressOf(),
                                                   sink.ReleaseAndGetAddressOf()));
        ASSERT_TRUE(mux && sink);
        ConfigureMux();
        ASSERT_TRUE(SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                                    device.Get(), nullptr, mux.Get())));
        HRESULT hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved,
                                           device.Get(), nullptr, nullptr);
        ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
        GateOffAndFindDropped();
    }
    void BuildType2() {
        ComPtr<IBaseFilter> splitter;
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_DVSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(splitter.ReleaseAndGetAddressOf())));
        ASSERT_EQ(S_OK, graph->AddFilter(splitter.Get(), L"DV Splitter"));
        ASSERT_TRUE(SUCCEEDED(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"/tmp/out.avi",
                                                         mux.ReleaseAndGetAddressOf(),
                                                         sink.ReleaseAndGetAddressOf())));
        ConfigureMux();
        ASSERT_TRUE(SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                                    device.Get(), nullptr, splitter.Get())));
        ASSERT_TRUE(
            SUCCEEDED(builder->RenderStream(nullptr, nullptr, splitter.Get(), nullptr, mux.Get())));
        ASSERT_TRUE(
            SUCCEEDED(builder->RenderStream(nullptr, nullptr, splitter.Get(), nullptr, mux.Get())));
        ASSERT_TRUE(SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved,
                                                    device.Get(), nullptr, nullptr)));
        GateOffAndFindDropped();
    }
    void ConfigureMux() {
        ComPtr<IConfigAviMux> avimux;
        ASSERT_EQ(S_OK, mux.As(&avimux));
        avimux->SetOutputCompatibilityIndex(TRUE);
        ComPtr<IConfigInterleaving> interleaving;
        ASSERT_EQ(S_OK, mux.As(&interleaving));
        interleaving->put_Mode(INTERLEAVE_NONE_BUFFERED);
    }
    void GateOffAndFindDropped() {
        REFERENCE_TIME start = MAXLONGLONG, stop = 0;
        EXPECT_EQ(S_OK, builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &start,
                                               &stop, 0, 0));
        ASSERT_EQ(S_OK, builder->FindInterface(
                            &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device.Get(),
                            IID_IAMDroppedFrames,
                            reinterpret_cast<void**>(dropped.ReleaseAndGetAddressOf())));
    }
    void Capture(bool on) {
        REFERENCE_TIME start = on ? 0 : MAXLONGLONG, stop = on ? MAXLONGLONG : 0;
        builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &start, &stop, 0, 0);
    }

    // The engine's depth-first teardown: removes everything downstream of
    // the filter, never the device itself.
    void RemoveDownstream(IBaseFilter* filter) {
        if (!filter) return;
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf()))) return;
        pins->Reset();
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            auto held = Adopt(pin);
            IPin* to = nullptr;
            if (FAILED(pin->ConnectedTo(&to)) || !to) continue;
            auto heldTo = Adopt(to);
            PIN_INFO info{};
            if (to->QueryPinInfo(&info) != S_OK) return;
            auto owner = Adopt(info.pFilter);
            HRESULT hr = S_OK;
            if (info.dir == PINDIR_INPUT) {
                RemoveDownstream(info.pFilter);
                graph->Disconnect(to);
                hr = graph->Disconnect(pin);
                if (info.pFilter != device.Get()) hr = graph->RemoveFilter(info.pFilter);
            }
            if (hr != S_OK) return;
        }
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IMediaControl> control;
    TestSource* source = nullptr;
    ComPtr<IBaseFilter> device, mux;
    ComPtr<IFileSinkFilter> sink;
    ComPtr<IAMDroppedFrames> dropped;
};

TEST_F(CaptureGraphTest, Type1BuildsCaptureIntoTheMuxAndAPreviewThroughASmartTee) {
    BuildType1();
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Tapeloom Device", L"AVI Mux", L"File Writer", L"Smart Tee",
                                   L"DV Splitter", L"DV Video Decoder", L"Video Renderer"}),
        FilterNames(graph.Get()));
    EXPECT_EQ(L"/tmp/out.avi", StandIns::lastWriter.load()->FileName());
    GrowingSink* m = StandIns::lastMux;
    EXPECT_TRUE(m->compatIndex.load());
    EXPECT_EQ(INTERLEAVE_NONE_BUFFERED, m->interleave.load());
    ComPtr<IBaseFilter> decoder;
    EXPECT_EQ(S_OK, graph->FindFilterByName(L"DV Video Decoder", decoder.ReleaseAndGetAddressOf()));
    ComPtr<IVideoWindow> window;
    ASSERT_EQ(S_OK, graph.As(&window));
    EXPECT_EQ(S_OK, window->put_Visible(OATRUE));
}

// Recording on and off by stream control while the graph runs: the file
// branch gets exactly the frames between, the preview gets them all.
TEST_F(CaptureGraphTest, StreamControlGatesExactFrameCountsWhileTheGraphRuns) {
    BuildType1();
    GrowingSink* m = StandIns::lastMux;
    NullRenderer* preview = StandIns::lastRenderer;
    ASSERT_EQ(S_OK, control->Run());
    // One frame at a time: the preview always ends up with the newest
    // frame, and the tee hands it over after the capture branch had it.
    auto deliver = [&](int n) {
        for (int i = 0; i < n; ++i) {
            long frame = source->Produced();
            source->Step(1);
            ASSERT_TRUE(WaitFor([&] { return preview->counter.lastFrame.load() == frame; }));
        }
    };
    deliver(10);
    EXPECT_EQ(0, m->total.frames.load());
    Capture(true);
    deliver(7);
    EXPECT_EQ(7, m->total.frames.load());
    Capture(false);
    deliver(5);
    EXPECT_EQ(7, m->total.frames.load());
    Capture(true);
    deliver(3);
    EXPECT_EQ(10, m->total.frames.load());
    long notDropped = 0;
    EXPECT_EQ(S_OK, dropped->GetNumNotDropped(&notDropped));
    EXPECT_EQ(25, notDropped);
    control->Stop();
}

TEST_F(CaptureGraphTest, Type2ConnectsTwoSplitterOutputsToNewMuxInputs) {
    BuildType2();
    GrowingSink* m = StandIns::lastMux;
    EXPECT_EQ(3u, m->InputCount());  // two connected, one fresh
    ComPtr<IBaseFilter> splitter;
    graph->FindFilterByName(L"DV Splitter", splitter.ReleaseAndGetAddressOf());
    ComPtr<IPin> third = NthPin(splitter.Get(), PINDIR_OUTPUT, 2), peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, third->ConnectedTo(peer.ReleaseAndGetAddressOf()));
    // The preview's splitter is a second one, under a name of its own.
    EXPECT_EQ((std::vector<std::wstring>{L"Tapeloom Device", L"DV Splitter", L"AVI Mux",
                                         L"File Writer", L"Smart Tee", L"DV Splitter 0001",
                                         L"DV Video Decoder", L"Video Renderer"}),
              FilterNames(graph.Get()));
    // A third call finds no free output of the splitter to take the video.
    ASSERT_EQ(S_OK, control->Run());
    Capture(true);
    source->Step(4);
    ASSERT_TRUE(WaitFor([&] { return m->Frames(0) == 4 && m->Frames(1) == 4; }));
    control->Stop();
}

TEST_F(CaptureGraphTest, TeardownWalkLeavesOnlyTheDeviceAndBuildsAgain) {
    for (int round = 0; round < 3; ++round) {
        if (round % 2)
            BuildType2();
        else
            BuildType1();
        ASSERT_EQ(S_OK, control->Run());
        source->Step(2);
        control->Stop();
        RemoveDownstream(device.Get());
        mux.Reset();
        sink.Reset();
        dropped.Reset();
        ASSERT_EQ(std::vector<std::wstring>{L"Tapeloom Device"}, FilterNames(graph.Get()));
        ComPtr<IPin> peer;
        EXPECT_EQ(VFW_E_NOT_CONNECTED,
                  NthPin(device.Get(), PINDIR_OUTPUT)->ConnectedTo(peer.ReleaseAndGetAddressOf()));
    }
    RemoveDownstream(device.Get());  // nothing connected: changes nothing
    EXPECT_EQ(std::vector<std::wstring>{L"Tapeloom Device"}, FilterNames(graph.Get()));
}

TEST_F(CaptureGraphTest, FindInterfaceLooksAtThePinThenTheFilterThenDownstream) {
    BuildType1();
    ComPtr<IConfigAviMux> avimux;
    // Not on the device or its pin: found downstream on the mux.
    EXPECT_EQ(S_OK,
              builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device.Get(),
                                     IID_IConfigAviMux,
                                     reinterpret_cast<void**>(avimux.ReleaseAndGetAddressOf())));
    EXPECT_TRUE(avimux);
    ComPtr<IBaseFilter> self;
    EXPECT_EQ(S_OK,
              builder->FindInterface(nullptr, nullptr, device.Get(), IID_IBaseFilter,
                                     reinterpret_cast<void**>(self.ReleaseAndGetAddressOf())));
    EXPECT_EQ(device.Get(), self.Get());
    ComPtr<IAMExtTransport> none;
    EXPECT_EQ(E_NOINTERFACE,
              builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device.Get(),
                                     IID_IAMExtTransport,
                                     reinterpret_cast<void**>(none.ReleaseAndGetAddressOf())));
    EXPECT_FALSE(none);
}

TEST_F(CaptureGraphTest, MissingComponentsFailCleanly) {
    // No multiplexer class: SetOutputFileName fails and adds nothing.
    ComUnregisterClass(CLSID_AviDest);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"x.avi", mux.ReleaseAndGetAddressOf(),
                                         sink.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(mux);
    EXPECT_FALSE(sink);
    EXPECT_EQ(E_INVALIDARG,
              builder->SetOutputFileName(&MEDIATYPE_Video, L"x.avi", mux.ReleaseAndGetAddressOf(),
                                         sink.ReleaseAndGetAddressOf()));
    EXPECT_EQ(1u, FilterNames(graph.Get()).size());

    // No renderer: the preview fails and takes its smart tee out again,
    // keeping the capture connection it had split.
    auto* m = new GrowingSink();
    auto holdMux = Adopt<IBaseFilter>(m);
    graph->AddFilter(m, L"mux");
    ASSERT_EQ(S_OK, builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                          device.Get(), nullptr, m));
    MediaUnregisterFilter(CLSID_VideoRenderer);
    EXPECT_EQ(VFW_E_CANNOT_RENDER,
              builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, device.Get(),
                                    nullptr, nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"Tapeloom Device", L"mux"}), FilterNames(graph.Get()));
    ComPtr<IPin> peer;
    ASSERT_EQ(S_OK,
              NthPin(device.Get(), PINDIR_OUTPUT)->ConnectedTo(peer.ReleaseAndGetAddressOf()));
    EXPECT_EQ(NthPin(m, PINDIR_INPUT).Get(), peer.Get());

    // Wrong media type, no source, no graph.
    EXPECT_EQ(E_FAIL, builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, device.Get(),
                                            nullptr, nullptr));
    EXPECT_EQ(E_POINTER,
              builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, nullptr, nullptr));
    ComPtr<ICaptureGraphBuilder2> lone;
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                     IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(lone.ReleaseAndGetAddressOf()));
    REFERENCE_TIME t = 0;
    EXPECT_EQ(E_UNEXPECTED,
              lone->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &t, &t, 0, 0));
    EXPECT_EQ(E_UNEXPECTED, lone->RenderStream(nullptr, nullptr, device.Get(), nullptr, nullptr));
    // No preview pin to control in this graph.
    EXPECT_EQ(E_FAIL,
              builder->ControlStream(&PIN_CATEGORY_PREVIEW, nullptr, nullptr, &t, &t, 0, 0));
}

// The preview renderer takes 30 ms a frame; the capture branch still gets
// every frame of a source that runs as fast as it can.
TEST_F(CaptureGraphTest, ThePreviewNeverSlowsTheCaptureBranch) {
    StandIns::renderDelayMs = 30;
    graph->RemoveFilter(device.Get());
    auto* fast = new TestSource(TestSource::Mode::Unpaced);
    fast->SetLimit(300);
    device = Adopt<IBaseFilter>(fast);
    graph->AddFilter(device.Get(), L"Tapeloom Device");
    BuildType1();
    Capture(true);
    GrowingSink* m = StandIns::lastMux;
    NullRenderer* preview = StandIns::lastRenderer;
    m->Source = fast->Allocator();
    ASSERT_EQ(S_OK, control->Run());
    ASSERT_TRUE(WaitFor([&] { return m->total.frames.load() == 300; }));
    EXPECT_EQ(300, m->total.byReference.load());
    EXPECT_LT(preview->counter.frames.load(), 100);
    control->Stop();
    StandIns::renderDelayMs = 0;
}

}  // namespace
