// One virtual deck: its tape and transport, whether it is plugged in, the
// filters bound to it and the streams it feeds.
//
// Pacing.  Real time: a motor thread of the deck moves the tape one frame
// period at a time on the steady clock, whether or not anything streams,
// and puts each frame shown into the receive queue of every stream whose
// filter runs.  The queue holds kReceiveQueue frames, like the buffers of
// a real bus; a frame that finds it full is dropped and counted.
// Unpaced: no motor; each stream moves the tape itself when it takes its
// next frame, as fast as the graph takes them, and nothing is dropped.
//
// Locks: the device's lock (dvdevice.h) guards the transport too.
#pragma once

#include <windef.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decktransport.h"
#include "devices/deckconfig.h"
#include "dvdevice.h"
#include "strmif.h"
#include "tape.h"

namespace dvdeck {

inline constexpr size_t kReceiveQueue = 4;
// Repeats of the cached test tape on a built-in tape (about an hour).
inline constexpr int kBuiltinRepeats = 360;

// What the frame under the head carries: its standard, the packs a
// connection type describes it with, and the signal code the deck reports.
struct DeckFormat {
    dv::Standard standard = dv::Standard::PAL;
    DVINFO dvinfo{};
    long signal = 0;
};

// The deck's side of one stream: the tape frames shown to it, not yet
// taken (dropped: frames that found the queue full).
struct DeckStream : DvStream {
    std::deque<int64_t> queue;  // guarded by the deck's lock
    // Unpaced: when the next still frame is due (guarded by the deck's lock).
    std::chrono::steady_clock::time_point stillDue{};
};

class Deck final : public DvDevice {
public:
    // Opens the tape; null with *error set when it cannot be used.
    static std::shared_ptr<Deck> Open(const DeckConfig& config, bool realTime, std::string* error);
    ~Deck() override;

    const DeckConfig& Config() const { return m_config; }
    const Tape& GetTape() const { return *m_tape; }
    // The signal code the deck reports for tape frame `frame`, whose
    // bytes are `data` (the configured code overrides the tape's).
    long SignalOf(int64_t frame, const uint8_t* data, size_t size) const;
    bool RealTime() const { return m_realTime; }
    // One frame period in 100 ns units (exact for frame number n: n * num / den).
    REFERENCE_TIME FrameStart(int64_t n) const;

    // Transport (fails while unplugged).
    HRESULT PutMode(long mode) override;
    HRESULT GetMode(long* mode) override;
    // The timecode under the head.
    HRESULT GetTimecode(DWORD* bcd) override;
    // The signal code of the frame under the head.
    HRESULT GetSignalCode(long* code) override;
    bool HasTimecodeReader() const override { return m_config.timecodeReader; }
    // The format of the frame under the head; also while unplugged, so
    // that a connection describes what the tape holds.
    HRESULT HeadFormat(DeckFormat* format);

    // Streams.  NextFrame blocks until the stream has a frame (true) or
    // stops, or the deck is unplugged (false).
    void Attach(DeckStream* s);
    void Detach(DeckStream* s);
    bool NextFrame(DeckStream* s, int64_t* frame);
    // Counts a frame delivered (the unplug-after fault).
    void FrameDelivered();

    // Ends the motor thread (also done by the destructor).
    void Shutdown();

private:
    Deck(const DeckConfig& config, std::unique_ptr<Tape> tape, bool realTime);
    void MotorLoop();
    void ClearQueuesLocked() override;
    int64_t HeadPosition();
    // Reads the frame under the head into the head cache; under m_headLock.
    bool ReadHeadLocked(int64_t head);

    const DeckConfig m_config;
    const std::unique_ptr<Tape> m_tape;
    const bool m_realTime;

    std::atomic<long> m_delivered{0};

    DeckTransport m_transport;           // guarded by m_lock
    std::vector<DeckStream*> m_streams;  // guarded by m_lock
    bool m_motorStop = false;
    std::thread m_motor;

    // The frame under the head, read once for the timecode and format calls.
    std::mutex m_headLock;
    int64_t m_headFrame = -1;
    DWORD m_headBcd = 0;
    DeckFormat m_headFormat;
    std::vector<uint8_t> m_headBuffer;
};

}  // namespace dvdeck
