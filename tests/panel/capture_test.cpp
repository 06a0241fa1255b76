// The panel on the virtual deck: previewing, Capture and Stop Capture,
// the file type and device choices, and the states the user sees.
#include <edevdefs.h>
#include <unistd.h>

#include <filesystem>

#include "messageboxanswer.h"
#include "paneltest.h"
#include "testsupport/decktest.h"

using namespace paneltest;
using enginetest::Exists;

namespace {

const int kTransport[] = {IDC_PLAY,         IDC_PAUSE,        IDC_STOP,
                          IDC_FAST_FORWARD, IDC_REWIND,       IDC_STEP_FORWARD,
                          IDC_STEP_REVERSE, IDC_SLOW_REVERSE, IDC_SLOW_FORWARD};
const int kFree[] = {IDC_PLAY,   IDC_PAUSE,        IDC_STOP,        IDC_FAST_FORWARD,
                     IDC_REWIND, IDC_SLOW_REVERSE, IDC_SLOW_FORWARD};

class CaptureTest : public PanelTest {
protected:
    std::string Numbered(int n) {
        char name[32];
        snprintf(name, sizeof name, "/Tapeloom%05d.avi", n);
        return m_temp + name;
    }
    // The enable pass has run since the panel's state last changed.
    void LetTheTimerRun() { Pump(250); }
};

}  // namespace

TEST_F(CaptureTest, InitialisingThenPreviewingOnThePalDeck) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    // While the worker builds, the list is filled but nothing can be used.
    ASSERT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "720 x 576 DV PAL"; }));
    EXPECT_EQ(std::vector<std::string>{"Virtual DV Deck"}, Items(IDC_DEVICE));
    EXPECT_EQ(0, Selection(IDC_DEVICE));
    for (int id : {IDC_DEVICE, IDC_CAPTURE, IDC_FILE_TYPE, IDC_BROWSE})
        EXPECT_FALSE(Enabled(id)) << id;
    Shot("state-initialising.png");

    ASSERT_TRUE(WaitForPreview());
    for (int id : {IDC_DEVICE, IDC_CAPTURE, IDC_FILE_TYPE, IDC_BROWSE})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ("720 x 576 DV PAL", Text(IDC_DEVICE_TYPE));
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));
    EXPECT_EQ(1, m_panel->m_nVideoStandard);
    EXPECT_EQ(0, m_panel->m_nDeviceIndex);
    // The preview runs into the frame; the output file is open for the
    // recording branch.
    const auto names = enginetest::FilterNames(m_panel->m_pGraph);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "DV Video Decoder"));
    EXPECT_TRUE(Exists(Numbered(0)));

    // The transport is free; the frame steps only while the tape is paused.
    LetTheTimerRun();
    for (int id : kFree) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDC_STEP_FORWARD));
    EXPECT_FALSE(Enabled(IDC_STEP_REVERSE));
    Click(IDC_PAUSE);
    ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode == ED_MODE_FREEZE; }));
    LetTheTimerRun();
    EXPECT_TRUE(Enabled(IDC_STEP_FORWARD));
    EXPECT_TRUE(Enabled(IDC_STEP_REVERSE));
    Shot("state-previewing.png");
    Click(IDC_PLAY);
    ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode == ED_MODE_PLAY; }));
    LetTheTimerRun();
    EXPECT_FALSE(Enabled(IDC_STEP_FORWARD));

    Close();
    EXPECT_FALSE(Exists(Numbered(0)));  // nothing was recorded into it
}

TEST_F(CaptureTest, CaptureRecordsAndStopCaptureMovesTheNameOn) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode != -1; }));
    // The tape stands still: Capture plays it.
    Click(IDC_STOP);
    ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode == ED_MODE_STOP; }));
    Click(IDC_CAPTURE);
    EXPECT_EQ(ED_MODE_PLAY, DeckMode());
    EXPECT_TRUE(m_panel->m_bCapturing);
    EXPECT_EQ("Stop Capture", Text(IDC_CAPTURE));
    for (int id : {IDC_DEVICE, IDC_FILE_TYPE, IDC_BROWSE}) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    LetTheTimerRun();
    for (int id : kTransport) EXPECT_FALSE(Enabled(id)) << id;
    Shot("state-recording.png");

    Pump(1500);
    // The tape plays: Stop Capture pauses it.
    ASSERT_EQ(ED_MODE_PLAY, m_panel->m_nTransportMode);
    Click(IDC_CAPTURE);
    EXPECT_EQ(ED_MODE_FREEZE, DeckMode());
    EXPECT_FALSE(m_panel->m_bCapturing);
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));
    for (int id : {IDC_DEVICE, IDC_FILE_TYPE, IDC_BROWSE, IDC_CAPTURE})
        EXPECT_TRUE(Enabled(id)) << id;
    // The next free name, with the caret at its end.
    EXPECT_EQ(Numbered(1), m_panel->m_strCaptureFile);
    EXPECT_EQ(Numbered(1), Text(IDC_CAPTURE_FILE));
    DWORD start = 0, end = 0;
    SendDlgItemMessage(m_panel->m_hWnd, IDC_CAPTURE_FILE, EM_GETSEL,
                       reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(Numbered(1).size(), start);
    EXPECT_EQ(Numbered(1).size(), end);
    // The counters keep the recording's figures.
    EXPECT_GT(m_panel->m_nNotDropped, 10);
    const long frames = ProbeVideoFrames(Numbered(0));
    EXPECT_GT(frames, 10);
    EXPECT_NEAR(m_panel->m_nNotDropped, frames, 5);
    EXPECT_NE(std::string::npos, Probe(Numbered(0)).find("pcm_s16le,audio")) << "Type-2";
    // The log has the recording: frames, dropped, length, bytes, the time
    // the file took to finish, the file.
    const long n = m_panel->m_nNotDropped;
    char line[160];
    std::snprintf(line, sizeof line,
                  "recording: frames %ld dropped 0 duration 00:00:%02ld.%02ld bytes %lld", n,
                  n / 25, n % 25, static_cast<long long>(std::filesystem::file_size(Numbered(0))));
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find(line)) << log;
    EXPECT_NE(std::string::npos, log.find(" file " + Numbered(0) + "\n")) << log;

    // A name taken meanwhile is skipped at the next stop.
    enginetest::Touch(Numbered(2));
    Click(IDC_CAPTURE);
    Pump(300);
    Click(IDC_CAPTURE);
    EXPECT_EQ(Numbered(3), m_panel->m_strCaptureFile);
    Close();
    EXPECT_TRUE(Exists(Numbered(0)));
    EXPECT_TRUE(Exists(Numbered(1)));
    EXPECT_FALSE(Exists(Numbered(3)));
}

TEST_F(CaptureTest, CaptureLeavesATapeAloneThatAlreadyMovesTheRightWay) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    // With the status threads held, the panel's last mode read is what
    // the test says it is, whatever the tape does behind its back.
    m_panel->HoldStatusThreads();
    // Last read "play", the tape stopped: Capture sends nothing.
    m_panel->m_pTransport->put_Mode(ED_MODE_STOP);
    m_panel->m_nTransportMode = ED_MODE_PLAY;
    Click(IDC_CAPTURE);
    EXPECT_TRUE(m_panel->m_bCapturing);
    EXPECT_EQ(ED_MODE_STOP, DeckMode());
    // Last read "pause", the tape playing: Stop Capture sends nothing.
    m_panel->m_pTransport->put_Mode(ED_MODE_PLAY);
    m_panel->m_nTransportMode = ED_MODE_FREEZE;
    Click(IDC_CAPTURE);
    EXPECT_FALSE(m_panel->m_bCapturing);
    EXPECT_EQ(ED_MODE_PLAY, DeckMode());
    m_panel->ResumeStatusThreads();
    Close();
}

TEST_F(CaptureTest, FileTypeChangeRebuildsTheGraphOnAFreshFile) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    ASSERT_TRUE(PumpUntil([&] { return Exists(Numbered(0)); }));
    // A second name for the file shows whether it was deleted and made anew.
    const std::string kept = m_dir + "/kept.avi";
    ASSERT_EQ(0, link(Numbered(0).c_str(), kept.c_str()));
    IBaseFilter* mux = m_panel->m_pMux;

    // The type already chosen changes nothing.
    Choose(IDC_FILE_TYPE, 1);
    EXPECT_EQ(mux, m_panel->m_pMux);
    EXPECT_EQ(FileIdentity(kept), FileIdentity(Numbered(0)));

    Choose(IDC_FILE_TYPE, 0);
    EXPECT_EQ(0, m_panel->m_nFileType);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    // Type-1: the interleaved stream goes to the multiplexer whole; the
    // only splitter is the preview's.
    const auto names = enginetest::FilterNames(m_panel->m_pGraph);
    EXPECT_EQ(1, std::count_if(names.begin(), names.end(), [](const std::string& n) {
                  return n.rfind("DV Splitter", 0) == 0;
              }));
    ASSERT_TRUE(PumpUntil([&] { return Exists(Numbered(0)); }));
    EXPECT_NE(FileIdentity(kept), FileIdentity(Numbered(0)));

    // A Type-1 recording: one interleaved stream.
    Click(IDC_CAPTURE);
    Pump(1000);
    Click(IDC_CAPTURE);
    EXPECT_GT(ProbeVideoFrames(Numbered(0)), 10);
    EXPECT_TRUE(StreamTypes(Numbered(0)) == "iavs") << StreamTypes(Numbered(0));
    Close();
}

TEST_F(CaptureTest, DeviceChangeRebuildsOnTheChosenDeck) {
    decktest::Configure("PAL Deck=pal; NTSC Deck=ntsc", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    EXPECT_EQ((std::vector<std::string>{"PAL Deck", "NTSC Deck"}), Items(IDC_DEVICE));
    ASSERT_TRUE(PumpUntil([&] { return Exists(Numbered(0)); }));
    const std::string kept = m_dir + "/kept.avi";
    ASSERT_EQ(0, link(Numbered(0).c_str(), kept.c_str()));

    Choose(IDC_DEVICE, 1);
    EXPECT_EQ(1, m_panel->m_nDeviceIndex);
    EXPECT_EQ(0, m_panel->m_nVideoStandard);
    EXPECT_EQ("720 x 480 DV NTSC", Text(IDC_DEVICE_TYPE));
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    ASSERT_TRUE(PumpUntil([&] { return Exists(Numbered(0)); }));
    EXPECT_NE(FileIdentity(kept), FileIdentity(Numbered(0)));

    // The device already chosen is built again all the same.
    const std::string keptAgain = m_dir + "/kept-again.avi";
    ASSERT_EQ(0, link(Numbered(0).c_str(), keptAgain.c_str()));
    Choose(IDC_DEVICE, 1);
    EXPECT_NE(nullptr, m_panel->m_pGraph);
    ASSERT_TRUE(PumpUntil([&] { return Exists(Numbered(0)); }));
    EXPECT_NE(FileIdentity(keptAgain), FileIdentity(Numbered(0)));
    EXPECT_EQ("720 x 480 DV NTSC", Text(IDC_DEVICE_TYPE));
    Close();
}

TEST_F(CaptureTest, ARecordingWithoutANextNumberIsNeverTheNextOutputFile) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    // The last number there is: no next numbered name can be formed.
    const std::string last = m_temp + "/Tapeloom4294967295.avi";
    m_panel->UseChosenCaptureFile(last.c_str());
    Click(IDC_CAPTURE);
    Pump(800);
    Click(IDC_CAPTURE);
    // The output goes back to the default name; the recording stays.
    EXPECT_EQ(Numbered(0), m_panel->m_strCaptureFile);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    Close();
    EXPECT_GT(ProbeVideoFrames(last), 5);
    EXPECT_FALSE(Exists(Numbered(0)));
}

// The output file's folder removed while the panel runs: Capture is
// refused while the file cannot be made, a recording whose file vanished
// is reported, and both recover once the folder is back.
TEST_F(CaptureTest, AFolderThatIsGoneIsNeverRecordedInto) {
    decktest::Configure("Virtual DV Deck=pal", "realtime");
    Open();
    ASSERT_TRUE(WaitForPreview());
    const std::string folder = Path("clips");
    const std::string take = folder + "/Take00000.avi";
    std::filesystem::create_directory(folder);
    m_panel->UseChosenCaptureFile(take.c_str());
    ASSERT_TRUE(Exists(take));
    Click(IDC_STOP);
    ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode == ED_MODE_STOP; }));

    MessageBoxAnswer answer;
    std::filesystem::remove_all(folder);
    Click(IDC_CAPTURE);
    EXPECT_EQ(1, answer.m_count);
    EXPECT_EQ(
        "The Capture File could not be created, Nothing will be recorded. Check that its "
        "folder exists, or choose another file.",
        answer.m_text);
    EXPECT_EQ("Tapeloom", answer.m_title);
    EXPECT_FALSE(m_panel->m_bCapturing);
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));
    EXPECT_EQ(ED_MODE_STOP, DeckMode()) << "the tape is not started for nothing";
    EXPECT_FALSE(Exists(folder));

    // Back: the writer makes the file again, and the recording runs.
    std::filesystem::create_directory(folder);
    Click(IDC_CAPTURE);
    ASSERT_TRUE(m_panel->m_bCapturing);
    Pump(1000);
    // Gone during the recording: Stop Capture says the recording is lost.
    std::filesystem::remove_all(folder);
    Pump(300);
    Click(IDC_CAPTURE);
    EXPECT_FALSE(m_panel->m_bCapturing);
    ASSERT_TRUE(PumpUntil([&] { return answer.m_count == 2; }));
    EXPECT_EQ(
        "The Capture File was removed during the recording, The recording could not be "
        "saved.",
        answer.m_text);
    EXPECT_EQ(take, m_panel->m_strCaptureFile);
    EXPECT_TRUE(Enabled(IDC_CAPTURE));

    std::filesystem::create_directory(folder);
    Click(IDC_CAPTURE);
    Pump(800);
    Click(IDC_CAPTURE);
    Pump(200);
    EXPECT_EQ(2, answer.m_count);
    EXPECT_EQ(folder + "/Take00001.avi", m_panel->m_strCaptureFile);
    Close();
    EXPECT_GT(ProbeVideoFrames(take), 5);
}
