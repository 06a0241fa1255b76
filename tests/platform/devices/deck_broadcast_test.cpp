// Hot plug as a window of the program sees it: a hidden top-level window
// on a thread with a message loop gets WM_DEVICECHANGE (DBT_DEVNODES_CHANGED)
// for every unplug and plug, and, as the graph's notify window,
// EC_DEVICE_LOST for the deck's filter; the control file works when another
// process writes it.
#include <evcode.h>
#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "testsupport/decktest.h"
#include "testsupport/dvtools.h"
#include "testsupport/windowthread.h"

using namespace decktest;

namespace {

constexpr UINT WM_GRAPHNOTIFY = WM_USER + 1;

struct WindowLog {
    int deviceChanges = 0;
    int wrongThread = 0;
    DWORD thread = 0;
    std::vector<std::pair<LONG_PTR, LONG_PTR>> deviceLost;  // (filter, present)
};
std::mutex g_lock;
WindowLog g_seen;
IMediaEventEx* g_events = nullptr;  // set before the window's thread starts

LRESULT CALLBACK TopLevelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) {
        ++g_seen.deviceChanges;
        if (GetCurrentThreadId() != g_seen.thread) ++g_seen.wrongThread;
        return TRUE;
    }
    if (msg == WM_GRAPHNOTIFY) {
        long code;
        LONG_PTR p1, p2;
        while (g_events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            if (code == EC_DEVICE_LOST) g_seen.deviceLost.emplace_back(p1, p2);
            g_events->FreeEventParams(code, p1, p2);
        }
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

WindowLog Snapshot() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_seen;
}

class DeckBroadcastTest : public DeckTest {};

}  // namespace

TEST_F(DeckBroadcastTest, UnplugAndPlugReachAHiddenTopLevelWindowAndTheNotifyWindow) {
    testsupport::ScratchDir dir;
    const std::string control = dir / "unplugged";
    Configure("Deck=pal", "realtime", control);
    TestGraph g;
    ASSERT_TRUE(g.Build(BindDeck(L"Deck").Get()));
    ComPtr<IMediaEventEx> events;
    ASSERT_EQ(S_OK, g.events.As(&events));
    g_events = events.Get();
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_seen = WindowLog{};
    }

    test_support::RegisterTestClass("DeckBroadcastWindow", TopLevelProc);
    std::atomic<HWND> hwnd{nullptr};
    test_support::PumpThread ui([&] {
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_seen.thread = GetCurrentThreadId();
        }
        hwnd = CreateWindowEx(0, "DeckBroadcastWindow", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr);
    });
    ASSERT_TRUE(hwnd.load());
    ASSERT_FALSE(IsWindowVisible(hwnd.load()));
    ASSERT_EQ(S_OK,
              events->SetNotifyWindow(reinterpret_cast<OAHWND>(hwnd.load()), WM_GRAPHNOTIFY, 0));
    ASSERT_EQ(S_OK, g.control->Run());
    ASSERT_EQ(S_OK, g.Transport()->put_Mode(ED_MODE_PLAY));
    ASSERT_TRUE(WaitFor([&] { return g.capture->Count() >= 2; }));

    const LONG_PTR filter = reinterpret_cast<LONG_PTR>(g.deck.Get());
    // In process.
    ASSERT_EQ(S_OK, VirtualDeckUnplug(L"Deck"));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceChanges == 1; }));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceLost.size() == 1; }));
    ASSERT_EQ(S_OK, VirtualDeckPlug(L"Deck"));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceChanges == 2; }));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceLost.size() == 2; }));

    // Another process writes the control file.
    const std::string unplug = "echo Deck > '" + control + "'";
    const std::string plug = ": > '" + control + "'";
    ASSERT_EQ(0, std::system(unplug.c_str()));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceChanges == 3; }, 5000));
    EXPECT_TRUE(ListDevices().empty());
    ASSERT_EQ(0, std::system(plug.c_str()));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceChanges == 4; }, 5000));
    ASSERT_TRUE(WaitFor([] { return Snapshot().deviceLost.size() == 4; }));
    EXPECT_EQ(1u, ListDevices().size());

    WindowLog seen = Snapshot();
    EXPECT_EQ(0, seen.wrongThread);
    const std::vector<std::pair<LONG_PTR, LONG_PTR>> expected = {
        {filter, 0}, {filter, 1}, {filter, 0}, {filter, 1}};
    EXPECT_EQ(expected, seen.deviceLost);
    EXPECT_EQ(S_OK, g.control->Stop());
    events->SetNotifyWindow(0, 0, 0);
    ui.Stop();
    g_events = nullptr;
}
