// The worker and the panel's thread meeting at the build lock: each race is
// run in a set order by parking one thread at its race point (the panel's
// test hook) while the other does its part.  Then the holds both put on
// the status threads: every path that holds them resumes them.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "devices/virtualdeck.h"
#include "messageboxanswer.h"
#include "paneltest.h"
#include "testsupport/decktest.h"

using namespace paneltest;
using RacePoint = CCapturePanel::RacePoint;

namespace {

// What the hook does at each point.  One test at a time uses it.
struct Parking {
    std::mutex lock;
    std::condition_variable changed;
    bool armed = false;  // park the thread that comes to `point` next
    RacePoint point = RacePoint::WorkerBuildDone;
    std::atomic<bool> parked{false};
    bool released = false;
    std::atomic<int> putOff{0};   // graph events put off
    bool workerScanning = false;  // the worker holds the lock and found devices
    void (*afterBox)(CCapturePanel*) = nullptr;
} g;

void Hook(CCapturePanel* pPanel, RacePoint point) {
    if (point == RacePoint::GraphEventPutOff) {
        ++g.putOff;
        return;
    }
    if (point == RacePoint::AfterDeviceMessageBox) {
        if (g.afterBox != nullptr) g.afterBox(pPanel);
        return;
    }
    std::unique_lock<std::mutex> l(g.lock);
    if (point == RacePoint::WorkerScanning) {
        g.workerScanning = true;
        g.changed.notify_all();
    }
    if (!g.armed || point != g.point) return;
    g.armed = false;
    g.parked = true;
    g.changed.notify_all();
    // Never for ever: a test that fails must still end.
    g.changed.wait_for(l, std::chrono::seconds(30), [] { return g.released; });
}

// Ends the test program when a step has not come back within the limit
// (a deadlock would otherwise hang the suite).
class Watchdog {
public:
    Watchdog(int seconds, const char* what)
        : m_thread([this, seconds, what] {
              std::unique_lock<std::mutex> l(m_lock);
              if (!m_done.wait_for(l, std::chrono::seconds(seconds), [this] { return m_over; })) {
                  std::fprintf(stderr, "%s\n", what);
                  std::fflush(stderr);
                  _exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> l(m_lock);
            m_over = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_thread;
};

class RaceTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        std::lock_guard<std::mutex> l(g.lock);
        g.armed = false;
        g.parked = false;
        g.released = false;
        g.putOff = 0;
        g.workerScanning = false;
        g.afterBox = nullptr;
    }
    void TearDown() override {
        Release();
        PanelTest::TearDown();
    }
    void Hooked() { m_panel->m_pfnRaceHook = &Hook; }
    void Park(RacePoint point) {
        std::lock_guard<std::mutex> l(g.lock);
        g.point = point;
        g.armed = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> l(g.lock);
            g.released = true;
        }
        g.changed.notify_all();
    }
    bool AllDisabled() {
        for (int id : {IDC_DEVICE, IDC_CAPTURE, IDC_FILE_TYPE, IDC_BROWSE})
            if (Enabled(id)) return false;
        return true;
    }
    bool DeviceGone() {
        return Text(IDC_DEVICE_TYPE) == "No Supported DV Devices" &&
               Items(IDC_DEVICE) == std::vector<std::string>{"No Supported DV Devices"};
    }
};

}  // namespace

// The device is lost while the worker holds the lock to ignore a re-scan
// request: the graph event is put off, and must be handled once the worker
// lets go, though no further event comes.
TEST_F(RaceTest, ADeviceLostWhileTheWorkerIgnoresARescanIsHandled) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    Hooked();
    Park(RacePoint::WorkerIgnoresRescan);
    m_panel->m_pWorkerThread->PostThreadMessage(WM_RESCANDEVICES, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return g.parked.load(); }));

    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Virtual DV Deck"));
    ASSERT_TRUE(PumpUntil([] { return g.putOff > 0; }));
    Release();
    EXPECT_TRUE(PumpUntil([&] { return DeviceGone(); }, 3000)) << Text(IDC_DEVICE_TYPE);
    Pump(300);
    EXPECT_TRUE(AllDisabled());
    EXPECT_EQ(nullptr, m_panel->m_pGraph);
    Close();
}

// "No longer valid" answered while the device's loss was handled and the
// worker scans again: the worker sends to the panel's thread under the
// lock, so the handler must not simply wait for the lock.  The worker's new
// list stands; the handler's reset is not made on it.
TEST_F(RaceTest, TheLockAfterTheDeviceMessageBoxIsTakenWithoutDeadlock) {
    decktest::Configure("PAL Deck=pal; Second Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Second Deck"));
    Pump(300);
    Hooked();
    g.afterBox = [](CCapturePanel* pPanel) {
        // The loss of the selected device, handled in the box's loop: the
        // list is emptied and the worker asked to scan.
        pPanel->ResetToNoDevice();
        // Back in the handler only once the worker holds the lock and is
        // about to call into this thread.
        std::unique_lock<std::mutex> l(g.lock);
        g.changed.wait_for(l, std::chrono::seconds(10), [] { return g.workerScanning; });
    };
    MessageBoxAnswer answer;
    {
        Watchdog watchdog(20, "The device choice and the worker's scan are deadlocked.");
        Choose(IDC_DEVICE, 1);
    }
    EXPECT_EQ(1, answer.m_count);
    EXPECT_TRUE(g.workerScanning);
    ASSERT_TRUE(WaitForPreview());
    Pump(300);
    EXPECT_EQ(std::vector<std::string>{"PAL Deck"}, Items(IDC_DEVICE));
    EXPECT_EQ("720 x 576 DV PAL", Text(IDC_DEVICE_TYPE));
    EXPECT_NE(nullptr, m_panel->m_pGraph);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    Close();
}

// The device is lost just after the worker let go of the lock at the end
// of its build, before it enabled the controls: the reset's disabled
// controls stay disabled.
TEST_F(RaceTest, AResetAfterTheBuildKeepsTheControlsDisabled) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    Hooked();
    Park(RacePoint::WorkerBuildDone);
    ASSERT_TRUE(PumpUntil([] { return g.parked.load(); }));
    EXPECT_TRUE(AllDisabled());

    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Virtual DV Deck"));
    ASSERT_TRUE(PumpUntil([&] { return DeviceGone(); }));
    Release();
    Pump(500);
    EXPECT_TRUE(DeviceGone());
    EXPECT_TRUE(AllDisabled());
    Close();
}

namespace {

// Every way the panel holds the status threads ends with the hold resumed:
// once a step is done, neither thread is left held.
class StatusHoldTest : public PanelTest {
public:
    // For the steps' table.
    using PanelTest::Choose;
    using PanelTest::Click;
    using PanelTest::m_panel;
    using PanelTest::Pump;
    using PanelTest::PumpUntil;
    using PanelTest::Text;
    using PanelTest::WaitForPreview;

protected:
    bool Held() { return m_panel->m_bPollPause || m_panel->m_bStatsHold; }
};

// The steps, in order, on one panel previewing the first of two decks.
struct HoldStep {
    const char* name;
    // Takes the panel through the step; false when it could not.
    bool (*run)(StatusHoldTest& t);
};

const HoldStep kHoldSteps[] = {
    {"the worker's first build", [](StatusHoldTest& t) { return t.WaitForPreview(); }},
    {"another device chosen",
     [](StatusHoldTest& t) {
         t.Choose(IDC_DEVICE, 1);
         return t.m_panel->m_nDeviceIndex == 1 && t.WaitForPreview();
     }},
    {"another file type chosen",
     [](StatusHoldTest& t) {
         t.Choose(IDC_FILE_TYPE, 0);
         return t.m_panel->m_nFileType == 0 && t.m_panel->m_pMux != nullptr;
     }},
    {"Capture and Stop Capture",
     [](StatusHoldTest& t) {
         t.Click(IDC_CAPTURE);
         const bool bStarted = t.m_panel->m_bCapturing;
         t.Pump(300);
         t.Click(IDC_CAPTURE);
         return bStarted && !t.m_panel->m_bCapturing;
     }},
    {"a graph that cannot be built",
     [](StatusHoldTest& t) {
         // A multiplexer missing after a successful call fails the build
         // inside the hold; the graph is torn down.
         enginetest::BuilderFaults faults;
         faults.nullMux = true;
         t.m_panel->m_pBuilder->Release();
         t.m_panel->m_pBuilder = enginetest::CreateFaultyBuilder(t.m_panel->m_pGraph, faults);
         t.Choose(IDC_FILE_TYPE, 1);
         return t.m_panel->m_pGraph == nullptr;
     }},
    {"the device lost",
     [](StatusHoldTest& t) {
         // The device is chosen anew, for a graph to lose.  The other deck
         // goes first, unnoticed while devices are listed, so that the
         // re-scan after the loss finds nothing.
         t.Choose(IDC_DEVICE, 0);
         if (t.m_panel->m_pGraph == nullptr || VirtualDeckUnplug(L"NTSC Deck") != S_OK)
             return false;
         t.Pump(300);
         if (VirtualDeckUnplug(L"PAL Deck") != S_OK) return false;
         return t.PumpUntil([&] { return t.Text(IDC_DEVICE_TYPE) == "No Supported DV Devices"; });
     }},
};

}  // namespace

TEST_F(StatusHoldTest, EveryStepResumesTheStatusThreads) {
    decktest::Configure("PAL Deck=pal; NTSC Deck=ntsc", "realtime");
    Open();
    for (const HoldStep& step : kHoldSteps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(step.run(*this));
        EXPECT_FALSE(Held());
    }
    Close();
}

// A first build that fails leaves the hold from inside it: without a
// timecode reader the base graph cannot be built.
TEST_F(StatusHoldTest, AFailedFirstBuildResumesTheStatusThreads) {
    decktest::Configure("Archive Deck=pal,no-timecode", "realtime");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "Error Initializing"; }));
    ASSERT_TRUE(PumpUntil([&] {
        return WaitForSingleObject(m_panel->m_pWorkerThread->m_hThread, 0) == WAIT_OBJECT_0;
    }));
    EXPECT_FALSE(Held());
    Close();
}

// The scoped hold on its own: a scope left early or normally resumes, and
// a scope inside an explicit hold leaves that hold in force.
TEST(StatusHold, TheScopeEndsTheHoldItMade) {
    struct Case {
        const char* name;
        bool bOuterHold;
        bool bEarlyReturn;
    };
    const Case kCases[] = {
        {"scope left at its end", false, false},
        {"scope left by an early return", false, true},
        {"inside a hold, left at its end", true, false},
        {"inside a hold, left by an early return", true, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        // No status threads and no polling events: holds do not wait.
        CCapturePanel panel;
        if (c.bOuterHold) panel.HoldStatusThreads();
        bool bHeldInside = false;
        bool bReachedEnd = false;
        [&] {
            CCapturePanel::CStatusHold hold(panel);
            bHeldInside = panel.m_bPollPause && panel.m_bStatsHold;
            if (c.bEarlyReturn) return;
            bReachedEnd = true;
        }();
        EXPECT_TRUE(bHeldInside);
        EXPECT_NE(c.bEarlyReturn, bReachedEnd);
        EXPECT_EQ(c.bOuterHold, panel.m_bPollPause.load());
        EXPECT_EQ(c.bOuterHold, panel.m_bStatsHold.load());
        if (c.bOuterHold) panel.ResumeStatusThreads();
        EXPECT_FALSE(panel.m_bPollPause);
    }
}
