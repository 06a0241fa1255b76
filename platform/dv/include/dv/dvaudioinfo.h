// The audio format of a DIF frame, from the AAUX source pack (0x50) of each
// half of the sequences:
//   PC1 = LF b7 (1: unlocked), AF_SIZE b5-0 (samples in this frame minus
//         the standard's minimum)
//   PC2 = SM b7, CHN b6-5, PA b4, AUDIO_MODE b3-0 (0xF: no audio)
//   PC3 = ML b7, 50/60 b5, STYPE b4-0
//   PC4 = EF b7, TC b6, SMP b5-3 (0: 48 kHz, 1: 44.1, 2: 32), QU b2-0
//         (0: 16-bit linear, 1: 12-bit nonlinear)
// The first half carries the left channel (16-bit) or the first stereo pair
// (12-bit); the second half the right channel or the second pair, which
// exists only at 32 kHz 12-bit when that half's AUDIO_MODE is not 0xF.
#pragma once

#include <cstdint>

#include "dif.h"

namespace dv {

enum class Quantization { Linear16, Nonlinear12 };

enum class AudioFault {
    None,
    NoSourcePack,    // the first half has no AAUX source pack
    NoAudio,         // AUDIO_MODE 0xF: nothing recorded
    BadFormat,       // unknown rate or quantisation, or 12-bit other than 32 kHz
    BadSampleCount,  // samples in this frame outside the standard's range
    Inconsistent,    // the halves disagree, or the pack's 50/60 flag contradicts the header
};

struct AudioInfo {
    AudioFault fault = AudioFault::NoSourcePack;
    int sampleRate = 0;  // 48000, 44100 or 32000
    Quantization quantization = Quantization::Linear16;
    bool locked = false;       // LF clear; informational (writers disagree on its sense)
    int samples = 0;           // per channel, in this frame
    bool secondPair = false;   // 12-bit: the second half carries channels 3 and 4
    bool rightChannel = true;  // 16-bit: the second half carries the right channel
    bool ok() const { return fault == AudioFault::None; }
};

AudioInfo ReadAudioInfo(const FrameView& frame);

// Samples per channel a frame may carry at this rate (0 for other rates).
int MinSamples(Standard standard, int sampleRate);
int MaxSamples(Standard standard, int sampleRate);
inline constexpr int kMaxSamplesPerFrame = 1944;  // 625/50 at 48 kHz

// Samples in frame number `index` of a continuous recording at this rate:
// the exact count for 625/50 and the locked 48 kHz 525/60 pattern
// (1600, 1602, 1602, 1602, 1602); otherwise the running total rounded down.
int NominalSamples(Standard standard, int sampleRate, int64_t index);

// SMP field value for a rate, -1 for another rate.
int RateCode(int sampleRate);

}  // namespace dv
