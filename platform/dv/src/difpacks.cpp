// Pack lookup in the subcode, VAUX and AAUX areas of a DIF frame.
#include "dv/difpacks.h"

#include <cstring>

namespace dv {

const uint8_t* FindSubcodePack(const FrameView& frame, uint8_t id, PackFilter accept) {
    for (int seq = 0; seq < frame.sequences(); ++seq) {
        for (int b = 0; b < 2; ++b) {
            const uint8_t* block = frame.block(seq, 1 + b);
            if (!BlockIdMatches(block, Section::Subcode, seq, b)) continue;
            for (int j = 0; j < 6; ++j) {
                const uint8_t* pack = block + 6 + 8 * j;
                if (pack[0] == id && (accept == nullptr || accept(pack, frame.standard)))
                    return pack;
            }
        }
    }
    return nullptr;
}

const uint8_t* FindVauxPack(const FrameView& frame, uint8_t id, PackFilter accept) {
    for (int seq = 0; seq < frame.sequences(); ++seq) {
        for (int b = 0; b < 3; ++b) {
            const uint8_t* block = frame.block(seq, 3 + b);
            if (!BlockIdMatches(block, Section::VAUX, seq, b)) continue;
            for (int k = 0; k < 15; ++k) {
                const uint8_t* pack = block + 3 + 5 * k;
                if (pack[0] == id && (accept == nullptr || accept(pack, frame.standard)))
                    return pack;
            }
        }
    }
    return nullptr;
}

const uint8_t* FindAauxPack(const FrameView& frame, int half, uint8_t id) {
    if (id < 0x50 || id > 0x55 || half < 0 || half > 1) return nullptr;
    const int perHalf = frame.sequences() / 2;
    for (int seq = half * perHalf; seq < (half + 1) * perHalf; ++seq) {
        const int a = AauxPackBlock(seq, id);
        const uint8_t* block = frame.data + AudioBlockOffset(seq, a);
        if (BlockIdMatches(block, Section::Audio, seq, a) && block[3] == id) return block + 3;
    }
    return nullptr;
}

namespace {
bool CopyPayload(const uint8_t* pack, uint8_t out[4]) {
    if (pack == nullptr) {
        std::memset(out, 0xFF, 4);
        return false;
    }
    std::memcpy(out, pack + 1, 4);
    return true;
}
}  // namespace

bool ReadDvInfoPacks(const FrameView& frame, DvInfoPacks& packs) {
    bool all = CopyPayload(FindAauxPack(frame, 0, kPackAudioSource), packs.aauxSrc);
    all &= CopyPayload(FindAauxPack(frame, 0, kPackAudioControl), packs.aauxCtl);
    all &= CopyPayload(FindAauxPack(frame, 1, kPackAudioSource), packs.aauxSrc1);
    all &= CopyPayload(FindAauxPack(frame, 1, kPackAudioControl), packs.aauxCtl1);
    all &= CopyPayload(FindVauxPack(frame, kPackVideoSource), packs.vauxSrc);
    all &= CopyPayload(FindVauxPack(frame, kPackVideoControl), packs.vauxCtl);
    return all;
}

}  // namespace dv
