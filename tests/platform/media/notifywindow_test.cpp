// The graph's notify message reaching a real window owned by another
// thread: events raised on streaming threads arrive there as posted
// messages and are drained with GetEvent; no window, or a window that is
// gone, leaves the events queued and nothing crashes.
#include <evcode.h>
#include <windows.h>

#include <mutex>
#include <vector>

#include "mediatest.h"
#include "testsupport/windowthread.h"

namespace {

constexpr UINT WM_GRAPHNOTIFY = WM_USER + 1;
constexpr UINT WM_DESTROY_NOW = WM_USER + 2;
constexpr LONG_PTR kInstance = 42;

struct Event {
    long code;
    LONG_PTR p1, p2;
};

// What the window's thread saw.  The window procedure drains the graph's
// queue on each notify message, as the program's window does.
struct Receiver {
    IMediaEventEx* events = nullptr;  // set before the window's thread starts
    std::mutex lock;
    std::vector<Event> fetched;
    int messages = 0;
    bool wrongInstance = false;
    bool wrongThread = false;
    DWORD thread = 0;
};
Receiver* g_receiver = nullptr;

LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY_NOW) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (msg != WM_GRAPHNOTIFY) return DefWindowProc(hwnd, msg, wParam, lParam);
    Receiver& r = *g_receiver;
    std::vector<Event> got;
    long code;
    LONG_PTR p1, p2;
    while (r.events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        got.push_back({code, p1, p2});
        r.events->FreeEventParams(code, p1, p2);
    }
    std::lock_guard<std::mutex> lock(r.lock);
    ++r.messages;
    if (lParam != kInstance) r.wrongInstance = true;
    if (GetCurrentThreadId() != r.thread) r.wrongThread = true;
    r.fetched.insert(r.fetched.end(), got.begin(), got.end());
    return 0;
}

// A sink that raises EC_COMPLETE at end of stream, on the streaming thread.
class CompletingSink final : public BaseFilter {
public:
    CompletingSink() : BaseFilter(CLSID_TestSink), m_pin(this) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

private:
    class In final : public BaseInputPin {
    public:
        explicit In(CompletingSink* f) : BaseInputPin(f, L"In"), m_sink(f) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }

    protected:
        HRESULT OnReceive(IMediaSample*) override { return S_OK; }
        HRESULT OnEndOfStream() override {
            m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
            return S_OK;
        }

    private:
        CompletingSink* m_sink;
    };
    In m_pin;
};

class NotifyWindowTest : public MediaTest {
protected:
    size_t Fetched(long code) {
        std::lock_guard<std::mutex> lock(m_receiver.lock);
        size_t n = 0;
        for (const Event& e : m_receiver.fetched) n += e.code == code;
        return n;
    }
    int Messages() {
        std::lock_guard<std::mutex> lock(m_receiver.lock);
        return m_receiver.messages;
    }
    // Runs the graph until the source has ended or failed, then stops it.
    void RunOnce(TestSource* src, IMediaControl* control, bool fail) {
        if (fail) src->FailNext();
        src->SetLimit(src->Produced() + 5);
        ASSERT_EQ(S_OK, control->Run());
        ASSERT_TRUE(WaitFor([&] { return fail || src->Produced() >= 5; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(S_OK, control->Stop());
    }
    Receiver m_receiver;
};

TEST_F(NotifyWindowTest, StreamingEventsArriveAsPostedMessagesUntilTheWindowGoes) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Unpaced);
    auto holdSrc = Adopt<IBaseFilter>(src);
    auto holdSink = Adopt<IBaseFilter>(new CompletingSink);
    graph->AddFilter(src, L"src");
    graph->AddFilter(holdSink.Get(), L"sink");
    ComPtr<IPin> out = NthPin(src, PINDIR_OUTPUT), in = NthPin(holdSink.Get(), PINDIR_INPUT);
    ASSERT_EQ(S_OK, graph->ConnectDirect(out.Get(), in.Get(), nullptr));
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ASSERT_EQ(S_OK, graph.As(&control));
    ASSERT_EQ(S_OK, graph.As(&events));

    m_receiver.events = events.Get();
    g_receiver = &m_receiver;
    test_support::RegisterTestClass("GraphNotifyWindow", NotifyProc);
    std::atomic<HWND> hwnd{nullptr};
    test_support::PumpThread ui([&] {
        m_receiver.thread = GetCurrentThreadId();
        hwnd = CreateWindowEx(0, "GraphNotifyWindow", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr);
    });
    ASSERT_TRUE(hwnd.load());
    ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(hwnd.load()), WM_GRAPHNOTIFY,
                                            kInstance));

    // End of stream and a failing source, each raised on a streaming thread.
    RunOnce(src, control.Get(), false);
    ASSERT_TRUE(WaitFor([&] { return Fetched(EC_COMPLETE) == 1; }));
    RunOnce(src, control.Get(), true);
    ASSERT_TRUE(WaitFor([&] { return Fetched(EC_ERRORABORT) == 1; }));
    {
        std::lock_guard<std::mutex> lock(m_receiver.lock);
        EXPECT_EQ(2u, m_receiver.fetched.size());
        EXPECT_EQ(2, m_receiver.messages);  // one post per event
        EXPECT_FALSE(m_receiver.wrongInstance);
        EXPECT_FALSE(m_receiver.wrongThread);
        for (const Event& e : m_receiver.fetched) {
            if (e.code == EC_ERRORABORT) {
                EXPECT_EQ(E_FAIL, e.p1);
            }
        }
    }

    // No notify window: the event waits in the queue, nothing is posted.
    ASSERT_EQ(S_OK, events->SetNotifyWindow(0, 0, 0));
    RunOnce(src, control.Get(), false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(2, Messages());
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 1000));
    EXPECT_EQ(EC_COMPLETE, code);
    events->FreeEventParams(code, p1, p2);

    // The window is destroyed while still registered: posting to it fails
    // quietly and the event stays for GetEvent.
    ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(hwnd.load()), WM_GRAPHNOTIFY,
                                            kInstance));
    DWORD_PTR result = 0;
    SendMessageTimeout(hwnd.load(), WM_DESTROY_NOW, 0, 0, SMTO_BLOCK, 5000, &result);
    ASSERT_FALSE(IsWindow(hwnd.load()));
    RunOnce(src, control.Get(), true);
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 1000));
    EXPECT_EQ(EC_ERRORABORT, code);
    events->FreeEventParams(code, p1, p2);
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(2, Messages());
    ui.Stop();
    g_receiver = nullptr;
}

}  // namespace
