// The program's log file: failed steps with their result codes, and the
// rotation that keeps it small.
#include "EventLog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "testsupport/enginetest.h"

namespace {

class EventLogTest : public enginetest::EngineTest {};

TEST_F(EventLogTest, FailedStepsAreLoggedWithTheirResultCode) {
    EXPECT_EQ(Path("state/tapeloom/tapeloom.log"), LogFilePath());
    EXPECT_TRUE(LogStep("RenderStream preview", S_OK));
    EXPECT_FALSE(LogStep("RenderStream preview", E_FAIL));
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find(" failure: RenderStream preview: result 0x80004005\n"))
        << log;
    EXPECT_EQ(log.find("RenderStream"), log.rfind("RenderStream")) << "success is not logged";
}

TEST_F(EventLogTest, TheLogIsStartedAnewBeforeItGrowsPastHalfAMegabyte) {
    const std::string line(999, 'x');
    for (int i = 0; i < 1200; ++i) LogLine(line);
    const auto size = std::filesystem::file_size(LogFilePath());
    const auto older = std::filesystem::file_size(LogFilePath() + ".1");
    EXPECT_LE(size, 512u * 1024);
    EXPECT_LE(older, 512u * 1024);
    EXPECT_GT(older, 500u * 1024);
    EXPECT_LT(size + older, 1024u * 1024);
}

TEST_F(EventLogTest, WithoutStateHomeTheLogIsInTheHome) {
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", Path("home").c_str(), 1);
    EXPECT_EQ(Path("home/.local/state/tapeloom/tapeloom.log"), LogFilePath());
}

}  // namespace
