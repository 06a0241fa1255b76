// Subcode timecode: read against ffprobe, drop-frame arithmetic, invalid
// packs.
#include "dv/dvtimecode.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "dv/difpacks.h"
#include "testsupport/dvtools.h"

using namespace dv;

namespace {

std::string Format(const Timecode& tc) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", tc.hours, tc.minutes, tc.seconds,
                  tc.dropFrame ? ';' : ':', tc.frames);
    return text;
}

std::optional<Timecode> FrameTimecode(const std::vector<uint8_t>& tape, size_t index) {
    FrameView view;
    Standard standard;
    if (!ReadStandard(tape.data(), tape.size(), standard)) return std::nullopt;
    const size_t size = FrameSize(standard);
    if (tape.size() < (index + 1) * size || !ViewFrame(tape.data() + index * size, size, view))
        return std::nullopt;
    return ReadTimecode(view);
}

// ffprobe reads the timecode of a file's first frame: cut frame `index` out
// and ask it.
std::string ProbeFrameTimecode(const testsupport::ScratchDir& dir, const std::vector<uint8_t>& tape,
                               size_t index, size_t frameSize) {
    const std::string path = dir / "one-frame.dv";
    dvtest::WriteFile(path, tape.data() + index * frameSize, frameSize);
    return dvtest::Probe(path, "format_tags=timecode");
}

struct ProbeCase {
    Standard standard;
    const char* start;
};

class TimecodeVsFfprobe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(TimecodeVsFfprobe, EveryFrameAgreesWithFfprobe) {
    const ProbeCase c = GetParam();
    testsupport::ScratchDir dir;
    const std::vector<uint8_t> tape =
        dvtest::FfmpegTape(dir, c.standard, 0.15, std::string("-timecode '") + c.start + "'");
    const size_t size = FrameSize(c.standard);
    ASSERT_GE(tape.size(), 3 * size);
    for (size_t i = 0; i < tape.size() / size; ++i) {
        const std::optional<Timecode> tc = FrameTimecode(tape, i);
        ASSERT_TRUE(tc) << "frame " << i;
        EXPECT_EQ(Format(*tc), ProbeFrameTimecode(dir, tape, i, size)) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Tapes, TimecodeVsFfprobe,
                         ::testing::Values(ProbeCase{Standard::PAL, "12:34:56:23"},
                                           ProbeCase{Standard::NTSC, "00:00:59;27"},
                                           ProbeCase{Standard::NTSC, "23:59:59;28"}),
                         [](const auto& info) {
                             std::string name = info.param.start;
                             for (char& ch : name)
                                 if (ch == ':' || ch == ';') ch = '_';
                             return (info.param.standard == Standard::PAL ? "PAL_" : "NTSC_") +
                                    name;
                         });

TEST(Timecode, DropFrameCountingSkipsTwoFramesMostMinutes) {
    struct {
        int64_t index;
        Timecode tc;
    } const cases[] = {
        {0, {0, 0, 0, 0, true}},
        {1799, {0, 0, 59, 29, true}},
        {1800, {0, 1, 0, 2, true}},  // 00:01:00;00 and ;01 do not exist
        {17981, {0, 9, 59, 29, true}},
        {17982, {0, 10, 0, 0, true}},  // every tenth minute keeps them
        {17982 * 6, {1, 0, 0, 0, true}},
        {17982 * 144 - 1, {23, 59, 59, 29, true}},
        {17982 * 144, {0, 0, 0, 0, true}},  // wraps at 24 hours
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimecodeAt(c.index, Standard::NTSC), c.tc) << c.index;
        EXPECT_EQ(FrameIndexOf(c.tc, Standard::NTSC), c.index % (17982 * 144)) << c.index;
    }
    for (int64_t i = 0; i < 17982 * 2; i += 7)
        ASSERT_EQ(FrameIndexOf(TimecodeAt(i, Standard::NTSC), Standard::NTSC), i);
    EXPECT_EQ(TimecodeAt(25 * 3600 + 24, Standard::PAL), (Timecode{1, 0, 0, 24, false}));
    EXPECT_EQ(FrameIndexOf({1, 0, 0, 24, false}, Standard::PAL), 25 * 3600 + 24);
}

TEST(Timecode, PacksWithFlagBitsInvalidDigitsOrNoPack) {
    const uint8_t flagged[4] = {0x24, 0xD6, 0xB4, 0xD2};  // high flag bits set, as ffmpeg writes
    EXPECT_EQ(DecodeTimecodePack(flagged, Standard::PAL), (Timecode{12, 34, 56, 24, false}));
    const uint8_t dropPal[4] = {0x44, 0x00, 0x00, 0x00};  // bit 6 is not drop-frame in 625/50
    EXPECT_EQ(DecodeTimecodePack(dropPal, Standard::PAL), (Timecode{0, 0, 0, 4, false}));
    EXPECT_EQ(DecodeTimecodePack(dropPal, Standard::NTSC), (Timecode{0, 0, 0, 4, true}));

    const uint8_t invalid[][4] = {
        {0x25, 0, 0, 0},     // 25 frames in 625/50
        {0x0A, 0, 0, 0},     // digit above 9
        {0x00, 0x60, 0, 0},  // 60 seconds
        {0x00, 0, 0x60, 0},  // 60 minutes
        {0x00, 0, 0, 0x24},  // 24 hours
        {0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (const auto& pc : invalid) EXPECT_FALSE(DecodeTimecodePack(pc, Standard::PAL));
    const uint8_t thirty[4] = {0x30, 0, 0, 0};
    EXPECT_FALSE(DecodeTimecodePack(thirty, Standard::NTSC));

    uint8_t pc[4];
    EncodeTimecodePack({1, 23, 45, 12, true}, pc);
    EXPECT_EQ(DecodeTimecodePack(pc, Standard::NTSC), (Timecode{1, 23, 45, 12, true}));
    EXPECT_EQ(TimecodeBcd({1, 23, 45, 12, false}), 0x01234512u);
    EXPECT_EQ(TimecodeBcd({23, 59, 59, 29, true}), 0x23595929u);

    // A frame whose subcode carries no timecode pack has no timecode.
    testsupport::ScratchDir dir;
    std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, Standard::NTSC, 0.1);
    const std::optional<Timecode> good = FrameTimecode(tape, 0);
    ASSERT_TRUE(good);
    // Damaged copies in the first sequence do not hide the good ones.
    for (int b = 1; b < 3; ++b)
        for (int j = 0; j < 6; ++j) tape[BlockOffset(0, b) + 6 + 8 * j + 1] = 0x3A;
    EXPECT_EQ(FrameTimecode(tape, 0), good);
    for (int seq = 0; seq < 10; ++seq)
        for (int b = 1; b < 3; ++b)
            for (int j = 0; j < 6; ++j) tape[BlockOffset(seq, b) + 6 + 8 * j] = 0xFF;
    EXPECT_FALSE(FrameTimecode(tape, 0));
}

}  // namespace
