// What VAUX says about the picture, and the signal code a deck reports for
// a frame.
//   Source pack 0x60: PC3 = SRC b7-6, 50/60 b5, STYPE b4-0.
//   Source-control pack 0x61: PC2 b2-0 = display mode (aspect).
// STYPE 0 is standard-definition DV; 1 is taken as the half-rate SDL
// variant.  Frames without a source pack count as standard definition.
#pragma once

#include <cstdint>

#include "dif.h"

namespace dv {

enum class Aspect { Ratio4x3, Ratio16x9 };

// Transport signal codes (basic transport parameter "input signal").
inline constexpr int32_t kSignal525_60_SD = 5038;
inline constexpr int32_t kSignal525_60_SDL = 5039;
inline constexpr int32_t kSignal625_50_SD = 5040;
inline constexpr int32_t kSignal625_50_SDL = 5041;

struct VideoInfo {
    Aspect aspect = Aspect::Ratio4x3;
    int stype = 0;  // -1 when the frame has no source pack
    bool sdl = false;
};

VideoInfo ReadVideoInfo(const FrameView& frame);

// 5038-5041 from the header's DSF bit and the source pack's STYPE.
int32_t SignalCode(const FrameView& frame);

}  // namespace dv
