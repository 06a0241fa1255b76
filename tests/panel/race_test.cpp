// The worker and the panel's thread meeting at the build lock: each race is
// run in a set order by parking one thread at its race point (the panel's
// test hook) while the other does its part.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "dvdevices/virtualdeck.h"
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
    std::atomic<int> putOff{0};     // graph events put off
    bool workerScanning = false;    // the worker holds the lock and found devices
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
