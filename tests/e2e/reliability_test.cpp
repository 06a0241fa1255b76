// Faults around a running recording: the disk filling up, the process
// killed, damaged frames on the tape, a damaged settings file, the
// capture file's directory taken away, and awkward file names.
#include <gtest/gtest.h>

#include "e2e.h"

namespace {

using namespace e2e;

bool StartRecording(Session& s) {
    return s.Click(kCapture) && s.WaitForText(kCapture, "Stop Capture");
}
bool StopRecording(Session& s) { return s.Click(kCapture) && s.WaitForText(kCapture, "Capture"); }

// The file size limit stands in for a full disk: writes past it fail as
// they do on a full disk, without privileges (SIGXFSZ is ignored, so the
// writer sees the error instead of the signal).
TEST(Reliability, DiskFillingDuringRecording) {
    constexpr long kLimit = 15 * 1000 * 1000;  // about 100 frames
    signal(SIGXFSZ, SIG_IGN);                  // inherited by the program
    Options o;
    o.prefix = {"prlimit", "--fsize=" + std::to_string(kLimit)};
    Session s(o);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(StartRecording(s));
    // The recording ends by itself and the panel is back in preview.
    EXPECT_TRUE(s.WaitForText(kCapture, "Capture", milliseconds(20000)));
    EXPECT_TRUE(s.WaitUntilReady());
    EXPECT_TRUE(s.Shot("disk-full"));
    ASSERT_TRUE(s.Exit());

    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    const Probe p = ProbeFile(file);
    EXPECT_GT(p.videoFrames, 80) << "frames up to the failure are kept";
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
    EXPECT_LE(static_cast<long>(std::filesystem::file_size(file)), kLimit);
    std::printf("disk full at %ld bytes: ffprobe reads %ld frames\n", kLimit, p.videoFrames);
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
