#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

namespace {

int RunApp(const char* mode) {
    std::string command =
        std::string("QT_QPA_PLATFORM=offscreen AFX_TEST_MODE=") + mode + " '" + AFX_TEST_APP + "'";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// The entry point runs the one application object: InitInstance, then the
// message loop only when InitInstance returned TRUE, then ExitInstance,
// whose result is the exit code.
TEST(EntryPoint, InitInstanceFailingGoesStraightToExit) { EXPECT_EQ(RunApp("second"), 7); }

TEST(EntryPoint, ModalMainWindowInsideInitInstance) { EXPECT_EQ(RunApp("modal"), 20); }

TEST(EntryPoint, MessageLoopEndsWhenMainWindowIsDestroyed) { EXPECT_EQ(RunApp("loop"), 40); }
