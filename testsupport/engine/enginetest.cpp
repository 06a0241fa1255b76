#include "testsupport/enginetest.h"

#include <stdlib.h>
#include <uuids.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "com/comobject.h"
#include "media/rendererwindow.h"
#include "qt/display.h"
#include "testsupport/decktest.h"

namespace enginetest {

namespace {

class FaultyBuilder final : public ComObject<ICaptureGraphBuilder2> {
public:
    FaultyBuilder(ICaptureGraphBuilder2* real, const BuilderFaults& faults)
        : m_real(real), m_faults(faults) {}
    STDMETHODIMP SetFiltergraph(IGraphBuilder* g) override { return m_real->SetFiltergraph(g); }
    STDMETHODIMP GetFiltergraph(IGraphBuilder** g) override { return m_real->GetFiltergraph(g); }
    STDMETHODIMP SetOutputFileName(const GUID* t, LPCOLESTR f, IBaseFilter** ppf,
                                   IFileSinkFilter** pps) override {
        if (m_faults.nullMux) {
            if (ppf) *ppf = nullptr;
            if (pps) *pps = nullptr;
            return S_OK;
        }
        return m_real->SetOutputFileName(t, f, ppf, pps);
    }
    STDMETHODIMP FindInterface(const GUID* c, const GUID* t, IBaseFilter* f, REFIID riid,
                               void** ppv) override {
        if (m_faults.noDroppedFrames && riid == IID_IAMDroppedFrames) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return m_real->FindInterface(c, t, f, riid, ppv);
    }
    STDMETHODIMP RenderStream(const GUID* c, const GUID* t, IUnknown* s, IBaseFilter* i,
                              IBaseFilter* r) override {
        return m_real->RenderStream(c, t, s, i, r);
    }
    STDMETHODIMP ControlStream(const GUID* c, const GUID* t, IBaseFilter* f, REFERENCE_TIME* a,
                               REFERENCE_TIME* b, WORD x, WORD y) override {
        return m_real->ControlStream(c, t, f, a, b, x, y);
    }

private:
    ComPtr<ICaptureGraphBuilder2> m_real;
    BuilderFaults m_faults;
};

}  // namespace

ICaptureGraphBuilder2* CreateFaultyBuilder(IGraphBuilder* pGraph, const BuilderFaults& faults) {
    ComPtr<ICaptureGraphBuilder2> real;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void**>(real.ReleaseAndGetAddressOf()))))
        return nullptr;
    real->SetFiltergraph(pGraph);
    return new FaultyBuilder(real.Get(), faults);
}

// ---- StatusThreads ------------------------------------------------------

static UINT NoThreadProc(LPVOID) { return 0; }

StatusThreads::StatusThreads(CCapturePanel* pPanel, bool bPoll, bool bStats)
    : m_pPanel(pPanel), m_statsThread(new CWinThread(&NoThreadProc, nullptr)) {
    if (bPoll) m_poll = std::thread([this] { Poll(); });
    if (bStats) {
        m_stats = std::thread([this] { Stats(); });
        while (!m_statsReady) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_pPanel->m_pStatsThread = m_statsThread.get();
    }
}

StatusThreads::~StatusThreads() { Stop(); }

void StatusThreads::Stop() {
    if (m_poll.joinable()) {
        SetEvent(m_pPanel->m_hStopPollEvent);
        m_poll.join();
    }
    if (m_stats.joinable()) {
        PostThreadMessage(m_statsThread->m_nThreadID, WM_QUIT, 0, 0);
        m_stats.join();
        m_pPanel->m_pStatsThread = NULL;
    }
}

void StatusThreads::Poll() {
    CoInitialize(nullptr);
    while (WaitForSingleObject(m_pPanel->m_hStopPollEvent, 20) != WAIT_OBJECT_0) {
        if (m_pPanel->m_bPollPause) {
            SetEvent(m_pPanel->m_hPollPausedEvent);
            continue;
        }
        ResetEvent(m_pPanel->m_hPollPausedEvent);
        if (m_pPanel->m_pTransport != NULL) {
            long lMode = 0;
            if (SUCCEEDED(m_pPanel->m_pTransport->get_Mode(&lMode)))
                m_pPanel->m_nTransportMode = lMode;
        }
        if (m_pPanel->m_pTimecodeReader != NULL) {
            TIMECODE_SAMPLE sample{};
            sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
            m_pPanel->m_pTimecodeReader->GetTimecode(&sample);
        }
        ++m_unheldPolls;
    }
    CoUninitialize();
}

void StatusThreads::Stats() {
    CoInitialize(nullptr);
    MSG msg;
    PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE);
    m_statsThread->m_nThreadID = GetCurrentThreadId();
    m_statsReady = true;
    for (;;) {
        while (PeekMessage(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                CoUninitialize();
                return;
            }
            if (msg.message == WM_HOLDSTATS && msg.wParam != 0) {
                bool bFirst = true;
                while (m_pPanel->m_bStatsHold) {
                    if (bFirst) SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
                    bFirst = false;
                    // A hold that began before this thread saw the last
                    // resume is acknowledged from here.
                    MSG next;
                    while (PeekMessage(&next, NULL, WM_HOLDSTATS, WM_HOLDSTATS, PM_REMOVE))
                        if (next.wParam != 0) SetEvent(reinterpret_cast<HANDLE>(next.wParam));
                    Sleep(10);
                }
            }
        }
        if (!m_pPanel->m_bStatsHold) {
            if (m_pPanel->m_pDroppedFrames != NULL) {
                long n = 0;
                m_pPanel->m_pDroppedFrames->GetNumDropped(&n);
                m_pPanel->m_pDroppedFrames->GetNumNotDropped(&n);
            }
            ++m_unheldStats;
        }
        Sleep(15);
    }
}

// ---- Helpers ------------------------------------------------------------

namespace {

// The first filter of the graph that has the interface, or null.
template <class T>
ComPtr<T> FindInGraph(IFilterGraph* pGraph, REFIID riid) {
    ComPtr<T> found;
    ComPtr<IEnumFilters> e;
    if (!pGraph || FAILED(pGraph->EnumFilters(e.ReleaseAndGetAddressOf()))) return found;
    IBaseFilter* f = nullptr;
    while (!found && e->Next(1, &f, nullptr) == S_OK) {
        f->QueryInterface(riid, reinterpret_cast<void**>(found.ReleaseAndGetAddressOf()));
        f->Release();
    }
    return found;
}

}  // namespace

HWND PreviewWindow(IFilterGraph* pGraph) {
    HWND hwnd = NULL;
    ComPtr<IMediaRendererWindow> w =
        FindInGraph<IMediaRendererWindow>(pGraph, IID_IMediaRendererWindow);
    if (w) w->GetWindowHandle(&hwnd);
    return hwnd;
}

long PreviewFrames(IFilterGraph* pGraph) {
    ComPtr<IQualProp> q = FindInGraph<IQualProp>(pGraph, IID_IQualProp);
    int drawn = 0, dropped = 0;
    if (!q || FAILED(q->get_FramesDrawn(&drawn)) ||
        FAILED(q->get_FramesDroppedInRenderer(&dropped)))
        return -1;
    return drawn + dropped;
}

RECT RectInParent(HWND hwnd) {
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(NULL, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::vector<std::string> FilterNames(IFilterGraph* pGraph) {
    std::vector<std::string> names;
    ComPtr<IEnumFilters> e;
    if (!pGraph || FAILED(pGraph->EnumFilters(e.ReleaseAndGetAddressOf()))) return names;
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        std::wstring w(info.achName);
        names.push_back(std::string(w.begin(), w.end()));
        if (info.pGraph) info.pGraph->Release();
        f->Release();
    }
    return names;
}

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

void EngineTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    m_scratch = std::make_unique<testsupport::ScratchDir>("tapeloom-engine");
    m_dir = m_scratch->Path();
    ASSERT_FALSE(m_dir.empty());
    m_temp = m_dir + "/temp";
    std::filesystem::create_directory(m_temp);
    setenv("TAPELOOM_REGISTRY", (m_dir + "/registry").c_str(), 1);
    setenv("TEMP", m_temp.c_str(), 1);
    setenv("XDG_STATE_HOME", (m_dir + "/state").c_str(), 1);
}

std::string EngineTest::LogText() const {
    std::ifstream in(m_dir + "/state/tapeloom/tapeloom.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void EngineTest::TearDown() {
    decktest::Configure("");
    if (m_hFrame) {
        m_main->m_wndPreviewFrame.Detach();
        DestroyWindow(m_hFrame);
        m_hFrame = NULL;
    }
    m_main.reset();
    m_app.reset();
    m_scratch.reset();
    CoUninitialize();
}

void EngineTest::MakeFrame(int width, int height) {
    if (!m_main) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        qt_display::Install();
        m_app = std::make_unique<CWinApp>();
        m_main = std::make_unique<CMainDialog>();
        m_app->m_pMainWnd = m_main.get();
    }
    if (m_hFrame) {
        m_main->m_wndPreviewFrame.Detach();
        DestroyWindow(m_hFrame);
    }
    static const ATOM atom = [] {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "Test Preview Frame";
        return RegisterClassEx(&wc);
    }();
    ASSERT_NE(0, atom);
    m_hFrame = CreateWindowEx(0, "Test Preview Frame", "", WS_POPUP, 0, 0, width, height, NULL,
                              NULL, NULL, NULL);
    ASSERT_NE(nullptr, m_hFrame);
    ASSERT_TRUE(m_main->m_wndPreviewFrame.Attach(m_hFrame));
}

void EngineTest::InitPanel(CCapturePanel& panel) {
    panel.m_hStopPollEvent = CreateEvent(NULL, TRUE, FALSE, NULL);
    panel.m_hPollPausedEvent = CreateEvent(NULL, TRUE, FALSE, NULL);
    panel.m_pDeviceList = new CDeviceList(false);
}

void EngineTest::FreePanel(CCapturePanel& panel) {
    panel.TeardownGraph();
    delete panel.m_pDeviceList;
    panel.m_pDeviceList = NULL;
    CloseHandle(panel.m_hStopPollEvent);
    CloseHandle(panel.m_hPollPausedEvent);
    panel.m_hStopPollEvent = panel.m_hPollPausedEvent = NULL;
}

void DeckTest::SetUp() {
    EngineTest::SetUp();
    InitPanel(panel);
    MakeFrame(600, 300);
    threads = std::make_unique<StatusThreads>(&panel);
}

void DeckTest::TearDown() {
    threads->Stop();
    FreePanel(panel);
    EngineTest::TearDown();
}

bool DeckTest::Build() {
    panel.HoldStatusThreads();
    const bool built = panel.BuildBaseGraph();
    if (!built) panel.TeardownGraph();
    panel.ResumeStatusThreads();
    return built;
}

void DeckTest::Teardown() {
    panel.HoldStatusThreads();
    panel.TeardownGraph();
    panel.ResumeStatusThreads();
}

}  // namespace enginetest
