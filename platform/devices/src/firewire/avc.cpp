// AV/C command frames and answers of the tape subunit.
#include "avc.h"

#include <edevdefs.h>
#include <winerror.h>

#include "dv/dvvideoinfo.h"

namespace dvfw::avc {

namespace {

std::vector<uint8_t> TapeControl(uint8_t opcode, uint8_t operand) {
    return {kControl, kTapeSubunit, opcode, operand};
}

bool StableAnswer(const std::vector<uint8_t>& r, uint8_t address, uint8_t opcode, size_t size) {
    return r.size() >= size && r[0] == kStable && r[1] == address && r[2] == opcode;
}

}  // namespace

bool IsRecordMode(long mode) {
    return mode == ED_MODE_RECORD || mode == ED_MODE_RECORD_FREEZE || mode == ED_MODE_RECORD_STROBE;
}

std::optional<std::vector<uint8_t>> ModeCommand(long mode) {
    switch (mode) {
        case ED_MODE_PLAY:
        case ED_MODE_THAW:  // leaves the still picture: normal play again
            return TapeControl(kOpPlay, kPlayForward);
        case ED_MODE_STOP:
            return TapeControl(kOpWind, kWindStop);
        case ED_MODE_FREEZE:
            return TapeControl(kOpPlay, kPlayForwardPause);
        case ED_MODE_FF:
            return TapeControl(kOpWind, kWindFastForward);
        case ED_MODE_REW:
            return TapeControl(kOpWind, kWindRewind);
        case ED_MODE_PLAY_FASTEST_FWD:
            return TapeControl(kOpPlay, kPlayFastestForward);
        case ED_MODE_PLAY_SLOWEST_FWD:
            return TapeControl(kOpPlay, kPlaySlowestForward);
        case ED_MODE_PLAY_FASTEST_REV:
            return TapeControl(kOpPlay, kPlayFastestReverse);
        case ED_MODE_PLAY_SLOWEST_REV:
            return TapeControl(kOpPlay, kPlaySlowestReverse);
        case ED_MODE_STEP_FWD:
            return TapeControl(kOpPlay, kPlayNextFrame);
        case ED_MODE_STEP_REV:
            return TapeControl(kOpPlay, kPlayPreviousFrame);
        default:
            return std::nullopt;
    }
}

std::vector<uint8_t> TransportStateCommand() {
    return {kStatus, kTapeSubunit, kOpTransportState, kTransportStateInquiry};
}

std::optional<long> ModeFromTransportState(const std::vector<uint8_t>& r) {
    if (r.size() < 4 || r[0] != kStable || r[1] != kTapeSubunit) return std::nullopt;
    const uint8_t state = r[2], mode = r[3];
    switch (state) {
        case kOpPlay:
            if (mode == kPlayForward || mode == kPlayX1Forward) return ED_MODE_PLAY;
            if (mode == kPlayForwardPause || mode == kPlayReversePause) return ED_MODE_FREEZE;
            if (mode == kPlayNextFrame) return ED_MODE_STEP_FWD;
            if (mode == kPlayPreviousFrame) return ED_MODE_STEP_REV;
            if (mode > kPlayNextFrame && mode < kPlayX1Forward) return ED_MODE_PLAY_SLOWEST_FWD;
            if (mode > kPlayX1Forward && mode <= kPlayFastestForward)
                return ED_MODE_PLAY_FASTEST_FWD;
            if (mode > kPlayPreviousFrame && mode < kPlayX1Reverse) return ED_MODE_PLAY_SLOWEST_REV;
            // Reverse play at normal speed or faster.
            if ((mode >= kPlayX1Reverse && mode <= kPlayFastestReverse) || mode == kPlayReverse)
                return ED_MODE_PLAY_FASTEST_REV;
            return std::nullopt;
        case kOpWind:
            if (mode == kWindStop) return ED_MODE_STOP;
            if (mode == kWindRewind || mode == kWindHighSpeedRewind) return ED_MODE_REW;
            if (mode == kWindFastForward) return ED_MODE_FF;
            return std::nullopt;
        case kOpRecord:
            // Insert modes with pause are 0x40-0x43, plain pause 0x7D.
            if (mode == kRecordPause || (mode >= 0x40 && mode <= 0x43))
                return ED_MODE_RECORD_FREEZE;
            return ED_MODE_RECORD;
        case kOpLoadMedium:
            // No cassette, or one going in or out: the tape does not move.
            return ED_MODE_STOP;
        default:
            return std::nullopt;
    }
}

std::vector<uint8_t> TimeCodeCommand() {
    return {kStatus,  kTapeSubunit, kOpTimeCode, kTimeCodeStatus,
            kUnknown, kUnknown,     kUnknown,    kUnknown};
}

std::optional<DWORD> TimecodeFromResponse(const std::vector<uint8_t>& r) {
    if (!StableAnswer(r, kTapeSubunit, kOpTimeCode, 8) || r[3] != kTimeCodeStatus)
        return std::nullopt;
    // Operands after the status byte: frames, seconds, minutes, hours, each
    // two BCD digits; 0xFF bytes mean the unit has no timecode to give.
    const uint8_t frames = r[4], seconds = r[5], minutes = r[6], hours = r[7];
    if (frames == kUnknown && seconds == kUnknown && minutes == kUnknown && hours == kUnknown)
        return std::nullopt;
    // The high bits of frames and hours are flags (drop frame, colour
    // frame ...), not digits.
    return DWORD(hours & 0x3F) << 24 | DWORD(minutes & 0x7F) << 16 | DWORD(seconds & 0x7F) << 8 |
           DWORD(frames & 0x3F);
}

std::vector<uint8_t> OutputSignalModeCommand() {
    return {kStatus, kTapeSubunit, kOpOutputSignalMode, kUnknown};
}

std::optional<long> SignalCodeFromResponse(const std::vector<uint8_t>& r) {
    if (!StableAnswer(r, kTapeSubunit, kOpOutputSignalMode, 4)) return std::nullopt;
    switch (r[3]) {
        case kSignalSD525_60:
            return dv::kSignal525_60_SD;
        case kSignalSDL525_60:
            return dv::kSignal525_60_SDL;
        case kSignalSD625_50:
            return dv::kSignal625_50_SD;
        case kSignalSDL625_50:
            return dv::kSignal625_50_SDL;
        default:
            return kSignalOther;
    }
}

std::vector<uint8_t> SubunitInfoCommand() {
    // Page 0, extension code 7; four entries asked for.
    return {kStatus, kUnit, kOpSubunitInfo, 0x07, kUnknown, kUnknown, kUnknown, kUnknown};
}

bool HasTapeSubunit(const std::vector<uint8_t>& r) {
    if (!StableAnswer(r, kUnit, kOpSubunitInfo, 5)) return false;
    // Each entry: subunit type << 3 | highest subunit ID; 0xFF is no entry.
    for (size_t i = 4; i < r.size() && i < 8; ++i)
        if (r[i] != kUnknown && (r[i] >> 3) == kTapeSubunitType) return true;
    return false;
}

HRESULT ControlResult(const std::vector<uint8_t>& r) {
    if (r.empty()) return E_FAIL;
    switch (r[0]) {
        case kAccepted:
            return S_OK;
        case kNotImplemented:
            return E_NOTIMPL;
        default:  // rejected, or nothing a control command answers
            return E_FAIL;
    }
}

}  // namespace dvfw::avc
