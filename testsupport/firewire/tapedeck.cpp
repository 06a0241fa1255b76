// The emulated camcorder's tape.
#include "fwemu/tapedeck.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "dv/difpacks.h"

namespace fwemu {

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int64_t CountFrames(const std::vector<uint8_t>& data, dv::Standard& standard) {
    if (!dv::ReadStandard(data.data(), data.size(), standard)) return 0;
    return static_cast<int64_t>(data.size() / dv::FrameSize(standard));
}

uint8_t Bcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

}  // namespace

TapeDeck::TapeDeck(dv::Standard standard, int64_t frames)
    : m_standard(standard), m_fileFrames(frames), m_frames(frames), m_transport(frames) {}

TapeDeck::TapeDeck(const std::string& path, int repeats)
    : m_data(ReadFile(path)),
      m_fileFrames(CountFrames(m_data, m_standard)),
      m_frames(m_fileFrames * std::max(repeats, 1)),
      m_transport(m_frames) {
    m_data.resize(m_fileFrames * frameSize());
}

void TapeDeck::HeadTimecode(uint8_t out[4]) const {
    const int64_t head = m_transport.Head();
    if (hasData() && head >= 0 && head < m_frames) {
        dv::FrameView view;
        if (dv::ViewFrame(frame(head), frameSize(), view)) {
            if (const uint8_t* pack = dv::FindSubcodePack(view, dv::kPackTimecode)) {
                out[0] = pack[1] & 0x3F;
                out[1] = pack[2] & 0x7F;
                out[2] = pack[3] & 0x7F;
                out[3] = pack[4] & 0x3F;
                return;
            }
        }
    }
    // No timecode on the tape: count whole frames from its start.
    const int rate = m_standard == dv::Standard::PAL ? 25 : 30;
    const int64_t n = head < 0 ? 0 : head;
    out[0] = Bcd(static_cast<int>(n % rate));
    out[1] = Bcd(static_cast<int>(n / rate % 60));
    out[2] = Bcd(static_cast<int>(n / rate / 60 % 60));
    out[3] = Bcd(static_cast<int>(n / rate / 3600 % 24));
}

}  // namespace fwemu
