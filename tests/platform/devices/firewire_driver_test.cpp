// The IEEE-1394 DV driver on a scripted bus: enumeration, transport
// commands, timecode, capture with lost packets, bus resets and units that
// go, come back or answer nothing.
#include <edevdefs.h>
#include <evcode.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "dv/dvtesttape.h"
#include "fakebus.h"
#include "firewire/fwdevice.h"
#include "firewire/fwdriver.h"
#include "media/mediatype.h"
#include "testsupport/decktest.h"

using namespace decktest;
using fwtest::DeckUnit;
using fwtest::FakeBus;
using fwtest::FakeUnit;

namespace {

std::atomic<int> g_broadcasts{0};
void CountBroadcast(WPARAM event, LPARAM) {
    if (event == 0x0007) g_broadcasts.fetch_add(1);  // DBT_DEVNODES_CHANGED
}

constexpr uint64_t kDeckA = 0x0080AB0000000001ull;
constexpr uint64_t kDeckB = 0x0080AB0000000002ull;

bool HasEvent(const std::vector<std::tuple<long, LONG_PTR, LONG_PTR>>& events, long code,
              IBaseFilter* filter, LONG_PTR p2) {
    for (auto& [c, p1, q2] : events)
        if (c == code && p1 == reinterpret_cast<LONG_PTR>(filter) && q2 == p2) return true;
    return false;
}

std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    for (auto& m : ListDevices()) names.push_back(FriendlyName(m.Get()));
    return names;
}

// Lets the status answers the device keeps grow old, so that the next
// status call asks the unit.
void AgeStatus() { std::this_thread::sleep_for(dvfw::kStatusMaxAge); }

long Signal(IBaseFilter* filter, HRESULT* hr = nullptr) {
    ComPtr<IAMExtTransport> t;
    ComPtr<IBaseFilter>(filter).As(&t);
    long code = -1;
    HRESULT r = t ? t->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &code, nullptr)
                  : E_NOINTERFACE;
    if (hr) *hr = r;
    return code;
}

class FirewireTest : public DeckTest {
protected:
    void SetUp() override {
        DeckTest::SetUp();
        Configure("");  // no virtual decks: the list is the bus's
        g_broadcasts = 0;
        m_previous = VirtualDeckSetDeviceChangeBroadcast(CountBroadcast);
        m_bus = std::make_shared<FakeBus>(2);
        dvfw::SetBus(m_bus);
    }
    void TearDown() override {
        dvfw::SetBus(nullptr);
        VirtualDeckSetDeviceChangeBroadcast(m_previous);
        DeckTest::TearDown();
    }
    // The unit's graph running with its first two frames captured.
    void RunWithTwoFrames(TestGraph& g, uint64_t unit, const wchar_t* name) {
        ASSERT_TRUE(g.Build(BindDeck(name).Get()));
        ASSERT_EQ(S_OK, g.control->Run());
        m_bus->SendFrames(unit, Tape(2));
        ASSERT_TRUE(WaitFor([&] { return g.capture->Count() == 2; }));
    }
    // Frames of the generated PAL tape.
    std::vector<uint8_t> Tape(int frames) {
        std::vector<uint8_t> tape;
        EXPECT_TRUE(dv::MakeTestTape(dv::Standard::PAL, frames, tape));
        return tape;
    }

    std::shared_ptr<FakeBus> m_bus;
    LPFNDEVICECHANGE m_previous = nullptr;
};

TEST_F(FirewireTest, EnumerationListsTheTapeUnitsOfEveryPortWithTheirNamesAndSignals) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    FakeUnit b = DeckUnit(kDeckB, 2, "", "");
    b.port = 1;
    b.signalMode = 0x04;  // SDL 525-60
    m_bus->AddUnit(b);
    FakeUnit monitor = DeckUnit(0x11, 2, "Acme", "Monitor");
    monitor.tapeSubunit = false;
    m_bus->AddUnit(monitor);
    FakeUnit disk = DeckUnit(0x12, 3, "Acme", "Disk");
    disk.rom.unitSpecId = 0x00609E;  // no AV/C unit
    m_bus->AddUnit(disk);
    FakeUnit hdv = DeckUnit(0x13, 4, "Acme", "HDV-1");
    hdv.signalMode = 0x10;  // an MPEG transport stream
    m_bus->AddUnit(hdv);
    FakeUnit silent = DeckUnit(0x14, 5, "Acme", "Mute");
    silent.silent = true;
    m_bus->AddUnit(silent);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ((std::vector<std::wstring>{L"Acme DV-1000", L"Acme HDV-1", L"DV Tape Device"}),
              Names());
    // The silent unit costs one time-out, not a hang.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_625_50_SD, Signal(BindDeck(L"Acme DV-1000").Get()));
    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_525_60_SDL, Signal(BindDeck(L"DV Tape Device").Get()));
    const long other = Signal(BindDeck(L"Acme HDV-1").Get());
    EXPECT_TRUE(other < ED_TRANSBASIC_SIGNAL_525_60_SD || other > ED_TRANSBASIC_SIGNAL_625_50_SDL);
    // The signal mode travels as a tape subunit status inquiry.
    EXPECT_EQ((std::vector<uint8_t>{0x01, 0x20, 0x78, 0xFF}), m_bus->Commands(kDeckA).back());

    // A unit that does not report its signal mode, before any frame: no code.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.signalMode.reset(); });
    AgeStatus();
    HRESULT hr = S_OK;
    Signal(BindDeck(L"Acme DV-1000").Get(), &hr);
    EXPECT_TRUE(FAILED(hr));
}

TEST_F(FirewireTest, EveryTransportModeIsSentAsItsCommandAndReadBack) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    ComPtr<IBaseFilter> filter = BindDeck(L"Acme DV-1000");
    ASSERT_TRUE(filter);
    ComPtr<IAMExtTransport> t;
    filter.As(&t);
    struct Case {
        long mode;
        uint8_t opcode, operand;
        long readBack;
    };
    const Case cases[] = {
        {ED_MODE_PLAY, 0xC3, 0x75, ED_MODE_PLAY},
        {ED_MODE_FREEZE, 0xC3, 0x7D, ED_MODE_FREEZE},
        {ED_MODE_THAW, 0xC3, 0x75, ED_MODE_PLAY},
        {ED_MODE_STOP, 0xC4, 0x60, ED_MODE_STOP},
        {ED_MODE_FF, 0xC4, 0x75, ED_MODE_FF},
        {ED_MODE_REW, 0xC4, 0x65, ED_MODE_REW},
        {ED_MODE_PLAY_FASTEST_FWD, 0xC3, 0x3F, ED_MODE_PLAY_FASTEST_FWD},
        {ED_MODE_PLAY_SLOWEST_FWD, 0xC3, 0x31, ED_MODE_PLAY_SLOWEST_FWD},
        {ED_MODE_PLAY_FASTEST_REV, 0xC3, 0x4F, ED_MODE_PLAY_FASTEST_REV},
        {ED_MODE_PLAY_SLOWEST_REV, 0xC3, 0x41, ED_MODE_PLAY_SLOWEST_REV},
        {ED_MODE_STEP_FWD, 0xC3, 0x30, ED_MODE_STEP_FWD},
        {ED_MODE_STEP_REV, 0xC3, 0x40, ED_MODE_STEP_REV},
    };
    for (const Case& c : cases) {
        m_bus->ClearCommands();
        EXPECT_EQ(S_OK, t->put_Mode(c.mode)) << c.mode;
        ASSERT_EQ(1u, m_bus->Commands(kDeckA).size()) << c.mode;
        EXPECT_EQ((std::vector<uint8_t>{0x00, 0x20, c.opcode, c.operand}),
                  m_bus->Commands(kDeckA)[0])
            << c.mode;
        long mode = -1;
        EXPECT_EQ(S_OK, t->get_Mode(&mode));
        EXPECT_EQ(c.readBack, mode) << c.mode;
        EXPECT_EQ((std::vector<uint8_t>{0x01, 0x20, 0xD0, 0x7F}), m_bus->Commands(kDeckA).back());
    }

    // Record modes and values that are no mode reach no unit.
    m_bus->ClearCommands();
    EXPECT_EQ(E_ACCESSDENIED, t->put_Mode(ED_MODE_RECORD));
    EXPECT_EQ(E_ACCESSDENIED, t->put_Mode(ED_MODE_RECORD_FREEZE));
    EXPECT_EQ(E_ACCESSDENIED, t->put_Mode(ED_MODE_RECORD_STROBE));
    EXPECT_EQ(E_INVALIDARG, t->put_Mode(12345));
    EXPECT_TRUE(m_bus->Commands(kDeckA).empty());

    // States the unit reaches by itself (its own buttons).
    struct State {
        uint8_t state, mode;
        long expected;
    };
    const State states[] = {
        {0xC3, 0x38, ED_MODE_PLAY},
        {0xC3, 0x6D, ED_MODE_FREEZE},
        {0xC3, 0x35, ED_MODE_PLAY_SLOWEST_FWD},
        {0xC3, 0x3A, ED_MODE_PLAY_FASTEST_FWD},
        {0xC3, 0x44, ED_MODE_PLAY_SLOWEST_REV},
        {0xC3, 0x48, ED_MODE_PLAY_FASTEST_REV},
        {0xC3, 0x65, ED_MODE_PLAY_FASTEST_REV},
        {0xC4, 0x45, ED_MODE_REW},
        {0xC2, 0x75, ED_MODE_RECORD},
        {0xC2, 0x7D, ED_MODE_RECORD_FREEZE},
        {0xC1, 0x60, ED_MODE_STOP},
    };
    for (const State& s : states) {
        m_bus->ChangeUnit(kDeckA, [&](FakeUnit& u) {
            u.state = s.state;
            u.stateMode = s.mode;
        });
        AgeStatus();
        long mode = -1;
        EXPECT_EQ(S_OK, t->get_Mode(&mode));
        EXPECT_EQ(s.expected, mode) << int(s.state) << " " << int(s.mode);
    }
    // A state that means nothing here is no mode.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.state = 0xC4, u.stateMode = 0x11; });
    AgeStatus();
    long mode = -1;
    EXPECT_TRUE(FAILED(t->get_Mode(&mode)));
}

TEST_F(FirewireTest, TimecodeComesFromTheUnitElseFromTheLastFrame) {
    FakeUnit a = DeckUnit(kDeckA, 1, "Acme", "DV-1000");
    a.timecode = std::array<uint8_t, 4>{0x12 | 0x40, 0x45, 0x23, 0x01};  // a flag bit in frames
    m_bus->AddUnit(a);
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Acme DV-1000").Get()));
    ComPtr<IAMTimecodeReader> reader;
    g.deck.As(&reader);
    ASSERT_TRUE(reader);
    TIMECODE_SAMPLE s{};
    s.dwFlags = ED_DEVCAP_TIMECODE_READ;
    ASSERT_EQ(S_OK, reader->GetTimecode(&s));
    EXPECT_EQ(0x01234512u, s.timecode.dwFrames);
    EXPECT_EQ((std::vector<uint8_t>{0x01, 0x20, 0x51, 0x71, 0xFF, 0xFF, 0xFF, 0xFF}),
              m_bus->Commands(kDeckA).back());

    // No timecode from the unit and no frame yet: no timecode at all.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.timecode.reset(); });
    AgeStatus();
    EXPECT_TRUE(FAILED(reader->GetTimecode(&s)));

    // Frames 0-2 of the test tape: the last one's subcode says 00:00:00:02.
    ASSERT_EQ(S_OK, g.control->Run());
    m_bus->SendFrames(kDeckA, Tape(3));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() == 3; }));
    s.timecode.dwFrames = 0;
    ASSERT_EQ(S_OK, reader->GetTimecode(&s));
    EXPECT_EQ(0x00000002u, s.timecode.dwFrames);
    g.control->Stop();
}

TEST_F(FirewireTest, CaptureDeliversWholeFramesAndCountsTheLostOnes) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Acme DV-1000").Get()));
    EXPECT_EQ(0, m_bus->Receivers());
    ASSERT_EQ(S_OK, g.control->Run());
    EXPECT_EQ(1, m_bus->Receivers());
    const std::vector<uint8_t> tape = Tape(8);
    const size_t packets = dv::kFrameSizePAL / 480;

    // Frames 0-3 whole; frame 4 loses a packet, 5 its header packet.
    std::vector<uint8_t> first(tape.begin(), tape.begin() + 6 * dv::kFrameSizePAL);
    m_bus->SendFrames(kDeckA, first, {4 * packets + 7, 5 * packets});
    ComPtr<IAMDroppedFrames> df = g.Dropped();
    ASSERT_TRUE(df);
    long dropped = -1, taken = -1;
    // A frame counts as taken once the graph's Receive returned.
    ASSERT_TRUE(WaitFor([&] { return df->GetNumNotDropped(&taken) == S_OK && taken == 4; }));
    df->GetNumDropped(&dropped);
    EXPECT_EQ(2, dropped);
    EXPECT_EQ(4, taken);
    for (const Seen& s : g.capture->Frames()) EXPECT_TRUE(s.intact);
    // Every frame's timecode is the tape's.
    std::vector<int64_t> timecodes;
    for (const Seen& s : g.capture->Frames()) timecodes.push_back(s.timecode);
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 3}), timecodes);

    // A graph that does not take its frames: the receive side goes on, the
    // queue's overflow is dropped, and the counts only grow.
    g.capture->Stall(true);
    for (int i = 0; i < 3; ++i) m_bus->SendFrames(kDeckA, tape);
    long droppedStalled = 0;
    df->GetNumDropped(&droppedStalled);
    EXPECT_GT(droppedStalled, dropped);
    g.capture->Stall(false);
    ASSERT_TRUE(WaitFor([&] {
        long n = 0;
        df->GetNumNotDropped(&n);
        long d = 0;
        df->GetNumDropped(&d);
        return n + d == 4 + 2 + 24;
    }));
    ASSERT_EQ(S_OK, g.control->Stop());
    EXPECT_EQ(0, m_bus->Receivers());
    long after = 0;
    df->GetNumDropped(&after);
    EXPECT_GE(after, droppedStalled);
}

TEST_F(FirewireTest, AUnitThatGoesAtABusResetIsLostAndListedAgainWhenItComesBack) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    m_bus->AddUnit(DeckUnit(kDeckB, 2, "Acme", "DV-2000"));
    std::vector<ComPtr<IMoniker>> monikers = ListDevices();
    ASSERT_EQ(2u, monikers.size());
    TestGraph g;
    RunWithTwoFrames(g, kDeckA, L"Acme DV-1000");
    if (HasFatalFailure()) return;

    // A reset that leaves the unit in place, at another node: capture and
    // transport go on.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.node = 3; });
    m_bus->Reset();
    ASSERT_TRUE(WaitFor([&] { return Names().size() == 2; }));
    m_bus->SendFrames(kDeckA, Tape(2));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() == 4; }));
    EXPECT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    EXPECT_FALSE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_EQ(0, g_broadcasts.load());

    // Unplugged: the graph hears of it, the windows too, the stream ends,
    // the transport fails, the unit is no longer listed, its old moniker
    // binds nothing.
    m_bus->RemoveUnit(kDeckA);
    m_bus->Reset();
    ASSERT_TRUE(WaitFor([&] { return g_broadcasts.load() == 1; }));
    EXPECT_TRUE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_TRUE(FAILED(g.Transport()->put_Mode(ED_MODE_STOP)));
    EXPECT_EQ(std::vector<std::wstring>{L"Acme DV-2000"}, Names());
    for (auto& m : monikers) {
        if (FriendlyName(m.Get()) != L"Acme DV-1000") continue;
        ComPtr<IBaseFilter> f;
        EXPECT_TRUE(FAILED(BindMoniker(m.Get(), 0, IID_IBaseFilter,
                                       reinterpret_cast<void**>(f.ReleaseAndGetAddressOf()))));
    }
    EXPECT_EQ(S_OK, g.control->Stop());

    // Plugged in again: announced, and listed.
    m_bus->AddUnit(DeckUnit(kDeckA, 4, "Acme", "DV-1000"));
    m_bus->Reset();
    ASSERT_TRUE(WaitFor([&] { return g_broadcasts.load() == 2; }));
    EXPECT_EQ(2u, Names().size());
    EXPECT_EQ(ED_TRANSBASIC_SIGNAL_625_50_SD, Signal(BindDeck(L"Acme DV-1000").Get()));
}

TEST_F(FirewireTest, AUnitThatStopsAnsweringFailsEveryCallWithoutHanging) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    ComPtr<IBaseFilter> filter = BindDeck(L"Acme DV-1000");
    ASSERT_TRUE(filter);
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.silent = true; });
    ComPtr<IAMExtTransport> t;
    filter.As(&t);
    ComPtr<IAMTimecodeReader> reader;
    filter.As(&reader);
    const auto start = std::chrono::steady_clock::now();
    long mode = -1;
    EXPECT_TRUE(FAILED(t->put_Mode(ED_MODE_PLAY)));
    EXPECT_TRUE(FAILED(t->get_Mode(&mode)));
    EXPECT_EQ(-1, mode);
    TIMECODE_SAMPLE s{};
    s.dwFlags = ED_DEVCAP_TIMECODE_READ;
    EXPECT_TRUE(FAILED(reader->GetTimecode(&s)));
    HRESULT hr = S_OK;
    Signal(filter.Get(), &hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(FirewireTest, AUnitUnreadableAroundAResetIsKeptUntilTheBusSettles) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Acme DV-1000").Get()));
    // The unit caused the reset: for a while after it, its ROM cannot be
    // read.  It is not declared lost, and its calls fail meanwhile rather
    // than reach whatever node had its number.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.unreadable = true, u.node = 2; });
    m_bus->Reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_FALSE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_TRUE(FAILED(g.Transport()->put_Mode(ED_MODE_PLAY)));
    // Readable again: found at its new node without a reset of its own.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.unreadable = false; });
    ASSERT_TRUE(WaitFor([&] { return SUCCEEDED(g.Transport()->put_Mode(ED_MODE_PLAY)); }, 2000));
    EXPECT_EQ(0xC3, m_bus->Unit(kDeckA).state);
    EXPECT_FALSE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_EQ(0, g_broadcasts.load());

    // Still unreadable once the bus has been quiet for a while: gone.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.unreadable = true; });
    m_bus->Reset();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return g_broadcasts.load() == 1; }, 6000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
}

TEST_F(FirewireTest, AUnitPluggedInWhileRunningIsListedOnceItCanBeRead) {
    m_bus->AddUnit(DeckUnit(kDeckB, 2, "Acme", "DV-2000"));
    ASSERT_EQ(1u, Names().size());
    // A new node has no device to read for at least 500 ms.
    FakeUnit a = DeckUnit(kDeckA, 1, "Acme", "DV-1000");
    a.unreadable = true;
    m_bus->AddUnit(a);
    m_bus->Reset();
    const auto plugged = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.unreadable = false; });
    ASSERT_TRUE(WaitFor([&] { return g_broadcasts.load() == 1; }, 3000));
    EXPECT_LT(std::chrono::steady_clock::now() - plugged, std::chrono::seconds(3));
    EXPECT_EQ(2u, Names().size());
}

TEST_F(FirewireTest, UnitsThatDoNotSpeakAvcAreNeverAskedAndNotListed) {
    struct Case {
        uint64_t guid;
        uint32_t desc, version;
    } const cases[] = {
        {0x0080AB0000000011ull, 0x00A02D, 0x000100},  // IIDC camera
        {0x0080AB0000000012ull, 0x00A02D, 0x000101},  // IIDC camera, 1.31
        {0x0080AB0000000013ull, 0x00609E, 0x010483},  // SBP-2 disk
    };
    int node = 1;
    for (const Case& c : cases) {
        FakeUnit u = DeckUnit(c.guid, node++, "Acme", "Other");
        u.rom.unitSpecId = c.desc;
        u.rom.unitSwVersion = c.version;
        m_bus->AddUnit(u);
    }
    EXPECT_TRUE(Names().empty());
    for (const Case& c : cases) EXPECT_TRUE(m_bus->Commands(c.guid).empty()) << c.version;
}

TEST_F(FirewireTest, StatusPollingFiftyTimesASecondSendsAtMostTwentyCommands) {
    FakeUnit a = DeckUnit(kDeckA, 1, "Acme", "DV-1000");
    a.timecode = std::array<uint8_t, 4>{0x12, 0x45, 0x23, 0x01};
    m_bus->AddUnit(a);
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Acme DV-1000").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ComPtr<IAMTimecodeReader> reader;
    g.deck.As(&reader);
    const std::vector<uint8_t> frame = Tape(1);
    // Stopped (no frames), then playing (frames every 40 ms): one second of
    // the panel's polling each.
    for (bool frames : {false, true}) {
        m_bus->ClearCommands();
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; std::chrono::steady_clock::now() - start < std::chrono::seconds(1);
             ++pass) {
            if (frames && pass % 2 == 0) m_bus->SendFrames(kDeckA, frame);
            long mode = 0;
            g.Transport()->get_Mode(&mode);
            TIMECODE_SAMPLE s{};
            s.dwFlags = ED_DEVCAP_TIMECODE_READ;
            reader->GetTimecode(&s);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto commands = m_bus->Commands(kDeckA);
        EXPECT_LE(commands.size(), 20u) << frames;
        const auto timecodeQueries = std::count_if(commands.begin(), commands.end(),
                                                   [](const auto& c) { return c[2] == 0x51; });
        if (frames) {
            EXPECT_EQ(0, timecodeQueries) << "the frames carry the timecode";
        }
    }
    // A command makes the next state read ask the unit.
    long mode = 0;
    g.Transport()->get_Mode(&mode);
    m_bus->ClearCommands();
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_FREEZE));
    ASSERT_EQ(S_OK, g.Transport()->get_Mode(&mode));
    EXPECT_EQ(ED_MODE_FREEZE, mode);
    EXPECT_EQ(2u, m_bus->Commands(kDeckA).size());
    g.control->Stop();
}

TEST_F(FirewireTest, AReceptionGoesOnAcrossAResetAndOneThatBreaksEndsWithAnError) {
    m_bus->AddUnit(DeckUnit(kDeckA, 1, "Acme", "DV-1000"));
    TestGraph g;
    RunWithTwoFrames(g, kDeckA, L"Acme DV-1000");
    if (HasFatalFailure()) return;
    // Renumbered by a reset: the same reception is connected again.
    m_bus->ChangeUnit(kDeckA, [](FakeUnit& u) { u.node = 3; });
    m_bus->Reset();
    ASSERT_TRUE(WaitFor([&] { return m_bus->Reconnects() == 1; }));
    EXPECT_EQ(1, m_bus->Receivers());
    m_bus->SendFrames(kDeckA, Tape(2));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() == 4; }));
    // It could not be connected again: the graph is told, not left waiting.
    m_bus->BreakReceptions(kDeckA);
    bool aborted = false;
    ASSERT_TRUE(WaitFor([&] {
        for (auto& [code, p1, p2] : g.TakeEvents()) aborted = aborted || code == EC_ERRORABORT;
        return aborted;
    }));
    g.control->Stop();
}

TEST_F(FirewireTest, BeforeItsFirstFrameAUnitIsDescribedByItsSignalMode) {
    struct Case {
        uint8_t signalMode;
        ULONG sampleSize;
        bool pal;
    } const cases[] = {{0x80, dv::kFrameSizePAL, true}, {0x00, dv::kFrameSizeNTSC, false}};
    for (const Case& c : cases) {
        FakeUnit u = DeckUnit(kDeckA, 1, "Acme", "DV-1000");
        u.signalMode = c.signalMode;
        m_bus->AddUnit(u);
        ComPtr<IBaseFilter> deck = BindDeck(L"Acme DV-1000");
        ASSERT_TRUE(deck);
        AM_MEDIA_TYPE* mt = nullptr;
        ComPtr<IEnumMediaTypes> types;
        ASSERT_EQ(
            S_OK,
            NthPin(deck.Get(), PINDIR_OUTPUT)->EnumMediaTypes(types.ReleaseAndGetAddressOf()));
        ASSERT_EQ(S_OK, types->Next(1, &mt, nullptr));
        EXPECT_EQ(c.sampleSize, mt->lSampleSize);
        ASSERT_GE(mt->cbFormat, sizeof(DVINFO));
        DVINFO info;
        std::memcpy(&info, mt->pbFormat, sizeof info);
        EXPECT_EQ(c.pal, (info.dwDVVAuxSrc >> 21 & 1) != 0);
        EXPECT_NE(0u, info.dwDVVAuxSrc);
        DeleteMediaType(mt);
        m_bus->RemoveUnit(kDeckA);
        dvfw::SetBus(m_bus);  // forget the unit
    }
}

TEST_F(FirewireTest, WithoutABusNothingIsListed) {
    // The system's bus; this test machine may have no IEEE-1394 support.
    dvfw::SetBus(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<ComPtr<IMoniker>> devices = ListDevices();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    if (std::filesystem::exists("/dev/fw0")) GTEST_SKIP() << "this machine has an IEEE-1394 bus";
    EXPECT_TRUE(devices.empty());
}

}  // namespace

namespace {

TEST(FirewireNames, TextsFromTheRomArePaddedAndSometimesRepeatTheVendor) {
    auto name = [](std::string vendor, std::string model) {
        dvfw::ConfigRom rom;
        rom.vendorName = std::move(vendor);
        rom.modelName = std::move(model);
        return dvfw::FriendlyNameOf(rom);
    };
    EXPECT_EQ(L"Acme DV-1000", name(std::string("Acme\0\0\0", 7), std::string("DV-1000\0", 8)));
    EXPECT_EQ(L"Acme DV-1000", name("Acme ", "Acme DV-1000"));
    EXPECT_EQ(L"DV-1000", name("", "DV-1000"));
    EXPECT_EQ(L"Acme", name("Acme", "  "));
    EXPECT_EQ(L"DV Tape Device", name(std::string("\0", 1), ""));
}

}  // namespace
