// Helpers of the virtual deck's tests: configuring decks, finding them
// through the system device enumerator, a recording sink, and the graph
// deck -> smart tee -> two sinks.
#pragma once

#include <control.h>
#include <dshow.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devices/virtualdeck.h"
#include "dv/dvtimecode.h"
#include "media/basefilter.h"
#include "media/basepin.h"
#include "media/iids.h"
#include "testsupport/pins.h"

DEFINE_GUID(CLSID_DeckTestSink, 0x7a1c0e55, 0x0b7d, 0x4d1e, 0x8a, 0x31, 0x00, 0x00, 0x00, 0x00,
            0x5e, 0x01);

namespace decktest {

// What a sink saw of one frame.
struct Seen {
    int64_t frame;     // tape frame number (the sample's media time)
    int64_t timecode;  // frames since 00:00:00:00 read from the subcode, -1 if none
    bool intact;       // every block ID where it belongs
    size_t size = 0;   // bytes in the sample
};

class SinkFilter;

class SinkPin final : public BaseInputPin {
public:
    SinkPin(SinkFilter* filter);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;

protected:
    HRESULT OnReceive(IMediaSample* sample) override;

private:
    SinkFilter* m_sink;
};

// Records every frame; can be made to hold a frame (a stalled consumer).
class SinkFilter final : public BaseFilter {
public:
    SinkFilter() : BaseFilter(CLSID_DeckTestSink), m_pin(this) {}
    int GetPinCount() override { return 1; }
    BasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    std::vector<Seen> Frames() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames.size();
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_frames.clear();
    }
    // While stalled, Receive waits (until released or the sink stops).
    void Stall(bool on) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stalled = on;
        }
        m_cv.notify_all();
    }
    // Arrival times of the frames, for pacing.
    std::vector<std::chrono::steady_clock::time_point> Arrivals() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_arrivals;
    }

private:
    friend class SinkPin;
    HRESULT Take(IMediaSample* sample);

    SinkPin m_pin;
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_stalled = false;
    std::vector<Seen> m_frames;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
};

// Sets the deck variables (empty values unset them) and reloads.
void Configure(const std::string& decks, const std::string& pacing = "unpaced",
               const std::string& control = std::string());

// The monikers of the video input category and their friendly names.
std::vector<ComPtr<IMoniker>> ListDevices();
std::wstring FriendlyName(IMoniker* moniker);
// The deck's filter by friendly name (null when it is not listed).
ComPtr<IBaseFilter> BindDeck(const std::wstring& name);

// deck -> smart tee -> capture sink, preview sink.
struct TestGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> deck;
    ComPtr<IBaseFilter> tee;
    ComPtr<SinkFilter> capture, preview;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;

    // False (with a test failure) when the graph cannot be built.
    bool Build(IBaseFilter* deckFilter);
    ComPtr<IAMExtTransport> Transport();
    ComPtr<IAMDroppedFrames> Dropped();
    long Mode();
    // The timecode read through IAMTimecodeReader, as frames since 00:00:00:00.
    int64_t Timecode();
    // Events queued so far: (code, param1, param2).
    std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> TakeEvents();
};

bool WaitFor(const std::function<bool()>& cond, int ms = 10000);

class DeckTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A raw DV file of `frames` frames of the built-in tape of `standard`,
// optionally changed frame by frame.
std::string WriteTapeFile(const std::string& dir, dv::Standard standard, int frames,
                          const std::function<void(int, uint8_t*)>& change = nullptr);

}  // namespace decktest
