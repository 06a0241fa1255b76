// The worker and the notify window: a device that goes away and comes
// back, errors from the graph, failed builds, and the shutdown while the
// worker builds or a recording runs.
#include <edevdefs.h>

#include "devices/virtualdeck.h"
#include "messageboxanswer.h"
#include "paneltest.h"
#include "testsupport/decktest.h"

using namespace paneltest;
using enginetest::Exists;

namespace {

const int kControls[] = {IDC_DEVICE, IDC_CAPTURE, IDC_FILE_TYPE, IDC_BROWSE};

class DeviceTest : public PanelTest {
protected:
    std::string Numbered(int n) {
        char name[32];
        snprintf(name, sizeof name, "/Tapeloom%05d.avi", n);
        return m_temp + name;
    }
    bool AllDisabled() {
        for (int id : kControls)
            if (Enabled(id)) return false;
        return true;
    }
    bool DeviceGone() {
        return Text(IDC_DEVICE_TYPE) == "No Supported DV Devices" &&
               Items(IDC_DEVICE) == std::vector<std::string>{"No Supported DV Devices"};
    }
};

}  // namespace

TEST_F(DeviceTest, UnplugDuringACaptureKeepsTheRecordingAndFindsTheDeckAgain) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    Click(IDC_CAPTURE);
    Pump(1500);
    ASSERT_TRUE(m_panel->m_bCapturing);

    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Virtual DV Deck"));
    ASSERT_TRUE(PumpUntil([&] { return DeviceGone(); }));
    EXPECT_TRUE(AllDisabled());
    EXPECT_FALSE(m_panel->m_bCapturing);
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));
    EXPECT_EQ(nullptr, m_panel->m_pGraph);
    // The recording is complete; the fresh next file, never recorded
    // into, is gone.
    EXPECT_GT(ProbeVideoFrames(Numbered(0)), 10);
    EXPECT_EQ(Numbered(1), m_panel->m_strCaptureFile);
    EXPECT_FALSE(Exists(Numbered(1)));
    // The re-scan found nothing: the texts stay and the panel waits.
    Pump(500);
    EXPECT_TRUE(DeviceGone());
    Pump(250);
    for (int id : {IDC_PLAY, IDC_STOP, IDC_PAUSE}) EXPECT_FALSE(Enabled(id));
    Shot("state-device-gone.png");

    // Plugged back in: the system's device change brings it back.
    ASSERT_EQ(S_OK, VirtualDeckPlug(L"Virtual DV Deck"));
    ASSERT_TRUE(WaitForPreview());
    EXPECT_EQ(std::vector<std::string>{"Virtual DV Deck"}, Items(IDC_DEVICE));
    EXPECT_EQ("720 x 576 DV PAL", Text(IDC_DEVICE_TYPE));
    Close();
    EXPECT_TRUE(Exists(Numbered(0)));
    EXPECT_FALSE(Exists(Numbered(1)));
}

TEST_F(DeviceTest, ErrorAbortEndsTheCaptureAndKeepsThePreview) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    Click(IDC_CAPTURE);
    Pump(1000);
    MessageBoxAnswer answer;
    RaiseGraphEvent(EC_ERRORABORT, E_FAIL, 0);
    ASSERT_TRUE(PumpUntil([&] { return !m_panel->m_bCapturing; }));
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));
    EXPECT_EQ(Numbered(1), m_panel->m_strCaptureFile);
    // The recording ended by itself: the user is told.
    ASSERT_TRUE(PumpUntil([&] { return answer.m_count == 1; }));
    EXPECT_EQ(0u, answer.m_text.find("The recording stopped because of an error in the capture, "))
        << answer.m_text;
    EXPECT_GT(ProbeVideoFrames(Numbered(0)), 5);
    // The deck is still there: the preview and the controls stay.
    Pump(200);
    EXPECT_NE(nullptr, m_panel->m_pGraph);
    for (int id : kControls) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ("720 x 576 DV PAL", Text(IDC_DEVICE_TYPE));

    // A device-lost event for another filter, or one reporting the device
    // back, changes nothing.
    IBaseFilter* other = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_DVSplitter, NULL, CLSCTX_INPROC_SERVER,
                                           IID_IBaseFilter, reinterpret_cast<void**>(&other))));
    RaiseGraphEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(other), 0);
    RaiseGraphEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(m_panel->m_pDeviceFilter), 1);
    other->Release();
    Pump(200);
    EXPECT_NE(nullptr, m_panel->m_pGraph);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));

    // A device change while a device is listed starts no scan.
    SendMessage(m_panel->m_hNotifyWnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    Pump(200);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    Close();
}

TEST_F(DeviceTest, ChoosingAVanishedDeviceResetsAfterTheMessageBox) {
    decktest::Configure("PAL Deck=pal; Second Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    // The broadcast of the unplug is ignored: devices are listed.
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Second Deck"));
    Pump(300);
    EXPECT_EQ(2u, Items(IDC_DEVICE).size());
    MessageBoxAnswer answer;
    Choose(IDC_DEVICE, 1);
    EXPECT_EQ(1, answer.m_count);
    EXPECT_EQ("The Selected Capture Device is no longer valid, The selection will not be changed.",
              answer.m_text);
    EXPECT_EQ("Tapeloom", answer.m_title);
    EXPECT_EQ(QMessageBox::Warning, answer.m_icon);
    // The re-scan finds the remaining deck; the index 0 is kept.
    ASSERT_TRUE(WaitForPreview());
    EXPECT_EQ(std::vector<std::string>{"PAL Deck"}, Items(IDC_DEVICE));
    EXPECT_EQ(0, m_panel->m_nDeviceIndex);
    Close();
}

TEST_F(DeviceTest, ABaseGraphThatCannotBeBuiltFails) {
    // Without a timecode reader the base graph cannot be built.
    decktest::Configure("Archive Deck=pal,no-timecode", "realtime");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "Error Initializing"; }));
    EXPECT_EQ(std::vector<std::string>{"Archive Deck"}, Items(IDC_DEVICE));
    Pump(250);
    EXPECT_TRUE(AllDisabled());
    for (int id : {IDC_PLAY, IDC_STOP, IDC_PAUSE}) EXPECT_FALSE(Enabled(id));
    EXPECT_EQ(nullptr, m_panel->m_pGraph);
    Shot("state-failed.png");
    // The worker has ended: a device change brings nothing back.
    ASSERT_TRUE(PumpUntil([&] {
        return WaitForSingleObject(m_panel->m_pWorkerThread->m_hThread, 0) == WAIT_OBJECT_0;
    }));
    DWORD code = 99;
    GetExitCodeThread(m_panel->m_pWorkerThread->m_hThread, &code);
    EXPECT_EQ(0u, code);
    SendMessage(m_panel->m_hNotifyWnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    Pump(300);
    EXPECT_EQ("Error Initializing", Text(IDC_DEVICE_TYPE));
    Close();
}

TEST_F(DeviceTest, ShutdownDuringACaptureFinishesTheRecording) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    Choose(IDC_FILE_TYPE, 0);
    Click(IDC_CAPTURE);
    Pump(1200);
    Close();
    EXPECT_GT(ProbeVideoFrames(Numbered(0)), 10);
    EXPECT_FALSE(Exists(Numbered(1)));
    // The settings were saved after the threads had gone.
    CCapturePanel settings;
    settings.LoadSettings();
    EXPECT_EQ(0, settings.m_nFileType);
    EXPECT_EQ(Numbered(1), settings.m_strCaptureFile);
}

TEST_F(DeviceTest, ShutdownWhileTheWorkerBuilds) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    // Closed before the worker got any answer from this thread: it waits
    // for it to fill the list.
    Open();
    Close();
    EXPECT_FALSE(Exists(Numbered(0)));

    // Closed while the graph is being built.
    m_main.reset();
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "720 x 576 DV PAL"; }));
    Close();
    EXPECT_FALSE(Exists(Numbered(0)));
}

TEST_F(DeviceTest, GraphEventsDuringTheBuildWaitForTheGraph) {
    // The deck goes away while the worker builds the graph: the panel ends
    // with the device gone (or the build failed), never on a half built
    // graph, whatever events come meanwhile.
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "720 x 576 DV PAL"; }));
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Virtual DV Deck"));
    for (int i = 0; i < 20; ++i) {
        PostMessage(m_panel->m_hNotifyWnd, WM_GRAPHEVENT, 0, 0);
        Pump(5);
    }
    ASSERT_TRUE(PumpUntil([&] {
        return DeviceGone() || Text(IDC_DEVICE_TYPE) == "Error Initializing";
    })) << Text(IDC_DEVICE_TYPE);
    Pump(100);
    EXPECT_EQ(nullptr, m_panel->m_pGraph);
    EXPECT_TRUE(AllDisabled());
    Close();
}
