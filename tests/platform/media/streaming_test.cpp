// Allocator, stream control gate and streaming through base classes.
#include <thread>

#include "media/allocator.h"
#include "media/streamcontrol.h"
#include "mediatest.h"

namespace {

TEST(MemAllocatorTest, HandsOutBuffersUntilAllAreOutAndBlocksUntilOneReturns) {
    IMemAllocator* raw = nullptr;
    ASSERT_EQ(S_OK, MemAllocator::Create(&raw));
    auto alloc = Adopt(raw);
    IMediaSample* s = nullptr;
    EXPECT_EQ(VFW_E_SIZENOTSET, alloc->Commit());
    ALLOCATOR_PROPERTIES req{2, 1000, 16, 0}, actual{};
    ASSERT_EQ(S_OK, alloc->SetProperties(&req, &actual));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    ASSERT_EQ(S_OK, alloc->Commit());

    IMediaSample *a = nullptr, *b = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&a, nullptr, nullptr, 0));
    ASSERT_EQ(S_OK, alloc->GetBuffer(&b, nullptr, nullptr, 0));
    BYTE *pa = nullptr, *pb = nullptr;
    a->GetPointer(&pa);
    b->GetPointer(&pb);
    EXPECT_NE(pa, pb);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(pa) % 16);
    EXPECT_EQ(VFW_E_TIMEOUT, alloc->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT));
    // Properties cannot change while committed or with buffers out.
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, alloc->SetProperties(&req, &actual));

    // A second reference keeps the buffer out; the last one returns it.
    a->AddRef();
    a->Release();
    std::thread waiter([&] {
        IMediaSample* c = nullptr;
        EXPECT_EQ(S_OK, alloc->GetBuffer(&c, nullptr, nullptr, 0));
        BYTE* pc = nullptr;
        c->GetPointer(&pc);
        EXPECT_EQ(pa, pc);
        c->Release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    a->Release();
    waiter.join();

    // Decommit wakes a waiter with VFW_E_NOT_COMMITTED; the buffers out
    // stay valid and the allocator outlives them.
    IMediaSample* c = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&c, nullptr, nullptr, 0));
    std::thread blocked([&] {
        IMediaSample* d = nullptr;
        EXPECT_EQ(VFW_E_NOT_COMMITTED, alloc->GetBuffer(&d, nullptr, nullptr, 0));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    alloc->Decommit();
    blocked.join();
    alloc.Reset();
    pb[0] = 1;  // still ours
    b->Release();
    c->Release();
}

TEST(MediaSampleTest, TimesAndLengthsAreCheckedAndResetOnReuse) {
    IMemAllocator* raw = nullptr;
    MemAllocator::Create(&raw);
    auto alloc = Adopt(raw);
    ALLOCATOR_PROPERTIES req{1, 100, 1, 0}, actual{};
    alloc->SetProperties(&req, &actual);
    alloc->Commit();
    IMediaSample* s = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    REFERENCE_TIME t0 = 0, t1 = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, s->GetTime(&t0, &t1));
    REFERENCE_TIME a = 5, b = 9;
    s->SetTime(&a, &b);
    EXPECT_EQ(S_OK, s->GetTime(&t0, &t1));
    EXPECT_EQ(5, t0);
    EXPECT_EQ(9, t1);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, s->SetActualDataLength(101));
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, s->SetActualDataLength(-1));
    EXPECT_EQ(S_OK, s->SetActualDataLength(100));
    s->Release();
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, s->GetTime(&t0, &t1));
    EXPECT_EQ(0, s->GetActualDataLength());
    s->Release();
}

// Each row: requests, then samples at the given times and whether each flows.
TEST(StreamControlGateTest, StartAndStopTakeEffectAtTheFirstSampleAtOrAfterTheirTime) {
    StreamControlGate::Change change;
    DWORD cookie;
    auto admit = [&](StreamControlGate& g, REFERENCE_TIME t) {
        return g.Admit(t, &change, &cookie);
    };
    const REFERENCE_TIME zero = 0, never = MAXLONGLONG, t10 = 10, t20 = 20;

    StreamControlGate flowing;  // no request: the stream flows
    EXPECT_TRUE(admit(flowing, 0));

    StreamControlGate off;  // start never, stop now: held off
    off.StartAt(&never, 0);
    off.StopAt(&zero, 0);
    EXPECT_FALSE(admit(off, 5));
    EXPECT_EQ(StreamControlGate::Change::Stopped, change);
    EXPECT_FALSE(admit(off, 6));
    off.StartAt(&zero, 7);  // start now, no stop
    off.StopAt(&never, 0);
    EXPECT_TRUE(admit(off, 7));
    EXPECT_EQ(StreamControlGate::Change::Started, change);
    EXPECT_EQ(7u, cookie);
    EXPECT_TRUE(admit(off, 8));
    EXPECT_EQ(StreamControlGate::Change::None, change);

    StreamControlGate window;  // [10, 20) in stream time
    window.StopAt(&zero, 0);
    EXPECT_FALSE(admit(window, 0));
    window.StartAt(&t10, 0);
    window.StopAt(&t20, 0);
    EXPECT_FALSE(admit(window, 9));
    EXPECT_TRUE(admit(window, 10));
    EXPECT_TRUE(admit(window, 19));
    EXPECT_FALSE(admit(window, 20));
    EXPECT_FALSE(admit(window, 30));

    StreamControlGate late;  // a window that passed between two samples
    late.StopAt(&zero, 0);
    admit(late, 0);
    late.StartAt(&t10, 0);
    late.StopAt(&t20, 0);
    EXPECT_FALSE(admit(late, 25));

    StreamControlGate tie;  // start and stop at the same time: the later request wins
    tie.StopAt(&zero, 0);
    tie.StartAt(&zero, 0);
    EXPECT_TRUE(admit(tie, 3));
}

class StreamingTest : public MediaTest {};

TEST_F(StreamingTest, UnpacedSourceDeliversEveryFrameInOrderThenEndOfStream) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Unpaced);
    src->SetLimit(500);
    auto* sink = new NullRenderer(CLSID_TestRenderer, GUID_NULL, GUID_NULL);
    auto hold1 = Adopt<IBaseFilter>(src);
    auto hold2 = Adopt<IBaseFilter>(sink);
    ASSERT_EQ(S_OK, graph->AddFilter(src, L"src"));
    ASSERT_EQ(S_OK, graph->AddFilter(sink, L"sink"));
    ASSERT_EQ(S_OK,
              graph->Connect(NthPin(src, PINDIR_OUTPUT).Get(), NthPin(sink, PINDIR_INPUT).Get()));
    sink->Source = src->Allocator();
    ComPtr<IMediaControl> control;
    graph.As(&control);
    ASSERT_EQ(S_OK, control->Run());
    ASSERT_TRUE(WaitFor([&] { return sink->counter.endOfStream.load() == 1; }));
    EXPECT_EQ(500, sink->counter.frames.load());
    EXPECT_EQ(499, sink->counter.lastFrame.load());
    EXPECT_EQ(500, sink->counter.byReference.load());
    EXPECT_EQ(S_OK, control->Stop());
}

TEST_F(StreamingTest, PacedSourceFollowsTheClockAndDeliversNothingWhilePaused) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Paced);
    auto* sink = new NullRenderer(CLSID_TestRenderer, GUID_NULL, GUID_NULL);
    auto hold1 = Adopt<IBaseFilter>(src);
    auto hold2 = Adopt<IBaseFilter>(sink);
    graph->AddFilter(src, L"src");
    graph->AddFilter(sink, L"sink");
    ASSERT_EQ(S_OK,
              graph->Connect(NthPin(src, PINDIR_OUTPUT).Get(), NthPin(sink, PINDIR_INPUT).Get()));
    ComPtr<IMediaControl> control;
    graph.As(&control);
    ASSERT_EQ(S_OK, control->Pause());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(0, sink->counter.frames.load());
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, control->Run());
    ASSERT_TRUE(WaitFor([&] { return sink->counter.frames.load() >= 6; }));
    // Frame 5 is due 200 ms after the start.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(190));
    EXPECT_EQ(S_OK, control->Stop());
    OAFILTER_STATE state = -1;
    control->GetState(0, &state);
    EXPECT_EQ(State_Stopped, state);
}

TEST_F(StreamingTest, FailingSourceRaisesErrorAbortOnce) {
    auto graph = NewGraph();
    auto* src = new TestSource(TestSource::Mode::Unpaced);
    auto* sink = new NullRenderer(CLSID_TestRenderer, GUID_NULL, GUID_NULL);
    auto hold1 = Adopt<IBaseFilter>(src);
    auto hold2 = Adopt<IBaseFilter>(sink);
    graph->AddFilter(src, L"src");
    graph->AddFilter(sink, L"sink");
    graph->Connect(NthPin(src, PINDIR_OUTPUT).Get(), NthPin(sink, PINDIR_INPUT).Get());
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    graph.As(&control);
    graph.As(&events);
    src->FailNext();
    control->Run();
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 5000));
    EXPECT_EQ(EC_ERRORABORT, code);
    EXPECT_EQ(E_FAIL, static_cast<HRESULT>(p1));
    events->FreeEventParams(code, p1, p2);
    control->Stop();
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 0));
}

}  // namespace
