// Hot plug of the virtual deck: from inside the process, through the
// control file, and by the unplug-after fault.
#include <edevdefs.h>
#include <evcode.h>

#include <fstream>

#include "testsupport/decktest.h"
#include "testsupport/dvtools.h"

using namespace decktest;

namespace {

std::atomic<int> g_broadcasts{0};
void CountBroadcast(WPARAM event, LPARAM) {
    if (event == 0x0007) g_broadcasts.fetch_add(1);  // DBT_DEVNODES_CHANGED
}

class DeckPlugTest : public DeckTest {
protected:
    void SetUp() override {
        DeckTest::SetUp();
        g_broadcasts = 0;
        m_previous = VirtualDeckSetDeviceChangeBroadcast(CountBroadcast);
    }
    void TearDown() override {
        DeckTest::TearDown();
        VirtualDeckSetDeviceChangeBroadcast(m_previous);
    }
    LPFNDEVICECHANGE m_previous = nullptr;
};

bool HasEvent(const std::vector<std::tuple<long, LONG_PTR, LONG_PTR>>& events, long code,
              IBaseFilter* filter, LONG_PTR p2) {
    for (auto& [c, p1, q2] : events)
        if (c == code && p1 == reinterpret_cast<LONG_PTR>(filter) && q2 == p2) return true;
    return false;
}

}  // namespace

TEST_F(DeckPlugTest, UnplugWhileStreamingEndsTheStreamAndPlugBackAnnouncesIt) {
    Configure("Deck=pal; Other=ntsc", "realtime");
    std::vector<ComPtr<IMoniker>> monikers = ListDevices();
    ASSERT_EQ(2u, monikers.size());
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() >= 3; }));

    EXPECT_EQ(S_OK, VirtualDeckUnplug(L"Deck"));
    EXPECT_EQ(S_FALSE, VirtualDeckUnplug(L"Deck"));
    EXPECT_EQ(E_INVALIDARG, VirtualDeckUnplug(L"Nobody"));
    EXPECT_TRUE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_EQ(1, g_broadcasts.load());
    // The stream has ended; the device is gone from the list and its
    // moniker no longer binds; its transport answers no more.
    const size_t frames = g.capture->Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(g.capture->Count(), frames + 1);
    std::vector<ComPtr<IMoniker>> now = ListDevices();
    ASSERT_EQ(1u, now.size());
    EXPECT_EQ(L"Other", FriendlyName(now[0].Get()));
    ComPtr<IBaseFilter> filter;
    EXPECT_TRUE(FAILED(BindMoniker(monikers[0].Get(), 0, IID_IBaseFilter,
                                   reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()))));
    EXPECT_FALSE(filter);
    long mode = 0;
    EXPECT_TRUE(FAILED(g.Transport()->get_Mode(&mode)));

    EXPECT_EQ(S_OK, VirtualDeckPlug(L"Deck"));
    EXPECT_TRUE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 1));
    EXPECT_EQ(2, g_broadcasts.load());
    EXPECT_EQ(2u, ListDevices().size());
    // The ended stream is not fed again: no frames pile up as dropped.
    long dropped = 0, droppedLater = 0;
    g.Dropped()->GetNumDropped(&dropped);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    g.Dropped()->GetNumDropped(&droppedLater);
    EXPECT_EQ(dropped, droppedLater);
    EXPECT_EQ(S_OK, BindMoniker(monikers[0].Get(), 0, IID_IBaseFilter,
                                reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf())));
    // The old graph stops cleanly; a new one streams again.
    EXPECT_EQ(S_OK, g.control->Stop());
    TestGraph again;
    ASSERT_TRUE(again.Build(filter.Get()));
    ASSERT_EQ(S_OK, again.control->Run());
    EXPECT_TRUE(WaitFor([&] { return again.capture->Count() >= 3; }));
    EXPECT_EQ(S_OK, again.control->Stop());
}

TEST_F(DeckPlugTest, UnplugAfterNFramesFault) {
    Configure("Deck=pal,unplug=12");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return ListDevices().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(12u, g.capture->Count());
    long delivered = 0;
    g.Dropped()->GetNumNotDropped(&delivered);
    EXPECT_EQ(12, delivered);
    EXPECT_TRUE(HasEvent(g.TakeEvents(), EC_DEVICE_LOST, g.deck.Get(), 0));
    EXPECT_EQ(1, g_broadcasts.load());
    EXPECT_EQ(S_OK, g.control->Stop());
}

TEST_F(DeckPlugTest, ControlFileUnplugsAndPlugsBack) {
    testsupport::ScratchDir dir;
    const std::string control = dir / "decks-unplugged";
    Configure("Deck=pal; Other=pal", "unpaced", control);
    ASSERT_EQ(2u, ListDevices().size());
    std::ofstream(control) << "Deck\n";
    ASSERT_TRUE(WaitFor([] { return ListDevices().size() == 1; }, 3000));
    EXPECT_EQ(L"Other", FriendlyName(ListDevices()[0].Get()));
    std::ofstream(control) << "Deck\nOther\n";
    ASSERT_TRUE(WaitFor([] { return ListDevices().empty(); }, 3000));
    std::ofstream(control).close();  // emptied: both back
    ASSERT_TRUE(WaitFor([] { return ListDevices().size() == 2; }, 3000));
    EXPECT_EQ(4, g_broadcasts.load());
}

TEST_F(DeckPlugTest, UnplugWhilePausedOrStoppedIsSafe) {
    Configure("Deck=pal", "realtime");
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ASSERT_EQ(S_OK, g.control->Pause());
    EXPECT_EQ(S_OK, VirtualDeckUnplug(L"Deck"));
    EXPECT_EQ(S_OK, g.control->Run());  // runs, but nothing comes
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(0u, g.capture->Count());
    EXPECT_EQ(S_OK, g.control->Stop());
    EXPECT_EQ(S_OK, VirtualDeckPlug(L"Deck"));
    // Plugged back, the same filter streams at its next run.
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    EXPECT_TRUE(WaitFor([&] { return g.capture->Count() >= 2; }));
    EXPECT_EQ(S_OK, g.control->Stop());
}
