// Recording date and time: packs 0x62 and 0x63, written by camcorders in
// VAUX and in the subcode (looked for in that order).
//   0x62: PC1 time zone; PC2 day (tens b5-4); PC3 month (tens b4);
//         PC4 year, two BCD digits.
//   0x63: PC1 frames (tens b5-4), PC2 seconds, PC3 minutes (tens b6-4),
//         PC4 hours (tens b5-4).
#pragma once

#include <cstdint>
#include <optional>

#include "dif.h"

namespace dv {

struct RecordingDate {
    int year = 0;  // four digits
    int month = 0;
    int day = 0;
    bool operator==(const RecordingDate&) const = default;
};

struct RecordingTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = -1;  // -1 when the frame digits are not recorded
    bool operator==(const RecordingTime&) const = default;
};

// Nothing when the pack is absent or its digits are not a date or time.
std::optional<RecordingDate> ReadRecordingDate(const FrameView& frame);
std::optional<RecordingTime> ReadRecordingTime(const FrameView& frame);

std::optional<RecordingDate> DecodeRecordingDatePack(const uint8_t pc[4]);
std::optional<RecordingTime> DecodeRecordingTimePack(const uint8_t pc[4]);
void EncodeRecordingDatePack(const RecordingDate& date, uint8_t pc[4]);
void EncodeRecordingTimePack(const RecordingTime& time, uint8_t pc[4]);

// Two-digit year to four digits: 69-99 are 1969-1999, 00-68 are 2000-2068
// (the usual two-digit-year window; DV itself dates from the mid-1990s, and
// a recording made in 2026 must not read as 1926).
constexpr int FullYear(int twoDigits) {
    return twoDigits >= 69 ? 1900 + twoDigits : 2000 + twoDigits;
}

}  // namespace dv
