// The virtual decks' configuration: the syntax, and what a bad one does.
#include <win32/utf8.h>

#include <fstream>

#include "devices/deckconfig.h"
#include "testsupport/decktest.h"
#include "testsupport/dvtools.h"

using namespace decktest;
using dvdeck::DeckConfig;
using dvdeck::ParseDeckList;

TEST(DeckConfig, DecksWithNamesTapesAndOptions) {
    std::vector<std::string> errors;
    std::vector<DeckConfig> decks = ParseDeckList(
        " Virtual DV Deck = pal ;Studio=/data/tape one.dv, signal=5000 "
        ",no-timecode,damage=7,unplug=99,thread=0; Late=ntsc, signal = 5001 @ 250, thread=800",
        &errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(3u, decks.size());
    EXPECT_EQ(L"Virtual DV Deck", decks[0].name);
    EXPECT_EQ("pal", decks[0].tape);
    EXPECT_TRUE(decks[0].BuiltinTape());
    EXPECT_TRUE(decks[0].timecodeReader);
    EXPECT_EQ(0, decks[0].signal + decks[0].damageEvery + decks[0].unplugAfter);
    EXPECT_EQ(L"Studio", decks[1].name);
    EXPECT_EQ("/data/tape one.dv", decks[1].tape);
    EXPECT_FALSE(decks[1].BuiltinTape());
    EXPECT_EQ(5000, decks[1].signal);
    EXPECT_FALSE(decks[1].timecodeReader);
    EXPECT_EQ(7, decks[1].damageEvery);
    EXPECT_EQ(99, decks[1].unplugAfter);
    EXPECT_EQ(0, decks[1].signalFrom);
    EXPECT_EQ(5001, decks[2].signal);
    EXPECT_EQ(250, decks[2].signalFrom);
    // Threading: the deck list's default, none, or its own time.
    EXPECT_EQ(-1, decks[0].threadMs);
    EXPECT_EQ(0, decks[1].threadMs);
    EXPECT_EQ(800, decks[2].threadMs);
    EXPECT_TRUE(ParseDeckList("", &errors).empty());
    EXPECT_TRUE(errors.empty());
}

TEST(DeckConfig, UnicodeNamesSurvive) {
    std::vector<DeckConfig> decks = ParseDeckList("Caméra 1 ✓=ntsc", nullptr);
    ASSERT_EQ(1u, decks.size());
    EXPECT_EQ(L"Cam\u00e9ra 1 \u2713", decks[0].name);
    EXPECT_EQ("Cam\xc3\xa9ra 1 \xe2\x9c\x93", win32_utf8::Utf8FromWide(decks[0].name));
}

TEST(DeckConfig, EachBadDeckGivesOneMessageAndIsLeftOut) {
    const char* bad[] = {
        "no tape here",
        "=pal",
        "Deck=",
        "Deck=pal,speed=2",
        "Deck=pal,damage=0",
        "Deck=pal,unplug=-3",
        "Deck=pal,signal=x",
        "Deck=pal,signal=5000@",
        "Deck=pal,signal=@5",
        "Deck=pal,signal=5000@-1",
        "Deck=pal,no-timecode=1",
        "Deck=pal,damage=99999999999",
        "Deck=pal,thread=60001",
        "Deck=pal,thread=-1",
        "Deck=pal,thread=",
    };
    for (const char* text : bad) {
        std::vector<std::string> errors;
        EXPECT_TRUE(ParseDeckList(text, &errors).empty()) << text;
        EXPECT_EQ(1u, errors.size()) << text;
    }
    std::vector<std::string> errors;
    std::vector<DeckConfig> decks = ParseDeckList("A=pal; A=ntsc; B=pal,bogus; C=ntsc", &errors);
    ASSERT_EQ(2u, decks.size());
    EXPECT_EQ(L"A", decks[0].name);
    EXPECT_EQ(L"C", decks[1].name);
    EXPECT_EQ(2u, errors.size());
}

class DeckEnvTest : public DeckTest {};

TEST_F(DeckEnvTest, NoConfigurationNoDevice) {
    Configure("");
    EXPECT_TRUE(ListDevices().empty());
}

TEST_F(DeckEnvTest, BadTapesAndPacingGiveOneLineOnStderrAndNoDeck) {
    testsupport::ScratchDir dir;
    const std::string text = dir / "notes.txt";
    std::ofstream(text) << "these are not DV frames, not even one header block of eighty bytes....";
    const std::string empty = dir / "empty.dv";
    std::ofstream(empty).close();
    const std::string cases[] = {dir / "missing.dv", text, empty, dir.Path()};
    for (const std::string& tape : cases) {
        testing::internal::CaptureStderr();
        Configure("Deck=" + tape);
        EXPECT_TRUE(ListDevices().empty()) << tape;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
        EXPECT_NE(std::string::npos, err.find("Deck")) << err;
    }
    testing::internal::CaptureStderr();
    Configure("Deck=pal", "sometimes");
    EXPECT_TRUE(ListDevices().empty());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    EXPECT_NE(std::string::npos, err.find("TAPELOOM_DECK_PACING")) << err;
}

TEST_F(DeckEnvTest, AGoodDeckBesideABadOneIsListed) {
    testing::internal::CaptureStderr();
    Configure("Good=pal; Bad=/nonexistent/tape.dv; Worse=pal,frobnicate");
    std::vector<ComPtr<IMoniker>> monikers = ListDevices();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(1u, monikers.size());
    EXPECT_EQ(L"Good", FriendlyName(monikers[0].Get()));
    EXPECT_EQ(2, std::count(err.begin(), err.end(), '\n')) << err;
}
