// The tape transport buttons, the status polling thread and the statistics
// thread, running as the panel runs them: the threads write into the
// panel's controls on a thread of their own, the buttons are clicked
// through the panel's message map.
#include <afxwin.h>
#include <process.h>

#include <chrono>
#include <thread>

#include "resource.h"
#include "statustest.h"
#include "testsupport/decktest.h"

using namespace enginetest;
using namespace statustest;
using namespace std::chrono;

namespace {

class StatusTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        InitPanel(panel);
        ui = std::make_unique<PanelThread>(&panel);
    }
    void TearDown() override {
        StopThreads();
        ui.reset();
        FreePanel(panel);
        EngineTest::TearDown();
    }
    // As the panel's initialisation starts them.
    void StartThreads(bool bPoll = true, bool bStats = true) {
        if (bPoll) {
            panel.m_bPollPause = false;
            panel.m_hPollThread =
                reinterpret_cast<HANDLE>(_beginthread(&CCapturePanel::StatusPollThread, 0, &panel));
            ASSERT_NE(INVALID_HANDLE_VALUE, panel.m_hPollThread);
        }
        if (bStats) {
            panel.m_bStatsHold = false;
            panel.m_pStatsThread = AfxBeginThread(&CCapturePanel::StatisticsThread, &panel);
            ASSERT_NE(nullptr, panel.m_pStatsThread);
            panel.m_pStatsThread->m_bAutoDelete = FALSE;
        }
    }
    // As the panel's shutdown ends them; the statistics thread's exit code.
    DWORD StopThreads() {
        if (panel.m_hPollThread != INVALID_HANDLE_VALUE) {
            SetEvent(panel.m_hStopPollEvent);
            WaitForSingleObject(panel.m_hPollThread, INFINITE);
            panel.m_hPollThread = INVALID_HANDLE_VALUE;
        }
        DWORD dwExit = 0;
        if (panel.m_pStatsThread != NULL) {
            panel.m_pStatsThread->PostThreadMessage(WM_QUIT, 0, 0);
            WaitForSingleObject(panel.m_pStatsThread->m_hThread, INFINITE);
            GetExitCodeThread(panel.m_pStatsThread->m_hThread, &dwExit);
            delete panel.m_pStatsThread;
            panel.m_pStatsThread = NULL;
        }
        return dwExit;
    }
    template <class T>
    T* Give(T*& field, T* p) {
        p->AddRef();
        field = p;
        return p;
    }

    CCapturePanel panel;
    std::unique_ptr<PanelThread> ui;
};

}  // namespace

TEST_F(StatusTest, WithoutADeviceTheTextsShowUnknownAndZero) {
    StartThreads();
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "???"));
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "?????"));
    EXPECT_TRUE(ui->WaitText(IDC_DROPPED, "0 Frames"));
    EXPECT_TRUE(ui->WaitText(IDC_CAPTURED, "00:00:00"));
    // Texts are sent on every pass, changed or not.
    const int sets = ui->Sets(IDC_TRANSPORT_MODE), stats = ui->Sets(IDC_CAPTURED);
    EXPECT_TRUE(WaitUntil([&] { return ui->Sets(IDC_TRANSPORT_MODE) > sets + 3; }));
    EXPECT_TRUE(WaitUntil([&] { return ui->Sets(IDC_CAPTURED) > stats + 3; }));
    // WM_QUIT ends the statistics thread with 1; without a panel neither
    // thread does anything.
    EXPECT_EQ(1u, StopThreads());
    EXPECT_EQ(0u, CCapturePanel::StatisticsThread(nullptr));
    CCapturePanel::StatusPollThread(nullptr);
}

TEST_F(StatusTest, EveryTransportModeHasItsText) {
    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    Give<IAMExtTransport>(panel.m_pTransport, transport.Get());
    StartThreads(true, false);
    const std::pair<long, const char*> modes[] = {
        {ED_MODE_STOP, "Stop"},
        {ED_MODE_FREEZE, "Pause"},
        {ED_MODE_FF, "FF"},
        {ED_MODE_PLAY_FASTEST_FWD, "FF"},
        {ED_MODE_PLAY_SLOWEST_FWD, "FF"},
        {ED_MODE_REW, "Rew"},
        {ED_MODE_PLAY_FASTEST_REV, "Rew"},
        {ED_MODE_PLAY_SLOWEST_REV, "Rew"},
        {ED_MODE_RECORD, "Record"},
        {ED_MODE_STEP_FWD, "St. Fwd"},
        {ED_MODE_RECORD_FREEZE, "Re. Ps."},
        {ED_MODE_STEP_REV, "St. Rwd"},
        {ED_MODE_THAW, "???"},
        {ED_MODE_RECORD_STROBE, "???"},
        {0, "???"},
        {-1, "???"},
        {5033, "???"},
    };
    for (const auto& [lMode, pszText] : modes) {
        // From "Play" each time, so that every text is seen to arrive.
        transport->mode = ED_MODE_PLAY;
        ASSERT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Play"));
        transport->mode = lMode;
        EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, pszText)) << lMode;
        EXPECT_TRUE(WaitUntil([&] { return panel.m_nTransportMode == lMode; })) << lMode;
    }
}

TEST_F(StatusTest, TimecodeDigitsAreShownAsTheyComeAndFailedReadsKeepTheLastTexts) {
    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    ComPtr<FakeTimecode> reader = ComPtr<FakeTimecode>::Adopt(new FakeTimecode());
    Give<IAMTimecodeReader>(panel.m_pTimecodeReader, reader.Get());
    reader->digits = 0x01234512;
    StartThreads(true, false);
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "01:23:45:12"));
    // Digits above 9 are not refused: all ones read 15 tens and 15 units.
    reader->digits = 0xFFFFFFFF;
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "165:165:165:165"));
    reader->digits = 0x00010203;
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "00:01:02:03"));
    EXPECT_EQ(0, reader->badSamples);
    EXPECT_EQ("???", ui->Text(IDC_TRANSPORT_MODE));  // no transport

    panel.HoldStatusThreads();
    transport->mode = ED_MODE_PLAY;
    Give<IAMExtTransport>(panel.m_pTransport, transport.Get());
    panel.ResumeStatusThreads();
    ASSERT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Play"));
    transport->result = E_FAIL;
    transport->mode = ED_MODE_STOP;
    reader->result = E_FAIL;
    reader->digits = 0x00010204;
    const long modeReads = transport->reads, timecodeReads = reader->reads;
    ASSERT_TRUE(WaitUntil([&] { return transport->reads > modeReads + 5; }));
    ASSERT_TRUE(WaitUntil([&] { return reader->reads > timecodeReads + 5; }));
    EXPECT_EQ("Play", ui->Text(IDC_TRANSPORT_MODE));
    EXPECT_EQ("00:01:02:03", ui->Text(IDC_TIMECODE));
    EXPECT_EQ(ED_MODE_PLAY, panel.m_nTransportMode);
    transport->result = S_OK;
    reader->result = S_OK;
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Stop"));
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "00:01:02:04"));
}

TEST_F(StatusTest, ButtonsSendTheirModesAndWindDependsOnTheLastModeRead) {
    // Without a transport the buttons do nothing.
    for (int nID = IDC_PLAY; nID <= IDC_SLOW_FORWARD; ++nID) ui->Click(nID);

    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    Give<IAMExtTransport>(panel.m_pTransport, transport.Get());
    ui->Click(IDC_PLAY);
    ui->Click(IDC_PAUSE);
    ui->Click(IDC_STOP);
    ui->Click(IDC_SLOW_FORWARD);
    ui->Click(IDC_SLOW_REVERSE);
    ui->Click(IDC_STEP_FORWARD);
    ui->Click(IDC_STEP_REVERSE);
    EXPECT_EQ(
        (std::vector<long>{ED_MODE_PLAY, ED_MODE_FREEZE, ED_MODE_STOP, ED_MODE_PLAY_SLOWEST_FWD,
                           ED_MODE_PLAY_SLOWEST_REV, ED_MODE_STEP_FWD, ED_MODE_STEP_REV}),
        transport->Sent());

    // The last mode read, not the last command: stopped winds, anything
    // else (no mode read yet included) plays fast.
    const std::pair<long, std::pair<long, long>> cases[] = {
        {ED_MODE_STOP, {ED_MODE_FF, ED_MODE_REW}},
        {ED_MODE_PLAY, {ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}},
        {ED_MODE_FREEZE, {ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}},
        {ED_MODE_FF, {ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}},
        {ED_MODE_REW, {ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}},
        {-1, {ED_MODE_PLAY_FASTEST_FWD, ED_MODE_PLAY_FASTEST_REV}},
    };
    for (const auto& [lLast, sent] : cases) {
        panel.m_nTransportMode = lLast;
        const size_t n = transport->Sent().size();
        ui->Click(IDC_FAST_FORWARD);
        ui->Click(IDC_REWIND);
        const std::vector<long> now = transport->Sent();
        ASSERT_EQ(n + 2, now.size());
        EXPECT_EQ(sent.first, now[n]) << lLast;
        EXPECT_EQ(sent.second, now[n + 1]) << lLast;
    }
}

TEST_F(StatusTest, ThePanelsThreadTakingNoTextsDoesNotStopThePolling) {
    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    ComPtr<FakeCounters> counters = ComPtr<FakeCounters>::Adopt(new FakeCounters());
    Give<IAMExtTransport>(panel.m_pTransport, transport.Get());
    Give<IAMDroppedFrames>(panel.m_pDroppedFrames, counters.Get());
    panel.m_bCapturing = true;
    StartThreads();
    ASSERT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Stop"));
    ASSERT_TRUE(ui->WaitText(IDC_DROPPED, "0 Frames"));

    // The panel's thread sleeps for a while: texts are lost, the threads
    // go on reading the device.
    ui->Stall(800);
    std::this_thread::sleep_for(milliseconds(50));
    const int statusSets = ui->Sets(IDC_TRANSPORT_MODE), droppedSets = ui->Sets(IDC_DROPPED);
    const long modeReads = transport->reads, counterReads = counters->reads;
    transport->mode = ED_MODE_PLAY;
    counters->dropped = 3;
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_GE(transport->reads - modeReads, 3);
    EXPECT_GE(counters->reads - counterReads, 6);
    EXPECT_EQ(statusSets, ui->Sets(IDC_TRANSPORT_MODE));
    EXPECT_EQ(droppedSets, ui->Sets(IDC_DROPPED));
    EXPECT_EQ(3, panel.m_nDropped);
    // Once it answers again, fresh texts arrive.
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Play"));
    EXPECT_TRUE(ui->WaitText(IDC_DROPPED, "3 Frames"));
}

TEST_F(StatusTest, CapturedTimeAndDroppedFramesSinceTheStart) {
    ComPtr<FakeCounters> counters = ComPtr<FakeCounters>::Adopt(new FakeCounters());
    Give<IAMDroppedFrames>(panel.m_pDroppedFrames, counters.Get());
    StartThreads(false, true);
    ASSERT_TRUE(ui->WaitText(IDC_CAPTURED, "00:00:00"));

    // The device's counts when the recording started are the zero.
    counters->dropped = 1234;
    counters->delivered = 5000;
    panel.m_nDroppedBase = 1234;
    panel.m_nNotDroppedBase = 5000;
    panel.m_bCapturing = true;
    counters->dropped = 1241;
    EXPECT_TRUE(ui->WaitText(IDC_DROPPED, "7 Frames"));

    struct Case {
        int standard;
        long delivered;
        const char* text;
    };
    const Case cases[] = {
        {0, 3600 * 30, "01:00:00"},
        {1, 3600 * 25, "01:00:00"},
        {0, 3600 * 25, "00:50:00"},
        {0, 29, "00:00:00"},
        {0, 30, "00:00:01"},
        {1, 24, "00:00:00"},
        {1, 25 * 61, "00:01:01"},
        {1, 100 * 3600 * 25, "100:00:00"},
        {0, 100 * 3600 * 30 + 59, "100:00:01"},
    };
    for (const Case& c : cases) {
        panel.m_nVideoStandard = c.standard;
        counters->delivered = 5000 + c.delivered;
        EXPECT_TRUE(ui->WaitText(IDC_CAPTURED, c.text)) << c.standard << " " << c.delivered;
    }

    // A read that fails leaves its figure as it was.
    counters->droppedResult = E_FAIL;
    counters->deliveredResult = S_FALSE;
    counters->dropped = 1300;
    counters->delivered = 5000;
    const long reads = counters->reads;
    ASSERT_TRUE(WaitUntil([&] { return counters->reads > reads + 6; }));
    EXPECT_EQ("7 Frames", ui->Text(IDC_DROPPED));
    EXPECT_EQ("100:00:01", ui->Text(IDC_CAPTURED));

    // After the recording the last figures stay on show and the device is
    // no longer asked.
    counters->droppedResult = S_OK;
    counters->deliveredResult = S_OK;
    counters->dropped = 1250;
    counters->delivered = 5000 + 90;
    ASSERT_TRUE(ui->WaitText(IDC_CAPTURED, "00:00:03"));
    panel.m_bCapturing = false;
    const long after = counters->reads;
    counters->dropped = 2000;
    counters->delivered = 90000;
    const int sets = ui->Sets(IDC_CAPTURED);
    ASSERT_TRUE(WaitUntil([&] { return ui->Sets(IDC_CAPTURED) > sets + 3; }));
    EXPECT_LE(counters->reads, after + 2);  // at most the pass under way
    EXPECT_EQ("16 Frames", ui->Text(IDC_DROPPED));
    EXPECT_EQ("00:00:03", ui->Text(IDC_CAPTURED));
}

TEST_F(StatusTest, HoldsKeepBothThreadsAwayFromTheDevice) {
    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    ComPtr<FakeTimecode> reader = ComPtr<FakeTimecode>::Adopt(new FakeTimecode());
    ComPtr<FakeCounters> counters = ComPtr<FakeCounters>::Adopt(new FakeCounters());
    Give<IAMExtTransport>(panel.m_pTransport, transport.Get());
    Give<IAMTimecodeReader>(panel.m_pTimecodeReader, reader.Get());
    Give<IAMDroppedFrames>(panel.m_pDroppedFrames, counters.Get());
    panel.m_bCapturing = true;
    StartThreads();
    auto reads = [&] { return transport->reads + reader->reads + counters->reads; };
    auto staysAway = [&] {
        const long before = reads();
        std::this_thread::sleep_for(milliseconds(120));
        return before == reads();
    };
    auto runs = [&] {
        const long modes = transport->reads, counts = counters->reads;
        return WaitUntil(
            [&] { return transport->reads > modes + 1 && counters->reads > counts + 1; });
    };
    ASSERT_TRUE(runs());

    HangGuard guard("holding the status threads");
    {
        panel.HoldStatusThreads();
        EXPECT_TRUE(staysAway());
        // Held, the threads send nothing either.
        const int status = ui->Sets(IDC_TRANSPORT_MODE), dropped = ui->Sets(IDC_DROPPED);
        std::this_thread::sleep_for(milliseconds(60));
        EXPECT_EQ(status, ui->Sets(IDC_TRANSPORT_MODE));
        EXPECT_EQ(dropped, ui->Sets(IDC_DROPPED));
        // A nested hold neither waits for the held threads nor ends the
        // outer hold with its resume.
        panel.HoldStatusThreads();
        panel.ResumeStatusThreads();
        EXPECT_TRUE(staysAway());
        panel.ResumeStatusThreads();
        EXPECT_TRUE(runs());
    }

    // A hold right after a resume finds the statistics thread still in its
    // hold (it looks at the flag every 10 ms): it is acknowledged all the
    // same, and the threads stay away until its own resume.
    for (int i = 0; i < 100; ++i) {
        panel.HoldStatusThreads();
        panel.ResumeStatusThreads();
        panel.HoldStatusThreads();
        const long before = reads();
        std::this_thread::sleep_for(milliseconds(i % 5 == 0 ? 25 : 0));
        EXPECT_EQ(before, reads());
        panel.ResumeStatusThreads();
        if (i % 10 == 0) std::this_thread::sleep_for(milliseconds(i % 20));
    }
    EXPECT_TRUE(runs());

    // Holds from two threads, one of them the panel's own.
    for (int round = 0; round < 10; ++round) {
        std::thread worker([&] {
            panel.HoldStatusThreads();
            std::this_thread::sleep_for(milliseconds(round % 3 * 10));
            panel.ResumeStatusThreads();
        });
        ui->Run([&] {
            panel.HoldStatusThreads();
            std::this_thread::sleep_for(milliseconds(round % 2 * 10));
            panel.ResumeStatusThreads();
        });
        worker.join();
    }
    EXPECT_TRUE(runs());
    EXPECT_EQ("Stop", ui->Text(IDC_TRANSPORT_MODE));
}

TEST_F(StatusTest, StrayHoldRequestsAreIgnoredAndQuitEndsAHeldThread) {
    StartThreads();
    ASSERT_TRUE(ui->WaitText(IDC_CAPTURED, "00:00:00"));
    const DWORD id = panel.m_pStatsThread->m_nThreadID;
    // No event: taken from the queue and ignored, the thread goes on.
    panel.m_bStatsHold = true;
    PostThreadMessage(id, WM_HOLDSTATS, 0, 0);
    std::this_thread::sleep_for(milliseconds(50));
    panel.m_bStatsHold = false;
    // The flag already clear: the event is never signalled.
    HANDLE hEvent = CreateEvent(NULL, TRUE, FALSE, NULL);
    PostThreadMessage(id, WM_HOLDSTATS, reinterpret_cast<WPARAM>(hEvent), 0);
    const int sets = ui->Sets(IDC_CAPTURED);
    EXPECT_TRUE(WaitUntil([&] { return ui->Sets(IDC_CAPTURED) > sets + 3; }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hEvent, 0));
    CloseHandle(hEvent);

    // A shutdown that overlaps a hold (the worker still building) does not
    // wait for ever on a thread that only looks at the hold flag.
    HangGuard guard("ending a held statistics thread");
    panel.HoldStatusThreads();
    EXPECT_EQ(1u, StopThreads());
    panel.ResumeStatusThreads();
}

TEST_F(StatusTest, APollingThreadGivenUpAtShutdownNeverTouchesThePanelAgain) {
    // The device stops answering in the middle of a pass.  The shutdown
    // signals the stop event, gives up waiting, and goes on as the panel's
    // does: the stop event stays open, the device interface stays alive,
    // the panel goes.  Then the device answers.
    auto* pPanel = new CCapturePanel();
    InitPanel(*pPanel);
    ComPtr<FakeTransport> transport = ComPtr<FakeTransport>::Adopt(new FakeTransport());
    ComPtr<FakeTimecode> reader = ComPtr<FakeTimecode>::Adopt(new FakeTimecode());
    Give<IAMExtTransport>(pPanel->m_pTransport, transport.Get());
    Give<IAMTimecodeReader>(pPanel->m_pTimecodeReader, reader.Get());
    const HANDLE hStop = pPanel->m_hStopPollEvent;
    const HANDLE hThread =
        reinterpret_cast<HANDLE>(_beginthread(&CCapturePanel::StatusPollThread, 0, pPanel));
    ASSERT_TRUE(WaitUntil([&] { return reader->reads > 0; }));
    transport->Stall(true);
    const long stalledAt = transport->reads;
    ASSERT_TRUE(WaitUntil([&] { return transport->reads > stalledAt; }));

    SetEvent(hStop);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hThread, 200));
    pPanel->m_hStopPollEvent = NULL;
    FreePanel(*pPanel);
    delete pPanel;
    const long timecodeReads = reader->reads;

    transport->Stall(false);
    ASSERT_TRUE(WaitUntil([&] { return WaitForSingleObject(hThread, 0) != WAIT_TIMEOUT; }));
    EXPECT_EQ(timecodeReads, reader->reads);
    CloseHandle(hStop);
}

TEST_F(StatusTest, TheDeckIsDrivenAndShownThroughThePanel) {
    decktest::Configure("Deck=pal", "realtime");
    ASSERT_TRUE(panel.m_pDeviceList->Enumerate());
    panel.m_nDeviceIndex = 0;
    panel.m_nVideoStandard = 1;
    StartThreads();
    panel.HoldStatusThreads();
    const bool built = panel.BuildBaseGraph();
    panel.ResumeStatusThreads();
    ASSERT_TRUE(built);
    ASSERT_NE(nullptr, panel.m_pTransport);
    ASSERT_NE(nullptr, panel.m_pTimecodeReader);
    auto deckMode = [&] {
        long lMode = 0;
        panel.m_pTransport->get_Mode(&lMode);
        return lMode;
    };
    // Frames since 00:00:00:00 of the position text (25 a second).
    auto position = [&] {
        int h = 0, m = 0, s = 0, f = 0;
        if (sscanf(ui->Text(IDC_TIMECODE).c_str(), "%d:%d:%d:%d", &h, &m, &s, &f) != 4) return -1L;
        return static_cast<long>(((h * 60 + m) * 60 + s) * 25 + f);
    };
    auto clickAndSee = [&](int nID, const char* pszText) {
        ui->Click(nID);
        EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, pszText)) << nID;
    };

    clickAndSee(IDC_PLAY, "Play");
    const long played = position();
    EXPECT_TRUE(WaitUntil([&] { return position() > played + 5; }));
    clickAndSee(IDC_PAUSE, "Pause");
    ASSERT_TRUE(WaitUntil([&] { return panel.m_nTransportMode == ED_MODE_FREEZE; }));
    std::this_thread::sleep_for(milliseconds(60));
    const long paused = position();
    ui->Click(IDC_STEP_FORWARD);
    EXPECT_TRUE(WaitUntil([&] { return position() == paused + 1; }));
    EXPECT_TRUE(WaitUntil([&] { return deckMode() == ED_MODE_FREEZE; }));
    ui->Click(IDC_STEP_REVERSE);
    EXPECT_TRUE(WaitUntil([&] { return position() == paused; }));

    // Wind from a stopped tape, fast play from a moving one.
    clickAndSee(IDC_STOP, "Stop");
    ASSERT_TRUE(WaitUntil([&] { return panel.m_nTransportMode == ED_MODE_STOP; }));
    ui->Click(IDC_FAST_FORWARD);
    EXPECT_EQ(ED_MODE_FF, deckMode());
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "FF"));
    std::this_thread::sleep_for(milliseconds(500));  // some way into the tape
    clickAndSee(IDC_PLAY, "Play");
    ASSERT_TRUE(WaitUntil([&] { return panel.m_nTransportMode == ED_MODE_PLAY; }));
    ui->Click(IDC_FAST_FORWARD);
    EXPECT_EQ(ED_MODE_PLAY_FASTEST_FWD, deckMode());
    ui->Click(IDC_REWIND);
    EXPECT_EQ(ED_MODE_PLAY_FASTEST_REV, deckMode());
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "Rew"));
    ui->Click(IDC_SLOW_FORWARD);
    EXPECT_EQ(ED_MODE_PLAY_SLOWEST_FWD, deckMode());
    ui->Click(IDC_SLOW_REVERSE);
    EXPECT_EQ(ED_MODE_PLAY_SLOWEST_REV, deckMode());
    clickAndSee(IDC_STOP, "Stop");
    ASSERT_TRUE(WaitUntil([&] { return panel.m_nTransportMode == ED_MODE_STOP; }));
    ui->Click(IDC_REWIND);
    EXPECT_EQ(ED_MODE_REW, deckMode());
    clickAndSee(IDC_STOP, "Stop");

    // The graph goes inside a hold, with both threads running.
    panel.HoldStatusThreads();
    panel.TeardownGraph();
    panel.ResumeStatusThreads();
    EXPECT_TRUE(ui->WaitText(IDC_TRANSPORT_MODE, "???"));
    EXPECT_TRUE(ui->WaitText(IDC_TIMECODE, "?????"));
}
