// Subcode timecode pack: reading, writing and frame-count arithmetic.
#include "dv/dvtimecode.h"

#include "dv/difpacks.h"

namespace dv {

namespace {

// Value of a BCD byte whose tens digit has `tensBits` bits; -1 if a digit is
// out of range.
int Bcd(uint8_t byte, int tensBits) {
    const int units = byte & 0x0F;
    const int tens = (byte >> 4) & ((1 << tensBits) - 1);
    return units > 9 ? -1 : tens * 10 + units;
}

uint8_t ToBcd(int value) { return static_cast<uint8_t>((value / 10) << 4 | (value % 10)); }

constexpr int64_t kDayPAL = 24LL * 3600 * 25;
constexpr int64_t kFramesPer10MinDF = 17982;  // 10 * 1800 - 9 * 2
constexpr int64_t kFramesPerMinDF = 1798;
constexpr int64_t kDayNTSC = 144 * kFramesPer10MinDF;

}  // namespace

std::optional<Timecode> DecodeTimecodePack(const uint8_t pc[4], Standard standard) {
    Timecode tc;
    tc.frames = Bcd(pc[0], 2);
    tc.seconds = Bcd(pc[1], 3);
    tc.minutes = Bcd(pc[2], 3);
    tc.hours = Bcd(pc[3], 2);
    tc.dropFrame = standard == Standard::NTSC && (pc[0] & 0x40);
    const int fps = standard == Standard::PAL ? 25 : 30;
    if (tc.frames < 0 || tc.frames >= fps || tc.seconds < 0 || tc.seconds > 59 || tc.minutes < 0 ||
        tc.minutes > 59 || tc.hours < 0 || tc.hours > 23)
        return std::nullopt;
    return tc;
}

std::optional<Timecode> ReadTimecode(const FrameView& frame) {
    const uint8_t* pack = FindSubcodePack(frame, kPackTimecode, [](const uint8_t* p, Standard s) {
        return DecodeTimecodePack(p + 1, s).has_value();
    });
    if (pack == nullptr) return std::nullopt;
    return DecodeTimecodePack(pack + 1, frame.standard);
}

void EncodeTimecodePack(const Timecode& tc, uint8_t pc[4]) {
    pc[0] = ToBcd(tc.frames) | (tc.dropFrame ? 0x40 : 0);
    pc[1] = ToBcd(tc.seconds);
    pc[2] = ToBcd(tc.minutes);
    pc[3] = ToBcd(tc.hours);
}

Timecode TimecodeAt(int64_t index, Standard standard) {
    Timecode tc;
    int64_t count;
    int fps;
    if (standard == Standard::PAL) {
        fps = 25;
        count = ((index % kDayPAL) + kDayPAL) % kDayPAL;
    } else {
        fps = 30;
        tc.dropFrame = true;
        index = ((index % kDayNTSC) + kDayNTSC) % kDayNTSC;
        const int64_t tens = index / kFramesPer10MinDF;
        const int64_t rest = index % kFramesPer10MinDF;
        int64_t skipped = 18 * tens;
        if (rest >= 2) skipped += 2 * ((rest - 2) / kFramesPerMinDF);
        count = index + skipped;
    }
    tc.frames = static_cast<int>(count % fps);
    tc.seconds = static_cast<int>(count / fps % 60);
    tc.minutes = static_cast<int>(count / (fps * 60) % 60);
    tc.hours = static_cast<int>(count / (fps * 3600));
    return tc;
}

int64_t FrameIndexOf(const Timecode& tc, Standard standard) {
    const int64_t seconds = tc.hours * 3600LL + tc.minutes * 60LL + tc.seconds;
    if (standard == Standard::PAL) return seconds * 25 + tc.frames;
    const int64_t minutes = tc.hours * 60LL + tc.minutes;
    return seconds * 30 + tc.frames - 2 * (minutes - minutes / 10);
}

uint32_t TimecodeBcd(const Timecode& tc) {
    return uint32_t(ToBcd(tc.hours)) << 24 | uint32_t(ToBcd(tc.minutes)) << 16 |
           uint32_t(ToBcd(tc.seconds)) << 8 | ToBcd(tc.frames);
}

}  // namespace dv
