#include "audiorateconverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace media {

AudioRateConverter::~AudioRateConverter() { Reset(); }

void AudioRateConverter::Reset() {
    swr_free(&m_swr);
    m_inRate = m_outRate = 0;
}

int AudioRateConverter::Flush(int16_t* out, int maxOut) {
    if (!m_swr) return 0;
    auto* dst = reinterpret_cast<uint8_t*>(out);
    const int n = swr_convert(m_swr, &dst, maxOut, nullptr, 0);
    Reset();
    return std::max(n, 0);
}

int AudioRateConverter::Convert(const int16_t* in, int n, int inRate, int outRate, int16_t* out,
                                int maxOut) {
    int written = 0;
    if (m_swr && (inRate != m_inRate || outRate != m_outRate))
        written = Flush(out, maxOut);  // the end of the previous stretch first
    if (n <= 0) return written;
    if (inRate == outRate) {
        const int count = std::min(n, maxOut - written);
        std::memcpy(out + 2 * written, in, static_cast<size_t>(count) * 4);
        return written + count;
    }
    if (!m_swr) {
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_S16, outRate, &stereo,
                                AV_SAMPLE_FMT_S16, inRate, 0, nullptr) < 0 ||
            swr_init(m_swr) < 0) {
            swr_free(&m_swr);
            return written;
        }
        m_inRate = inRate;
        m_outRate = outRate;
    }
    auto* dst = reinterpret_cast<uint8_t*>(out + 2 * written);
    const auto* src = reinterpret_cast<const uint8_t*>(in);
    const int count = swr_convert(m_swr, &dst, maxOut - written, &src, n);
    return written + std::max(count, 0);
}

}  // namespace media
