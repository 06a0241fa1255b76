// The 5-byte packs of a DIF frame: an ID byte and four payload bytes
// PC1..PC4.  Subcode packs sit in the six sync blocks of each subcode
// block (at block byte 6 + 8j), VAUX packs fifteen to a VAUX block (at
// block byte 3 + 5k), AAUX packs one to an audio block (bytes 3-7).
// A pack is only taken from a block whose ID is right for its position.
#pragma once

#include <cstdint>

#include "dif.h"

namespace dv {

enum PackId : uint8_t {
    kPackTimecode = 0x13,
    kPackAudioSource = 0x50,
    kPackAudioControl = 0x51,
    kPackAudioRecDate = 0x52,
    kPackAudioRecTime = 0x53,
    kPackVideoSource = 0x60,
    kPackVideoControl = 0x61,
    kPackVideoRecDate = 0x62,
    kPackVideoRecTime = 0x63,
    kPackNone = 0xFF,
};

// Each finder returns a pointer to the pack's ID byte inside the frame, or
// nullptr.  The first pack in frame order with the ID wins; with `accept`,
// the first one `accept` also takes (packs are repeated across the
// sequences, so a damaged copy need not hide a good one).
using PackFilter = bool (*)(const uint8_t* pack, Standard standard);
const uint8_t* FindSubcodePack(const FrameView& frame, uint8_t id, PackFilter accept = nullptr);
const uint8_t* FindVauxPack(const FrameView& frame, uint8_t id, PackFilter accept = nullptr);

// AAUX packs 0x50-0x55 of one half of the sequences (0: the first half,
// which carries the first channel or pair; 1: the second half).  Even
// sequences hold pack 0x50+i in audio block 3+i, odd ones in block i.
const uint8_t* FindAauxPack(const FrameView& frame, int half, uint8_t id);

// Audio block that holds AAUX pack `id` (0x50-0x55) in sequence `seq`.
constexpr int AauxPackBlock(int seq, uint8_t id) { return (seq % 2 == 0 ? 3 : 0) + (id - 0x50); }

// PC1..PC4 of the packs an AVI stream header describes the tape with; the
// "1" fields come from the second half of the sequences.  A missing pack
// reads as FF FF FF FF.
struct DvInfoPacks {
    uint8_t aauxSrc[4];
    uint8_t aauxCtl[4];
    uint8_t aauxSrc1[4];
    uint8_t aauxCtl1[4];
    uint8_t vauxSrc[4];
    uint8_t vauxCtl[4];
};

// True if every one of the six packs was found.
bool ReadDvInfoPacks(const FrameView& frame, DvInfoPacks& packs);

// PC1..PC4 as a little-endian 32-bit value (PC1 the low byte).
constexpr uint32_t PackDword(const uint8_t pc[4]) {
    return uint32_t(pc[0]) | uint32_t(pc[1]) << 8 | uint32_t(pc[2]) << 16 | uint32_t(pc[3]) << 24;
}

}  // namespace dv
