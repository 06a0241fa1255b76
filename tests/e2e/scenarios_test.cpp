// What a user does with Tapeloom, on the virtual deck: first start,
// preview, recordings of both file types with numbered names, a
// restart, a second start, a deck
// unplugged and plugged back during a recording, and closing while
// recording.  Each leaves a screenshot.
#include <gtest/gtest.h>

#include "testsupport/e2e.h"

namespace {

using namespace e2e;

// PAL frames in a real-time recording of `seconds`, with room for the
// time a click takes to arrive.
void ExpectAbout(long frames, double seconds) {
    EXPECT_GE(frames, static_cast<long>(seconds * 25) - 15);
    EXPECT_LE(frames, static_cast<long>(seconds * 25) + 15);
}

// Records for `seconds` with the Capture button; true when the button
// went to Stop Capture and back.
bool Record(Session& s, double seconds) {
    if (!s.Click(kCapture) || !s.WaitForText(kCapture, "Stop Capture")) return false;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return s.Click(kCapture) && s.WaitForText(kCapture, "Capture");
}

bool Contains(const std::string& path, const std::string& bytes, size_t within) {
    std::ifstream in(path, std::ios::binary);
    std::string head(within, '\0');
    in.read(head.data(), static_cast<std::streamsize>(within));
    return head.find(bytes) != std::string::npos;
}

TEST(Scenario, FirstStartWithoutSettings) {
    Session s;
    ASSERT_FALSE(std::filesystem::exists(s.Registry()));
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_EQ(s.Text(kCaptureFile), s.Temp() + "/Tapeloom00000.avi");
    EXPECT_EQ(s.Text(kDeviceType), "720 x 576 DV PAL");
    EXPECT_EQ(s.Text(kDropped), "0 Frames");
    EXPECT_EQ(s.Text(kCaptured), "00:00:00");
    EXPECT_TRUE(s.Shot("first-start"));
    ASSERT_TRUE(s.Exit());
    auto settings = Settings(s.Registry());
    EXPECT_EQ(settings["Capture File"], s.Temp() + "/Tapeloom00000.avi");
    EXPECT_EQ(settings["File Type"], "00000001");  // Type-2
    // Nothing was recorded: no file is left behind.
    EXPECT_FALSE(std::filesystem::exists(s.Temp() + "/Tapeloom00000.avi"));
}

TEST(Scenario, PreviewShowsTheTapeMoving) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.ClickWhenEnabled(kPlay));
    EXPECT_TRUE(s.WaitForText(kTransportMode, "Play"));
    // The picture in the preview frame (sampled pixels that are not black).
    long lit = 0;
    EXPECT_TRUE(s.WaitFor([&] { return (lit = s.LitPreviewPixels("preview-frame")) > 1000; },
                          milliseconds(3000)))
        << "preview frame stays dark: " << lit << " of the sampled pixels lit";
    const std::string first = s.Text(kTimecode);
    EXPECT_TRUE(s.WaitFor([&] { return s.Text(kTimecode) != first; })) << "timecode stands still";
    EXPECT_TRUE(s.Shot("preview"));
    ASSERT_TRUE(s.Exit());
}

// A Type-2 recording, the next numbered name, and a restart that goes on
// with the numbering.
TEST(Scenario, Type2RecordingNumberingAndRestart) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    const std::string first = s.Temp() + "/Tapeloom00000.avi";
    const std::string second = s.Temp() + "/Tapeloom00001.avi";
    ASSERT_TRUE(Record(s, 10.0));
    EXPECT_TRUE(s.WaitForText(kCaptureFile, second)) << s.Text(kCaptureFile);
    EXPECT_TRUE(s.Shot("type2-recorded"));
    ASSERT_TRUE(s.Exit());

    const Probe p = ProbeFile(first);
    EXPECT_TRUE(p.HasStream("video dvvideo")) << ::testing::PrintToString(p.streams);
    EXPECT_TRUE(p.HasStream("audio pcm_s16le 48000")) << ::testing::PrintToString(p.streams);
    ExpectAbout(p.videoFrames, 10.0);
    EXPECT_EQ(DecodedFrames(first), p.videoFrames) << "every frame decodes";
    EXPECT_FALSE(std::filesystem::exists(second)) << "the unused next file is deleted";
    EXPECT_EQ(Settings(s.Registry())["Capture File"], second);

    // The restart offers the next number again.
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_EQ(s.Text(kCaptureFile), second);
    EXPECT_TRUE(s.Shot("restart"));
    ASSERT_TRUE(s.Exit());
}

// "..." picks an existing file elsewhere: after the overwrite question the
// old file is gone, the recording goes into the chosen name, and the
// settings remember it.
TEST(Scenario, BrowseToAnotherExistingFile) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    const std::string offered = s.Temp() + "/Tapeloom00000.avi";
    const std::string chosen = s.Scratch() + "/family tape 1.avi";
    WriteFile(chosen, "an old file that is replaced");
    auto modal = [&] {
        const auto lines = s.c().Request("modal");
        return lines.empty() ? std::string() : lines.front();
    };
    ASSERT_TRUE(s.Click(kBrowse));
    ASSERT_TRUE(s.WaitFor([&] { return modal().rfind("filedialog", 0) == 0; })) << modal();
    EXPECT_TRUE(s.Shot("browse-dialog"));
    ASSERT_TRUE(s.c().Ok("save " + chosen));
    ASSERT_TRUE(s.WaitFor([&] { return modal().rfind("messagebox", 0) == 0; })) << modal();
    ASSERT_TRUE(s.c().Ok("answer yes"));
    ASSERT_TRUE(s.WaitForText(kCaptureFile, chosen)) << s.Text(kCaptureFile);
    ASSERT_TRUE(s.WaitUntilReady());
    EXPECT_FALSE(std::filesystem::exists(offered)) << "the unused offered file is deleted";
    ASSERT_TRUE(Record(s, 4.0));
    // The number at the end of the chosen name goes on.
    const std::string next = s.Scratch() + "/family tape 00002.avi";
    EXPECT_TRUE(s.WaitForText(kCaptureFile, next)) << s.Text(kCaptureFile);
    EXPECT_TRUE(s.Shot("browse-recorded"));
    ASSERT_TRUE(s.Exit());

    const Probe p = ProbeFile(chosen);
    EXPECT_TRUE(p.HasStream("video dvvideo")) << ::testing::PrintToString(p.streams);
    ExpectAbout(p.videoFrames, 4.0);
    EXPECT_EQ(DecodedFrames(chosen), p.videoFrames);
    EXPECT_EQ(Settings(s.Registry())["Capture File"], next);
}

// The file type changed to Type-1 before recording.
TEST(Scenario, FileTypeChangeAndType1Recording) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.Choose(kFileType, 0));
    ASSERT_TRUE(s.WaitUntilReady());
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    ASSERT_TRUE(Record(s, 10.0));
    EXPECT_TRUE(s.WaitForText(kCaptureFile, s.Temp() + "/Tapeloom00001.avi"));
    EXPECT_TRUE(s.Shot("type1-recorded"));
    ASSERT_TRUE(s.Exit());

    EXPECT_TRUE(Contains(file, "iavs", 4096)) << "an interleaved stream";
    const Probe p = ProbeFile(file);
    EXPECT_TRUE(p.HasStream("video dvvideo")) << ::testing::PrintToString(p.streams);
    ExpectAbout(p.videoFrames, 10.0);
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
    EXPECT_EQ(Settings(s.Registry())["File Type"], "00000000");
}

TEST(Scenario, SecondStartBringsTheFirstForward) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.c().Ok("cover"));
    ASSERT_FALSE(s.c().Window(kMainTitle)->foreground);
    auto second = s.StartAnother();
    ASSERT_TRUE(second->WaitForEnd());
    EXPECT_TRUE(second->CleanExit());
    EXPECT_TRUE(s.WaitFor([&] {
        auto w = s.c().Window(kMainTitle);
        return w && w->foreground;
    }));
    EXPECT_TRUE(s.Shot("brought-forward"));
    ASSERT_TRUE(s.Exit());
}

// The deck goes away mid-recording and comes back.
TEST(Scenario, UnplugAndReplugDuringRecording) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(3000));
    WriteFile(s.ControlFile(), std::string(kDeck) + "\n");
    EXPECT_TRUE(s.WaitFor([&] {
        return s.Text(kDeviceType).rfind("No Supported DV Devices", 0) == 0;
    })) << s.Text(kDeviceType);
    EXPECT_TRUE(s.Shot("unplugged"));
    EXPECT_FALSE(s.Enabled(kCapture));

    const Probe p = ProbeFile(file);
    EXPECT_GT(p.videoFrames, 50) << "the frames before the unplug are kept";
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
    EXPECT_FALSE(std::filesystem::exists(s.Temp() + "/Tapeloom00001.avi"))
        << "the fresh next file is deleted";

    WriteFile(s.ControlFile(), "");
    EXPECT_TRUE(s.WaitForText(kDeviceType, "720 x 576 DV PAL", milliseconds(15000)));
    EXPECT_TRUE(s.WaitUntilReady());
    EXPECT_TRUE(s.Shot("replugged"));
    ASSERT_TRUE(s.Exit());
}

TEST(Scenario, CloseDuringRecording) {
    Session s;
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitUntilReady());
    ASSERT_TRUE(s.Click(kCapture));
    ASSERT_TRUE(s.WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(3000));
    EXPECT_TRUE(s.Shot("recording"));
    ASSERT_TRUE(s.Exit()) << "the program did not end cleanly";
    const std::string file = s.Temp() + "/Tapeloom00000.avi";
    const Probe p = ProbeFile(file);
    ExpectAbout(p.videoFrames, 3.0);
    EXPECT_EQ(DecodedFrames(file), p.videoFrames);
}

}  // namespace
