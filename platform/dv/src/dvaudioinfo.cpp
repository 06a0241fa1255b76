// AAUX source pack decoding and the per-frame sample counts.
#include "dv/dvaudioinfo.h"

#include "dv/difpacks.h"

namespace dv {

namespace {

constexpr int kRates[3] = {48000, 44100, 32000};
//                          48k   44.1k  32k
constexpr int kMinNTSC[3] = {1580, 1452, 1053};
constexpr int kMaxNTSC[3] = {1620, 1489, 1080};
constexpr int kMinPAL[3] = {1896, 1742, 1264};
constexpr int kMaxPAL[3] = {1944, 1786, 1296};

}  // namespace

int RateCode(int sampleRate) {
    for (int i = 0; i < 3; ++i)
        if (kRates[i] == sampleRate) return i;
    return -1;
}

int MinSamples(Standard standard, int sampleRate) {
    const int code = RateCode(sampleRate);
    if (code < 0) return 0;
    return standard == Standard::PAL ? kMinPAL[code] : kMinNTSC[code];
}

int MaxSamples(Standard standard, int sampleRate) {
    const int code = RateCode(sampleRate);
    if (code < 0) return 0;
    return standard == Standard::PAL ? kMaxPAL[code] : kMaxNTSC[code];
}

int NominalSamples(Standard standard, int sampleRate, int64_t index) {
    if (standard == Standard::PAL) return sampleRate / 25;
    if (sampleRate == 48000) return index % 5 == 0 ? 1600 : 1602;
    auto total = [&](int64_t n) { return n * sampleRate * 1001 / 30000; };
    return static_cast<int>(total(index + 1) - total(index));
}

AudioInfo ReadAudioInfo(const FrameView& frame) {
    AudioInfo info;
    const uint8_t* as = FindAauxPack(frame, 0, kPackAudioSource);
    if (as == nullptr) return info;  // NoSourcePack
    if ((as[2] & 0x0F) == 0x0F) {
        info.fault = AudioFault::NoAudio;
        return info;
    }
    if (((as[3] & 0x20) != 0) != (frame.standard == Standard::PAL)) {
        info.fault = AudioFault::Inconsistent;  // 50/60 flag contradicts the header
        return info;
    }
    const int smp = (as[4] >> 3) & 0x07;
    const int qu = as[4] & 0x07;
    if (smp > 2 || qu > 1 || (qu == 1 && smp != 2)) {
        info.fault = AudioFault::BadFormat;
        return info;
    }
    info.sampleRate = kRates[smp];
    info.quantization = qu == 1 ? Quantization::Nonlinear12 : Quantization::Linear16;
    info.locked = (as[1] & 0x80) == 0;
    info.samples = MinSamples(frame.standard, info.sampleRate) + (as[1] & 0x3F);
    if (info.samples > MaxSamples(frame.standard, info.sampleRate)) {
        info.fault = AudioFault::BadSampleCount;
        return info;
    }
    // The second half repeats the format; a second half that contradicts the
    // first means one of them is damaged, and nothing says which.
    const uint8_t* as1 = FindAauxPack(frame, 1, kPackAudioSource);
    const bool secondHasAudio = as1 != nullptr && (as1[2] & 0x0F) != 0x0F;
    if (secondHasAudio &&
        ((as1[4] & 0x3F) != (as[4] & 0x3F) || (as1[1] & 0x3F) != (as[1] & 0x3F))) {
        info.fault = AudioFault::Inconsistent;
        return info;
    }
    if (info.quantization == Quantization::Nonlinear12) {
        info.secondPair = secondHasAudio;
        info.rightChannel = false;
    } else {
        // A missing pack in the second half is damage, not a mono tape.
        info.rightChannel = as1 == nullptr || secondHasAudio;
    }
    info.fault = AudioFault::None;
    return info;
}

}  // namespace dv
