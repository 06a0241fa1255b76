// Small filters for the media framework's tests: a frame source (unpaced,
// paced by the clock, or stepped by the test), a DV-splitter-shaped
// filter, a decoder-shaped filter, a null renderer with a video window, a
// multiplexer-shaped counting sink that grows inputs, and a file sink.
#pragma once

#include <control.h>
#include <dshow.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/sourcestream.h"
#include "testsupport/pins.h"

DEFINE_GUID(CLSID_TestSource, 0x1e0f5d10, 0x0001, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x01);
DEFINE_GUID(CLSID_TestRenderer, 0x1e0f5d10, 0x0002, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x02);
DEFINE_GUID(CLSID_TestSink, 0x1e0f5d10, 0x0003, 0x4a00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x03);

constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 frames per second
constexpr long kFrameBytes = 144000;

// ---- source ------------------------------------------------------------

class TestSource;

class TestSourcePin final : public SourceStreamPin, public IAMDroppedFrames {
public:
    explicit TestSourcePin(TestSource* source);
    MEDIA_PIN_IUNKNOWN
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetNumDropped(long* p) override;
    STDMETHODIMP GetNumNotDropped(long* p) override;

protected:
    void* GetPinInterface(REFIID riid) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* req) override;
    HRESULT FillBuffer(IMediaSample* sample) override;

private:
    TestSource* m_source;
};

class TestSource final : public BaseFilter {
public:
    enum class Mode { Unpaced, Paced, Stepped };
    explicit TestSource(Mode mode, long frameBytes = kFrameBytes, long buffers = 4);

    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    // Stepped mode: lets n more frames go.
    void Step(int n);
    // Unpaced mode: the stream ends after this many frames (0: never).
    void SetLimit(long frames) { m_limit = frames; }
    long Produced() const { return m_produced.load(); }
    // The allocator's buffers, to tell a frame delivered by reference.
    IMemAllocator* Allocator() { return m_pin.Allocator(); }
    // Makes FillBuffer fail (an error of the device).
    void FailNext() { m_fail = true; }

private:
    friend class TestSourcePin;
    HRESULT Fill(IMediaSample* sample);

    const Mode m_mode;
    const long m_frameBytes, m_buffers;
    TestSourcePin m_pin;
    std::atomic<long> m_limit{0};
    std::atomic<long> m_produced{0};
    std::atomic<bool> m_fail{false};
    std::mutex m_stepLock;
    std::condition_variable m_stepCv;
    int m_permits = 0;
};

// ---- generic input-side filters ----------------------------------------

class CountingInput;

// Something that counts what reaches it.
struct Counter {
    std::atomic<long> frames{0};
    std::atomic<long> byReference{0};  // frames whose buffer is the source's own
    std::atomic<long> endOfStream{0};
    std::atomic<long> lastFrame{-1};
};

class CountingInput final : public BaseInputPin {
public:
    CountingInput(BaseFilter* filter, LPCWSTR name, GUID major, GUID sub, Counter* counter,
                  std::function<HRESULT(IMediaSample*)> onSample = nullptr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetMediaType(int n, AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT OnReceive(IMediaSample* sample) override;
    HRESULT OnEndOfStream() override;

private:
    const GUID m_major, m_sub;
    Counter* m_counter;
    std::function<HRESULT(IMediaSample*)> m_onSample;
};

// Null renderer: one input, counts frames, offers IVideoWindow.
class NullRenderer final : public BaseFilter, public IVideoWindow {
public:
    NullRenderer(const CLSID& clsid, GUID major, GUID sub, int delayMs = 0);
    MEDIA_FILTER_IUNKNOWN
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_input : nullptr; }

    STDMETHODIMP put_WindowStyle(long v) override;
    STDMETHODIMP get_WindowStyle(long* v) override;
    STDMETHODIMP put_Visible(long v) override;
    STDMETHODIMP put_Owner(OAHWND v) override;
    STDMETHODIMP put_MessageDrain(OAHWND v) override;
    STDMETHODIMP SetWindowPosition(long l, long t, long w, long h) override;

    Counter counter;
    std::atomic<long> visible{0};
    std::atomic<long> style{0x00CF0000};
    std::atomic<OAHWND> owner{0};
    std::atomic<long> width{0};
    IMemAllocator* Source = nullptr;  // when set: frames from it count as by reference

protected:
    void* GetInterface(REFIID riid) override;

private:
    int m_delayMs;
    CountingInput m_input;
};

// A pass-through with one input and several outputs of given types (DV
// splitter shaped) or one output (decoder shaped).
class PassThrough final : public BaseFilter {
public:
    struct Out {
        GUID major, sub;
    };
    PassThrough(const CLSID& clsid, GUID inMajor, GUID inSub, std::vector<Out> outs);
    ~PassThrough() override;
    int GetPinCount() override;
    BasePin* GetPin(int n) override;
    Counter counter;

private:
    class OutPin;
    CountingInput m_input;
    std::vector<OutPin*> m_outs;
};

// Multiplexer-shaped sink: grows a new input at each connection, one
// output of MEDIATYPE_Stream, IConfigAviMux and IConfigInterleaving.
class GrowingSink final : public BaseFilter, public IConfigAviMux, public IConfigInterleaving {
public:
    explicit GrowingSink(const CLSID& clsid = CLSID_TestSink);
    ~GrowingSink() override;
    MEDIA_FILTER_IUNKNOWN
    int GetPinCount() override;
    BasePin* GetPin(int n) override;
    STDMETHODIMP SetOutputCompatibilityIndex(BOOL f) override;
    STDMETHODIMP put_Mode(InterleavingMode m) override;

    // Frames received on input n.
    long Frames(size_t n);
    size_t InputCount();
    std::atomic<BOOL> compatIndex{FALSE};
    std::atomic<int> interleave{-1};
    IMemAllocator* Source = nullptr;
    Counter total;

protected:
    void* GetInterface(REFIID riid) override;

private:
    class In;
    class OutPin;
    void Grow();
    std::vector<In*> m_inputs;
    std::vector<std::unique_ptr<Counter>> m_counters;
    OutPin* m_out;
};

// File-writer-shaped sink: input of MEDIATYPE_Stream, IFileSinkFilter.
class TestFileSink final : public BaseFilter, public IFileSinkFilter {
public:
    TestFileSink();
    MEDIA_FILTER_IUNKNOWN
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_input : nullptr; }
    STDMETHODIMP SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override;
    STDMETHODIMP GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    std::wstring FileName();
    Counter counter;

protected:
    void* GetInterface(REFIID riid) override;

private:
    std::mutex m_lock;
    std::wstring m_name;
    CountingInput m_input;
};

// Registers the program's filter classes with test stand-ins: DV splitter
// (iavs to dvsd video + two audio), DV video decoder (dvsd to RGB32), video
// renderer (null renderer), AVI mux (growing sink) and file writer, with
// their names and merits in the filter table.  Last created instances are
// kept for inspection.
struct StandIns {
    static void Register();
    static void Unregister();
    static std::atomic<NullRenderer*> lastRenderer;
    static std::atomic<GrowingSink*> lastMux;
    static std::atomic<TestFileSink*> lastWriter;
    static std::atomic<int> renderDelayMs;
};

// Helpers (the pin finder is NthPin, testsupport/pins.h).
std::vector<std::wstring> FilterNames(IFilterGraph* graph);
