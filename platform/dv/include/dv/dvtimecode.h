// The SMPTE timecode of a DIF frame (subcode pack 0x13, BCD):
// PC1 = CF b7, DF b6, frame tens b5-4, units b3-0; PC2 = second tens b6-4,
// units; PC3 = minute tens b6-4, units; PC4 = hour tens b5-4, units.
// Other high bits are flags that are not part of the time and are ignored.
#pragma once

#include <cstdint>
#include <optional>

#include "dif.h"

namespace dv {

struct Timecode {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;
    bool dropFrame = false;  // 525/60 only; the bit means something else in 625/50
    bool operator==(const Timecode&) const = default;
};

// The frame's timecode, or nothing when the subcode has no timecode pack or
// its digits are not a time (a digit above 9, 60 seconds, 25 frames in
// 625/50, ...).
std::optional<Timecode> ReadTimecode(const FrameView& frame);

// Decodes / encodes the four payload bytes of a timecode pack.
std::optional<Timecode> DecodeTimecodePack(const uint8_t pc[4], Standard standard);
void EncodeTimecodePack(const Timecode& tc, uint8_t pc[4]);

// Timecode of the frame `index` frames after 00:00:00:00: 25 frames a second
// for PAL, 29.97 drop-frame for NTSC (frames 0 and 1 skipped at the start of
// every minute not divisible by ten).  Wraps at 24 hours.
Timecode TimecodeAt(int64_t index, Standard standard);
// The inverse: frames since 00:00:00:00.
int64_t FrameIndexOf(const Timecode& tc, Standard standard);

// Eight decimal digits, four bits each, from the most significant end:
// hour tens, hour units, minute tens, ... frame units (01:23:45:12 gives
// 0x01234512).
uint32_t TimecodeBcd(const Timecode& tc);

}  // namespace dv
