// Faults around a running recording: the disk filling up, the process
// killed, damaged frames on the tape, a damaged settings file, the
// capture file's directory taken away, and awkward file names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "testsupport/e2e.h"

namespace {

using namespace e2e;

bool StartRecording(Session& s) {
    return s.Click(kCapture) && s.WaitForText(kCapture, "Stop Capture");
}
bool StopRecording(Session& s) { return s.Click(kCapture) && s.WaitForText(kCapture, "Capture"); }

// The message box in front, as "messagebox "text"", or "".
std::string Modal(Session& s) {
    const auto lines = s.c().Request("modal");
    return lines.empty() ? std::string() : lines.front();
}

// A recording that ended by itself: the message in front says why, how much
// was captured and where; it is answered, and the panel is back in preview
// with the name moved on.  The captured time it gives, in seconds.
long ExpectStoppedMessage(Session& s, const std::string& why, const std::string& file,
                          const std::string& advice, const std::string& shot) {
    EXPECT_TRUE(
        s.WaitFor([&] { return Modal(s).rfind("messagebox", 0) == 0; }, milliseconds(30000)))
        << "no message after the recording ended";
    const std::string text = Modal(s);
    const std::regex told(
        "messagebox \"The recording stopped because " + why +
        ", What was captured \\((\\d\\d):(\\d\\d):(\\d\\d)\\) is saved in (.*)\\. " + advice +
        "\"");
    std::smatch m;
    long seconds = -1;
    EXPECT_TRUE(std::regex_match(text, m, told)) << text;
    if (m.size() == 5) {
        EXPECT_EQ(file, m[4].str());
        seconds = std::stol(m[1]) * 3600 + std::stol(m[2]) * 60 + std::stol(m[3]);
    }
    EXPECT_TRUE(s.Shot(shot));
    EXPECT_TRUE(s.c().Ok("answer ok"));
    EXPECT_TRUE(s.WaitFor([&] { return Modal(s).empty(); }));
    EXPECT_EQ(s.Text(kCapture), "Capture");
    EXPECT_TRUE(s.WaitUntilReady());
    return seconds;
}

// The file size limit (prlimit --fsize, as ulimit -f) hit during a
// recording: writes past it fail with EFBIG.  The program is started with
// SIGXFSZ at its default action, which would end it: it ignores the signal
// itself, and the recording ends through the write error path.
TEST(Reliability, DiskFillingDuringRecording) {
    constexpr long kLimit = 15 * 1000 * 1000;  // about 100 frames
    signal(SIGXFSZ, SIG_DFL);                  // inherited by the program
    Options o;
    o.prefix = {"prlimit", "--fsize=" + std::to_string(kLimit)};
    Session s(o);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(StartRecording(s));
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    // The recording ends by itself and the user is told.
    const long seconds =
        ExpectStoppedMessage(s, "the Capture File reached the largest size allowed", file,
                             "Choose another file to record the rest.", "disk-full");
    EXPECT_EQ(s.Text(kCaptureFile), s.Temp() + "/Tapeloom00001.avi");
    ASSERT_TRUE(s.Exit());

    const Probe p = ProbeFile(file);
    EXPECT_GT(p.videoFrames, 80) << "frames up to the failure are kept";
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
    EXPECT_NEAR(seconds, p.videoFrames / 25, 1) << "the captured time told";
    EXPECT_LE(static_cast<long>(std::filesystem::file_size(file)), kLimit);
    std::printf("file size limit at %ld bytes: ffprobe reads %ld frames, told %ld s\n", kLimit,
                p.videoFrames, seconds);
}

// A small file system filling up during a recording (tmpfs of 16 MB,
// mounted by root; CI runs as root).
TEST(Reliability, DiskFullDuringRecording) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    Session s;
    const std::string small = s.Scratch() + "/small disk";
    std::filesystem::create_directories(small);
    if (std::system(("mount -t tmpfs -o size=16m tapeloom-e2e " + Quote(small)).c_str()) != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        std::string dir;
        ~Unmount() { std::system(("umount -l " + Quote(dir)).c_str()); }
    } unmount{small};
    const std::string file = small + "/Take00000.avi";
    WriteFile(s.Registry(), RegistryText(file, 1));
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_EQ(s.Text(kCaptureFile), file);
    ASSERT_TRUE(StartRecording(s));
    const long seconds = ExpectStoppedMessage(
        s, "the disk is full", file, "Free some space on the disk, or choose another file.",
        "disk-full-small-file-system");
    EXPECT_EQ(s.Text(kCaptureFile), small + "/Take00001.avi");
    ASSERT_TRUE(s.Exit());

    const Probe p = ProbeFile(file);
    EXPECT_GT(p.videoFrames, 80) << "frames up to the failure are kept";
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
    EXPECT_NEAR(seconds, p.videoFrames / 25, 1) << "the captured time told";
    std::printf("tmpfs of 16 MB full: ffprobe reads %ld frames, told %ld s\n", p.videoFrames,
                seconds);
}

TEST(Reliability, KilledDuringRecording) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(StartRecording(s));
    std::this_thread::sleep_for(milliseconds(4000));
    s.process().Kill();

    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    const Probe p = ProbeFile(file);
    const long decoded = DecodedFrames(file);
    std::printf("SIGKILL after 4 s of recording: ffprobe reads %ld frames, ffmpeg decodes %ld\n",
                p.videoFrames, decoded);
    EXPECT_GT(p.videoFrames, 50);
    EXPECT_EQ(decoded, p.videoFrames);
    // The settings file is whole; the next start runs normally.
    EXPECT_FALSE(Settings(s.Registry())["Capture File"].empty());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.Exit());
}

TEST(Reliability, DamagedFramesOnTheTape) {
    Options o;
    o.decks = std::string(kDeck) + "=pal,damage=10";
    Session s(o);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(StartRecording(s));
    std::this_thread::sleep_for(milliseconds(4000));
    ASSERT_TRUE(StopRecording(s));
    EXPECT_TRUE(s.Shot("damaged-tape"));
    ASSERT_TRUE(s.Exit());
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    const Probe p = ProbeFile(file);
    EXPECT_GT(p.videoFrames, 80) << "damaged frames are recorded as they came";
    EXPECT_TRUE(p.HasStream("audio pcm_s16le 48000"));
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
}

TEST(Reliability, DamagedSettingsFile) {
    Session s;
    WriteFile(s.Registry(), "TAPELOOM-REGISTRY 1\n[HKEY_LOCAL_MACHINE\\SOFT\x01\xff garbage\n\"x");
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_EQ(s.Text(kCaptureFile), s.Temp() + "/Tapeloom00000.avi");
    ASSERT_TRUE(s.Exit());
    bool kept = false;
    for (const auto& e : std::filesystem::directory_iterator(s.Scratch()))
        if (e.path().filename().string().rfind("registry.damaged-", 0) == 0) kept = true;
    EXPECT_TRUE(kept) << "the damaged file is kept aside";
    EXPECT_EQ(Settings(s.Registry())["Capture File"], s.Temp() + "/Tapeloom00000.avi");
}

// The stored file's directory is gone at start: the default file is
// offered instead.
TEST(Reliability, CaptureDirectoryRemoved) {
    Session s;
    const std::string gone = s.Scratch() + "/gone";
    WriteFile(s.Registry(), RegistryText(gone + "/clip00004.avi", 1));
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_EQ(s.Text(kCaptureFile), s.Temp() + "/Tapeloom00000.avi");
    ASSERT_TRUE(s.Exit());
    EXPECT_FALSE(std::filesystem::exists(gone));
}

// The capture file's folder taken away while the program runs.  Nothing may
// look like a recording that is not being written, and the user goes on
// once the folder is back or another file is chosen with "...".
class CaptureFolderRemoved : public ::testing::Test {
protected:
    static constexpr char kCannotCreate[] =
        "messagebox \"The Capture File could not be created, Nothing will be recorded. Check "
        "that its folder exists, or choose another file.\"";
    static constexpr char kLost[] =
        "messagebox \"The Capture File was removed during the recording, The recording could "
        "not be saved.\"";

    void SetUp() override {
        std::filesystem::create_directories(dir_);
        WriteFile(s_.Registry(), RegistryText(Take(0), 1));
        ASSERT_TRUE(s_.Start());
        ASSERT_TRUE(s_.WaitUntilReady());
        ASSERT_EQ(s_.Text(kCaptureFile), Take(0));
    }
    std::string Take(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "/Take %05d.avi", n);
        return dir_ + name;
    }
    std::string Modal() {
        const auto lines = s_.c().Request("modal");
        return lines.empty() ? std::string() : lines.front();
    }
    // The message box in front says `text`; it is answered with OK.
    void ExpectMessage(const std::string& text, const std::string& shot) {
        ASSERT_TRUE(s_.WaitFor([&] { return Modal().rfind("messagebox", 0) == 0; })) << Modal();
        EXPECT_EQ(Modal(), text);
        EXPECT_TRUE(s_.Shot(shot));
        ASSERT_TRUE(s_.c().Ok("answer ok"));
        ASSERT_TRUE(s_.WaitFor([&] { return Modal().empty(); }));
    }
    // Capture refused: the message, then the panel still previewing.
    void ExpectCaptureRefused(const std::string& shot) {
        ASSERT_TRUE(s_.Click(kCapture));
        ExpectMessage(kCannotCreate, shot);
        std::this_thread::sleep_for(milliseconds(500));
        EXPECT_EQ(s_.Text(kCapture), "Capture");
        EXPECT_TRUE(s_.Enabled(kCapture));
        EXPECT_TRUE(s_.Enabled(kBrowse));
        EXPECT_FALSE(std::filesystem::exists(dir_))
            << "the folder is not made behind the user's back";
    }
    bool Record(double seconds) {
        if (!StartRecording(s_)) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return StopRecording(s_);
    }

    Session s_;
    const std::string dir_ = s_.Scratch() + "/my clips";
};

TEST_F(CaptureFolderRemoved, WhilePreviewing) {
    std::filesystem::remove_all(dir_);
    ExpectCaptureRefused("capture-folder-gone");

    // The folder comes back: Capture records into the name shown.
    std::filesystem::create_directories(dir_);
    ASSERT_TRUE(Record(3.0));
    EXPECT_TRUE(s_.WaitForText(kCaptureFile, Take(1))) << s_.Text(kCaptureFile);
    const Probe back = ProbeFile(Take(0));
    EXPECT_GT(back.videoFrames, 50) << "recorded once the folder is back";
    EXPECT_EQ(DecodedFrames(Take(0)), back.videoFrames);

    // Gone again: "..." opens and another file is chosen and recorded into.
    std::filesystem::remove_all(dir_);
    const std::string other = s_.Scratch() + "/elsewhere/new take.avi";
    std::filesystem::create_directories(s_.Scratch() + "/elsewhere");
    ASSERT_TRUE(s_.Click(kBrowse));
    ASSERT_TRUE(s_.WaitFor([&] { return Modal().rfind("filedialog", 0) == 0; })) << Modal();
    ASSERT_TRUE(s_.c().Ok("save " + other));
    ASSERT_TRUE(s_.WaitForText(kCaptureFile, other)) << s_.Text(kCaptureFile);
    ASSERT_TRUE(s_.WaitUntilReady());
    ASSERT_TRUE(Record(3.0));
    EXPECT_TRUE(s_.Shot("capture-folder-other-file"));
    ASSERT_TRUE(s_.Exit());
    const Probe p = ProbeFile(other);
    EXPECT_GT(p.videoFrames, 50);
    EXPECT_TRUE(p.HasStream("audio pcm_s16le 48000")) << ::testing::PrintToString(p.streams);
    EXPECT_EQ(Settings(s_.Registry())["Capture File"],
              s_.Scratch() + "/elsewhere/new take00001.avi");
    EXPECT_FALSE(std::filesystem::exists(dir_));
}

// On Linux the open file goes on being written after its folder is gone,
// but nothing is left on disk once it is closed.
TEST_F(CaptureFolderRemoved, DuringRecording) {
    ASSERT_TRUE(StartRecording(s_));
    std::this_thread::sleep_for(milliseconds(2000));
    std::filesystem::remove_all(dir_);
    std::this_thread::sleep_for(milliseconds(2000));
    EXPECT_EQ(s_.Text(kCapture), "Stop Capture");
    const auto start = Clock::now();
    ASSERT_TRUE(StopRecording(s_));
    const auto stopMs = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    ExpectMessage(kLost, "capture-folder-gone-while-recording");
    std::printf("folder removed during a recording: Stop Capture took %lld ms\n",
                static_cast<long long>(stopMs));
    // The name stays where the user put it; recording waits for the folder.
    EXPECT_EQ(s_.Text(kCaptureFile), Take(0));
    EXPECT_TRUE(s_.Enabled(kCapture));
    ExpectCaptureRefused("capture-folder-still-gone");

    std::filesystem::create_directories(dir_);
    ASSERT_TRUE(Record(3.0));
    EXPECT_TRUE(s_.WaitForText(kCaptureFile, Take(1))) << s_.Text(kCaptureFile);
    EXPECT_TRUE(Modal().empty()) << Modal();
    ASSERT_TRUE(s_.Exit());
    const Probe p = ProbeFile(Take(0));
    EXPECT_GT(p.videoFrames, 50);
    EXPECT_LT(p.videoFrames, 100) << "only the recording made after the folder came back";
    EXPECT_EQ(DecodedFrames(Take(0)), p.videoFrames);
    EXPECT_EQ(Settings(s_.Registry())["Capture File"], Take(1));
}

// Names with spaces, "%", letters outside ASCII, and a path over 300
// characters: recorded where they say, and the next name follows.
TEST(Reliability, AwkwardPaths) {
    std::string longDir = "/deep";
    while (longDir.size() < 300) longDir += "/a-directory-with-a-long-name";
    for (const std::string& sub : {std::string("/Ферма 100% «clips» ü"), longDir}) {
        SCOPED_TRACE(sub);
        Session s;
        const std::string dir = s.Scratch() + sub;
        std::filesystem::create_directories(dir);
        const std::string file = dir + "/Take %d %s é00007.avi";
        WriteFile(s.Registry(), RegistryText(file, 1));
        ASSERT_TRUE(s.Start());
        ASSERT_TRUE(s.WaitUntilReady());
        EXPECT_EQ(s.Text(kCaptureFile), file);
        ASSERT_TRUE(StartRecording(s));
        std::this_thread::sleep_for(milliseconds(2000));
        ASSERT_TRUE(StopRecording(s));
        EXPECT_TRUE(s.WaitForText(kCaptureFile, dir + "/Take %d %s é00008.avi"))
            << s.Text(kCaptureFile);
        ASSERT_TRUE(s.Exit());
        EXPECT_GT(ProbeFile(file).videoFrames, 30);
        EXPECT_EQ(Settings(s.Registry())["Capture File"].size() > 0, true);
    }
}

}  // namespace
