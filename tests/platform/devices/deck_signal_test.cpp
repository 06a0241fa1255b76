// A tape whose signal changes under a running graph: frames of another
// standard, or of a signal code the deck reports instead, never reach the
// graph; the graph hears of it once per stretch and the transport reports
// the signal under the head.
#include <edevdefs.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include <fstream>
#include <iterator>

#include "dv/dif.h"
#include "testsupport/decktest.h"
#include "testsupport/dvtools.h"

using namespace decktest;

namespace {

class DeckSignalTest : public DeckTest {};

std::vector<char> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// A raw DV file of the given stretches, each `frames` frames of the
// built-in tape of that standard.
std::string MixedTape(const testsupport::ScratchDir& dir, std::initializer_list<dv::Standard> parts,
                      int frames) {
    const std::string pal = WriteTapeFile(dir.Path(), dv::Standard::PAL, frames);
    const std::string ntsc = WriteTapeFile(dir.Path(), dv::Standard::NTSC, frames);
    const std::string path = dir / "mixed.dv";
    std::ofstream out(path, std::ios::binary);
    for (dv::Standard s : parts) {
        std::vector<char> b = Bytes(s == dv::Standard::PAL ? pal : ntsc);
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    return path;
}

long Signal(TestGraph& g) {
    long code = 0;
    EXPECT_EQ(S_OK, g.Transport()->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &code,
                                                               nullptr));
    return code;
}

size_t CountEvents(TestGraph& g, long code, LONG_PTR p1) {
    size_t n = 0;
    for (auto& [c, q1, q2] : g.TakeEvents())
        if (c == code && q1 == p1) ++n;
    return n;
}

// Plays the tape to its end (an unpaced deck stops there).
void PlayToTheEnd(TestGraph& g) {
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.Mode() == ED_MODE_STOP; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(S_OK, g.control->Stop());
}

}  // namespace

TEST_F(DeckSignalTest, FramesOfAnotherStandardAreHeldBackAndReportedOnce) {
    testsupport::ScratchDir dir;
    const std::string tape = MixedTape(
        dir, {dv::Standard::PAL, dv::Standard::NTSC, dv::Standard::PAL, dv::Standard::NTSC}, 6);
    Configure("Deck=" + tape);
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_625_50_SD, Signal(g));
    PlayToTheEnd(g);

    // Only the PAL stretches, whole frames of the connection's size.
    std::vector<Seen> seen = g.capture->Frames();
    std::vector<int64_t> frames;
    for (const Seen& s : seen) {
        frames.push_back(s.frame);
        EXPECT_EQ(dv::kFrameSizePAL, s.size);
        EXPECT_TRUE(s.intact);
    }
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 3, 4, 5, 12, 13, 14, 15, 16, 17}), frames);
    EXPECT_EQ(2u, CountEvents(g, EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE));
    // The head is on the last NTSC frame.
    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_525_60_SD, Signal(g));
}

TEST_F(DeckSignalTest, ANewConnectionDescribesTheSignalUnderTheHead) {
    testsupport::ScratchDir dir;
    const std::string tape = MixedTape(dir, {dv::Standard::NTSC, dv::Standard::PAL}, 5);
    Configure("Deck=" + tape);
    ComPtr<IBaseFilter> deck = BindDeck(L"Deck");
    {
        TestGraph g;
        ASSERT_TRUE(g.Build(deck.Get()));
        EXPECT_EQ(ED_TRANSBASIC_SIGNAL_525_60_SD, Signal(g));
        PlayToTheEnd(g);
        std::vector<Seen> seen = g.capture->Frames();
        ASSERT_EQ(5u, seen.size());
        for (const Seen& s : seen) EXPECT_EQ(dv::kFrameSizeNTSC, s.size);
        EXPECT_EQ(1u, CountEvents(g, EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE));
        EXPECT_EQ(ED_TRANSBASIC_SIGNAL_625_50_SD, Signal(g));
    }
    // Rebuilt where the tape is PAL, the graph takes PAL frames.
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_FREEZE));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() >= 3; }));
    EXPECT_EQ(S_OK, g.control->Stop());
    for (const Seen& s : g.capture->Frames()) {
        EXPECT_EQ(9, s.frame);
        EXPECT_EQ(dv::kFrameSizePAL, s.size);
    }
    EXPECT_EQ(0u, CountEvents(g, EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE));
}

TEST_F(DeckSignalTest, AnUnsupportedSignalCodePartWayStopsTheFrames) {
    testsupport::ScratchDir dir;
    Configure("Deck=" + WriteTapeFile(dir.Path(), dv::Standard::PAL, 12) + ",signal=5000@5");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_625_50_SD, Signal(g));
    PlayToTheEnd(g);
    EXPECT_EQ(5u, g.capture->Count());
    EXPECT_EQ(1u, CountEvents(g, EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE));
    EXPECT_EQ(5000, Signal(g));
}

TEST_F(DeckSignalTest, TheTapeEndsWhereTheFileStopsHoldingDvFrames) {
    testsupport::ScratchDir dir;
    const std::string path = WriteTapeFile(dir.Path(), dv::Standard::PAL, 4);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        std::vector<char> junk(200000, 0x5a);
        out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    Configure("Deck=" + path);
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    PlayToTheEnd(g);
    EXPECT_EQ(4u, g.capture->Count());
    EXPECT_EQ(0u, CountEvents(g, EC_ERRORABORT, VFW_E_INVALIDMEDIATYPE));
}
