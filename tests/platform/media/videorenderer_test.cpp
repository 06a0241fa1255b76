// Video Renderer on the display: a tape through the DV splitter and decoder
// shows its colour bars inside an owner window; the window follows the
// IVideoWindow calls from any thread; a blocked UI thread never holds up
// the streaming thread; the window goes with its owner, with put_Owner(NULL)
// and with the filter, released on any thread.
#include <stdlib.h>

#include <thread>

#include "dv/dvtesttape.h"
#include "dvtapegraph.h"
#include "media/rendererwindow.h"
#include "testsupport/displaytest.h"

namespace {

constexpr char kOwnerClass[] = "RendererTestOwner";
constexpr UINT kRunBlocked = WM_APP + 1;
constexpr int kOwnerWidth = 400, kOwnerHeight = 320;

struct OwnerLog {
    int clicks = 0;
    std::function<void()> onBlock;
};
OwnerLog* g_owner = nullptr;  // UI thread only

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (g_owner && msg == WM_LBUTTONDOWN) ++g_owner->clicks;
    if (g_owner && msg == kRunBlocked && g_owner->onBlock) {
        g_owner->onBlock();
        return 0;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

// Runs the queue and the display until the condition holds (10 s at most).
bool PumpUntil(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        display_test::Pump(nullptr, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class VideoRendererTest : public MediaTest {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        display_test::InstallDisplay();
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = kOwnerClass;
        RegisterClassEx(&wc);
    }

    void SetUp() override {
        MediaTest::SetUp();
        g_owner = &log;
        owner = CreateWindowEx(0, kOwnerClass, "Owner", WS_OVERLAPPED | WS_CAPTION, 50, 50,
                               kOwnerWidth, kOwnerHeight, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner);
        ShowWindow(owner, SW_SHOW);
    }

    void TearDown() override {
        if (IsWindow(owner)) DestroyWindow(owner);
        display_test::Pump(nullptr, 2);
        g_owner = nullptr;
        MediaTest::TearDown();
    }

    // tape -> DV splitter, then the splitter's video rendered through the
    // filter table (decoder and renderer inserted).
    struct Graph {
        ComPtr<IGraphBuilder> graph;
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ComPtr<IVideoWindow> window;
        ComPtr<IBaseFilter> renderer;
        ComPtr<IQualProp> qual;
    };

    void Build(int frames, Graph* g) {
        // The first frames of the cached test tape (made once, not per test).
        std::vector<uint8_t> tape = dvtest::ReadFile(dv::TestTapePath(dv::Standard::PAL));
        ASSERT_GE(tape.size(), frames * dv::kFrameSizePAL);
        tape.resize(frames * dv::kFrameSizePAL);
        g->graph = NewGraph();
        auto source = Adopt<IBaseFilter>(new TapeSource(std::move(tape)));
        ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
        ASSERT_EQ(S_OK, g->graph->AddFilter(source.Get(), L"Tape"));
        ASSERT_EQ(S_OK, g->graph->AddFilter(splitter.Get(), L"DV Splitter"));
        ASSERT_EQ(S_OK,
                  g->graph->ConnectDirect(NthPin(source.Get(), PINDIR_OUTPUT, 0).Get(),
                                          NthPin(splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr));
        ASSERT_EQ(S_OK, g->graph->Render(NthPin(splitter.Get(), PINDIR_OUTPUT, 0).Get()));
        ASSERT_EQ(S_OK, g->graph->FindFilterByName(L"Video Renderer",
                                                   g->renderer.ReleaseAndGetAddressOf()));
        ASSERT_EQ(S_OK, g->renderer.As(&g->qual));
        ASSERT_EQ(S_OK, g->graph.As(&g->control));
        ASSERT_EQ(S_OK, g->graph.As(&g->events));
        ASSERT_EQ(S_OK, g->graph.As(&g->window));
    }

    // As the program attaches its preview: owner, style without frame bits,
    // drain, position, visible.
    static void Attach(IVideoWindow* w, HWND to, RECT r) {
        EXPECT_EQ(S_OK, w->put_Owner(reinterpret_cast<OAHWND>(to)));
        long style = 0;
        EXPECT_EQ(S_OK, w->get_WindowStyle(&style));
        EXPECT_EQ(S_OK, w->put_WindowStyle(style & static_cast<long>(0xF930FFFF)));
        EXPECT_EQ(S_OK, w->put_MessageDrain(reinterpret_cast<OAHWND>(to)));
        EXPECT_EQ(S_OK, w->SetWindowPosition(r.left, r.top, r.right - r.left, r.bottom - r.top));
        EXPECT_EQ(S_OK, w->put_Visible(OATRUE));
    }

    static HWND VideoHwnd(const Graph& g) {
        ComPtr<IMediaRendererWindow> w;
        HWND hwnd = nullptr;
        if (SUCCEEDED(g.renderer.As(&w))) w->GetWindowHandle(&hwnd);
        return hwnd;
    }

    // Waits for the renderer's EC_COMPLETE without looking at the queue.
    static bool WaitComplete(const Graph& g) {
        long code;
        LONG_PTR p1, p2;
        while (SUCCEEDED(g.events->GetEvent(&code, &p1, &p2, 60000))) {
            g.events->FreeEventParams(code, p1, p2);
            if (code == EC_COMPLETE) return true;
        }
        return false;
    }

    static int Drawn(const Graph& g) {
        int n = -1;
        g.qual->get_FramesDrawn(&n);
        return n;
    }
    static int Dropped(const Graph& g) {
        int n = -1;
        g.qual->get_FramesDroppedInRenderer(&n);
        return n;
    }

    OwnerLog log;
    HWND owner = nullptr;
};

// The colour a pixel has nearly (75 % bars: channels near 0 or 191).
::testing::AssertionResult Near(QColor got, int r, int g, int b) {
    const int tolerance = 40;
    if (std::abs(got.red() - r) <= tolerance && std::abs(got.green() - g) <= tolerance &&
        std::abs(got.blue() - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << got.red() << ", " << got.green() << ", " << got.blue() << "), want about ("
           << r << ", " << g << ", " << b << ")";
}

TEST_F(VideoRendererTest, TapeShowsItsColourBarsScaledIntoTheOwner) {
    Graph g;
    Build(10, &g);
    const RECT picture{20, 10, 20 + 360, 10 + 300};  // 360 x 288 picture stretched
    Attach(g.window.Get(), owner, picture);

    // Called on the owner's thread: the window is there at once.
    HWND video = VideoHwnd(g);
    ASSERT_NE(nullptr, video);
    EXPECT_EQ(owner, GetParent(video));
    EXPECT_TRUE(IsWindowVisible(video));
    const LONG style = GetWindowLong(video, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_CLIPSIBLINGS));
    RECT client;
    GetClientRect(video, &client);
    EXPECT_EQ(360, client.right);
    EXPECT_EQ(300, client.bottom);
    long reported = 0;
    g.window->get_WindowStyle(&reported);
    EXPECT_EQ(WS_CHILD | WS_VISIBLE, reported) << "frame and clipping bits were taken away";

    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_TRUE(WaitComplete(g));
    display_test::Pump(nullptr, 3);
    const QImage shot = display_test::Grab(owner);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(10, Drawn(g) + Dropped(g)) << "every frame drawn or dropped";
    EXPECT_GE(Drawn(g), 1);

    // Bars over the top three quarters: white, yellow, cyan, green,
    // magenta, red, blue, black; then the black strip.
    const int bars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                            {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
    const int y = picture.top + 300 * 3 / 8;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Near(shot.pixelColor(picture.left + 360 * (2 * i + 1) / 16, y), bars[i][0],
                         bars[i][1], bars[i][2]));
    }
    EXPECT_TRUE(Near(shot.pixelColor(picture.left + 4, picture.top + 300 - 4), 0, 0, 0));
    EXPECT_TRUE(Near(shot.pixelColor(5, 5), 255, 255, 255)) << "the owner outside the picture";
    EXPECT_TRUE(Near(shot.pixelColor(picture.right + 5, y), 255, 255, 255));

    // Input on the video window goes to the drain.
    PostMessage(video, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    ASSERT_TRUE(PumpUntil([&] { return log.clicks == 1; }));

    // Teardown as the program does it: stop, hide, detach.
    g.control->Stop();
    EXPECT_EQ(S_OK, g.window->put_Visible(OAFALSE));
    EXPECT_FALSE(IsWindowVisible(video));
    EXPECT_EQ(S_OK, g.window->put_Owner(0));
    EXPECT_FALSE(IsWindow(video)) << "no owner, no window";
    EXPECT_TRUE(IsWindow(owner));
    g.window->get_WindowStyle(&reported);
    EXPECT_FALSE(reported & WS_CHILD);
}

TEST_F(VideoRendererTest, PictureAtItsOwnSizeIsDrawnUprightToTheLastRow) {
    // The window the size of the picture: drawn without scaling, the
    // bottom-up picture's first and last rows land on the window's last and
    // first.
    Graph g;
    Build(5, &g);
    const RECT picture{8, 6, 8 + 360, 6 + 288};
    Attach(g.window.Get(), owner, picture);
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_TRUE(WaitComplete(g));
    display_test::Pump(nullptr, 3);
    const QImage shot = display_test::Grab(owner);
    ASSERT_FALSE(shot.isNull());
    ASSERT_GE(Drawn(g), 1);
    const int bars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                            {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const int x = picture.left + 360 * (2 * i + 1) / 16;
        EXPECT_TRUE(Near(shot.pixelColor(x, picture.top), bars[i][0], bars[i][1], bars[i][2]))
            << "the top row";
        EXPECT_TRUE(Near(shot.pixelColor(x, picture.top + 287), 0, 0, 0)) << "the bottom row";
    }
    EXPECT_TRUE(Near(shot.pixelColor(picture.left + 20, picture.top - 1), 255, 255, 255));
    EXPECT_TRUE(Near(shot.pixelColor(picture.left + 20, picture.bottom), 255, 255, 255));
    g.control->Stop();
}

TEST_F(VideoRendererTest, BlockedUiThreadNeverHoldsUpReceive) {
    constexpr int kFrames = 60;
    Graph g;
    Build(kFrames, &g);
    Attach(g.window.Get(), owner, RECT{0, 0, 180, 144});
    ASSERT_NE(nullptr, VideoHwnd(g));
    // The UI thread runs the graph from a handler and stays there until the
    // renderer has received the whole tape: if Receive waited for this
    // thread, the stream would never complete.
    bool completed = false;
    int drawnInside = -1, droppedInside = -1;
    log.onBlock = [&] {
        if (FAILED(g.control->Run())) return;
        completed = WaitComplete(g);
        drawnInside = Drawn(g);
        droppedInside = Dropped(g);
    };
    PostMessage(owner, kRunBlocked, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return drawnInside >= 0; }));
    EXPECT_TRUE(completed);
    EXPECT_EQ(0, drawnInside);
    EXPECT_EQ(kFrames - 1, droppedInside) << "each newer frame replaced the undrawn one";
    // Once the thread is back, the newest frame is drawn.
    display_test::Grab(owner);
    EXPECT_EQ(1, Drawn(g));
    g.control->Stop();
}

TEST_F(VideoRendererTest, CallsFromAWorkerThreadAndReleaseThereReachTheUiThread) {
    Graph g;
    Build(3, &g);
    // The graph worker attaches the window and later lets the whole graph
    // go while the UI thread is away; the UI thread does the work when it
    // next looks at its queue.
    std::thread([&] {
        CoInitialize(nullptr);
        Attach(g.window.Get(), owner, RECT{10, 20, 110, 100});
        CoUninitialize();
    }).join();
    ASSERT_TRUE(PumpUntil([&] {
        HWND v = VideoHwnd(g);
        return v && IsWindowVisible(v);
    }));
    HWND video = VideoHwnd(g);
    RECT rc;
    GetWindowRect(video, &rc);
    POINT origin{0, 0};
    ClientToScreen(owner, &origin);
    EXPECT_EQ(10, rc.left - origin.x);
    EXPECT_EQ(20, rc.top - origin.y);
    EXPECT_EQ(100, rc.right - rc.left);
    EXPECT_EQ(80, rc.bottom - rc.top);

    std::thread([&g] {
        CoInitialize(nullptr);
        g = Graph{};
        CoUninitialize();
    }).join();
    EXPECT_TRUE(IsWindow(video)) << "destroyed on its own thread, not on the worker";
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }));
    EXPECT_TRUE(IsWindow(owner));
}

TEST_F(VideoRendererTest, OwnerDestroyedFirstTakesTheWindowAndLeavesTheFilterSound) {
    Graph g;
    Build(20, &g);
    Attach(g.window.Get(), owner, RECT{0, 0, 90, 72});
    HWND video = VideoHwnd(g);
    ASSERT_NE(nullptr, video);
    ASSERT_EQ(S_OK, g.control->Run());
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(video));
    EXPECT_EQ(nullptr, VideoHwnd(g));
    // The stream runs on without a window; later calls change nothing.
    ASSERT_TRUE(WaitComplete(g));
    EXPECT_EQ(S_OK, g.window->put_Visible(OAFALSE));
    EXPECT_EQ(S_OK, g.window->put_Owner(0));
    display_test::Pump(nullptr, 2);
    EXPECT_EQ(nullptr, VideoHwnd(g));
    g.control->Stop();
    g = Graph{};
    display_test::Pump(nullptr, 2);
}

TEST_F(VideoRendererTest, NoOwnerMeansNoWindowAndCallsFollowTheConnection) {
    // Not connected: the window calls are refused as unconnected.
    ComPtr<IBaseFilter> lone = CreateFilter(CLSID_VideoRenderer);
    ComPtr<IVideoWindow> w;
    ASSERT_EQ(S_OK, lone.As(&w));
    long style = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, w->put_Owner(reinterpret_cast<OAHWND>(owner)));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, w->get_WindowStyle(&style));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, w->put_Visible(OATRUE));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, w->SetWindowPosition(0, 0, 10, 10));
    EXPECT_EQ(E_POINTER, w->get_WindowStyle(nullptr));

    // Connected, running, visible, but never owned: nothing appears.
    Graph g;
    Build(5, &g);
    const auto topLevels = QApplication::topLevelWidgets().size();
    EXPECT_EQ(E_INVALIDARG, g.window->put_Visible(2));
    EXPECT_EQ(E_INVALIDARG, g.window->put_WindowStyle(WS_CHILD | WS_DISABLED));
    EXPECT_EQ(S_OK, g.window->put_Visible(OATRUE));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_TRUE(WaitComplete(g));
    display_test::Pump(nullptr, 3);
    EXPECT_EQ(nullptr, VideoHwnd(g));
    EXPECT_EQ(topLevels, QApplication::topLevelWidgets().size());
    EXPECT_EQ(0, Drawn(g));
    g.window->get_WindowStyle(&style);
    EXPECT_EQ(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE, style);

    // Owned afterwards, while stopped: the last frame is shown.
    g.control->Stop();
    Attach(g.window.Get(), owner, RECT{0, 0, 72, 58});
    const QImage shot = display_test::Grab(owner);
    EXPECT_EQ(1, Drawn(g));
    EXPECT_TRUE(Near(shot.pixelColor(72 / 16, 20), 191, 191, 191)) << "the white bar";
}

}  // namespace
