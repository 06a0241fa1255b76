// The main window and the About box, driven from outside: every way of
// closing ends the program the same way, Escape and F1 do nothing, the
// panel covers its placeholder, and the About box shows the build date
// whatever the time zone and locale.
#include <gtest/gtest.h>

#include <filesystem>

#include "testsupport/programdriver.h"

namespace {

using namespace program_test;

const char kMainTitle[] = "Quindle Tapeloom";
const char kAboutTitle[] = "About Tapeloom";
const char kVersionLine[] = "Tapeloom Version 1.0  Built: Friday, October 08, 2004";

enum {
    kPreviewFrame = 1023,
    kPanelFrame = 1032,
    kAboutButton = 1042,
    kExitButton = 1,
    kVersion = 1043
};

std::string ScreenshotPath(const std::string& name) {
    std::filesystem::create_directories(SCREENSHOT_DIR);
    return std::string(SCREENSHOT_DIR) + "/" + name;
}

// Ends the program one way and returns its wait status.
int CloseAndWait(const std::string& how) {
    ProgramWorld world;
    auto program = world.Start();
    EXPECT_TRUE(program.connection);
    if (!program.connection) return -1;
    Connection& c = *program.connection;
    const std::string main = program.main.hwnd;
    if (how == "exit") {
        EXPECT_TRUE(c.Ok("click " + c.Child(main, kExitButton)->hwnd));
    } else if (how == "close box") {
        EXPECT_TRUE(c.Ok("close " + main));
    } else if (how == "system menu close") {
        EXPECT_TRUE(c.Ok("syscommand " + main + " 0xF060"));
    } else if (how == "alt+f4") {
        EXPECT_TRUE(c.Ok("key " + main + " f4 alt"));
    }
    EXPECT_TRUE(program.process->WaitForEnd()) << how << ": the program did not end";
    return program.process->status();
}

TEST(MainWindow, EveryClosePathEndsTheProgramTheSameWay) {
    const int exit_status = CloseAndWait("exit");
    // A clean exit (a sanitizer's report would change the status).
    ASSERT_TRUE(WIFEXITED(exit_status));
    EXPECT_EQ(WEXITSTATUS(exit_status), 0);
    for (const char* how : {"close box", "system menu close", "alt+f4"})
        EXPECT_EQ(CloseAndWait(how), exit_status) << how;
}

TEST(MainWindow, EscapeAndF1DoNothing) {
    ProgramWorld world;
    auto program = world.Start();
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const std::string main = program.main.hwnd;
    const size_t windows = c.Windows().size();

    // On the panel, which has the focus at start, and on the main window's
    // own button.
    ASSERT_TRUE(c.Ok("key " + main + " escape"));
    ASSERT_TRUE(c.Ok("key " + main + " f1"));
    ASSERT_TRUE(c.Ok("focus " + c.Child(main, kAboutButton)->hwnd));
    ASSERT_TRUE(c.Ok("key " + main + " escape"));
    ASSERT_TRUE(c.Ok("key " + main + " f1"));
    EXPECT_FALSE(program.process->WaitForEnd(milliseconds(300)));
    EXPECT_TRUE(c.Window(kMainTitle));
    EXPECT_EQ(c.Windows().size(), windows);

    // F1 in the About box shows nothing either.
    ASSERT_TRUE(c.Ok("click " + c.Child(main, kAboutButton)->hwnd));
    auto about = c.WaitForWindow(kAboutTitle);
    ASSERT_TRUE(about);
    ASSERT_TRUE(c.Ok("key " + about->hwnd + " f1"));
    ASSERT_TRUE(c.Ok("key " + about->hwnd + " tab"));
    EXPECT_TRUE(c.Window(kAboutTitle));
    EXPECT_EQ(c.Windows().size(), windows + 1);
}

TEST(MainWindow, PanelCoversThePlaceholder) {
    ProgramWorld world;
    auto program = world.Start();
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const auto children = c.Children(program.main.hwnd);
    std::optional<ChildWindow> placeholder, panel, preview;
    for (const auto& child : children) {
        if (child.id == kPanelFrame) placeholder = child;
        if (child.id == kPreviewFrame) preview = child;
        if (child.class_name == "#32770") panel = child;
    }
    ASSERT_TRUE(placeholder && panel && preview);
    EXPECT_FALSE(placeholder->visible);
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(
        std::tie(panel->left, panel->top, panel->right, panel->bottom),
        std::tie(placeholder->left, placeholder->top, placeholder->right, placeholder->bottom));
    EXPECT_GE(panel->top, preview->bottom);
    EXPECT_TRUE(c.Ok("shot " + program.main.hwnd + " " + ScreenshotPath("main-window.png")));
}

TEST(AboutBox, SameBuildDateInEveryTimeZoneAndLocale) {
    ProgramWorld world;
    auto program = world.Start({"TZ=Pacific/Kiritimati", "LANG=de_DE", "LC_ALL=de_DE.UTF-8"});
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const std::string main = program.main.hwnd;

    ASSERT_TRUE(c.Ok("click " + c.Child(main, kAboutButton)->hwnd));
    auto about = c.WaitForWindow(kAboutTitle);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->owner, main);
    EXPECT_FALSE(c.Window(kMainTitle)->enabled);
    auto version = c.Child(about->hwnd, kVersion);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->text, kVersionLine);
    EXPECT_TRUE(c.Ok("shot " + about->hwnd + " " + ScreenshotPath("about-box.png")));

    // OK closes it; the system menu's About entry opens the same box.
    ASSERT_TRUE(c.Ok("click " + c.Child(about->hwnd, 1)->hwnd));
    ASSERT_TRUE(c.WaitForWindow(kMainTitle));
    EXPECT_FALSE(c.Window(kAboutTitle));
    EXPECT_TRUE(c.Window(kMainTitle)->enabled);
    ASSERT_TRUE(c.Ok("syscommand " + main + " 0x0010"));
    about = c.WaitForWindow(kAboutTitle);
    ASSERT_TRUE(about);
    EXPECT_EQ(c.Child(about->hwnd, kVersion)->text, kVersionLine);
    // Escape ends the About box, not the program.
    ASSERT_TRUE(c.Ok("key " + about->hwnd + " escape"));
    ASSERT_TRUE(c.Ok("windows"));
    EXPECT_FALSE(c.Window(kAboutTitle));
    EXPECT_TRUE(c.Window(kMainTitle));
}

// The automation's answers to requests it cannot carry out, and to a few
// it can, word for word: tests elsewhere tell success from failure by them.
TEST(MainWindow, AutomationAnswers) {
    ProgramWorld world;
    auto program = world.Start();
    ASSERT_TRUE(program.connection);
    Connection& c = *program.connection;
    const std::string main = program.main.hwnd;
    ASSERT_FALSE(main.empty());
    const std::string button = c.Child(main, kAboutButton)->hwnd;
    using Lines = std::vector<std::string>;
    const struct {
        std::string request;
        Lines answer;
    } cases[] = {
        {"", {"error no such window"}},
        {"bogus", {"error no such window"}},
        {"bogus " + main, {"error unknown request"}},
        {"enabled 0", {"error no such window"}},
        {"enabled " + main, {"1"}},
        {"click " + main, {"error not a button"}},
        {"choose " + button + " 0", {"error not a drop-down list"}},
        {"key " + main + " f2", {"error unknown key"}},
        {"modal", {}},
        {"save /tmp/never-written.avi", {"error no file dialog"}},
        {"answer yes", {"error no message box"}},
        {"platform", {"offscreen"}},
    };
    for (const auto& k : cases) EXPECT_EQ(c.Request(k.request), k.answer) << k.request;
    EXPECT_TRUE(c.Window(kMainTitle));
}

}  // namespace
