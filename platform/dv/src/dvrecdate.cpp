// Recording date and time packs.
#include "dv/dvrecdate.h"

#include "dv/difpacks.h"

namespace dv {

namespace {

int Bcd(uint8_t byte, int tensBits) {
    const int units = byte & 0x0F;
    const int tens = (byte >> 4) & ((1 << tensBits) - 1);
    return units > 9 || tens > 9 ? -1 : tens * 10 + units;
}

uint8_t ToBcd(int value) { return static_cast<uint8_t>((value / 10) << 4 | (value % 10)); }

const uint8_t* FindDatePack(const FrameView& frame, uint8_t id, PackFilter valid) {
    const uint8_t* pack = FindVauxPack(frame, id, valid);
    return pack != nullptr ? pack : FindSubcodePack(frame, id, valid);
}

}  // namespace

std::optional<RecordingDate> DecodeRecordingDatePack(const uint8_t pc[4]) {
    const int day = Bcd(pc[1], 2);
    const int month = Bcd(pc[2], 1);
    const int year = Bcd(pc[3], 4);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0) return std::nullopt;
    return RecordingDate{FullYear(year), month, day};
}

std::optional<RecordingTime> DecodeRecordingTimePack(const uint8_t pc[4]) {
    RecordingTime time;
    time.seconds = Bcd(pc[1], 3);
    time.minutes = Bcd(pc[2], 3);
    time.hours = Bcd(pc[3], 2);
    if (time.seconds < 0 || time.seconds > 59 || time.minutes < 0 || time.minutes > 59 ||
        time.hours < 0 || time.hours > 23)
        return std::nullopt;
    const int frames = Bcd(pc[0], 2);
    time.frames = frames >= 0 && frames < 30 ? frames : -1;
    return time;
}

void EncodeRecordingDatePack(const RecordingDate& date, uint8_t pc[4]) {
    pc[0] = 0xFF;  // no time zone
    pc[1] = 0xC0 | ToBcd(date.day);
    pc[2] = ToBcd(date.month);
    pc[3] = ToBcd(date.year % 100);
}

void EncodeRecordingTimePack(const RecordingTime& time, uint8_t pc[4]) {
    pc[0] = time.frames >= 0 ? 0xC0 | ToBcd(time.frames) : 0xFF;
    pc[1] = 0x80 | ToBcd(time.seconds);
    pc[2] = 0x80 | ToBcd(time.minutes);
    pc[3] = 0xC0 | ToBcd(time.hours);
}

std::optional<RecordingDate> ReadRecordingDate(const FrameView& frame) {
    const uint8_t* pack = FindDatePack(frame, kPackVideoRecDate, [](const uint8_t* p, Standard) {
        return DecodeRecordingDatePack(p + 1).has_value();
    });
    return pack ? DecodeRecordingDatePack(pack + 1) : std::nullopt;
}

std::optional<RecordingTime> ReadRecordingTime(const FrameView& frame) {
    const uint8_t* pack = FindDatePack(frame, kPackVideoRecTime, [](const uint8_t* p, Standard) {
        return DecodeRecordingTimePack(p + 1).has_value();
    });
    return pack ? DecodeRecordingTimePack(pack + 1) : std::nullopt;
}

}  // namespace dv
