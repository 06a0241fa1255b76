// The DV isochronous stream of an emulated camcorder.
#include "fwemu/dvtransmitter.h"

#include <cstring>

namespace fwemu {

namespace {

// Data packets per cycle as a fraction: 300/320 and 250/(8008/30).
constexpr uint32_t kPalNum = 15, kPalDen = 16;
constexpr uint32_t kNtscNum = 1875, kNtscDen = 2002;

void PutQuadlet(uint8_t* p, uint32_t q) {
    p[0] = uint8_t(q >> 24);
    p[1] = uint8_t(q >> 16);
    p[2] = uint8_t(q >> 8);
    p[3] = uint8_t(q);
}

}  // namespace

DvTransmitter::DvTransmitter(TapeDeck& deck)
    : m_deck(deck),
      m_pal(deck.standard() == dv::Standard::PAL),
      m_slotsPerFrame(static_cast<unsigned>(deck.frameSize() / kDvPayloadSize)) {}

size_t DvTransmitter::Cycle(unsigned cycle, int sourceNode, const Faults& faults, uint8_t* out,
                            bool& lost) {
    lost = false;
    m_accumulator += m_pal ? kPalNum : kNtscNum;
    const uint32_t den = m_pal ? kPalDen : kNtscDen;
    bool data = false;
    uint16_t syt = 0xFFFF;
    if (m_accumulator >= den) {
        m_accumulator -= den;
        if (m_slot == 0) {
            // A new frame period: the transport moves on.
            m_frame = m_deck.transport().Tick();
            ++m_framePeriods;
            m_frameLost = m_frame >= 0 && faults.frameLossEvery > 0 &&
                          m_framePeriods % faults.frameLossEvery == 0;
            // The presentation time of the frame: three cycles ahead.
            syt = static_cast<uint16_t>(((cycle + 3) & 0xF) << 12);
        }
        if (m_frame >= 0) {
            data = true;
            std::memcpy(out + kCipHeaderSize, m_deck.frame(m_frame) + m_slot * kDvPayloadSize,
                        kDvPayloadSize);
            if (m_slot + 1 == m_slotsPerFrame && !m_frameLost) ++m_framesSent;
        }
        m_slot = (m_slot + 1) % m_slotsPerFrame;
    }
    PutQuadlet(out, uint32_t(sourceNode & 0x3F) << 24 | 0x78u << 16 | m_dbc);
    PutQuadlet(out + 4, 0x80000000u | (m_pal ? 0x80u : 0x00u) << 16 | syt);
    if (!data) return kCipHeaderSize;
    ++m_dbc;
    const int64_t n = m_dataPackets++;
    lost = m_frameLost || (faults.lossEvery > 0 && (n + 1) % faults.lossEvery == 0) ||
           (faults.burstAt >= 0 && n >= faults.burstAt && n < faults.burstAt + faults.burstCount);
    if (lost) ++m_lost;
    return kMaxIsoPacket;
}

}  // namespace fwemu
