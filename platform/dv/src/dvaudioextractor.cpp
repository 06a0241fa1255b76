// De-shuffling of DIF audio blocks into interleaved PCM.
#include "dv/dvaudioextractor.h"

#include <algorithm>
#include <cstring>

#include "dv/dvaudioshuffle.h"
#include "dv/dvsample12.h"

namespace dv {

AudioExtraction AudioExtractor::Extract(const uint8_t* data, size_t size, int16_t* pair1,
                                        int16_t* pair2) {
    FrameView frame;
    if (!ViewFrame(data, size, frame)) {
        // No header, or fewer bytes than the header promises.  A header
        // still tells the standard of the silence, else a frame's size does.
        if (ReadStandard(data, size, m_standard))
            return Silence(FrameFault::Short, AudioFault::None, pair1, pair2);
        if (size == kFrameSizeNTSC) m_standard = Standard::NTSC;
        if (size == kFrameSizePAL) m_standard = Standard::PAL;
        return Silence(FrameFault::NoHeader, AudioFault::None, pair1, pair2);
    }
    m_standard = frame.standard;
    if (size != FrameSize(frame.standard))
        return Silence(FrameFault::Long, AudioFault::None, pair1, pair2);
    const AudioInfo info = ReadAudioInfo(frame);
    if (!info.ok()) return Silence(FrameFault::None, info.fault, pair1, pair2);

    AudioExtraction result;
    result.samples = info.samples;
    result.sampleRate = info.sampleRate;
    if (info.quantization == Quantization::Linear16) {
        result.errorSamples = Extract16(frame, info, pair1);
    } else {
        result.errorSamples = Extract12(frame, info, 0, pair1);
        if (info.secondPair && pair2 != nullptr) {
            result.errorSamples += Extract12(frame, info, 1, pair2);
            result.secondPair = true;
        }
    }
    m_sampleRate = info.sampleRate;
    m_secondPair = info.secondPair;
    ++m_frameIndex;
    if (result.errorSamples != 0)
        m_errorSamples.fetch_add(result.errorSamples, std::memory_order_relaxed);
    return result;
}

AudioExtraction AudioExtractor::Silence(FrameFault frameFault, AudioFault fault, int16_t* pair1,
                                        int16_t* pair2) {
    AudioExtraction result;
    result.silenced = true;
    result.frameFault = frameFault;
    result.fault = fault;
    result.sampleRate = m_sampleRate;
    result.samples = NominalSamples(m_standard, m_sampleRate, m_frameIndex++);
    std::memset(pair1, 0, sizeof(int16_t) * 2 * result.samples);
    if (m_secondPair && pair2 != nullptr) {
        std::memset(pair2, 0, sizeof(int16_t) * 2 * result.samples);
        result.secondPair = true;
    }
    m_silencedFrames.fetch_add(1, std::memory_order_relaxed);
    return result;
}

namespace {

// Number of slots of an audio block that hold samples below `samples`.
int UsedSlots(int first, int stride, int slots, int samples) {
    return first >= samples ? 0 : std::min(slots, (samples - first + stride - 1) / stride);
}

}  // namespace

int AudioExtractor::Extract16(const FrameView& frame, const AudioInfo& info, int16_t* out) {
    const AudioShuffle& shuffle = ShuffleFor(frame.standard);
    const int perHalf = shuffle.sequencesPerHalf;
    const int samples = info.samples;
    int errors = 0;
    for (int channel = 0; channel < 2; ++channel) {
        int16_t* dst = out + channel;
        if (channel == 1 && !info.rightChannel) {
            for (int n = 0; n < samples; ++n) dst[2 * n] = 0;
            continue;
        }
        for (int s = 0; s < perHalf; ++s) {
            const int seq = channel * perHalf + s;
            for (int a = 0; a < 9; ++a) {
                const uint8_t* block = frame.data + AudioBlockOffset(seq, a);
                const int first = shuffle.first[s][a];
                const int used = UsedSlots(first, shuffle.stride, 36, samples);
                if (!BlockIdMatches(block, Section::Audio, seq, a)) {
                    for (int k = 0; k < used; ++k) dst[2 * (first + k * shuffle.stride)] = 0;
                    errors += used;
                    continue;
                }
                const uint8_t* src = block + 8;
                for (int k = 0, n = first; k < used; ++k, n += shuffle.stride, src += 2) {
                    const uint16_t v = static_cast<uint16_t>(src[0] << 8 | src[1]);
                    if (v == kError16) ++errors;
                    dst[2 * n] = v == kError16 ? 0 : static_cast<int16_t>(v);
                }
            }
        }
    }
    return errors;
}

int AudioExtractor::Extract12(const FrameView& frame, const AudioInfo& info, int half,
                              int16_t* out) {
    const AudioShuffle& shuffle = ShuffleFor(frame.standard);
    const int perHalf = shuffle.sequencesPerHalf;
    const int samples = info.samples;
    int errors = 0;
    for (int s = 0; s < perHalf; ++s) {
        const int seq = half * perHalf + s;
        for (int a = 0; a < 9; ++a) {
            const uint8_t* block = frame.data + AudioBlockOffset(seq, a);
            const int first = shuffle.first[s][a];
            const int used = UsedSlots(first, shuffle.stride, 24, samples);
            if (!BlockIdMatches(block, Section::Audio, seq, a)) {
                for (int k = 0; k < used; ++k) {
                    const int n = first + k * shuffle.stride;
                    out[2 * n] = out[2 * n + 1] = 0;
                }
                errors += 2 * used;
                continue;
            }
            const uint8_t* src = block + 8;
            for (int k = 0, n = first; k < used; ++k, n += shuffle.stride, src += 3) {
                const uint16_t y = static_cast<uint16_t>(src[0] << 4 | src[2] >> 4);
                const uint16_t z = static_cast<uint16_t>(src[1] << 4 | (src[2] & 0x0F));
                errors += (y == kError12) + (z == kError12);
                out[2 * n] = y == kError12 ? 0 : Expand12(y);
                out[2 * n + 1] = z == kError12 ? 0 : Expand12(z);
            }
        }
    }
    return errors;
}

}  // namespace dv
