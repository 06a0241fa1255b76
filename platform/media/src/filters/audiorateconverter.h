// Converts 16-bit stereo audio from one rate to another with libswresample,
// frame by frame and continuous across frames, for a tape whose audio rate
// changes part-way while its stream keeps one rate.
//
// A converted stretch lags by the resampler's delay (under a millisecond):
// its first frame comes out that much shorter, and the samples the delay
// holds come out when the rate changes again, ahead of the next frame's
// samples, or at Flush(). So a stretch keeps its exact length and the
// frames around it, at the stream's own rate, stay sample-identical and in
// their places. One thread.
#pragma once

#include <cstdint>

struct SwrContext;

namespace media {

class AudioRateConverter {
public:
    // Most samples a call returns beyond its frame's own (the delay flushed).
    static constexpr int kMaxExtraSamples = 128;

    AudioRateConverter() = default;
    ~AudioRateConverter();
    AudioRateConverter(const AudioRateConverter&) = delete;
    AudioRateConverter& operator=(const AudioRateConverter&) = delete;

    // Writes `n` stereo samples at `inRate`, converted to `outRate`, into
    // `out` (room for `maxOut`); returns the samples written. At the same
    // rate the samples are copied as they are.
    int Convert(const int16_t* in, int n, int inRate, int outRate, int16_t* out, int maxOut);
    // What the delay still holds of a converted stretch.
    int Flush(int16_t* out, int maxOut);
    // Forgets the stretch (a new run).
    void Reset();

private:
    SwrContext* m_swr = nullptr;
    int m_inRate = 0, m_outRate = 0;
};

}  // namespace media
