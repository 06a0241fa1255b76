// Helpers of the engine's tests: a panel on the virtual deck with stand-ins
// for the status threads, a preview frame, a video renderer that records
// the calls on its window, and a capture graph builder that can be made to
// fail.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CapturePanel.h"
#include "DeviceList.h"
#include "MainDialog.h"
#include "testsupport/scratchdir.h"

namespace enginetest {

// The graph's video renderer window, or NULL while it has none.
HWND PreviewWindow(IFilterGraph* pGraph);
// Pictures that reached the graph's video renderer, drawn or replaced by
// a newer one before they were drawn.
long PreviewFrames(IFilterGraph* pGraph);
// A window's rectangle in its parent's client area.
RECT RectInParent(HWND hwnd);

// A capture graph builder over the real one, with faults.
struct BuilderFaults {
    bool nullMux = false;          // SetOutputFileName succeeds without a multiplexer
    bool noDroppedFrames = false;  // FindInterface finds nothing
};
ICaptureGraphBuilder2* CreateFaultyBuilder(IGraphBuilder* pGraph, const BuilderFaults& faults);

// The polling and statistics threads as far as the hold protocol sees
// them: they read the graph interfaces they use whenever they are not held.
class StatusThreads {
public:
    explicit StatusThreads(CCapturePanel* pPanel, bool bPoll = true, bool bStats = true);
    ~StatusThreads();
    void Stop();
    long UnheldPolls() const { return m_unheldPolls; }
    long UnheldStats() const { return m_unheldStats; }

private:
    void Poll();
    void Stats();
    CCapturePanel* m_pPanel;
    // The statistics thread as the panel knows it: identifier and handle.
    std::unique_ptr<CWinThread> m_statsThread;
    std::thread m_poll, m_stats;
    std::atomic<bool> m_statsReady{false};
    std::atomic<long> m_unheldPolls{0}, m_unheldStats{0};
};

// Names of the filters in the graph.
std::vector<std::string> FilterNames(IFilterGraph* pGraph);

// A fresh directory for the test's files, the registry file in it, TEMP
// pointing at a directory in it, and COM entered.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The panel's events and device list, as its initialisation makes them.
    void InitPanel(CCapturePanel& panel);
    void FreePanel(CCapturePanel& panel);
    // A preview frame of the given client size, where the live picture
    // goes: a plain window of the frame's shape bound to the
    // m_wndPreviewFrame of a CMainDialog that is the application's main
    // window.  The first call installs the display and makes the
    // application; a test file that makes a frame includes
    // testsupport/displaysuppressions.h once (Qt's own threads are not instrumented).
    void MakeFrame(int width, int height);
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    // What the program logged during the test.
    std::string LogText() const;

    std::unique_ptr<testsupport::ScratchDir> m_scratch;
    std::string m_dir;  // m_scratch's path
    std::string m_temp;
    // The application and its main window: made by MakeFrame, or by a
    // fixture that runs the real main window.
    std::unique_ptr<CWinApp> m_app;
    std::unique_ptr<CMainDialog> m_main;
    HWND m_hFrame = NULL;
};

// A panel on the virtual deck with its status threads running and a
// 600 x 300 preview frame.
class DeckTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds and tears down the base graph as the panel's callers do,
    // with the status threads held; a failed build leaves no graph.
    bool Build();
    void Teardown();

    CCapturePanel panel;
    std::unique_ptr<StatusThreads> threads;
};

bool WaitUntil(const std::function<bool()>& cond, int ms = 10000);
void Touch(const std::string& path);
bool Exists(const std::string& path);

}  // namespace enginetest
