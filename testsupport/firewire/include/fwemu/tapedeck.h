// A camcorder's tape and transport: the raw DV file held in memory and the
// virtual deck's transport state machine moving over it one frame period
// at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decktransport.h"
#include "dv/dif.h"

namespace fwemu {

class TapeDeck {
public:
    // A deck without tape data (HDV units): `frames` frame periods long.
    TapeDeck(dv::Standard standard, int64_t frames);
    // Loads `path`, played `repeats` times over as one tape (a long tape
    // from a short file); ok() is false when it cannot be read or holds no
    // frame.
    explicit TapeDeck(const std::string& path, int repeats = 1);

    bool ok() const { return m_frames > 0; }
    dv::Standard standard() const { return m_standard; }
    int64_t frames() const { return m_frames; }
    size_t frameSize() const { return dv::FrameSize(m_standard); }
    bool hasData() const { return !m_data.empty(); }
    const uint8_t* frame(int64_t index) const {
        return m_data.data() + (index % m_fileFrames) * frameSize();
    }

    dvdeck::DeckTransport& transport() { return m_transport; }

    // Frame under the head and its timecode: PC1..PC4 of the frame's
    // subcode timecode pack (frames, seconds, minutes, hours) with the flag
    // bits cleared; counted from the position when the frame has none.
    void HeadTimecode(uint8_t out[4]) const;

private:
    std::vector<uint8_t> m_data;
    dv::Standard m_standard = dv::Standard::PAL;
    int64_t m_fileFrames = 0;
    int64_t m_frames = 0;
    dvdeck::DeckTransport m_transport;
};

}  // namespace fwemu
