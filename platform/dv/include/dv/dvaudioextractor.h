// Audio extraction from DIF frames into interleaved 16-bit stereo PCM.
//
// Runs once a frame on a streaming thread and writes straight into the
// caller's buffers.  16-bit tapes give one pair (left from the first half of
// the sequences, right from the second); 32 kHz 12-bit tapes give the first
// pair from the first half and, on 4-channel tapes, a second pair from the
// second half, each expanded to 16 bits.
//
// Damaged audio is never played as noise:
//  - a frame that is short, inconsistent (size, standard, halves that
//    disagree) or whose AAUX source pack is missing, says "no audio" or gives
//    a sample count outside the standard's range becomes silence of the
//    nominal length (the last good rate, the standard's sample pattern) and
//    counts in SilencedFrames();
//  - a sample holding the error code (0x8000, or 0x800 in 12-bit) and every
//    sample of an audio block whose ID is wrong becomes 0 and counts in
//    ErrorSamples().
//
// One thread calls Extract; the counters may be read from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "dif.h"
#include "dvaudioinfo.h"

namespace dv {

// Each pair buffer must hold this many stereo samples (2 int16 each).
inline constexpr int kAudioBufferSamples = kMaxSamplesPerFrame;

struct AudioExtraction {
    int samples = 0;  // stereo samples written to each pair buffer
    int sampleRate = 48000;
    bool secondPair = false;                   // pair 2 was written
    bool silenced = false;                     // the whole frame was replaced by silence
    FrameFault frameFault = FrameFault::None;  // why, when the buffer was unusable
    AudioFault fault = AudioFault::None;       // why, when the format was unusable
    int errorSamples = 0;                      // samples replaced by 0 in this frame
};

class AudioExtractor {
public:
    // `pair2` may be null when the caller has no use for a second pair.
    AudioExtraction Extract(const uint8_t* data, size_t size, int16_t* pair1, int16_t* pair2);

    uint64_t SilencedFrames() const { return m_silencedFrames.load(std::memory_order_relaxed); }
    uint64_t ErrorSamples() const { return m_errorSamples.load(std::memory_order_relaxed); }

private:
    AudioExtraction Silence(FrameFault frameFault, AudioFault fault, int16_t* pair1,
                            int16_t* pair2);
    int Extract16(const FrameView& frame, const AudioInfo& info, int16_t* out);
    int Extract12(const FrameView& frame, const AudioInfo& info, int half, int16_t* out);

    Standard m_standard = Standard::PAL;  // of the last frame with a header
    int m_sampleRate = 48000;             // of the last good frame
    bool m_secondPair = false;            // of the last good frame
    int64_t m_frameIndex = 0;
    std::atomic<uint64_t> m_silencedFrames{0};
    std::atomic<uint64_t> m_errorSamples{0};
};

}  // namespace dv
