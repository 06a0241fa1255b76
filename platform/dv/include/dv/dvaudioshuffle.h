// Where DV puts each audio sample.  Within one half of the sequences,
// channel sample n lies in sequence (n/3 + 2*(n%3)) % S of the half
// (S = 5 for 525/60, 6 for 625/50), audio block 3*(n%3) + (n%(3B))/B
// (B = 15 or 18) and slot n/(3B) of that block: 16-bit samples are big-endian
// pairs at block byte 8 + 2*slot, 12-bit pairs are 3-byte groups at
// 8 + 3*slot.
#pragma once

#include <cstdint>

#include "dif.h"

namespace dv {

struct AudioShuffle {
    int sequencesPerHalf;  // S
    int stride;            // 3B: samples between consecutive slots of a block
    // Sample number of slot 0 of audio block `a` in sequence `s` of a half;
    // slot k holds first[s][a] + k * stride.
    uint8_t first[6][9];
};

const AudioShuffle& ShuffleFor(Standard standard);

}  // namespace dv
