// AV/C frames the DV device driver sends to a unit and its tape subunit,
// and what it makes of the answers.
//
// A command frame is [ctype, subunit, opcode, operands...]; the response
// has the response code in place of the ctype and otherwise the same
// layout.  The tape subunit is type 4, ID 0 (address byte 0x20); the unit
// itself is 0xFF.
#pragma once

#include <windef.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace dvfw::avc {

// Command types.
inline constexpr uint8_t kControl = 0x00;
inline constexpr uint8_t kStatus = 0x01;
// Response codes.
inline constexpr uint8_t kNotImplemented = 0x08;
inline constexpr uint8_t kAccepted = 0x09;
inline constexpr uint8_t kRejected = 0x0A;
inline constexpr uint8_t kInTransition = 0x0B;
inline constexpr uint8_t kStable = 0x0C;  // also "implemented"
inline constexpr uint8_t kInterim = 0x0F;

// Addresses: subunit type << 3 | subunit ID.
inline constexpr uint8_t kUnit = 0xFF;
inline constexpr uint8_t kTapeSubunit = 0x20;
inline constexpr uint8_t kTapeSubunitType = 4;

// Unit commands.
inline constexpr uint8_t kOpSubunitInfo = 0x31;
// Tape subunit commands.
inline constexpr uint8_t kOpOutputSignalMode = 0x78;
inline constexpr uint8_t kOpTimeCode = 0x51;
inline constexpr uint8_t kOpLoadMedium = 0xC1;  // also a transport state
inline constexpr uint8_t kOpRecord = 0xC2;      // also a transport state
inline constexpr uint8_t kOpPlay = 0xC3;        // also a transport state
inline constexpr uint8_t kOpWind = 0xC4;        // also a transport state
inline constexpr uint8_t kOpTransportState = 0xD0;

// PLAY operands (the play modes).
inline constexpr uint8_t kPlayNextFrame = 0x30;
inline constexpr uint8_t kPlaySlowestForward = 0x31;
inline constexpr uint8_t kPlayX1Forward = 0x38;
inline constexpr uint8_t kPlayFastestForward = 0x3F;
inline constexpr uint8_t kPlayPreviousFrame = 0x40;
inline constexpr uint8_t kPlaySlowestReverse = 0x41;
inline constexpr uint8_t kPlayX1Reverse = 0x48;
inline constexpr uint8_t kPlayFastestReverse = 0x4F;
inline constexpr uint8_t kPlayReverse = 0x65;
inline constexpr uint8_t kPlayReversePause = 0x6D;
inline constexpr uint8_t kPlayForward = 0x75;
inline constexpr uint8_t kPlayForwardPause = 0x7D;
// WIND operands.
inline constexpr uint8_t kWindHighSpeedRewind = 0x45;
inline constexpr uint8_t kWindStop = 0x60;
inline constexpr uint8_t kWindRewind = 0x65;
inline constexpr uint8_t kWindFastForward = 0x75;
// RECORD operands that mean "paused".
inline constexpr uint8_t kRecordPause = 0x7D;
// Status inquiry operand of TRANSPORT STATE, TIME CODE and OUTPUT SIGNAL MODE.
inline constexpr uint8_t kTransportStateInquiry = 0x7F;
inline constexpr uint8_t kTimeCodeStatus = 0x71;
inline constexpr uint8_t kUnknown = 0xFF;

// Signal modes of OUTPUT SIGNAL MODE: standard-definition DV and its
// half-rate (SDL) variant, at 525 lines / 60 Hz and 625 lines / 50 Hz.
inline constexpr uint8_t kSignalSD525_60 = 0x00;
inline constexpr uint8_t kSignalSDL525_60 = 0x04;
inline constexpr uint8_t kSignalSD625_50 = 0x80;
inline constexpr uint8_t kSignalSDL625_50 = 0x84;

// Signal code reported for every signal that is not standard-definition DV
// (HD, MPEG transport streams, analog ...).  It is none of 5038-5041.
inline constexpr long kSignalOther = 0;

// The command a transport mode is sent as (put_Mode); nothing for the
// record modes and for values that are no transport mode.
std::optional<std::vector<uint8_t>> ModeCommand(long mode);
bool IsRecordMode(long mode);

// TRANSPORT STATE status inquiry, and the mode its answer stands for
// (nothing when the answer is not a stable transport state).
std::vector<uint8_t> TransportStateCommand();
std::optional<long> ModeFromTransportState(const std::vector<uint8_t>& response);

// TIME CODE status inquiry, and the answer as eight BCD digits
// (hour tens ... frame units); nothing when the unit has no timecode.
std::vector<uint8_t> TimeCodeCommand();
std::optional<DWORD> TimecodeFromResponse(const std::vector<uint8_t>& response);

// OUTPUT SIGNAL MODE status inquiry, and the signal code of its answer
// (5038-5041, or kSignalOther); nothing when the answer is not stable.
std::vector<uint8_t> OutputSignalModeCommand();
std::optional<long> SignalCodeFromResponse(const std::vector<uint8_t>& response);

// SUBUNIT INFO (first page), and whether its answer lists a tape subunit.
std::vector<uint8_t> SubunitInfoCommand();
bool HasTapeSubunit(const std::vector<uint8_t>& response);

// The HRESULT of a control command's answer.
HRESULT ControlResult(const std::vector<uint8_t>& response);

}  // namespace dvfw::avc
