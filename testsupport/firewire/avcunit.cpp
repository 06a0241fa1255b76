// AV/C unit and tape subunit of the emulated camcorders.
#include "fwemu/avcunit.h"

#include <edevdefs.h>
#include <winerror.h>

#include <cstdio>

namespace fwemu {

namespace {

// Tape subunit opcodes and operands.
constexpr uint8_t kTape = 0x20, kUnitAddress = 0xFF;
constexpr uint8_t kOpUnitInfo = 0x30, kOpSubunitInfo = 0x31;
constexpr uint8_t kOpTimeCode = 0x51, kOpOutputSignalMode = 0x78, kOpLoadMedium = 0xC1,
                  kOpRecord = 0xC2, kOpPlay = 0xC3, kOpWind = 0xC4, kOpTransportState = 0xD0;
constexpr uint8_t kWindStop = 0x60, kWindRewind = 0x65, kWindFastForward = 0x75,
                  kWindHighSpeedRewind = 0x45;
constexpr uint8_t kPlayForward = 0x75, kPlayForwardPause = 0x7D, kPlayFastestForward = 0x3F,
                  kPlaySlowestForward = 0x31, kPlayFastestReverse = 0x4F,
                  kPlaySlowestReverse = 0x41;

std::string Hex(const std::vector<uint8_t>& f) {
    std::string s;
    char b[4];
    for (uint8_t c : f) {
        std::snprintf(b, sizeof b, "%02X", c);
        s += b;
    }
    return s;
}

std::vector<uint8_t> WithCode(std::vector<uint8_t> f, uint8_t code) {
    f[0] = code;
    return f;
}

}  // namespace

AvcUnit::AvcUnit(TapeDeck& deck, bool hdv, uint32_t companyId)
    : m_deck(deck), m_hdv(hdv), m_companyId(companyId) {}

void AvcUnit::TransportState(uint8_t& opcode, uint8_t& operand) const {
    opcode = kOpPlay;
    switch (const_cast<TapeDeck&>(m_deck).transport().Mode()) {
        case ED_MODE_PLAY:
            operand = kPlayForward;
            break;
        case ED_MODE_FREEZE:
            operand = kPlayForwardPause;
            break;
        case ED_MODE_PLAY_FASTEST_FWD:
            operand = kPlayFastestForward;
            break;
        case ED_MODE_PLAY_SLOWEST_FWD:
            operand = kPlaySlowestForward;
            break;
        case ED_MODE_PLAY_FASTEST_REV:
            operand = kPlayFastestReverse;
            break;
        case ED_MODE_PLAY_SLOWEST_REV:
            operand = kPlaySlowestReverse;
            break;
        case ED_MODE_FF:
            opcode = kOpWind;
            operand = kWindFastForward;
            break;
        case ED_MODE_REW:
            opcode = kOpWind;
            operand = kWindRewind;
            break;
        default:
            opcode = kOpWind;
            operand = kWindStop;
            break;
    }
}

bool AvcUnit::SetModeFromPlay(uint8_t op) {
    long mode;
    if (op == kPlayForward || op == 0x38)
        mode = ED_MODE_PLAY;
    else if (op == kPlayForwardPause || op == 0x6D)
        mode = ED_MODE_FREEZE;
    else if (op == 0x30)
        mode = ED_MODE_STEP_FWD;
    else if (op == 0x40)
        mode = ED_MODE_STEP_REV;
    else if (op > 0x30 && op < 0x38)
        mode = ED_MODE_PLAY_SLOWEST_FWD;
    else if (op > 0x38 && op <= 0x3F)
        mode = ED_MODE_PLAY_FASTEST_FWD;
    else if (op > 0x40 && op < 0x48)
        mode = ED_MODE_PLAY_SLOWEST_REV;
    else if ((op >= 0x48 && op <= 0x4F) || op == 0x65)
        mode = ED_MODE_PLAY_FASTEST_REV;
    else
        return false;
    return m_deck.transport().SetMode(mode) == S_OK;
}

bool AvcUnit::SetModeFromWind(uint8_t op) {
    long mode;
    if (op == kWindStop)
        mode = ED_MODE_STOP;
    else if (op == kWindFastForward)
        mode = ED_MODE_FF;
    else if (op == kWindRewind || op == kWindHighSpeedRewind)
        mode = ED_MODE_REW;
    else
        return false;
    return m_deck.transport().SetMode(mode) == S_OK;
}

std::vector<uint8_t> AvcUnit::Unit(const std::vector<uint8_t>& f) {
    const uint8_t ctype = f[0], opcode = f[2];
    const bool inquiry = ctype == avc::kSpecificInquiry || ctype == avc::kGeneralInquiry;
    if (opcode != kOpSubunitInfo && opcode != kOpUnitInfo) return WithCode(f, avc::kNotImplemented);
    if (inquiry) return WithCode(f, avc::kStable);
    if (ctype != avc::kStatus || f.size() < 8) return WithCode(f, avc::kNotImplemented);
    std::vector<uint8_t> r = f;
    r[0] = avc::kStable;
    if (opcode == kOpUnitInfo) {
        // Unit type: tape recorder; the vendor's company ID.
        r[3] = 0x07;
        r[4] = kTape;
        r[5] = uint8_t(m_companyId >> 16);
        r[6] = uint8_t(m_companyId >> 8);
        r[7] = uint8_t(m_companyId);
        return r;
    }
    // SUBUNIT INFO: page (operand bits 6-4); page 0 lists the tape subunit.
    const int page = (f[3] >> 4) & 7;
    r[4] = page == 0 ? kTape : 0xFF;
    r[5] = r[6] = r[7] = 0xFF;
    return r;
}

std::vector<uint8_t> AvcUnit::TapeSubunit(const std::vector<uint8_t>& f, Clock::time_point now) {
    const uint8_t ctype = f[0], opcode = f[2];
    const uint8_t operand = f.size() > 3 ? f[3] : 0xFF;
    const bool inquiry = ctype == avc::kSpecificInquiry || ctype == avc::kGeneralInquiry;
    const bool status =
        opcode == kOpTransportState || opcode == kOpTimeCode || opcode == kOpOutputSignalMode;
    const bool control =
        opcode == kOpPlay || opcode == kOpWind || opcode == kOpRecord || opcode == kOpLoadMedium;
    if (!status && !control) return WithCode(f, avc::kNotImplemented);
    if (inquiry) return WithCode(f, avc::kStable);
    std::vector<uint8_t> r = f;
    if (status) {
        if (ctype != avc::kStatus || r.size() < 4) return WithCode(f, avc::kNotImplemented);
        r[0] = avc::kStable;
        if (opcode == kOpTransportState) {
            TransportState(r[2], r[3]);
            if (now < m_transitionUntil) r[0] = avc::kInTransition;
        } else if (opcode == kOpOutputSignalMode) {
            const bool pal = m_deck.standard() == dv::Standard::PAL;
            r[3] = m_hdv ? (pal ? 0x90 : 0x10) : (pal ? 0x80 : 0x00);
        } else {  // TIME CODE
            if (operand != 0x71 || r.size() < 8) return WithCode(f, avc::kNotImplemented);
            m_deck.HeadTimecode(&r[4]);
        }
        return r;
    }
    if (ctype != avc::kControl) return WithCode(f, avc::kNotImplemented);
    bool accepted = false;
    if (opcode == kOpPlay)
        accepted = SetModeFromPlay(operand);
    else if (opcode == kOpWind)
        accepted = SetModeFromWind(operand);
    return WithCode(f, accepted ? avc::kAccepted : avc::kRejected);
}

std::vector<uint8_t> AvcUnit::Answer(const std::vector<uint8_t>& f, Clock::time_point now) {
    if (f[1] == kUnitAddress) return Unit(f);
    if (f[1] == kTape) return TapeSubunit(f, now);
    return WithCode(f, avc::kNotImplemented);
}

std::vector<AvcReply> AvcUnit::Command(const std::vector<uint8_t>& frame, const Faults& faults,
                                       Clock::time_point now) {
    std::vector<AvcReply> replies;
    if (frame.size() < 3) return replies;
    m_log.push_back(Hex(frame));
    // An answer held back from the previous command goes out first.
    if (m_held) {
        replies.push_back(*m_held);
        m_held.reset();
    }
    if (faults.silent) return replies;
    const bool control = frame[0] == avc::kControl;
    AvcReply final{faults.delayMs,
                   faults.reject ? WithCode(frame, avc::kRejected) : Answer(frame, now)};
    if (control && final.frame[0] == avc::kAccepted && faults.transitionMs > 0)
        m_transitionUntil = now + std::chrono::milliseconds(faults.transitionMs);
    if (control && faults.interimMs != -1) {
        replies.push_back({faults.delayMs, WithCode(frame, avc::kInterim)});
        if (faults.interimMs == Faults::kNever) return replies;
        final.delayMs += faults.interimMs;
    }
    if (faults.late) {
        final.delayMs = 0;
        m_held = final;
        return replies;
    }
    replies.push_back(final);
    return replies;
}

}  // namespace fwemu
