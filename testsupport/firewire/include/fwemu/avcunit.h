// The AV/C unit of an emulated camcorder: the unit itself (SUBUNIT INFO,
// UNIT INFO) and a tape recorder subunit (type 4, ID 0: address 0x20) whose
// transport is the deck's.  Answers TRANSPORT STATE, TIME CODE, OUTPUT
// SIGNAL MODE, PLAY and WIND; RECORD and LOAD MEDIUM are REJECTED (the
// tape is write-protected, the cassette stays in); everything else is NOT
// IMPLEMENTED.  Inquiries about the implemented commands answer
// IMPLEMENTED.  The node's faults shape when and how answers go out.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "fwemu/faults.h"
#include "fwemu/tapedeck.h"

namespace fwemu {

using Clock = std::chrono::steady_clock;

struct AvcReply {
    int delayMs = 0;
    std::vector<uint8_t> frame;
};

class AvcUnit {
public:
    // `hdv`: the output signal mode is HDV and no DV is sent.
    AvcUnit(TapeDeck& deck, bool hdv, uint32_t companyId);

    // The answers to one command frame, in order, with their delays.
    std::vector<AvcReply> Command(const std::vector<uint8_t>& frame, const Faults& faults,
                                  Clock::time_point now);

    // The command frames received since the start, oldest first, as hex.
    const std::vector<std::string>& log() const { return m_log; }

    // The answer a fault-free unit gives at `now`.
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& frame, Clock::time_point now);

private:
    std::vector<uint8_t> TapeSubunit(const std::vector<uint8_t>& f, Clock::time_point now);
    std::vector<uint8_t> Unit(const std::vector<uint8_t>& f);
    void TransportState(uint8_t& opcode, uint8_t& operand) const;
    bool SetModeFromPlay(uint8_t operand);
    bool SetModeFromWind(uint8_t operand);

    TapeDeck& m_deck;
    const bool m_hdv;
    const uint32_t m_companyId;
    Clock::time_point m_transitionUntil{};
    std::optional<AvcReply> m_held;  // "late": the previous command's answer
    std::vector<std::string> m_log;
};

// AV/C command types and response codes.
namespace avc {
inline constexpr uint8_t kControl = 0x00, kStatus = 0x01, kSpecificInquiry = 0x02, kNotify = 0x03,
                         kGeneralInquiry = 0x04;
inline constexpr uint8_t kNotImplemented = 0x08, kAccepted = 0x09, kRejected = 0x0A,
                         kInTransition = 0x0B, kStable = 0x0C, kInterim = 0x0F;
}  // namespace avc

}  // namespace fwemu
