// VAUX source and source-control packs; the deck's signal code.
#include "dv/dvvideoinfo.h"

#include "dv/difpacks.h"

namespace dv {

namespace {
constexpr int kStypeSDL = 0x01;
}  // namespace

VideoInfo ReadVideoInfo(const FrameView& frame) {
    VideoInfo info;
    if (const uint8_t* vs = FindVauxPack(frame, kPackVideoSource)) {
        info.stype = vs[3] & 0x1F;
        info.sdl = info.stype == kStypeSDL;
    } else {
        info.stype = -1;
    }
    if (const uint8_t* vsc = FindVauxPack(frame, kPackVideoControl)) {
        // Display mode 2 is 16:9 full format; 7 is 16:9 too in frames whose
        // header has APT 0 (the consumer format).
        const int display = vsc[2] & 0x07;
        const int apt = frame.data[4] & 0x07;
        if (display == 2 || (apt == 0 && display == 7)) info.aspect = Aspect::Ratio16x9;
    }
    return info;
}

int32_t SignalCode(const FrameView& frame) {
    const bool sdl = ReadVideoInfo(frame).sdl;
    if (frame.standard == Standard::PAL) return sdl ? kSignal625_50_SDL : kSignal625_50_SD;
    return sdl ? kSignal525_60_SDL : kSignal525_60_SD;
}

}  // namespace dv
