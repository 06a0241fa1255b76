// 32 kHz 12-bit rewrite of a tape's audio.
#include "dv/dvaudiopatch.h"

#include <algorithm>

#include "dv/dvaudioembed.h"
#include "dv/dvaudioextractor.h"

namespace dv {

bool PatchAudioTo32k12(std::vector<uint8_t>& tape, bool fourChannels) {
    Standard standard;
    if (!ReadStandard(tape.data(), tape.size(), standard)) return false;
    const size_t frameSize = FrameSize(standard);
    if (tape.size() % frameSize != 0) return false;
    const size_t frames = tape.size() / frameSize;

    // The whole tape's audio first, so that resampling runs across frames.
    std::vector<int16_t> source;
    int sourceRate = 48000;
    {
        AudioExtractor extractor;
        int16_t pcm[2 * kAudioBufferSamples];
        for (size_t f = 0; f < frames; ++f) {
            const AudioExtraction got =
                extractor.Extract(tape.data() + f * frameSize, frameSize, pcm, nullptr);
            if (!got.silenced) sourceRate = got.sampleRate;
            source.insert(source.end(), pcm, pcm + 2 * got.samples);
        }
    }
    const size_t sourceSamples = source.size() / 2;

    auto sampleAt = [&](int64_t j, int channel) -> int16_t {
        // Position of output sample j in source samples, in 1/32000 units.
        const int64_t pos = j * sourceRate;
        const int64_t i = pos / 32000;
        const int64_t frac = pos % 32000;
        if (sourceSamples == 0) return 0;
        const int16_t a = source[2 * std::min<size_t>(i, sourceSamples - 1) + channel];
        const int16_t b = source[2 * std::min<size_t>(i + 1, sourceSamples - 1) + channel];
        return static_cast<int16_t>(a + (b - a) * frac / 32000);
    };
    auto invert = [](int16_t v) { return static_cast<int16_t>(v == INT16_MIN ? INT16_MAX : -v); };

    int64_t next = 0;
    int16_t pair1[2 * kAudioBufferSamples];
    int16_t pair2[2 * kAudioBufferSamples];
    for (size_t f = 0; f < frames; ++f) {
        AudioLayout layout;
        layout.sampleRate = 32000;
        layout.quantization = Quantization::Nonlinear12;
        layout.samples = NominalSamples(standard, 32000, static_cast<int64_t>(f));
        for (int n = 0; n < layout.samples; ++n) {
            pair1[2 * n] = sampleAt(next + n, 0);
            pair1[2 * n + 1] = sampleAt(next + n, 1);
            pair2[2 * n] = invert(pair1[2 * n + 1]);
            pair2[2 * n + 1] = invert(pair1[2 * n]);
        }
        next += layout.samples;
        if (!WriteAudio(tape.data() + f * frameSize, standard, layout, pair1,
                        fourChannels ? pair2 : nullptr))
            return false;
    }
    return true;
}

}  // namespace dv
