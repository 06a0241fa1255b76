// DIF layout, frame check, packs, video information and recording date,
// against tapes written by the ffmpeg command and by our generator.
#include "dv/dif.h"

#include <gtest/gtest.h>

#include "dv/difpacks.h"
#include "dv/dvrecdate.h"
#include "dv/dvtesttape.h"
#include "dv/dvvideoinfo.h"
#include "testsupport/dvtools.h"

using namespace dv;

namespace {

struct StandardCase {
    Standard standard;
    size_t size;
    int32_t signal;
    const char* height;
};

class DifStandardTest : public ::testing::TestWithParam<StandardCase> {};

TEST_P(DifStandardTest, FfmpegAndGeneratedTapesGiveSizeStandardAndSignal) {
    const StandardCase c = GetParam();
    testsupport::ScratchDir dir;
    std::vector<uint8_t> generated;
    ASSERT_TRUE(MakeTestTape(c.standard, 2, generated));
    for (const std::vector<uint8_t>& tape : {dvtest::FfmpegTape(dir, c.standard, 0.2), generated}) {
        ASSERT_GE(tape.size(), 2 * c.size);
        EXPECT_EQ(tape.size() % c.size, 0u);
        Standard standard;
        ASSERT_TRUE(ReadStandard(tape.data(), tape.size(), standard));
        EXPECT_EQ(standard, c.standard);
        EXPECT_EQ(FrameSize(standard), c.size);
        const FrameCheck check = CheckFrame(tape.data(), c.size);
        EXPECT_TRUE(check.ok()) << FrameFaultText(check.fault) << " at " << check.sequence << "/"
                                << check.block;
        FrameView view;
        ASSERT_TRUE(ViewFrame(tape.data(), c.size, view));
        EXPECT_EQ(SignalCode(view), c.signal);
        EXPECT_EQ(ReadVideoInfo(view).aspect, Aspect::Ratio4x3);
    }
    // What ffprobe says about our own tape.
    const std::string path = dir / "generated.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, generated));
    EXPECT_EQ(dvtest::Probe(path, "stream=height", "v:0"), c.height);
}

INSTANTIATE_TEST_SUITE_P(Standards, DifStandardTest,
                         ::testing::Values(StandardCase{Standard::PAL, 144000, 5040, "576"},
                                           StandardCase{Standard::NTSC, 120000, 5038, "480"}),
                         [](const auto& info) {
                             return info.param.standard == Standard::PAL ? "PAL" : "NTSC";
                         });

TEST(DifFrameCheck, FaultsAreReportedWithoutReadingPastTheBuffer) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::PAL, 1, tape));
    // Exact-size copies so that ASan catches any read beyond the buffer.
    auto check = [](std::vector<uint8_t> bytes) { return CheckFrame(bytes.data(), bytes.size()); };

    EXPECT_EQ(CheckFrame(nullptr, 0).fault, FrameFault::NoHeader);
    EXPECT_EQ(check(std::vector<uint8_t>(tape.begin(), tape.begin() + 79)).fault,
              FrameFault::NoHeader);
    EXPECT_EQ(check(std::vector<uint8_t>(tape.begin(), tape.begin() + 80)).fault,
              FrameFault::Short);
    EXPECT_EQ(check(std::vector<uint8_t>(tape.begin(), tape.end() - 1)).fault, FrameFault::Short);
    std::vector<uint8_t> longer = tape;
    longer.push_back(0);
    EXPECT_EQ(check(longer).fault, FrameFault::Long);

    // DSF flipped: a PAL-sized buffer that says NTSC.
    std::vector<uint8_t> flipped = tape;
    flipped[3] &= 0x7F;
    EXPECT_EQ(check(flipped).fault, FrameFault::Long);

    std::vector<uint8_t> noHeader = tape;
    noHeader[0] = 0x3F;  // subcode section type in block 0
    EXPECT_EQ(check(noHeader).fault, FrameFault::NoHeader);

    struct {
        int seq, block, byte;
        uint8_t value;
    } const damage[] = {
        {0, 6, 0, 0x96},  // audio block typed as video
        {3, 1, 1, 0x47},  // subcode block with another sequence number
        {11, 149, 2, 0},  // last video block numbered 0
        {7, 5, 2, 1},     // third VAUX block numbered 1
    };
    for (const auto& d : damage) {
        std::vector<uint8_t> bad = tape;
        bad[BlockOffset(d.seq, d.block) + d.byte] = d.value;
        const FrameCheck result = check(bad);
        EXPECT_EQ(result.fault, FrameFault::BadBlockId);
        EXPECT_EQ(result.sequence, d.seq);
        EXPECT_EQ(result.block, d.block);
    }
}

TEST(DifPacks, DvInfoPacksComeFromBothHalvesOfTheSequences) {
    testsupport::ScratchDir dir;
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, Standard::PAL, 0.2);
    FrameView view;
    ASSERT_TRUE(ViewFrame(tape.data(), kFrameSizePAL, view));
    DvInfoPacks packs;
    ASSERT_TRUE(ReadDvInfoPacks(view, packs));
    // 48 kHz 16-bit, 1920 samples: AF_SIZE 24; the second half says channel 2.
    EXPECT_EQ(packs.aauxSrc[0] & 0x3F, 24);
    EXPECT_EQ(packs.aauxSrc[1] & 0x0F, 0);
    EXPECT_EQ(packs.aauxSrc1[1] & 0x0F, 1);
    EXPECT_EQ(packs.aauxSrc[3] & 0x3F, 0);     // SMP 0, QU 0
    EXPECT_EQ(packs.aauxSrc[2] & 0x20, 0x20);  // 50 Hz
    // The raw bytes are the frame's own: VS at frame byte 448, VSC at 453.
    EXPECT_EQ(PackDword(packs.vauxSrc),
              uint32_t(tape[449] | tape[450] << 8 | tape[451] << 16 | tape[452] << 24));
    EXPECT_EQ(PackDword(packs.vauxCtl),
              uint32_t(tape[454] | tape[455] << 8 | tape[456] << 16 | tape[457] << 24));
    // Without the second half's packs the "1" fields read FF FF FF FF.
    std::vector<uint8_t> damaged(tape.begin(), tape.begin() + kFrameSizePAL);
    for (int seq = 6; seq < 12; ++seq)
        for (int a = 0; a < 9; ++a) damaged[AudioBlockOffset(seq, a) + 3] = 0xFF;
    ASSERT_TRUE(ViewFrame(damaged.data(), damaged.size(), view));
    EXPECT_FALSE(ReadDvInfoPacks(view, packs));
    EXPECT_EQ(PackDword(packs.aauxSrc1), 0xFFFFFFFFu);
    EXPECT_EQ(PackDword(packs.aauxCtl1), 0xFFFFFFFFu);
    EXPECT_EQ(packs.aauxSrc[0] & 0x3F, 24);
}

TEST(DifVideoInfo, WideScreenAndSdlSignalCodes) {
    testsupport::ScratchDir dir;
    for (Standard standard : {Standard::PAL, Standard::NTSC}) {
        const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, standard, 0.1, "-aspect 16:9");
        FrameView view;
        ASSERT_TRUE(ViewFrame(tape.data(), tape.size(), view));
        EXPECT_EQ(ReadVideoInfo(view).aspect, Aspect::Ratio16x9);

        // STYPE 1 in every source pack marks the half-rate SDL signal.
        std::vector<uint8_t> sdl(tape.begin(), tape.begin() + FrameSize(standard));
        for (int seq = 0; seq < SequenceCount(standard); ++seq)
            for (int b = 3; b < 6; ++b)
                for (int k = 0; k < 15; ++k) {
                    uint8_t* pack = sdl.data() + BlockOffset(seq, b) + 3 + 5 * k;
                    if (pack[0] == kPackVideoSource) pack[3] = (pack[3] & 0xE0) | 0x01;
                }
        ASSERT_TRUE(ViewFrame(sdl.data(), sdl.size(), view));
        EXPECT_EQ(SignalCode(view),
                  standard == Standard::PAL ? kSignal625_50_SDL : kSignal525_60_SDL);
    }
}

TEST(DifRecordingDate, ReadFromGeneratedAndFfmpegTapes) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::NTSC, 1, tape, 30 * 61 + 7));
    FrameView view;
    ASSERT_TRUE(ViewFrame(tape.data(), tape.size(), view));
    EXPECT_EQ(ReadRecordingDate(view), (RecordingDate{2026, 1, 2}));
    EXPECT_EQ(ReadRecordingTime(view), (RecordingTime{10, 1, 1, 7}));

    // ffmpeg writes 1 January 70 without a creation time: 1970, not 2070.
    testsupport::ScratchDir dir;
    const std::vector<uint8_t> ff = dvtest::FfmpegTape(dir, Standard::PAL, 0.1);
    ASSERT_TRUE(ViewFrame(ff.data(), ff.size(), view));
    EXPECT_EQ(ReadRecordingDate(view), (RecordingDate{1970, 1, 1}));
    const std::optional<RecordingTime> time = ReadRecordingTime(view);
    ASSERT_TRUE(time);
    EXPECT_EQ(time->frames, -1);  // frame digits not recorded
}

TEST(DifRecordingDate, TwoDigitYearsAndInvalidDigits) {
    EXPECT_EQ(FullYear(26), 2026);
    EXPECT_EQ(FullYear(0), 2000);
    EXPECT_EQ(FullYear(68), 2068);
    EXPECT_EQ(FullYear(69), 1969);
    EXPECT_EQ(FullYear(99), 1999);
    const uint8_t ok[4] = {0xFF, 0xC8, 0x12, 0x26};
    EXPECT_EQ(DecodeRecordingDatePack(ok), (RecordingDate{2026, 12, 8}));
    const uint8_t badMonth[4] = {0xFF, 0xC8, 0x13, 0x26};
    const uint8_t badDay[4] = {0xFF, 0xC0, 0x12, 0x26};
    const uint8_t badYear[4] = {0xFF, 0xC8, 0x12, 0x2A};
    const uint8_t absent[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(DecodeRecordingDatePack(badMonth));
    EXPECT_FALSE(DecodeRecordingDatePack(badDay));
    EXPECT_FALSE(DecodeRecordingDatePack(badYear));
    EXPECT_FALSE(DecodeRecordingDatePack(absent));
    const uint8_t badTime[4] = {0xFF, 0x80, 0xE0, 0xC0};  // 60 minutes
    EXPECT_FALSE(DecodeRecordingTimePack(badTime));
}

}  // namespace
