// The whole program on the built-in virtual PAL deck, driven from outside:
// the live preview, a recording, a deck unplugged during a recording, and
// the shutdown while the panel is still being built.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "testsupport/programdriver.h"

namespace {

using namespace program_test;

enum { kDeviceType = 1018, kCapture = 1019, kCaptureFile = 1022 };

// The panel: the main window's child that holds the Capture button.
std::string PanelOf(Connection& c, const std::string& main) {
    for (const auto& child : c.Children(main))
        if (c.Child(child.hwnd, kCapture)) return child.hwnd;
    return "";
}

bool WaitFor(const std::function<bool()>& cond, milliseconds limit = milliseconds(20000)) {
    const auto deadline = Clock::now() + limit;
    while (!cond()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

bool Enabled(Connection& c, const std::string& hwnd) {
    const auto lines = c.Request("enabled " + hwnd);
    return !lines.empty() && lines[0] == "1";
}

std::string Text(Connection& c, const std::string& panel, int id) {
    auto child = c.Child(panel, id);
    return child ? child->text : "";
}

long ProbeFrames(const std::string& path) {
    const std::string command =
        "ffprobe -v error -count_frames -select_streams v:0 "
        "-show_entries stream=nb_read_frames -of csv=p=0 '" +
        path + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[128];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out.empty() ? -1 : std::atol(out.c_str());
}

std::string Numbered(ProgramWorld& world, int n) {
    char name[32];
    snprintf(name, sizeof name, "/Tapeloom%05d.avi", n);
    return world.scratch() + "/temp" + name;
}

void ExpectCleanEnd(Program& process) {
    ASSERT_TRUE(process.WaitForEnd(milliseconds(30000))) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(process.status()));
    EXPECT_EQ(0, WEXITSTATUS(process.status()));
}

}  // namespace

TEST(ProgramCapture, PreviewsRecordsAndMovesTheNameOn) {
    ProgramWorld world;
    const auto started = Clock::now();
    auto program = world.Start({"TAPELOOM_DECKS=Virtual DV Deck=pal"});
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const std::string panel = PanelOf(c, program.main.hwnd);
    ASSERT_FALSE(panel.empty());
    const std::string capture = c.Child(panel, kCapture)->hwnd;
    ASSERT_TRUE(WaitFor([&] { return Enabled(c, capture); })) << Text(c, panel, kDeviceType);
    const auto preview = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
    std::printf("From start to the running preview: %lld ms\n",
                static_cast<long long>(preview.count()));
    EXPECT_EQ("720 x 576 DV PAL", Text(c, panel, kDeviceType));

    ASSERT_TRUE(c.Ok("click " + capture));
    ASSERT_TRUE(WaitFor([&] { return Text(c, panel, kCapture) == "Stop Capture"; }));
    std::this_thread::sleep_for(milliseconds(1500));
    std::filesystem::create_directories(SCREENSHOT_DIR);
    EXPECT_TRUE(c.Ok("shot " + program.main.hwnd + " " SCREENSHOT_DIR "/program-recording.png"));
    ASSERT_TRUE(c.Ok("click " + capture));
    ASSERT_TRUE(WaitFor([&] { return Text(c, panel, kCaptureFile) == Numbered(world, 1); }));
    EXPECT_EQ("Capture", Text(c, panel, kCapture));

    ASSERT_TRUE(c.Ok("close " + program.main.hwnd));
    ExpectCleanEnd(*program.process);
    EXPECT_GT(ProbeFrames(Numbered(world, 0)), 10);
    EXPECT_FALSE(std::filesystem::exists(Numbered(world, 1)));
}

TEST(ProgramCapture, UnplugDuringARecordingAndPlugBackIn) {
    ProgramWorld world;
    const std::string control = world.scratch() + "/decks-unplugged";
    std::ofstream(control).close();
    auto program =
        world.Start({"TAPELOOM_DECKS=Virtual DV Deck=pal", "TAPELOOM_DECK_CONTROL=" + control});
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const std::string panel = PanelOf(c, program.main.hwnd);
    ASSERT_FALSE(panel.empty());
    const std::string capture = c.Child(panel, kCapture)->hwnd;
    ASSERT_TRUE(WaitFor([&] { return Enabled(c, capture); }));
    ASSERT_TRUE(c.Ok("click " + capture));
    std::this_thread::sleep_for(milliseconds(1500));

    std::ofstream(control) << "Virtual DV Deck\n";
    ASSERT_TRUE(WaitFor([&] { return Text(c, panel, kDeviceType) == "No Supported DV Devices"; }));
    EXPECT_FALSE(Enabled(c, capture));
    EXPECT_EQ("Capture", Text(c, panel, kCapture));
    EXPECT_GT(ProbeFrames(Numbered(world, 0)), 10);
    EXPECT_FALSE(std::filesystem::exists(Numbered(world, 1)));

    std::ofstream(control).close();
    ASSERT_TRUE(WaitFor([&] { return Enabled(c, capture); }));
    EXPECT_EQ("720 x 576 DV PAL", Text(c, panel, kDeviceType));
    ASSERT_TRUE(c.Ok("close " + program.main.hwnd));
    ExpectCleanEnd(*program.process);
}

TEST(ProgramCapture, ClosedWhileThePanelIsBeingBuilt) {
    // A hang fails the test after 30 s.
    ProgramWorld world;
    auto program = world.Start({"TAPELOOM_DECKS=Virtual DV Deck=pal"});
    ASSERT_TRUE(program.connection);
    ASSERT_TRUE(program.connection->Ok("close " + program.main.hwnd));
    ExpectCleanEnd(*program.process);
    EXPECT_FALSE(std::filesystem::exists(Numbered(world, 0)));
}
