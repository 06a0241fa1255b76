// DIF frame reassembly from isochronous packets.
#include "dvassembler.h"

namespace dvfw {

namespace {

constexpr int kBlocksPerPacket = 6;

bool IsFrameStart(const uint8_t* b) { return dv::BlockIdMatches(b, dv::Section::Header, 0, 0); }

}  // namespace

int BlockPosition(const uint8_t* b, dv::Standard standard) {
    const int section = b[0] >> 5;
    const int seq = b[1] >> 4;
    const int n = b[2];
    if (seq >= dv::SequenceCount(standard)) return -1;
    int place;
    switch (static_cast<dv::Section>(section)) {
        case dv::Section::Header:
            if (n != 0) return -1;
            place = 0;
            break;
        case dv::Section::Subcode:
            if (n > 1) return -1;
            place = 1 + n;
            break;
        case dv::Section::VAUX:
            if (n > 2) return -1;
            place = 3 + n;
            break;
        case dv::Section::Audio:
            if (n > 8) return -1;
            place = 6 + 16 * n;
            break;
        case dv::Section::Video:
            if (n > 134) return -1;
            place = 7 + 16 * (n / 15) + n % 15;
            break;
        default:
            return -1;
    }
    return seq * 150 + place;
}

DvFrameAssembler::DvFrameAssembler(FrameFunction onFrame)
    : m_onFrame(std::move(onFrame)), m_frame(dv::kMaxFrameSize) {}

void DvFrameAssembler::ExchangeBuffer(std::vector<uint8_t>& other) {
    if (other.size() < dv::kMaxFrameSize) other.resize(dv::kMaxFrameSize);
    m_frame.swap(other);
}

void DvFrameAssembler::AddPacket(const uint8_t* data, size_t size, unsigned lost) {
    if (lost > 0) {
        if (m_state == State::Collecting) m_damaged = true;
        m_lostRun += lost;
    }
    if (size < dv::kBlockSize) return;
    // Whole frames that went by inside the gap, counted once blocks arrive
    // again: empty packets that did arrive may split one gap into several.
    if (m_lostRun > 0 && m_seenStandard) {
        const unsigned perFrame = static_cast<unsigned>(m_blocks / kBlocksPerPacket);
        m_dropped += static_cast<long>(m_lostRun / perFrame);
    }
    m_lostRun = 0;
    for (size_t off = 0; off + dv::kBlockSize <= size; off += dv::kBlockSize) AddBlock(data + off);
}

void DvFrameAssembler::StartFrame(const uint8_t* header) {
    m_standard = (header[3] & 0x80) ? dv::Standard::PAL : dv::Standard::NTSC;
    m_seenStandard = true;
    m_blocks = dv::SequenceCount(m_standard) * 150;
    m_state = State::Collecting;
    m_damaged = false;
    m_next = 0;
}

void DvFrameAssembler::Finish() {
    if (m_next == m_blocks && !m_damaged)
        m_onFrame(m_frame.data(), dv::FrameSize(m_standard));
    else
        ++m_dropped;
    m_state = State::Between;
}

void DvFrameAssembler::AddBlock(const uint8_t* block) {
    if (IsFrameStart(block)) {
        if (m_state == State::Collecting) Finish();  // the frame was cut short
        StartFrame(block);
    } else if (m_state == State::Between) {
        // A frame whose header was lost: counted once, its blocks skipped.
        if (BlockPosition(block, m_standard) < 0) return;
        ++m_dropped;
        m_state = State::Headless;
        return;
    } else if (m_state != State::Collecting) {
        return;
    }
    const int pos = BlockPosition(block, m_standard);
    if (pos < 0) {
        m_damaged = true;
        return;
    }
    if (pos < m_next) {
        // The stream went on into the next frame without its header.
        Finish();
        ++m_dropped;
        m_state = State::Headless;
        return;
    }
    if (pos > m_next) m_damaged = true;  // blocks missing in between
    std::copy(block, block + dv::kBlockSize, m_frame.data() + pos * dv::kBlockSize);
    m_next = pos + 1;
    if (m_next == m_blocks) Finish();
}

}  // namespace dvfw
