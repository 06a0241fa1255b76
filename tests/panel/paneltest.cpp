#include "paneltest.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "qt/display.h"
#include "testsupport/displaysuppressions.h"

namespace paneltest {

namespace {

// A shutdown that takes longer than this has hung.
const auto kShutdownLimit = std::chrono::seconds(30);

// The main window with its panel in reach.
class CTestMainDialog : public CMainDialog {
public:
    CCapturePanel* Panel() { return &m_panel; }
};

void RunMessages() {
    QApplication::processEvents();
    MSG msg;
    while (PeekMessage(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

}  // namespace

void PanelTest::SetUp() {
    // The display first, so that the video renderer draws on it.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qt_display::Install();
    EngineTest::SetUp();
    m_app = std::make_unique<CWinApp>("Tapeloom");
}

void PanelTest::TearDown() {
    if (m_main && m_main->m_hWnd != NULL) Close();
    m_main.reset();
    m_panel = nullptr;
    if (m_app) m_app->m_pMainWnd = nullptr;
    m_app.reset();
    RunMessages();
    EngineTest::TearDown();
}

void PanelTest::Open() {
    auto main = std::make_unique<CTestMainDialog>();
    m_panel = main->Panel();
    m_main = std::move(main);
    m_app->m_pMainWnd = m_main.get();
    ASSERT_TRUE(m_main->Create(IDD_TAPELOOM_DIALOG));
    m_main->ShowWindow(SW_SHOW);
}

void PanelTest::Close() {
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> l(lock);
        if (!cv.wait_for(l, kShutdownLimit, [&] { return done; })) {
            std::fprintf(stderr, "The panel's shutdown has not ended within 30 s.\n");
            std::fflush(stderr);
            _exit(1);
        }
    });
    m_main->DestroyWindow();
    {
        std::lock_guard<std::mutex> l(lock);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
}

bool PanelTest::PumpUntil(const std::function<bool()>& cond, int ms) {
    // The condition is looked at after every message, so that a state the
    // worker passes through while it waits for this thread is seen.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        QApplication::processEvents();
        if (cond()) return true;
        MSG msg;
        bool any = false;
        while (PeekMessage(&msg, NULL, 0, 0, PM_REMOVE)) {
            any = true;
            TranslateMessage(&msg);
            DispatchMessage(&msg);
            if (cond()) return true;
        }
        if (cond()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PanelTest::Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool PanelTest::WaitForPreview(int ms) {
    // The worker enables the browse button last.
    return PumpUntil([this] { return Enabled(IDC_BROWSE); }, ms);
}

std::string PanelTest::Text(int id) {
    char text[4096] = "";
    GetWindowText(GetDlgItem(m_panel->m_hWnd, id), text, sizeof text);
    return text;
}

bool PanelTest::Enabled(int id) {
    return IsWindowEnabled(GetDlgItem(m_panel->m_hWnd, id)) != FALSE;
}

std::vector<std::string> PanelTest::Items(int id) {
    HWND hCombo = GetDlgItem(m_panel->m_hWnd, id);
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessage(hCombo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[1024] = "";
        SendMessage(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int PanelTest::Selection(int id) {
    return static_cast<int>(SendDlgItemMessage(m_panel->m_hWnd, id, CB_GETCURSEL, 0, 0));
}

void PanelTest::Click(int id) {
    SendMessage(GetDlgItem(m_panel->m_hWnd, id), BM_CLICK, 0, 0);
    RunMessages();
}

void PanelTest::Choose(int id, int index) {
    HWND hCombo = GetDlgItem(m_panel->m_hWnd, id);
    if (!IsWindowEnabled(hCombo)) return;
    SendMessage(hCombo, CB_SETCURSEL, index, 0);
    SendMessage(m_panel->m_hWnd, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(hCombo));
    RunMessages();
}

void PanelTest::Shot(const std::string& name) {
    std::filesystem::create_directories(SCREENSHOT_DIR);
    RunMessages();
    qt_display::SaveWindowImage(m_main->m_hWnd, (std::string(SCREENSHOT_DIR) + "/" + name).c_str());
}

long PanelTest::DeckMode() {
    long mode = 0;
    if (m_panel->m_pTransport == NULL || FAILED(m_panel->m_pTransport->get_Mode(&mode))) return -1;
    return mode;
}

void PanelTest::RaiseGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = NULL;
    ASSERT_NE(nullptr, m_panel->m_pGraph);
    ASSERT_TRUE(SUCCEEDED(
        m_panel->m_pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))));
    sink->Notify(code, param1, param2);
    sink->Release();
}

std::string Probe(const std::string& path) {
    const std::string command =
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_name,codec_type,nb_read_frames -of csv=p=0 '" +
        path + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

long ProbeVideoFrames(const std::string& path) {
    const std::string out = Probe(path);
    const auto at = out.find("dvvideo,video,");
    if (at == std::string::npos) return -1;
    return std::atol(out.c_str() + at + 14);
}

std::string StreamTypes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(65536, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    std::string types;
    for (size_t at = head.find("strh"); at != std::string::npos && at + 12 <= head.size();
         at = head.find("strh", at + 4))
        types += (types.empty() ? "" : ",") + head.substr(at + 8, 4);
    return types;
}

unsigned long FileIdentity(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
}

}  // namespace paneltest
