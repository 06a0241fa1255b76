// The hold protocol: the polling and statistics threads stay away from the
// graph from the first hold to the last resume.
#include <chrono>
#include <thread>

#include "testsupport/enginetest.h"

using namespace enginetest;
using namespace std::chrono;

namespace {

class HoldTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        InitPanel(panel);
    }
    void TearDown() override {
        FreePanel(panel);
        EngineTest::TearDown();
    }
    // True when neither thread makes an unheld pass for a while.
    bool StaysHeld(StatusThreads& threads) {
        const long polls = threads.UnheldPolls(), stats = threads.UnheldStats();
        std::this_thread::sleep_for(milliseconds(120));
        return polls == threads.UnheldPolls() && stats == threads.UnheldStats();
    }
    bool Runs(StatusThreads& threads) {
        const long polls = threads.UnheldPolls(), stats = threads.UnheldStats();
        return WaitUntil(
            [&] { return threads.UnheldPolls() > polls + 1 && threads.UnheldStats() > stats + 1; });
    }
    CCapturePanel panel;
};

}  // namespace

TEST_F(HoldTest, HoldStopsBothThreadsUntilResume) {
    StatusThreads threads(&panel);
    ASSERT_TRUE(Runs(threads));
    EXPECT_TRUE(panel.HoldStatusThreads());
    EXPECT_TRUE(StaysHeld(threads));
    EXPECT_TRUE(panel.ResumeStatusThreads());
    EXPECT_TRUE(Runs(threads));
}

TEST_F(HoldTest, NestedHoldsLastUntilTheOutermostResume) {
    StatusThreads threads(&panel);
    ASSERT_TRUE(Runs(threads));
    panel.HoldStatusThreads();
    // The inner hold must not wait for the held statistics thread, which
    // no longer reads its queue.
    panel.HoldStatusThreads();
    panel.ResumeStatusThreads();
    EXPECT_TRUE(panel.m_bPollPause);
    EXPECT_TRUE(panel.m_bStatsHold);
    EXPECT_TRUE(StaysHeld(threads));
    panel.HoldStatusThreads();
    panel.ResumeStatusThreads();
    EXPECT_TRUE(StaysHeld(threads));
    panel.ResumeStatusThreads();
    EXPECT_TRUE(Runs(threads));
    // A resume without a hold changes nothing.
    panel.ResumeStatusThreads();
    panel.HoldStatusThreads();
    EXPECT_TRUE(StaysHeld(threads));
    panel.ResumeStatusThreads();
    EXPECT_TRUE(Runs(threads));
}

TEST_F(HoldTest, HoldsFromTwoThreadsOverlap) {
    StatusThreads threads(&panel);
    ASSERT_TRUE(Runs(threads));
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> held{0};
        auto holder = [&] {
            panel.HoldStatusThreads();
            ++held;
            std::this_thread::sleep_for(milliseconds(round % 3 * 10));
            panel.ResumeStatusThreads();
        };
        std::thread a(holder), b(holder);
        a.join();
        b.join();
        EXPECT_EQ(2, held);
    }
    EXPECT_FALSE(panel.m_bPollPause);
    EXPECT_TRUE(Runs(threads));
}

TEST_F(HoldTest, AnEarlierAcknowledgementIsNotTaken) {
    // No polling thread: the paused event left set by an earlier hold must
    // not end this hold's wait, which therefore lasts its full 10 seconds.
    StatusThreads threads(&panel, false, true);
    SetEvent(panel.m_hPollPausedEvent);
    const auto start = steady_clock::now();
    panel.HoldStatusThreads();
    EXPECT_GE(steady_clock::now() - start, milliseconds(9900));
    panel.ResumeStatusThreads();
}

TEST_F(HoldTest, QuickHoldsAfterResumeWaitForAFreshAcknowledgement) {
    StatusThreads threads(&panel);
    for (int i = 0; i < 30; ++i) {
        panel.HoldStatusThreads();
        const long polls = threads.UnheldPolls();
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(polls, threads.UnheldPolls());
        panel.ResumeStatusThreads();
    }
}
