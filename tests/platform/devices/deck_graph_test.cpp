// The virtual deck as the program sees it: found by the system device
// enumerator, bound into a graph deck -> smart tee -> two sinks, driven
// through its transport in every mode.
#include <edevdefs.h>
#include <uuids.h>

#include "dv/dif.h"
#include "media/mediatype.h"
#include "tape.h"
#include "testsupport/decktest.h"
#include "testsupport/dvtools.h"

using namespace decktest;

namespace {

class DeckGraphTest : public DeckTest {};

std::vector<int64_t> FramesOf(const std::vector<Seen>& seen) {
    std::vector<int64_t> out;
    for (const Seen& s : seen) out.push_back(s.frame);
    return out;
}

// The next n frames of the capture sink after a change of mode.  Up to two
// frames of the old mode can still be on their way: they are passed over.
std::vector<Seen> Capture(TestGraph& g, size_t n) {
    g.capture->Clear();
    EXPECT_TRUE(WaitFor([&] { return g.capture->Count() >= n + 2; }));
    std::vector<Seen> seen = g.capture->Frames();
    seen.erase(seen.begin(), seen.begin() + 2);
    seen.resize(n);
    return seen;
}

}  // namespace

TEST_F(DeckGraphTest, DecksAreListedWithTheirNamesAndSignalCodes) {
    Configure("Deck PAL=pal; Deck NTSC=ntsc; Odd Deck=pal,signal=5000");
    std::vector<ComPtr<IMoniker>> monikers = ListDevices();
    ASSERT_EQ(3u, monikers.size());
    const std::wstring names[] = {L"Deck PAL", L"Deck NTSC", L"Odd Deck"};
    const long codes[] = {ED_TRANSBASIC_SIGNAL_625_50_SD, ED_TRANSBASIC_SIGNAL_525_60_SD, 5000};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(names[i], FriendlyName(monikers[i].Get()));
        ComPtr<IAMExtDevice> device;
        ASSERT_EQ(S_OK, monikers[i]->BindToObject(
                            nullptr, nullptr, IID_IAMExtDevice,
                            reinterpret_cast<void**>(device.ReleaseAndGetAddressOf())));
        ComPtr<IAMExtTransport> transport;
        ASSERT_EQ(S_OK, device.As(&transport));
        long code = 0;
        EXPECT_EQ(S_OK, transport->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &code,
                                                               nullptr));
        EXPECT_EQ(codes[i], code);
        long mode = 0;
        EXPECT_EQ(S_OK, transport->get_Mode(&mode));
        EXPECT_EQ(ED_MODE_STOP, mode);
    }
}

TEST_F(DeckGraphTest, CapturePinOffersInterleavedDvWithCountersAndStreamControl) {
    Configure("Deck=ntsc");
    ComPtr<IBaseFilter> deck = BindDeck(L"Deck");
    ASSERT_TRUE(deck);
    ComPtr<IPin> pin = NthPin(deck.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(pin);
    EXPECT_FALSE(NthPin(deck.Get(), PINDIR_OUTPUT, 1));
    EXPECT_FALSE(NthPin(deck.Get(), PINDIR_INPUT));
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.ReleaseAndGetAddressOf()));
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &mt, nullptr));
    EXPECT_EQ(MEDIATYPE_Interleaved, mt->majortype);
    EXPECT_EQ(MEDIASUBTYPE_dvsd, mt->subtype);
    EXPECT_EQ(FORMAT_DvInfo, mt->formattype);
    ASSERT_EQ(sizeof(DVINFO), mt->cbFormat);
    EXPECT_EQ(dv::kFrameSizeNTSC, mt->lSampleSize);
    // The VAUX source pack of the tape: 525/60 (bit 5 of PC3 clear).
    const DVINFO* info = reinterpret_cast<const DVINFO*>(mt->pbFormat);
    EXPECT_EQ(0u, (info->dwDVVAuxSrc >> 16) & 0x20);
    DeleteMediaType(mt);
    ComPtr<IAMDroppedFrames> dropped;
    ComPtr<IAMStreamControl> control;
    EXPECT_EQ(S_OK, pin.As(&dropped));
    EXPECT_EQ(S_OK, pin.As(&control));
    ComPtr<IAMTimecodeReader> reader;
    EXPECT_EQ(S_OK, deck.As(&reader));
    TIMECODE_SAMPLE s{};
    s.dwFlags = 0x1019;
    EXPECT_EQ(S_OK, reader->GetTimecode(&s));
    EXPECT_EQ(0u, s.timecode.dwFrames);  // 00:00:00:00 at the start
    s.dwFlags = 0;
    EXPECT_TRUE(FAILED(reader->GetTimecode(&s)));
}

// Each transport mode on an unpaced deck: which frames reach the capture
// sink, and the timecode read while the transport is there.
TEST_F(DeckGraphTest, EveryTransportModeDeliversTheFramesOfThatMode) {
    Configure("Deck=pal");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ComPtr<IAMExtTransport> t = g.Transport();
    ASSERT_EQ(S_OK, g.control->Run());

    // Stopped: nothing flows.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0u, g.capture->Count());

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY));
    std::vector<Seen> play = Capture(g, 20);
    ASSERT_EQ(20u, play.size());
    for (size_t i = 1; i < play.size(); ++i) EXPECT_EQ(play[i - 1].frame + 1, play[i].frame);
    for (const Seen& s : play) {
        EXPECT_EQ(s.frame, s.timecode);  // the subcode's timecode runs with the tape
        EXPECT_TRUE(s.intact);
    }

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_FREEZE));
    EXPECT_EQ(ED_MODE_FREEZE, g.Mode());
    const int64_t still = g.Timecode();
    std::vector<Seen> frozen = Capture(g, 10);
    for (const Seen& s : frozen) EXPECT_EQ(still, s.frame);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_STEP_FWD));
    EXPECT_EQ(ED_MODE_FREEZE, g.Mode());
    EXPECT_EQ(still + 1, g.Timecode());
    for (const Seen& s : Capture(g, 5)) EXPECT_EQ(still + 1, s.frame);
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_STEP_REV));
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_STEP_REV));
    EXPECT_EQ(still - 1, g.Timecode());
    for (const Seen& s : Capture(g, 5)) EXPECT_EQ(still - 1, s.frame);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY_FASTEST_FWD));
    EXPECT_EQ(ED_MODE_PLAY_FASTEST_FWD, g.Mode());
    std::vector<int64_t> fast = FramesOf(Capture(g, 6));
    for (size_t i = 1; i < fast.size(); ++i) EXPECT_EQ(fast[i - 1] + 10, fast[i]);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY_SLOWEST_FWD));
    std::vector<int64_t> slow = FramesOf(Capture(g, 15));
    for (size_t i = 1; i < slow.size(); ++i)
        EXPECT_TRUE(slow[i] == slow[i - 1] || slow[i] == slow[i - 1] + 1);
    EXPECT_GE(slow.back() - slow.front(), 2);  // 15 periods at a fifth of the speed
    EXPECT_LE(slow.back() - slow.front(), 3);

    // Unpaced, the tape winds to the end as fast as it can: no picture.
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_FF));
    ASSERT_TRUE(WaitFor([&] { return g.Mode() == ED_MODE_STOP; }));
    const int64_t last = g.Timecode();
    EXPECT_EQ(360 * 250 - 1, last);
    g.capture->Clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(g.capture->Count(), 1u);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY_FASTEST_REV));
    std::vector<int64_t> back = FramesOf(Capture(g, 4));
    for (size_t i = 1; i < back.size(); ++i) EXPECT_EQ(back[i - 1] - 10, back[i]);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY_SLOWEST_REV));
    std::vector<int64_t> slowBack = FramesOf(Capture(g, 15));
    for (size_t i = 1; i < slowBack.size(); ++i)
        EXPECT_TRUE(slowBack[i] == slowBack[i - 1] || slowBack[i] == slowBack[i - 1] - 1);
    EXPECT_GE(slowBack.front() - slowBack.back(), 2);
    EXPECT_LE(slowBack.front() - slowBack.back(), 3);

    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_REW));
    ASSERT_TRUE(WaitFor([&] { return g.Mode() == ED_MODE_STOP; }));
    EXPECT_EQ(0, g.Timecode());
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_PLAY_SLOWEST_FWD));

    // Record modes are refused; the transport carries on as it was.
    EXPECT_EQ(E_ACCESSDENIED, t->put_Mode(ED_MODE_RECORD));
    EXPECT_EQ(E_ACCESSDENIED, t->put_Mode(ED_MODE_RECORD_FREEZE));
    EXPECT_EQ(ED_MODE_PLAY_SLOWEST_FWD, g.Mode());

    // Stop: no frames, the head stays.
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_STOP));
    const int64_t stopped = g.Timecode();
    const size_t before = g.capture->Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(g.capture->Count(), before + 1);  // a frame already on its way
    EXPECT_EQ(stopped, g.Timecode());
    // The preview branch saw frames too.
    EXPECT_GT(g.preview->Count(), 0u);
    EXPECT_EQ(S_OK, g.control->Stop());
}

TEST_F(DeckGraphTest, WindAndRewindRunToTheEndsOfTheTapeAndStopThere) {
    testsupport::ScratchDir dir;
    const std::string path = WriteTapeFile(dir.Path(), dv::Standard::PAL, 100);
    Configure("Deck=" + path, "realtime");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ComPtr<IAMExtTransport> t = g.Transport();
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_FF));
    // 30 frames a period at 25 periods a second: 99 frames in about 0.13 s.
    ASSERT_TRUE(WaitFor([&] { return g.Mode() == ED_MODE_STOP; }, 3000));
    EXPECT_EQ(99, g.Timecode());
    EXPECT_EQ(0u, g.capture->Count());  // no picture while winding
    ASSERT_EQ(S_OK, t->put_Mode(ED_MODE_REW));
    ASSERT_TRUE(WaitFor([&] { return g.Mode() == ED_MODE_STOP; }, 3000));
    EXPECT_EQ(0, g.Timecode());
    EXPECT_EQ(0u, g.capture->Count());
    // Play to the end: every frame once, then the transport stops.
    g.control->Stop();
    Configure("Deck=" + path, "unpaced");
    TestGraph u;
    ASSERT_TRUE(u.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, u.control->Run());
    ASSERT_EQ(S_OK, u.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return u.Mode() == ED_MODE_STOP; }));
    ASSERT_TRUE(WaitFor([&] { return u.capture->Count() == 100; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::vector<int64_t> frames = FramesOf(u.capture->Frames());
    ASSERT_EQ(100u, frames.size());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(i, frames[i]);
    EXPECT_EQ(99, u.Timecode());
    EXPECT_EQ(S_OK, u.control->Stop());
}

TEST_F(DeckGraphTest, TimecodeJumpsAsTheTapeDoesAndCountsFramesWhereTheTapeHasNone) {
    testsupport::ScratchDir dir;
    // Frames 10 on carry 01:00:00:00 onwards; frames 20 on carry no timecode.
    const std::string path =
        WriteTapeFile(dir.Path(), dv::Standard::PAL, 40, [](int i, uint8_t* f) {
            if (i >= 10 && i < 20) dvdeck::RewriteTimecode(f, dv::Standard::PAL, 90000 + i - 10);
            if (i >= 20)
                for (int seq = 0; seq < 12; ++seq)
                    for (int b = 1; b <= 2; ++b)
                        for (int j = 0; j < 6; ++j) {
                            uint8_t* pack = f + dv::BlockOffset(seq, b) + 6 + 8 * j;
                            if (pack[0] == 0x13) pack[0] = 0xFF;
                        }
        });
    Configure("Deck=" + path);
    ComPtr<IBaseFilter> deck = BindDeck(L"Deck");
    ASSERT_TRUE(deck);
    TestGraph g;
    g.deck = deck;
    ComPtr<IAMExtTransport> t = g.Transport();
    for (int i = 0; i < 9; ++i) t->put_Mode(ED_MODE_STEP_FWD);
    EXPECT_EQ(9, g.Timecode());
    t->put_Mode(ED_MODE_STEP_FWD);
    EXPECT_EQ(90000, g.Timecode());  // 01:00:00:00
    ComPtr<IAMTimecodeReader> reader;
    deck.As(&reader);
    TIMECODE_SAMPLE s{};
    s.dwFlags = 0x1019;
    ASSERT_EQ(S_OK, reader->GetTimecode(&s));
    EXPECT_EQ(0x01000000u, s.timecode.dwFrames);
    for (int i = 0; i < 21; ++i) t->put_Mode(ED_MODE_STEP_FWD);
    ASSERT_EQ(S_OK, reader->GetTimecode(&s));
    EXPECT_EQ(0x00000106u, s.timecode.dwFrames);  // frame 31: 00:00:01:06 from the position
}

TEST_F(DeckGraphTest, RealTimePacingDeliversTheNominalRateWithoutDrops) {
    Configure("Deck=ntsc", "realtime");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 0; }));
    const size_t first = g.capture->Count();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const size_t n = g.capture->Count() - first;
    EXPECT_GT(n, 80u);  // 3 s at 29.97: about 90
    EXPECT_LT(n, 100u);
    long dropped = -1, delivered = -1;
    ASSERT_EQ(S_OK, g.Dropped()->GetNumDropped(&dropped));
    ASSERT_EQ(S_OK, g.Dropped()->GetNumNotDropped(&delivered));
    EXPECT_EQ(0, dropped);
    EXPECT_GE(delivered, static_cast<long>(first + n));
    EXPECT_EQ(S_OK, g.control->Stop());
}

TEST_F(DeckGraphTest, AStalledConsumerLosesFramesAndTheyAreCounted) {
    Configure("Deck=pal", "realtime");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ComPtr<IAMDroppedFrames> counters = g.Dropped();
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 2; }));
    g.capture->Stall(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    long dropped1 = 0;
    counters->GetNumDropped(&dropped1);
    // 25 frames came in a second; the queue and the buffers in between
    // held some of them.
    EXPECT_GT(dropped1, 10);
    EXPECT_LT(dropped1, 26);
    g.capture->Stall(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long dropped2 = 0, delivered = 0;
    counters->GetNumDropped(&dropped2);
    counters->GetNumNotDropped(&delivered);
    EXPECT_GE(dropped2, dropped1);
    EXPECT_LE(dropped2, dropped1 + 1);
    // The frames held in the queue came through after the stall; the tape
    // numbers jump over the dropped ones.
    std::vector<int64_t> frames = FramesOf(g.capture->Frames());
    int64_t gaps = 0;
    for (size_t i = 1; i < frames.size(); ++i) gaps += frames[i] - frames[i - 1] - 1;
    EXPECT_EQ(dropped2, gaps);
    EXPECT_EQ(S_OK, g.control->Stop());
    long after = 0;
    counters->GetNumNotDropped(&after);
    EXPECT_GE(after, delivered);
}

TEST_F(DeckGraphTest, UnpacedDeliveryDropsNothingHoweverSlowTheConsumer) {
    Configure("Deck=pal");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 2; }));
    g.capture->Stall(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    g.capture->Stall(false);
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 300; }));
    long dropped = -1;
    g.Dropped()->GetNumDropped(&dropped);
    EXPECT_EQ(0, dropped);
    EXPECT_EQ(S_OK, g.control->Stop());
    std::vector<int64_t> frames = FramesOf(g.capture->Frames());
    for (size_t i = 1; i < frames.size(); ++i) EXPECT_EQ(frames[i - 1] + 1, frames[i]);
}

TEST_F(DeckGraphTest, FaultOptions) {
    Configure("Plain=pal; Mute=pal,no-timecode; Noisy=pal,damage=4");
    // No timecode reader: the interface is missing, the rest is there.
    ComPtr<IBaseFilter> mute = BindDeck(L"Mute");
    ASSERT_TRUE(mute);
    ComPtr<IAMTimecodeReader> reader;
    EXPECT_EQ(E_NOINTERFACE, mute.As(&reader));
    ComPtr<IAMExtTransport> transport;
    EXPECT_EQ(S_OK, mute.As(&transport));

    // Damaged frames: every fourth frame delivered fails the block check.
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Noisy").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() >= 16; }));
    std::vector<Seen> seen = g.capture->Frames();
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ((i + 1) % 4 != 0, seen[i].intact) << i;
    // The subcode survives the damage.
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(seen[i].frame, seen[i].timecode);
    EXPECT_EQ(S_OK, g.control->Stop());
}

// A real-time deck threads its tape for about a second before it plays
// from stop; a paused unpaced deck sends its still frame at the tape's
// rate instead of as fast as the graph takes it.
TEST_F(DeckGraphTest, PlayFromStopWaitsForTheTapeAndAPausedDeckSendsAtTheTapeRate) {
    Configure("Deck=pal,thread=1000", "realtime");
    {
        TestGraph g;
        ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
        ASSERT_EQ(S_OK, g.control->Run());
        const auto play = std::chrono::steady_clock::now();
        ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
        EXPECT_EQ(ED_MODE_PLAY, g.Mode());
        ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 0; }));
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - play).count();
        EXPECT_GT(waited, 0.9);
        EXPECT_LT(waited, 2.5);  // a loaded machine wakes late
        EXPECT_EQ(S_OK, g.control->Stop());
    }
    Configure("Deck=pal", "unpaced");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > 10; }));
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_FREEZE));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const size_t before = g.capture->Count();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const size_t still = g.capture->Count() - before;
    EXPECT_GE(still, 15u);  // 25 a second, fewer on a loaded machine
    EXPECT_LE(still, 30u);
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_THAW));
    const size_t thawed = g.capture->Count();
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() > thawed + 300; }, 3000))
        << "unpaced again after the pause";
    EXPECT_EQ(S_OK, g.control->Stop());
}
