// The program with camcorders on the emulated IEEE-1394 bus, through the
// real FireWire libraries and the program's own bus code: listing,
// preview, recordings compared frame by frame with the tape, the transport
// buttons, plugging, bus resets, slow and silent decks, lost frames, other
// kinds of units, NTSC and 32 kHz tapes.
#include "testsupport/camcorder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "dv/dvaudiopatch.h"

namespace {

using namespace e2e;

constexpr char kName[] = "Acme DV-1000";

// Records for `seconds`; true when the button went to Stop Capture and back.
bool Record(Session& s, double seconds) {
    if (!s.Click(kCapture) || !s.WaitForText(kCapture, "Stop Capture")) return false;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return s.Click(kCapture) && s.WaitForText(kCapture, "Capture");
}

long DroppedShown(Session& s) { return std::atol(s.Text(kDropped).c_str()); }

// A PAL timecode text ("hh:mm:ss:ff") as frames from 00:00:00:00.
long PalFrames(const std::string& timecode) {
    int h = 0, m = 0, sec = 0, f = 0;
    if (std::sscanf(timecode.c_str(), "%d:%d:%d:%d", &h, &m, &sec, &f) != 4) return -1;
    return ((h * 60L + m) * 60 + sec) * 25 + f;
}

// Frames of a recording found on the tape in order: how many, and how many
// tape frames the gaps between them skipped (-1: a frame not on the tape).
struct InOrder {
    long frames = 0;
    long skipped = 0;
};

InOrder FramesInOrder(const std::vector<uint8_t>& recorded, const std::vector<uint8_t>& tape,
                      size_t frameSize) {
    InOrder r;
    long next = -1;
    for (size_t at = 0; at + frameSize <= recorded.size(); at += frameSize, ++r.frames) {
        long found = -1;
        for (long t = std::max(next, 0L); static_cast<size_t>(t + 1) * frameSize <= tape.size();
             ++t)
            if (std::memcmp(tape.data() + static_cast<size_t>(t) * frameSize, recorded.data() + at,
                            frameSize) == 0) {
                found = t;
                break;
            }
        if (found < 0) return {r.frames, -1};
        if (next >= 0) r.skipped += found - next;
        next = found + 1;
    }
    return r;
}

class Camcorder : public ::testing::Test {
protected:
    // A camcorder "Acme DV-1000" playing a PAL tape of `frames` frames.
    void AddCamcorder(int frames, const std::string& options = std::string()) {
        tapePath_ = bus_.MakeTape("tape.dv", dv::Standard::PAL, frames, &tape_);
        ASSERT_FALSE(tapePath_.empty());
        bus_.Add("camcorder name=camcorder1 tape=" + tapePath_ + " vendor=Acme model=DV-1000 " +
                 options);
    }
    // Starts the program on the bus and waits until it can record.
    void StartReady() {
        session_ = std::make_unique<Session>(bus_.ProgramOptions());
        ASSERT_TRUE(session_->Start());
        ASSERT_TRUE(session_->WaitUntilReady()) << s().Text(kDevice);
    }
    Session& s() { return *session_; }
    std::string File(int n) {
        char name[32];
        std::snprintf(name, sizeof name, "/Tapeloom%05d.avi", n);
        return s().Temp() + name;
    }
    // The recording's frames, each the tape's next one, byte for byte.
    TapeMatch Match(const std::string& avi) {
        return MatchTape(RecordedFrames(avi, bus_.Dir() + "/recorded.dv"), tape_,
                         dv::kFrameSizePAL);
    }

    EmulatedBus bus_;
    std::string tapePath_;
    std::vector<uint8_t> tape_;
    std::unique_ptr<Session> session_;
};

TEST_F(Camcorder, ListedPreviewedAndRecordedInBothFileTypesAsOnTheTape) {
    AddCamcorder(750);
    StartReady();
    EXPECT_EQ(kName, s().Text(kDevice));
    EXPECT_EQ("720 x 576 DV PAL", s().Text(kDeviceType));
    ASSERT_TRUE(s().ClickWhenEnabled(kPlay));
    EXPECT_TRUE(s().WaitFor([&] { return s().LitPreviewPixels("camcorder-preview") > 1000; }))
        << "no picture in the preview frame";
    const std::string first = s().Text(kTimecode);
    EXPECT_TRUE(s().WaitFor([&] { return s().Text(kTimecode) != first; }));
    EXPECT_TRUE(s().Shot("camcorder-preview"));

    ASSERT_TRUE(Record(s(), 10.0));  // Type-2, the default
    ASSERT_TRUE(s().Choose(kFileType, 0));
    ASSERT_TRUE(s().WaitUntilReady());
    ASSERT_TRUE(Record(s(), 10.0));
    EXPECT_EQ("0 Frames", s().Text(kDropped));
    ASSERT_TRUE(s().Exit());

    for (int n : {0, 1}) {
        const TapeMatch m = Match(File(n));
        EXPECT_TRUE(m.identical) << "file " << n << " first tape frame " << m.first;
        // The second starts from the pause the first ended in.
        EXPECT_LE(m.stills, n == 0 ? 0 : 25) << n;
        EXPECT_GE(m.frames + m.stills, 235) << n;
        EXPECT_LE(m.frames + m.stills, 265) << n;
        if (n != 0 || !m.identical) continue;
        // Type-2: the audio is the tape's own, sample for sample.
        const std::vector<uint8_t> part(tape_.begin() + m.first * dv::kFrameSizePAL,
                                        tape_.begin() + (m.first + m.frames) * dv::kFrameSizePAL);
        const std::string ref = bus_.WriteTape("part.dv", part);
        const std::vector<uint8_t> expected = DecodedAudio(ref, bus_.Dir() + "/ref.pcm", "dv");
        const std::vector<uint8_t> got = DecodedAudio(File(n), bus_.Dir() + "/got.pcm");
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(expected == got) << expected.size() << " bytes expected, " << got.size();
    }
}

TEST_F(Camcorder, TransportButtonsMoveTheDeckAndItsStatus) {
    // 250 frames played 20 times over: room to wind both ways.
    AddCamcorder(250, "repeat=20");
    StartReady();
    struct Step {
        int button;
        const char* status;
        int thenMs;  // time to let the tape move on
    } const steps[] = {
        {kPlay, "Play", 0},
        {kPause, "Pause", 0},
        {1008 /* step forward */, "Pause", 0},
        {kStop, "Stop", 0},
        {1006 /* >>> from stop: wind */, "FF", 2000},  // into the middle of the tape
        {kPlay, "Play", 0},
        {1006 /* >>> playing: fastest forward */, "FF", 0},
        {1007 /* <<< */, "Rew", 0},
        {1011 /* >> */, "FF", 0},
        {1010 /* << */, "Rew", 0},
        {kStop, "Stop", 0},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(s().ClickWhenEnabled(step.button)) << step.button;
        EXPECT_TRUE(s().WaitForText(kTransportMode, step.status, milliseconds(3000)))
            << step.button << ": " << s().Text(kTransportMode);
        std::this_thread::sleep_for(milliseconds(step.thenMs));
    }
    // A frame step moves the paused tape by exactly one frame.
    ASSERT_TRUE(s().ClickWhenEnabled(kPlay));
    std::this_thread::sleep_for(milliseconds(1000));
    ASSERT_TRUE(s().Click(kPause));
    ASSERT_TRUE(s().WaitForText(kTransportMode, "Pause"));
    std::this_thread::sleep_for(milliseconds(500));
    const std::string before = s().Text(kTimecode);
    ASSERT_TRUE(s().ClickWhenEnabled(1008));
    EXPECT_TRUE(s().WaitFor([&] { return s().Text(kTimecode) != before; }));
    std::this_thread::sleep_for(milliseconds(500));
    const std::string after = s().Text(kTimecode);
    // (The file's timecode starts again with each of its 250-frame repeats.)
    EXPECT_EQ(1, (PalFrames(after) - PalFrames(before) + 250) % 250) << before << " -> " << after;
    ASSERT_TRUE(s().Exit());
}

TEST_F(Camcorder, PluggedInWhileRunningUnpluggedDuringARecordingAndBack) {
    AddCamcorder(750, "unplugged");
    session_ = std::make_unique<Session>(bus_.ProgramOptions());
    ASSERT_TRUE(s().Start());
    ASSERT_TRUE(bus_.WaitForProgram());
    std::this_thread::sleep_for(milliseconds(500));  // its first scan found nothing
    EXPECT_EQ("No Supported DV Devices Found", s().Text(kDevice));
    ASSERT_TRUE(bus_.Ok("plug camcorder1"));
    const auto plugged = Clock::now();
    ASSERT_TRUE(s().WaitFor([&] { return s().Text(kDevice) == kName; }, milliseconds(3000)))
        << s().Text(kDevice);
    EXPECT_LT(Clock::now() - plugged, milliseconds(3000));
    ASSERT_TRUE(s().WaitUntilReady());

    ASSERT_TRUE(s().Click(kCapture));
    ASSERT_TRUE(s().WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(4000));
    ASSERT_TRUE(bus_.Ok("unplug camcorder1"));
    EXPECT_TRUE(s().WaitFor([&] { return s().Text(kDevice) == "No Supported DV Devices"; }))
        << s().Text(kDevice);
    EXPECT_FALSE(s().Enabled(kCapture));
    const TapeMatch m = Match(File(0));
    EXPECT_TRUE(m.identical) << "the frames before the unplug are kept as on the tape";
    EXPECT_GT(m.frames, 60);

    ASSERT_TRUE(bus_.Ok("plug camcorder1"));
    EXPECT_TRUE(s().WaitFor([&] { return s().Text(kDevice) == kName; }));
    EXPECT_TRUE(s().WaitUntilReady());
    ASSERT_TRUE(s().Exit());
}

TEST_F(Camcorder, ARecordingGoesOnAcrossBusResetsAndLostFramesAreCounted) {
    AddCamcorder(750);
    StartReady();
    ASSERT_TRUE(s().Click(kCapture));
    ASSERT_TRUE(s().WaitForText(kCapture, "Stop Capture"));
    std::this_thread::sleep_for(milliseconds(2000));
    // Caused by another node, renumbering the bus, with a gap of lost
    // packets (more than two frames) around it; then by the camcorder
    // itself (it answers nothing for a while after it).
    std::istringstream sent(bus_.Command("frames camcorder1"));  // ok frames packets lost
    std::string ok;
    long frames = 0, packets = 0;
    sent >> ok >> frames >> packets;
    ASSERT_EQ("ok", ok);
    ASSERT_TRUE(bus_.Ok("fault camcorder1 burst=" + std::to_string(packets + 100) + ":700"));
    ASSERT_TRUE(bus_.Ok("reset renumber"));
    std::this_thread::sleep_for(milliseconds(2000));
    ASSERT_TRUE(bus_.Ok("reset by camcorder1"));
    std::this_thread::sleep_for(milliseconds(2000));
    EXPECT_EQ(kName, s().Text(kDevice)) << "the camcorder was not lost";
    EXPECT_EQ("Stop Capture", s().Text(kCapture));
    ASSERT_TRUE(s().Click(kCapture));
    ASSERT_TRUE(s().WaitForText(kCapture, "Capture"));
    const long shown = DroppedShown(s());
    ASSERT_TRUE(s().Exit());

    const std::vector<uint8_t> recorded = RecordedFrames(File(0), bus_.Dir() + "/recorded.dv");
    const InOrder order = FramesInOrder(recorded, tape_, dv::kFrameSizePAL);
    ASSERT_GE(order.skipped, 0) << "a recorded frame is not on the tape";
    EXPECT_GT(order.frames, 120) << "frames after the resets were recorded";
    EXPECT_GE(order.skipped, 2) << "the gap lost whole frames";
    EXPECT_EQ(order.skipped, shown) << "every frame lost in a gap is counted";
}

// Five bus resets 20 ms apart while the preview runs, then every third
// wait for bus events interrupted (EINTR): the picture and the timecode go
// on.
TEST_F(Camcorder, PreviewSurvivesAResetStormAndInterruptedWaits) {
    AddCamcorder(500);
    StartReady();
    ASSERT_TRUE(s().ClickWhenEnabled(kPlay));
    ASSERT_TRUE(s().WaitForText(kTransportMode, "Play"));
    EXPECT_TRUE(bus_.Ok("storm 5 20"));
    std::this_thread::sleep_for(milliseconds(1500));
    const std::string before = s().Text(kTimecode);
    EXPECT_TRUE(s().WaitFor([&] { return s().Text(kTimecode) != before; }))
        << "timecode stands still";
    EXPECT_EQ("Play", s().Text(kTransportMode));
    EXPECT_EQ(kName, s().Text(kDevice));
    EXPECT_GT(s().LitPreviewPixels("camcorder-after-storm"), 1000);
    ASSERT_TRUE(bus_.Ok("fault camcorder1 eintr=3"));
    std::this_thread::sleep_for(milliseconds(1000));
    ASSERT_TRUE(Record(s(), 2.0));
    ASSERT_TRUE(s().Exit());
    const TapeMatch m = Match(File(0));
    EXPECT_TRUE(m.identical);
    EXPECT_GT(m.frames, 40) << "reception ended at an interrupted wait";
}

TEST_F(Camcorder, WholeFramesLostOnTheBusAreCounted) {
    AddCamcorder(500, "frameloss=25");
    StartReady();
    ASSERT_TRUE(Record(s(), 6.0));
    const long shown = DroppedShown(s());
    ASSERT_TRUE(s().Exit());
    const std::vector<uint8_t> recorded = RecordedFrames(File(0), bus_.Dir() + "/recorded.dv");
    const InOrder order = FramesInOrder(recorded, tape_, dv::kFrameSizePAL);
    ASSERT_GE(order.skipped, 0);
    EXPECT_GE(order.skipped, 4);
    EXPECT_EQ(order.skipped, shown);
}

TEST_F(Camcorder, SlowAndSilentDecksNeverHangTheProgram) {
    AddCamcorder(500);
    StartReady();
    struct Case {
        const char* fault;
        const char* status;  // after Play, once the fault is cleared
    } const cases[] = {
        {"interim=300", "Play"}, {"interim=never", "Play"},  {"late", "Play"},
        {"delay=150", "Play"},   {"transition=400", "Play"}, {"reject", "Stop"},
        {"silent", "Stop"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(bus_.Ok("fault camcorder1 " + std::string(c.fault))) << c.fault;
        ASSERT_TRUE(bus_.Ok("mark camcorder1"));
        const auto start = Clock::now();
        ASSERT_TRUE(s().ClickWhenEnabled(kPlay)) << c.fault;
        // The window keeps answering while the deck takes its time.
        EXPECT_TRUE(s().WaitFor([&] { return !s().Text(kCapture).empty(); })) << c.fault;
        EXPECT_LT(Clock::now() - start, milliseconds(5000)) << c.fault;
        std::this_thread::sleep_for(milliseconds(1000));
        // The play command went to the deck once, never twice.
        const std::string sent = bus_.Command("avc camcorder1");
        size_t plays = 0;
        for (size_t at = sent.find("00 20 c3 75"); at != std::string::npos;
             at = sent.find("00 20 c3 75", at + 1))
            ++plays;
        EXPECT_LE(plays, 1u) << c.fault << ": " << sent;
        ASSERT_TRUE(bus_.Ok("fault camcorder1 clear"));
        EXPECT_TRUE(s().WaitForText(kTransportMode, c.status, milliseconds(3000)))
            << c.fault << ": " << s().Text(kTransportMode);
        ASSERT_TRUE(s().ClickWhenEnabled(kStop));
        ASSERT_TRUE(s().WaitForText(kTransportMode, "Stop", milliseconds(3000))) << c.fault;
    }
    ASSERT_TRUE(s().Exit());
}

TEST_F(Camcorder, OnlyDvTapeUnitsAreListedAndEachCanBeChosen) {
    // Two camcorders cannot both send on the broadcast channel: each gets a
    // channel of its own when connected.
    AddCamcorder(250, "nobroadcast");
    std::vector<uint8_t> ntscTape;
    const std::string ntsc = bus_.MakeTape("ntsc.dv", dv::Standard::NTSC, 300, &ntscTape);
    ASSERT_FALSE(ntsc.empty());
    bus_.Add("camcorder name=camcorder2 tape=" + ntsc + " vendor=Acme model=DV-2000 nobroadcast");
    bus_.Add("hdv vendor=Acme model=HDV-1");
    bus_.Add("disk vendor=Acme model=Disk");
    bus_.Add("iidc vendor=Acme model=Webcam");
    StartReady();
    EXPECT_EQ(kName, s().Text(kDevice));
    ASSERT_TRUE(s().Choose(kDevice, 1));
    EXPECT_TRUE(s().WaitForText(kDevice, "Acme DV-2000"));
    EXPECT_TRUE(s().WaitForText(kDeviceType, "720 x 480 DV NTSC"));
    EXPECT_TRUE(s().WaitUntilReady());
    EXPECT_FALSE(s().Choose(kDevice, 2)) << "a third unit is listed";
    // The NTSC camcorder records as it plays.
    ASSERT_TRUE(Record(s(), 2.0));
    const TapeMatch m = MatchTape(RecordedFrames(File(0), bus_.Dir() + "/ntsc-recorded.dv"),
                                  ntscTape, dv::kFrameSizeNTSC);
    EXPECT_TRUE(m.identical);
    EXPECT_GT(m.frames, 45);
    // The units that are no DV tape decks were never sent AV/C: the nodes
    // the program's trace shows commands to are the camcorders'.
    std::istringstream nodes(bus_.Command("nodes"));
    ASSERT_TRUE(s().Exit());
    std::set<std::string> decks;
    for (std::string word; nodes >> word;)
        if (word.rfind("camcorder", 0) == 0 || word.rfind("hdv", 0) == 0)
            decks.insert(word.substr(word.rfind(':') + 1));
    ASSERT_EQ(3u, decks.size());
    std::ifstream trace(bus_.Trace());
    std::regex command(R"(avc node (\d+) ->)");
    for (std::string line; std::getline(trace, line);) {
        std::smatch m;
        if (std::regex_search(line, m, command)) {
            EXPECT_TRUE(decks.count(m[1])) << line;
        }
    }
}

TEST_F(Camcorder, A32kHzTapeIsRecordedAt32kHz) {
    // A 32 kHz PAL tape, playing when the program starts: its frames tell
    // the rate before the first graph is built.
    std::vector<uint8_t> tape;
    ASSERT_TRUE(dv::MakeTestTape(dv::Standard::PAL, 300, tape));
    ASSERT_TRUE(dv::PatchAudioTo32k12(tape, false));
    tapePath_ = bus_.WriteTape("tape32k.dv", tape, &tape_);
    bus_.Add("camcorder name=camcorder1 tape=" + tapePath_ + " vendor=Acme model=DV-1000 playing");
    StartReady();
    ASSERT_TRUE(Record(s(), 3.0));
    ASSERT_TRUE(s().Exit());
    const Probe p = ProbeFile(File(0));
    EXPECT_TRUE(p.HasStream("audio pcm_s16le 32000")) << ::testing::PrintToString(p.streams);
    EXPECT_TRUE(Match(File(0)).identical);
}

}  // namespace
