// Recordings that end by themselves are told, and Capture is refused,
// with a message, whenever nothing would be recorded: a file that may not
// be written, a folder that lets no file be made, a graph that does not
// run, and the output name lost when no name could be formed.
#include <edevdefs.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "devices/virtualdeck.h"
#include "media/basefilter.h"
#include "messageboxanswer.h"
#include "paneltest.h"
#include "testsupport/decktest.h"

using namespace paneltest;
using enginetest::Exists;

namespace {

const char kCannotWrite[] =
    "The Capture File cannot be written, Nothing will be recorded. Check that the file and its "
    "folder may be written to, or choose another file.";
const char kNotStarted[] =
    "The Capture Graph could not be started, Nothing will be recorded. Check the Capture "
    "Device, or choose it again.";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Makes a file or a folder one that this process may not change: immutable
// when it runs as root (which writes whatever the permissions say), read
// only otherwise.  Undone when the guard goes, so the test's files can be
// removed.  Active() is false when neither could be done.
class ReadOnly {
public:
    explicit ReadOnly(const std::string& path) : m_path(path) {
        if (geteuid() == 0) {
            m_bImmutable = SetImmutable(true);
            m_bActive = m_bImmutable;
        } else {
            struct stat st;
            m_bActive = stat(path.c_str(), &st) == 0 &&
                        chmod(path.c_str(), S_ISDIR(st.st_mode) ? 0555 : 0444) == 0;
            m_mode = st.st_mode & 07777;
        }
    }
    ~ReadOnly() {
        if (!m_bActive) return;
        if (m_bImmutable)
            SetImmutable(false);
        else
            chmod(m_path.c_str(), m_mode);
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;
    bool Active() const { return m_bActive; }

private:
    bool SetImmutable(bool bOn) {
        const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool bDone = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = bOn ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        bDone = bDone && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return bDone;
    }
    std::string m_path;
    bool m_bActive = false, m_bImmutable = false;
    mode_t m_mode = 0;
};

// A filter that cannot run: the graph it is in fails to start.
class UnrunnableFilter final : public BaseFilter {
public:
    UnrunnableFilter() : BaseFilter(GUID_NULL) {}
    int GetPinCount() override { return 0; }
    BasePin* GetPin(int) override { return nullptr; }

protected:
    HRESULT OnRun(REFERENCE_TIME) override { return E_FAIL; }
};

class RecordingEndTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        decktest::Configure("Virtual DV Deck=pal", "realtime");
        Open();
        ASSERT_TRUE(WaitForPreview());
        ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode != -1; }));
    }
    std::string Take(const std::string& folder, int n) {
        char name[32];
        snprintf(name, sizeof name, "/Take%05d.avi", n);
        return folder + name;
    }
    // The file chosen with "...", in a fresh folder.
    std::string ChooseIn(const std::string& folder) {
        std::filesystem::create_directories(folder);
        m_panel->UseChosenCaptureFile(Take(folder, 0).c_str());
        return Take(folder, 0);
    }
    // Capture refused with this text: the panel still previews, the tape
    // was not started.
    void ExpectRefused(const std::string& text) {
        MessageBoxAnswer answer;
        Click(IDC_STOP);
        ASSERT_TRUE(PumpUntil([&] { return m_panel->m_nTransportMode == ED_MODE_STOP; }));
        Click(IDC_CAPTURE);
        EXPECT_EQ(1, answer.m_count);
        EXPECT_EQ(text, answer.m_text);
        EXPECT_EQ("Tapeloom", answer.m_title);
        EXPECT_EQ(QMessageBox::Warning, answer.m_icon);
        EXPECT_FALSE(m_panel->m_bCapturing);
        EXPECT_EQ("Capture", Text(IDC_CAPTURE));
        EXPECT_EQ(ED_MODE_STOP, DeckMode()) << "the tape is not started for nothing";
    }
};

}  // namespace

// Disk full, file too large, a failed write, another error, the file gone:
// the recording stops, the panel is back in preview with the name moved on,
// and the user is told why, how much was captured and where it is.
TEST_F(RecordingEndTest, ARecordingThatEndsByItselfIsTold) {
    struct Case {
        const char* what;
        HRESULT hr;
        bool removeFolder;
        const char* text;  // {time} and {file} stand for the figures
    };
    const Case cases[] = {
        {"disk full", HRESULT_FROM_WIN32(ERROR_DISK_FULL), false,
         "The recording stopped because the disk is full, What was captured ({time}) is saved in "
         "{file}. Free some space on the disk, or choose another file."},
        {"file too large", HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), false,
         "The recording stopped because the Capture File reached the largest size allowed, What "
         "was captured ({time}) is saved in {file}. Choose another file to record the rest."},
        {"write error", HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), false,
         "The recording stopped because the Capture File could not be written, What was captured "
         "({time}) is saved in {file}. Check the disk, or choose another file."},
        {"another error", E_FAIL, false,
         "The recording stopped because of an error in the capture, What was captured ({time}) is "
         "saved in {file}."},
        {"folder gone", HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), true,
         "The recording stopped because the Capture File or its folder was removed, Nothing of "
         "what was captured ({time}) could be saved."},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = Path("clips" + std::to_string(n++));
        const std::string file = ChooseIn(folder);
        Click(IDC_CAPTURE);
        ASSERT_TRUE(m_panel->m_bCapturing);
        Pump(1300);
        if (c.removeFolder) std::filesystem::remove_all(folder);

        MessageBoxAnswer answer;
        RaiseGraphEvent(EC_ERRORABORT, c.hr, 0);
        ASSERT_TRUE(PumpUntil([&] { return answer.m_count == 1; }));
        Pump(300);
        EXPECT_EQ(1, answer.m_count) << "one message, no other";

        char time[16];
        snprintf(time, sizeof time, "00:00:%02d", static_cast<int>(m_panel->m_nNotDropped / 25));
        EXPECT_EQ(Replace(Replace(c.text, "{time}", time), "{file}", file), answer.m_text);
        EXPECT_EQ("Tapeloom", answer.m_title);
        EXPECT_EQ(QMessageBox::Warning, answer.m_icon);
        char logged[96];
        snprintf(logged, sizeof logged, "failure: recording stopped by itself: result 0x%08X\n",
                 static_cast<unsigned>(c.hr));
        EXPECT_NE(std::string::npos, LogText().find(logged)) << LogText();
        // Back in preview, as after Stop Capture.
        EXPECT_FALSE(m_panel->m_bCapturing);
        EXPECT_EQ("Capture", Text(IDC_CAPTURE));
        for (int id : {IDC_CAPTURE, IDC_DEVICE, IDC_FILE_TYPE, IDC_BROWSE})
            EXPECT_TRUE(Enabled(id)) << id;
        if (c.removeFolder) {
            EXPECT_EQ(file, m_panel->m_strCaptureFile);
        } else {
            EXPECT_EQ(Take(folder, 1), m_panel->m_strCaptureFile);
            EXPECT_GE(m_panel->m_nNotDropped, 25);
            EXPECT_NEAR(ProbeVideoFrames(file), m_panel->m_nNotDropped, 5);
        }
    }
    Close();
}

// An error that comes with the device gone: the message names the device,
// and the panel shows the device gone, as after its loss.
TEST_F(RecordingEndTest, ARecordingEndedWithTheDeviceGoneSaysSo) {
    const std::string file = ChooseIn(Path("clips"));
    Click(IDC_CAPTURE);
    ASSERT_TRUE(m_panel->m_bCapturing);
    Pump(1300);
    MessageBoxAnswer answer;
    // The error first in the graph's queue, the device gone by the time
    // the panel's thread handles it (nothing is handled until it pumps).
    RaiseGraphEvent(EC_ERRORABORT, E_FAIL, 0);
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Virtual DV Deck"));
    ASSERT_TRUE(enginetest::WaitUntil(
        [&] { return !CDeviceList::IsSupportedDvDevice(m_panel->m_pDeviceList->GetMoniker(0)); }));
    ASSERT_TRUE(PumpUntil([&] { return answer.m_count == 1; }));
    char time[16];
    snprintf(time, sizeof time, "00:00:%02d", static_cast<int>(m_panel->m_nNotDropped / 25));
    EXPECT_EQ("The recording stopped because the Capture Device was lost, What was captured (" +
                  std::string(time) + ") is saved in " + file +
                  ". Connect it again to capture the rest.",
              answer.m_text);
    EXPECT_TRUE(PumpUntil([&] { return Text(IDC_DEVICE_TYPE) == "No Supported DV Devices"; }));
    EXPECT_FALSE(Enabled(IDC_CAPTURE));
    Close();
    EXPECT_GT(ProbeVideoFrames(file), 10);
}

// Root writes whatever the permissions say: the file and the folder are
// made immutable for it instead.
TEST_F(RecordingEndTest, CaptureIsRefusedWhenTheFileCannotBeWritten) {
    // An existing file that can be neither deleted nor written: chosen, it
    // stays as it is, and Capture would record into nothing.
    {
        const std::string folder = Path("theirs");
        std::filesystem::create_directories(folder);
        const std::string file = Take(folder, 0);
        std::ofstream(file) << "someone else's take";
        ReadOnly file_guard(file);
        ReadOnly folder_guard(folder);
        if (!file_guard.Active() || !folder_guard.Active())
            GTEST_SKIP() << "this file system keeps no file from being written";
        m_panel->UseChosenCaptureFile(file.c_str());
        EXPECT_EQ(file, Text(IDC_CAPTURE_FILE));
        ExpectRefused(kCannotWrite);
        EXPECT_EQ(19u, std::filesystem::file_size(file)) << "the file is untouched";
    }
    // A folder that lets no file be made.
    {
        const std::string folder = Path("locked");
        const std::string file = ChooseIn(folder);
        ASSERT_TRUE(PumpUntil([&] { return Exists(file); }));
        std::filesystem::remove(file);
        ReadOnly guard(folder);
        ASSERT_TRUE(guard.Active());
        ExpectRefused(kCannotWrite);
        EXPECT_FALSE(Exists(file));
    }
    // Writable again: recording goes into the name shown.
    const std::string file = Take(Path("locked"), 0);
    Click(IDC_CAPTURE);
    ASSERT_TRUE(m_panel->m_bCapturing);
    Pump(1000);
    Click(IDC_CAPTURE);
    EXPECT_GT(ProbeVideoFrames(file), 10);
    Close();
}

// A graph that does not run records nothing: Capture says so, not that
// the file could not be made.
TEST_F(RecordingEndTest, CaptureIsRefusedWhenTheGraphDoesNotRun) {
    IBaseFilter* pUnrunnable = new UnrunnableFilter();
    ASSERT_EQ(S_OK, m_panel->m_pGraph->AddFilter(pUnrunnable, L"Unrunnable"));
    pUnrunnable->Release();
    // The graph is stopped and run again on another name, and fails.
    const std::string file = ChooseIn(Path("clips"));
    ExpectRefused(kNotStarted);
    Close();
}

// When Stop Capture can form no name at all (no next number, no default),
// the recording branch stops and Capture is off; choosing a file with
// "..." brings both back.
TEST_F(RecordingEndTest, ChoosingAFileRecoversFromNoNameAtAll) {
    // A TEMP too long for the default name.
    std::string temp = m_dir;
    while (temp.size() < 2100) temp += "/" + std::string(200, 't');
    std::filesystem::create_directories(temp);
    const std::string savedTemp = getenv("TEMP") != nullptr ? getenv("TEMP") : "";
    setenv("TEMP", temp.c_str(), 1);
    const std::string last = Path("Tapeloom4294967295.avi");
    m_panel->UseChosenCaptureFile(last.c_str());
    Click(IDC_CAPTURE);
    Pump(800);
    Click(IDC_CAPTURE);
    EXPECT_FALSE(Enabled(IDC_CAPTURE));
    EXPECT_TRUE(Enabled(IDC_BROWSE));
    EXPECT_EQ(nullptr, m_panel->m_pFileSink);
    setenv("TEMP", savedTemp.c_str(), 1);

    const std::string file = ChooseIn(Path("new"));
    EXPECT_TRUE(Enabled(IDC_CAPTURE));
    EXPECT_TRUE(Enabled(IDC_FILE_TYPE));
    ASSERT_TRUE(PumpUntil([&] { return Exists(file); }));
    Click(IDC_CAPTURE);
    ASSERT_TRUE(m_panel->m_bCapturing);
    Pump(1000);
    Click(IDC_CAPTURE);
    EXPECT_EQ(Take(Path("new"), 1), m_panel->m_strCaptureFile);
    Close();
    EXPECT_GT(ProbeVideoFrames(last), 5);
    EXPECT_GT(ProbeVideoFrames(file), 10);
}
