// One instance at a time: a second start hands over to the running
// instance and ends without showing anything.
#include <gtest/gtest.h>

#include "testsupport/programdriver.h"

namespace {

using namespace program_test;

const char kMainTitle[] = "Quindle Tapeloom";
const char kMutexFile[] = "mutex.BE65C46E-568F-432d-B4AC-9F7A04298653";
const char kSysCommandMinimize[] = "0xF020";

// Starts a second copy and checks that it ends by itself without ever
// creating a window (it would have connected to the automation socket).
void ExpectSecondCopyEndsUnseen(ProgramWorld& world) {
    Program second(world.Environment());
    ASSERT_TRUE(second.WaitForEnd()) << "the second copy did not end";
    // A clean exit (a sanitizer's report would change the status).
    EXPECT_TRUE(WIFEXITED(second.status()) && WEXITSTATUS(second.status()) == 0);
    EXPECT_EQ(world.server().Accept(milliseconds(300)), nullptr)
        << "the second copy showed a window";
    std::printf("second copy ended after %lld ms\n",
                static_cast<long long>(second.lifetime().count()));
}

// Waits until the main window is restored and in front.
bool WaitUntilInFront(Connection& c, const std::string& hwnd) {
    const auto deadline = Clock::now() + milliseconds(5000);
    do {
        for (const auto& w : c.Windows())
            if (w.hwnd == hwnd && w.visible && !w.iconic && w.foreground) return true;
        std::this_thread::sleep_for(milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

TEST(SingleInstance, SecondStartBringsBackAMinimisedWindow) {
    ProgramWorld world;
    auto first = world.Start();
    ASSERT_TRUE(first.connection);
    ASSERT_FALSE(first.main.hwnd.empty());
    ASSERT_TRUE(first.connection->Ok("syscommand " + first.main.hwnd + " " + kSysCommandMinimize));
    auto minimised = first.connection->Window(kMainTitle);
    ASSERT_TRUE(minimised && minimised->iconic);

    ExpectSecondCopyEndsUnseen(world);
    EXPECT_TRUE(WaitUntilInFront(*first.connection, first.main.hwnd));
}

TEST(SingleInstance, SecondStartBringsTheWindowToTheFront) {
    ProgramWorld world;
    auto first = world.Start();
    ASSERT_TRUE(first.connection);
    // Another window comes to the front; the main window is behind it.
    ASSERT_TRUE(first.connection->Ok("cover"));
    ASSERT_FALSE(first.connection->Window(kMainTitle)->foreground);

    ExpectSecondCopyEndsUnseen(world);
    EXPECT_TRUE(WaitUntilInFront(*first.connection, first.main.hwnd));
}

TEST(SingleInstance, SecondStartReachesTheMainWindowBehindTheAboutBox) {
    ProgramWorld world;
    auto first = world.Start();
    ASSERT_TRUE(first.connection);
    auto about_button = first.connection->Child(first.main.hwnd, 1042);
    ASSERT_TRUE(about_button);
    ASSERT_TRUE(first.connection->Ok("click " + about_button->hwnd));
    ASSERT_TRUE(first.connection->WaitForWindow("About Tapeloom"));
    ASSERT_TRUE(first.connection->Ok("syscommand " + first.main.hwnd + " " + kSysCommandMinimize));

    ExpectSecondCopyEndsUnseen(world);
    EXPECT_TRUE(WaitUntilInFront(*first.connection, first.main.hwnd));
    // The About box is still open over it.
    EXPECT_TRUE(first.connection->Window("About Tapeloom"));
}

TEST(SingleInstance, SecondStartWhileTheFirstIsStillStarting) {
    ProgramWorld world;
    Program first(world.Environment());
    // The first copy holds the mutex and stands still at its first window,
    // before that window has seen a single message.
    auto connection = world.server().Accept();
    ASSERT_TRUE(connection);

    ExpectSecondCopyEndsUnseen(world);

    // The first copy goes on and opens its window as usual.
    connection->Go();
    auto main = connection->WaitForWindow(kMainTitle);
    ASSERT_TRUE(main);
    EXPECT_FALSE(main->iconic);
    EXPECT_FALSE(first.ended());
}

TEST(SingleInstance, MutexThatCannotBeOpenedCountsAsRunning) {
    ProgramWorld world;
    // A mutex of that name that this user cannot open: its lock file is
    // something that cannot be opened as a file.
    ASSERT_EQ(mkdir((world.runtime_dir() + "/" + kMutexFile).c_str(), 0700), 0);
    ExpectSecondCopyEndsUnseen(world);
}

TEST(SingleInstance, StartsWhenNoMutexCanBeMade) {
    ProgramWorld world;
    // A runtime directory open to others is not used: no named mutex can
    // exist, and the program runs as the first instance.
    ASSERT_EQ(chmod(world.runtime_dir().c_str(), 0755), 0);
    auto first = world.Start();
    ASSERT_TRUE(first.connection);
    EXPECT_FALSE(first.main.hwnd.empty());
}

TEST(SingleInstance, ANewInstanceMayStartOnceTheLastHasEnded) {
    ProgramWorld world;
    {
        auto first = world.Start();
        ASSERT_TRUE(first.connection);
        auto exit_button = first.connection->Child(first.main.hwnd, 1);
        ASSERT_TRUE(exit_button);
        ASSERT_TRUE(first.connection->Ok("click " + exit_button->hwnd));
        ASSERT_TRUE(first.process->WaitForEnd());
    }
    auto next = world.Start();
    ASSERT_TRUE(next.connection);
    EXPECT_FALSE(next.main.hwnd.empty());
}

}  // namespace
