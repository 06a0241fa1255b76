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

namespace enginetest {

// What the preview renderer's window was told, in order.
struct WindowState {
    OAHWND owner = 0;
    OAHWND drain = 0;
    long style = 0;
    long left = 0, top = 0, width = 0, height = 0;
    long visible = OAFALSE;
    std::vector<std::string> calls;
};

// The last preview renderer created, its window's state and frames.
WindowState LastWindow();
long PreviewFrames();
// Registers the recording renderer as the video renderer.
void RegisterPreviewRenderer();

// A capture graph builder over the real one, with faults.
struct BuilderFaults {
    bool nullMux = false;        // SetOutputFileName succeeds without a multiplexer
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
// pointing at a directory in it, COM entered and a preview frame of the
// given client size.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The panel's events and device list, as its initialisation makes them.
    void InitPanel(CCapturePanel& panel);
    void FreePanel(CCapturePanel& panel);
    void MakeFrame(int width, int height);
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
    std::string m_temp;
    HWND m_hFrame = NULL;
};

bool WaitUntil(const std::function<bool()>& cond, int ms = 10000);
void Touch(const std::string& path);
bool Exists(const std::string& path);

}  // namespace enginetest
