// The base graph, the two capture graphs, their teardown and the preview
// window, on the virtual deck.
#include <edevdefs.h>
#include <uuids.h>

#include <algorithm>
#include <filesystem>

#include "testsupport/decktest.h"
#include "testsupport/displaysuppressions.h"
#include "testsupport/enginetest.h"

using namespace enginetest;

namespace {

class GraphTest : public DeckTest {
protected:
    // Lists the decks and selects the first.
    void Select(const std::string& decks) {
        decktest::Configure(decks, "unpaced");
        ASSERT_TRUE(panel.m_pDeviceList->Enumerate());
        panel.m_nDeviceIndex = 0;
        std::string type;
        int standard = 0;
        panel.m_pDeviceList->GetDeviceType(0, type, &standard);
        panel.m_nVideoStandard = standard;
        panel.m_strCaptureFile = Path("out00000.avi");
    }
    bool BaseFieldsSet() {
        return panel.m_pGraph && panel.m_pBuilder && panel.m_pDeviceFilter && panel.m_pExtDevice &&
               panel.m_pTransport && panel.m_pTimecodeReader && panel.m_pMediaEvent;
    }
    bool NoFieldSet() {
        return !panel.m_pGraph && !panel.m_pBuilder && !panel.m_pDeviceFilter &&
               !panel.m_pExtDevice && !panel.m_pTransport && !panel.m_pTimecodeReader &&
               !panel.m_pDroppedFrames && !panel.m_pMux && !panel.m_pFileSink &&
               !panel.m_pMediaEvent;
    }
    bool Has(const std::string& name) {
        std::vector<std::string> names = FilterNames(panel.m_pGraph);
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    int ConnectedMuxInputs() {
        int n = 0;
        IEnumPins* pins = nullptr;
        panel.m_pMux->EnumPins(&pins);
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            PIN_DIRECTION dir;
            pin->QueryDirection(&dir);
            IPin* other = nullptr;
            if (dir == PINDIR_INPUT && SUCCEEDED(pin->ConnectedTo(&other)) && other) {
                ++n;
                other->Release();
            }
            pin->Release();
        }
        pins->Release();
        return n;
    }
    int DecoderResolution() {
        IBaseFilter* decoder = nullptr;
        panel.m_pGraph->FindFilterByName(L"DV Video Decoder", &decoder);
        if (!decoder) return -1;
        IIPDVDec* dvdec = nullptr;
        decoder->QueryInterface(IID_IIPDVDec, reinterpret_cast<void**>(&dvdec));
        int n = -1;
        if (dvdec) {
            dvdec->get_IPDisplay(&n);
            dvdec->Release();
        }
        decoder->Release();
        return n;
    }
    void ReplaceBuilder(const BuilderFaults& faults) {
        panel.m_pBuilder->Release();
        panel.m_pBuilder = CreateFaultyBuilder(panel.m_pGraph, faults);
    }
    // The renderer's window sits in the frame at the rectangle, visible,
    // as a child without caption, frame or clipping styles.
    void ExpectPicture(HWND video, RECT expected) {
        ASSERT_NE(nullptr, video);
        EXPECT_EQ(m_hFrame, GetParent(video));
        const RECT rc = RectInParent(video);
        EXPECT_EQ((std::vector<long>{expected.left, expected.top, expected.right, expected.bottom}),
                  (std::vector<long>{rc.left, rc.top, rc.right, rc.bottom}));
        const LONG style = GetWindowLong(video, GWL_STYLE);
        EXPECT_EQ(WS_CHILD | WS_VISIBLE, style & (WS_CHILD | WS_VISIBLE | WS_POPUP));
        long reported = 0;
        panel.m_pVideoWindow->get_WindowStyle(&reported);
        EXPECT_EQ(WS_CHILD | WS_VISIBLE, reported) << "frame and clipping bits were taken away";
    }
};

}  // namespace
TEST_F(GraphTest, BaseGraphHoldsTheDeviceAlone) {
    Select("Deck=pal");
    ASSERT_TRUE(Build());
    EXPECT_TRUE(BaseFieldsSet());
    EXPECT_EQ(std::vector<std::string>{"Tapeloom Device"}, FilterNames(panel.m_pGraph));
    // Nothing is connected: walking downstream changes nothing.
    panel.RemoveDownstream(panel.m_pDeviceFilter);
    EXPECT_EQ(std::vector<std::string>{"Tapeloom Device"}, FilterNames(panel.m_pGraph));
    Teardown();
    EXPECT_TRUE(NoFieldSet());
    Teardown();
    EXPECT_TRUE(NoFieldSet());
}

TEST_F(GraphTest, BaseGraphOutsideTheListCreatesNothing) {
    Select("Deck=pal");
    panel.m_nDeviceIndex = panel.m_pDeviceList->GetCount();
    EXPECT_FALSE(Build());
    EXPECT_TRUE(NoFieldSet());
    panel.m_nDeviceIndex = -1;
    EXPECT_FALSE(Build());
    EXPECT_TRUE(NoFieldSet());
    // No graph: starting builds nothing, stopping does nothing.
    EXPECT_FALSE(panel.StartGraph());
    panel.StopGraph();
    EXPECT_TRUE(NoFieldSet());
}

TEST_F(GraphTest, DeviceWithoutTimecodeReaderFailsTheBaseGraph) {
    Select("Deck=pal,no-timecode");
    panel.HoldStatusThreads();
    EXPECT_FALSE(panel.BuildBaseGraph());
    EXPECT_TRUE(panel.m_pDeviceFilter && panel.m_pExtDevice && panel.m_pTransport);
    EXPECT_EQ(nullptr, panel.m_pTimecodeReader);
    EXPECT_EQ(nullptr, panel.m_pBuilder);
    panel.TeardownGraph();
    panel.ResumeStatusThreads();
    EXPECT_TRUE(NoFieldSet());
}

TEST_F(GraphTest, EachFileTypePreviewsInTheFrameAndRecordsNothingYet) {
    Select("Deck=pal");
    ASSERT_TRUE(Build());
    for (int type : {0, 1, 7, 0}) {
        SCOPED_TRACE(type);
        panel.m_nFileType = type;
        ASSERT_TRUE(panel.StartGraph());
        // The preview has a splitter of its own; Type-2 adds the named one.
        std::vector<std::string> names = FilterNames(panel.m_pGraph);
        EXPECT_EQ(type != 0 ? 2 : 1,
                  std::count_if(names.begin(), names.end(),
                                [](auto& n) { return n.rfind("DV Splitter", 0) == 0; }))
            << ::testing::PrintToString(names);
        EXPECT_TRUE(Has("DV Video Decoder"));
        EXPECT_EQ(type == 0 ? 1 : 2, ConnectedMuxInputs());
        EXPECT_EQ(DVRESOLUTION_HALF, DecoderResolution());
        EXPECT_TRUE(panel.m_pDroppedFrames && panel.m_pMux && panel.m_pFileSink &&
                    panel.m_pVideoWindow);

        // The picture is a borderless child of the frame, 5:4 and centred.
        const HWND video = PreviewWindow(panel.m_pGraph);
        ExpectPicture(video, RECT{112, 0, 487, 300});

        // The tape plays: the preview shows it, the file gets nothing.
        ASSERT_EQ(S_OK, panel.m_pTransport->put_Mode(ED_MODE_PLAY));
        const long frames = PreviewFrames(panel.m_pGraph);
        EXPECT_TRUE(WaitUntil([&] { return PreviewFrames(panel.m_pGraph) > frames + 10; }));
        EXPECT_TRUE(Exists(panel.m_strCaptureFile));
        EXPECT_EQ(0u, std::filesystem::file_size(panel.m_strCaptureFile));
        ASSERT_EQ(S_OK, panel.m_pTransport->put_Mode(ED_MODE_STOP));

        panel.StopGraph();
        EXPECT_EQ(std::vector<std::string>{"Tapeloom Device"}, FilterNames(panel.m_pGraph));
        EXPECT_TRUE(BaseFieldsSet());
        EXPECT_FALSE(panel.m_pDroppedFrames || panel.m_pMux || panel.m_pFileSink ||
                     panel.m_pVideoWindow);
        // Taken out of the frame: the renderer's window is gone.
        EXPECT_FALSE(IsWindow(video));
        panel.DeleteIfExists(panel.m_strCaptureFile.c_str());
    }
}

TEST_F(GraphTest, PictureRectangleFollowsTheFrameAndTheStandard) {
    Select("Deck=ntsc");
    ASSERT_TRUE(Build());
    ASSERT_TRUE(panel.StartGraph());
    struct Case {
        int width, height, standard;
        LONG left, top, right, bottom;
    };
    const Case cases[] = {
        {600, 300, 0, 75, 0, 525, 300},  {600, 300, 1, 112, 0, 487, 300},
        {300, 400, 0, 0, 100, 300, 300}, {300, 400, 1, 0, 80, 300, 320},
        {300, 300, 0, 0, 50, 300, 250},  {300, 300, 1, 0, 30, 300, 270},
        {300, 301, 0, 0, 50, 300, 250},  {400, 300, 0, -25, 0, 425, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << " x " << c.height << " standard " << c.standard);
        MakeFrame(c.width, c.height);
        panel.m_nVideoStandard = c.standard;
        panel.PlaceVideoWindow();
        ExpectPicture(PreviewWindow(panel.m_pGraph), RECT{c.left, c.top, c.right, c.bottom});
    }
}

TEST_F(GraphTest, WithoutAMainWindowTheGraphRunsWithoutAPicture) {
    Select("Deck=pal");
    ASSERT_TRUE(Build());
    m_app->m_pMainWnd = nullptr;
    ASSERT_TRUE(panel.StartGraph());
    EXPECT_EQ(nullptr, PreviewWindow(panel.m_pGraph));
    panel.StopGraph();
    // Back in the frame once the main window is there again.
    m_app->m_pMainWnd = m_main.get();
    ASSERT_TRUE(panel.StartGraph());
    ExpectPicture(PreviewWindow(panel.m_pGraph), RECT{112, 0, 487, 300});
}

TEST_F(GraphTest, MissingDroppedFrameCountersLeaveNoGraph) {
    Select("Deck=pal");
    for (int type : {0, 1}) {
        ASSERT_TRUE(Build());
        ReplaceBuilder({false, true});
        panel.m_nFileType = type;
        EXPECT_FALSE(panel.StartGraph());
        EXPECT_TRUE(NoFieldSet());
    }
}

TEST_F(GraphTest, MissingMultiplexerFailsTheBuildOfEitherType) {
    Select("Deck=pal");
    for (int type : {0, 1}) {
        ASSERT_TRUE(Build());
        ReplaceBuilder({true, false});
        panel.m_nFileType = type;
        EXPECT_FALSE(panel.StartGraph());
        EXPECT_TRUE(NoFieldSet());
    }
    // Configuring no multiplexer does nothing.
    panel.ConfigureMux(NULL);
}

TEST_F(GraphTest, NewOutputNameGoesToTheWriterWithCaptureOff) {
    Select("Deck=pal");
    ASSERT_TRUE(Build());
    ASSERT_TRUE(panel.StartGraph());
    const std::string next = Path("out00001.avi");
    EXPECT_TRUE(panel.SetCaptureFile(next.c_str()));
    EXPECT_EQ(next, panel.m_strCaptureFile);
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, panel.m_pFileSink->GetCurFile(&name, nullptr));
    EXPECT_EQ(std::wstring(next.begin(), next.end()), std::wstring(name));
    CoTaskMemFree(name);
    // Running again, on the new file, with nothing recorded into it.
    ASSERT_EQ(S_OK, panel.m_pTransport->put_Mode(ED_MODE_PLAY));
    const long frames = PreviewFrames(panel.m_pGraph);
    EXPECT_TRUE(WaitUntil([&] { return PreviewFrames(panel.m_pGraph) > frames + 10; }));
    EXPECT_TRUE(Exists(next));
    EXPECT_EQ(0u, std::filesystem::file_size(next));
    EXPECT_FALSE(panel.SetCaptureFile(NULL));
}
