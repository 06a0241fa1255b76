// Shuffling samples and AAUX packs into DIF audio blocks.
#include "dv/dvaudioembed.h"

#include <cstring>

#include "dv/difpacks.h"
#include "dv/dvaudioshuffle.h"
#include "dv/dvsample12.h"

namespace dv {

namespace {

void WriteSourcePack(uint8_t* pack, Standard standard, const AudioLayout& layout, int half,
                     bool hasAudio) {
    const bool twelve = layout.quantization == Quantization::Nonlinear12;
    pack[0] = kPackAudioSource;
    pack[1] = static_cast<uint8_t>((layout.locked ? 0x00 : 0x80) | 0x40 |
                                   (layout.samples - MinSamples(standard, layout.sampleRate)));
    // CHN 1 (two channels a block) for 12-bit; AUDIO_MODE: the channel or
    // pair number within the block's half, 0xF when nothing is recorded.
    const int mode = !hasAudio ? 0x0F : twelve ? 0 : half;
    pack[2] = static_cast<uint8_t>((twelve ? 0x20 : 0x00) | mode);
    pack[3] = static_cast<uint8_t>(0xC0 | (standard == Standard::PAL ? 0x20 : 0x00));
    pack[4] = static_cast<uint8_t>(0x80 | RateCode(layout.sampleRate) << 3 | (twelve ? 1 : 0));
}

void WriteControlPack(uint8_t* pack, Standard standard) {
    pack[0] = kPackAudioControl;
    pack[1] = 0x3F;  // copy free; source, compression and situation not given
    pack[2] = 0xCF;  // not a start or end of recording; original recording
    pack[3] = static_cast<uint8_t>(
        0x80 | (standard == Standard::PAL ? 0x20 : 0x78));  // forward, normal speed
    pack[4] = 0xFF;
}

int16_t Clip(int16_t v) { return v == INT16_MIN ? static_cast<int16_t>(-32767) : v; }

}  // namespace

bool WriteAudio(uint8_t* frame, Standard standard, const AudioLayout& layout, const int16_t* pair1,
                const int16_t* pair2) {
    const bool twelve = layout.quantization == Quantization::Nonlinear12;
    if (RateCode(layout.sampleRate) < 0 || (twelve && layout.sampleRate != 32000) ||
        (!twelve && pair2 != nullptr) || layout.samples < MinSamples(standard, layout.sampleRate) ||
        layout.samples > MaxSamples(standard, layout.sampleRate))
        return false;

    const AudioShuffle& shuffle = ShuffleFor(standard);
    const int perHalf = shuffle.sequencesPerHalf;
    for (int half = 0; half < 2; ++half) {
        const int16_t* src = twelve && half == 1 ? pair2 : pair1;
        const bool hasAudio = src != nullptr;
        for (int s = 0; s < perHalf; ++s) {
            const int seq = half * perHalf + s;
            for (int a = 0; a < 9; ++a) {
                uint8_t* block = frame + AudioBlockOffset(seq, a);
                uint8_t* pack = block + 3;
                if (a == AauxPackBlock(seq, kPackAudioSource))
                    WriteSourcePack(pack, standard, layout, half, hasAudio);
                else if (a == AauxPackBlock(seq, kPackAudioControl))
                    WriteControlPack(pack, standard);
                else
                    std::memset(pack, 0xFF, 5);

                uint8_t* dst = block + 8;
                std::memset(dst, 0, 72);
                if (!hasAudio) continue;
                const int first = shuffle.first[s][a];
                if (!twelve) {
                    for (int k = 0, n = first; k < 36 && n < layout.samples;
                         ++k, n += shuffle.stride) {
                        const uint16_t v = static_cast<uint16_t>(Clip(src[2 * n + half]));
                        dst[2 * k] = static_cast<uint8_t>(v >> 8);
                        dst[2 * k + 1] = static_cast<uint8_t>(v);
                    }
                } else {
                    for (int k = 0, n = first; k < 24 && n < layout.samples;
                         ++k, n += shuffle.stride) {
                        const uint16_t y = Compress12(src[2 * n]);
                        const uint16_t z = Compress12(src[2 * n + 1]);
                        dst[3 * k] = static_cast<uint8_t>(y >> 4);
                        dst[3 * k + 1] = static_cast<uint8_t>(z >> 4);
                        dst[3 * k + 2] = static_cast<uint8_t>((y & 0x0F) << 4 | (z & 0x0F));
                    }
                }
            }
        }
    }
    return true;
}

}  // namespace dv
