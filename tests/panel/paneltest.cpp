#include "paneltest.h"

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "tapeloom/qt_display.h"

namespace paneltest {

namespace {

const int kHostWidth = 700, kHostHeight = 260;
// A shutdown that takes longer than this has hung.
const auto kShutdownLimit = std::chrono::seconds(30);

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProc(hwnd, msg, wp, lp);
}

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
    EngineTest::SetUp();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qt_display::Install();
    static const ATOM atom = [] {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = "Test Panel Host";
        return RegisterClassEx(&wc);
    }();
    ASSERT_NE(0, atom);
    m_hHost = CreateWindowEx(0, "Test Panel Host", "Panel Host", WS_POPUP | WS_VISIBLE, 0, 0,
                             kHostWidth, kHostHeight, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, m_hHost);
    MakeFrame(360, 288);
}

void PanelTest::TearDown() {
    if (m_panel && m_panel->m_hWnd != NULL) Close();
    m_panel.reset();
    if (m_hHost != NULL) DestroyWindow(m_hHost);
    m_hHost = NULL;
    RunMessages();
    EngineTest::TearDown();
}

void PanelTest::Open() {
    m_panel = std::make_unique<CCapturePanel>();
    ASSERT_TRUE(m_panel->Create(IDD_CAPTURE_PANEL, CWnd::FromHandle(m_hHost)));
    m_panel->ShowWindow(SW_SHOW);
    m_panel->SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
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
    m_panel->DestroyWindow();
    {
        std::lock_guard<std::mutex> l(lock);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
}

bool PanelTest::PumpUntil(const std::function<bool()>& cond, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        RunMessages();
        if (cond()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PanelTest::Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool PanelTest::WaitForPreview(int ms) {
    return PumpUntil([this] { return Enabled(IDC_CAPTURE); }, ms);
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
    qt_display::SaveWindowImage(m_panel->m_hWnd, (std::string(SCREENSHOT_DIR) + "/" + name).c_str());
}

}  // namespace paneltest

// Qt is not built with ThreadSanitizer; reports from inside its libraries
// are about its own locking, which the tool cannot see.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n"
           "race:libfontconfig.so\nrace:libglib-2.0.so\n";
}

// Fontconfig keeps a cache it never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
