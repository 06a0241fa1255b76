// The virtual deck's tape transport, tick by tick.
#include <edevdefs.h>
#include <gtest/gtest.h>
#include <winerror.h>

#include <vector>

#include "decktransport.h"

using dvdeck::DeckTransport;

namespace {

std::vector<int64_t> Ticks(DeckTransport& t, int n) {
    std::vector<int64_t> shown;
    for (int i = 0; i < n; ++i) shown.push_back(t.Tick());
    return shown;
}

DeckTransport At(int64_t frame, int64_t frames = 1000) {
    DeckTransport t(frames);
    t.SetMode(ED_MODE_STEP_FWD);
    for (int64_t i = 1; i < frame; ++i) t.SetMode(ED_MODE_STEP_FWD);
    if (frame == 0) t.SetMode(ED_MODE_STEP_REV);
    t.SetMode(ED_MODE_STOP);
    return t;
}

}  // namespace

TEST(DeckTransport, StoppedShowsNothingAndStaysPut) {
    DeckTransport t(100);
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
    EXPECT_EQ((std::vector<int64_t>{-1, -1, -1}), Ticks(t, 3));
    EXPECT_EQ(0, t.Head());
}

TEST(DeckTransport, PlayShowsEveryFrameInTurnAndStopsAtTheEnd) {
    DeckTransport t(4);
    ASSERT_EQ(S_OK, t.SetMode(ED_MODE_PLAY));
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 3, -1, -1}), Ticks(t, 6));
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
    EXPECT_EQ(3, t.Head());
}

TEST(DeckTransport, FreezeRepeatsTheFrameJustShownAndPlayGoesOnFromIt) {
    DeckTransport t(100);
    t.SetMode(ED_MODE_PLAY);
    Ticks(t, 3);  // 0 1 2
    t.SetMode(ED_MODE_FREEZE);
    EXPECT_EQ((std::vector<int64_t>{2, 2, 2}), Ticks(t, 3));
    EXPECT_EQ(2, t.Head());
    t.SetMode(ED_MODE_THAW);
    EXPECT_EQ(ED_MODE_PLAY, t.Mode());
    EXPECT_EQ((std::vector<int64_t>{2, 3}), Ticks(t, 2));
}

TEST(DeckTransport, WindAndRewindMoveThirtyFramesAPeriodWithoutPicture) {
    DeckTransport t(1000);
    t.SetMode(ED_MODE_FF);
    EXPECT_EQ((std::vector<int64_t>{-1, -1}), Ticks(t, 2));
    EXPECT_EQ(60, t.Head());
    t.SetMode(ED_MODE_REW);
    Ticks(t, 1);
    EXPECT_EQ(30, t.Head());
    Ticks(t, 5);  // runs into the start of the tape
    EXPECT_EQ(0, t.Head());
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
    t.SetMode(ED_MODE_FF);
    Ticks(t, 40);
    EXPECT_EQ(999, t.Head());
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
}

TEST(DeckTransport, ShuttleSpeedsShowPictures) {
    DeckTransport fast = At(100);
    fast.SetMode(ED_MODE_PLAY_FASTEST_FWD);
    EXPECT_EQ((std::vector<int64_t>{100, 110, 120}), Ticks(fast, 3));
    fast.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ((std::vector<int64_t>{120, 110, 100}), Ticks(fast, 3));

    DeckTransport slow = At(100);
    slow.SetMode(ED_MODE_PLAY_SLOWEST_FWD);
    EXPECT_EQ((std::vector<int64_t>{100, 100, 100, 100, 100, 101, 101}), Ticks(slow, 7));
    slow.SetMode(ED_MODE_PLAY_SLOWEST_REV);
    EXPECT_EQ((std::vector<int64_t>{101, 100, 100, 100, 100, 100, 99}), Ticks(slow, 7));
}

TEST(DeckTransport, ReversePlayStopsAtTheStart) {
    DeckTransport t = At(15);
    t.SetMode(ED_MODE_PLAY_FASTEST_REV);
    EXPECT_EQ((std::vector<int64_t>{15, 5, -1}), Ticks(t, 3));
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
    EXPECT_EQ(0, t.Head());
}

TEST(DeckTransport, StepsMoveOneFrameThenHoldAStill) {
    DeckTransport t(10);
    t.SetMode(ED_MODE_PLAY);
    Ticks(t, 4);  // 0..3 shown
    ASSERT_EQ(S_OK, t.SetMode(ED_MODE_STEP_FWD));
    EXPECT_EQ(ED_MODE_FREEZE, t.Mode());
    EXPECT_EQ(4, t.Head());
    EXPECT_EQ((std::vector<int64_t>{4, 4}), Ticks(t, 2));
    t.SetMode(ED_MODE_STEP_REV);
    t.SetMode(ED_MODE_STEP_REV);
    EXPECT_EQ(2, t.Head());
    EXPECT_EQ((std::vector<int64_t>{2}), Ticks(t, 1));
    // Steps past either end leave the still at the end.
    for (int i = 0; i < 5; ++i) t.SetMode(ED_MODE_STEP_REV);
    EXPECT_EQ(0, t.Head());
    EXPECT_EQ(ED_MODE_FREEZE, t.Mode());
    for (int i = 0; i < 15; ++i) t.SetMode(ED_MODE_STEP_FWD);
    EXPECT_EQ(9, t.Head());
    EXPECT_EQ((std::vector<int64_t>{9}), Ticks(t, 1));
}

TEST(DeckTransport, RecordModesAndUnknownValuesAreRefusedAndChangeNothing) {
    DeckTransport t(100);
    t.SetMode(ED_MODE_PLAY);
    Ticks(t, 2);
    for (long mode : {ED_MODE_RECORD, ED_MODE_RECORD_FREEZE, ED_MODE_RECORD_STROBE})
        EXPECT_EQ(E_ACCESSDENIED, t.SetMode(mode));
    EXPECT_EQ(E_INVALIDARG, t.SetMode(0));
    EXPECT_EQ(E_INVALIDARG, t.SetMode(ED_MODE_PLAY + 1000));
    EXPECT_EQ(ED_MODE_PLAY, t.Mode());
    EXPECT_EQ((std::vector<int64_t>{2}), Ticks(t, 1));
}

TEST(DeckTransport, ThawOutsideFreezeChangesNothing) {
    DeckTransport t(100);
    EXPECT_EQ(S_OK, t.SetMode(ED_MODE_THAW));
    EXPECT_EQ(ED_MODE_STOP, t.Mode());
}

// A motion from stop threads the tape first: no picture, no movement, the
// mode already the one asked for. Motions that follow one another, and
// steps, go at once; stop unthreads.
TEST(DeckTransport, AMotionFromStopThreadsTheTapeFirst) {
    struct Case {
        const char* name;
        long first, second;                // modes set in turn (0: none)
        std::vector<int64_t> afterFirst;   // ticks after the first mode
        std::vector<int64_t> afterSecond;  // ticks after the second
    };
    const Case cases[] = {
        {"play from stop", ED_MODE_PLAY, 0, {-1, -1, -1, 0, 1}, {}},
        {"freeze from stop", ED_MODE_FREEZE, 0, {-1, -1, -1, 0, 0}, {}},
        {"wind from stop, then play", ED_MODE_FF, ED_MODE_PLAY, {-1, -1, -1, -1}, {30, 31}},
        {"play, then stop and play", ED_MODE_PLAY, ED_MODE_STOP, {-1, -1, -1, 0}, {-1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeckTransport t(1000, 3);
        ASSERT_EQ(S_OK, t.SetMode(c.first));
        EXPECT_EQ(c.first, t.Mode());
        EXPECT_EQ(c.afterFirst, Ticks(t, int(c.afterFirst.size())));
        if (!c.second) continue;
        t.SetMode(c.second);
        EXPECT_EQ(c.afterSecond, Ticks(t, int(c.afterSecond.size())));
    }
    // After a stop the next motion threads again.
    DeckTransport t(1000, 2);
    t.SetMode(ED_MODE_PLAY);
    Ticks(t, 4);  // -1 -1 0 1
    t.SetMode(ED_MODE_STOP);
    t.SetMode(ED_MODE_PLAY);
    EXPECT_EQ(2, t.Threading());
    EXPECT_EQ((std::vector<int64_t>{-1, -1, 1, 2}), Ticks(t, 4));
}
