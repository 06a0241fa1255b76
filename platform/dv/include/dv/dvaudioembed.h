// Writing audio into a DIF frame: the AAUX source and source-control packs
// of every sequence and the shuffled samples; the inverse of
// AudioExtractor.  Used to make and patch test tapes.
#pragma once

#include <cstdint>

#include "dif.h"
#include "dvaudioinfo.h"

namespace dv {

struct AudioLayout {
    int sampleRate = 48000;
    Quantization quantization = Quantization::Linear16;  // 12-bit only at 32 kHz
    bool locked = true;
    int samples = 0;  // per channel in this frame, within the standard's range
};

// `frame` must hold one whole frame of `standard` with correct block IDs.
// 16-bit: `pair1` (interleaved stereo) goes left into the first half of the
// sequences and right into the second; `pair2` must be null.  12-bit:
// `pair1` fills the first half; `pair2` the second half, or, when null, the
// second half is marked as carrying no audio.  Samples are clipped so that
// none reads as the error code.  False (frame untouched) for a layout the
// format cannot carry.
bool WriteAudio(uint8_t* frame, Standard standard, const AudioLayout& layout, const int16_t* pair1,
                const int16_t* pair2);

}  // namespace dv
