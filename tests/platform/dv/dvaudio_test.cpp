// Audio extraction: sample-identical to ffmpeg for 16-bit and 12-bit tapes,
// the 12-bit curve, the 4-channel pair split, and a table of damaged frames
// that must give silence and counts, never noise or a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <thread>

#include "dv/difpacks.h"
#include "dv/dvaudioembed.h"
#include "dv/dvaudioextractor.h"
#include "dv/dvaudiopatch.h"
#include "dv/dvsample12.h"
#include "dv/dvtesttape.h"
#include "testsupport/dvtools.h"

using namespace dv;

namespace {

struct Extracted {
    std::vector<int16_t> pair1, pair2;
    std::vector<AudioExtraction> frames;
};

Extracted ExtractAll(const std::vector<uint8_t>& tape, AudioExtractor& extractor) {
    Extracted out;
    Standard standard;
    if (!ReadStandard(tape.data(), tape.size(), standard)) return out;
    const size_t size = FrameSize(standard);
    // Heap buffers of exactly the documented size, so ASan sees overruns.
    std::vector<int16_t> p1(2 * kAudioBufferSamples), p2(2 * kAudioBufferSamples);
    for (size_t offset = 0; offset + size <= tape.size(); offset += size) {
        const AudioExtraction got =
            extractor.Extract(tape.data() + offset, size, p1.data(), p2.data());
        out.frames.push_back(got);
        out.pair1.insert(out.pair1.end(), p1.begin(), p1.begin() + 2 * got.samples);
        if (got.secondPair)
            out.pair2.insert(out.pair2.end(), p2.begin(), p2.begin() + 2 * got.samples);
    }
    return out;
}

Extracted ExtractAll(const std::vector<uint8_t>& tape) {
    AudioExtractor extractor;
    return ExtractAll(tape, extractor);
}

class AudioVsFfmpeg : public ::testing::TestWithParam<Standard> {};

TEST_P(AudioVsFfmpeg, SixteenBitIsSampleIdentical) {
    const Standard standard = GetParam();
    testsupport::ScratchDir dir;
    std::vector<uint8_t> generated;
    ASSERT_TRUE(MakeTestTape(standard, 10, generated, 3));
    // ffmpeg writes 44.1 and 32 kHz 16-bit for 625/50 only.
    std::vector<std::pair<std::vector<uint8_t>, int>> tapes = {
        {generated, 48000}, {dvtest::FfmpegTape(dir, standard, 0.5), 48000}};
    if (standard == Standard::PAL) {
        tapes.emplace_back(dvtest::FfmpegTape(dir, standard, 0.2, "-ar 44100"), 44100);
        tapes.emplace_back(dvtest::FfmpegTape(dir, standard, 0.2, "-ar 32000"), 32000);
    }
    for (const auto& [tape, rate] : tapes) {
        SCOPED_TRACE(rate);
        ASSERT_FALSE(tape.empty());
        const std::string path = dir / "tape.dv";
        ASSERT_TRUE(dvtest::WriteFile(path, tape));
        AudioExtractor extractor;
        const Extracted ours = ExtractAll(tape, extractor);
        const std::vector<int16_t> theirs = dvtest::FfmpegAudio(path);
        ASSERT_EQ(ours.pair1.size(), theirs.size());
        EXPECT_TRUE(ours.pair1 == theirs);
        EXPECT_EQ(extractor.SilencedFrames(), 0u);
        EXPECT_EQ(extractor.ErrorSamples(), 0u);
        for (const AudioExtraction& f : ours.frames) {
            EXPECT_EQ(f.sampleRate, rate);
            EXPECT_FALSE(f.secondPair);
        }
        if (rate != 48000) continue;
        if (standard == Standard::NTSC) {
            // Locked 48 kHz in 525/60: 8008 samples every five frames.
            int five = 0;
            for (int i = 0; i < 5; ++i) five += ours.frames[i].samples;
            EXPECT_EQ(five, 8008);
        } else {
            EXPECT_EQ(ours.frames[0].samples, 1920);
        }
    }
}

TEST_P(AudioVsFfmpeg, TwelveBitPairsAreSampleIdentical) {
    const Standard standard = GetParam();
    testsupport::ScratchDir dir;
    const std::vector<uint8_t> source = dvtest::FfmpegTape(dir, standard, 0.4);
    ASSERT_FALSE(source.empty());
    const Extracted original = ExtractAll(source);
    for (bool four : {false, true}) {
        std::vector<uint8_t> tape = source;
        ASSERT_TRUE(PatchAudioTo32k12(tape, four));
        const std::string path = dir / "tape12.dv";
        ASSERT_TRUE(dvtest::WriteFile(path, tape));
        const Extracted ours = ExtractAll(tape);
        for (const AudioExtraction& f : ours.frames) {
            EXPECT_EQ(f.sampleRate, 32000);
            EXPECT_EQ(f.secondPair, four);
            EXPECT_GE(f.samples, MinSamples(standard, 32000));
            EXPECT_LE(f.samples, MaxSamples(standard, 32000));
        }
        EXPECT_TRUE(ours.pair1 == dvtest::FfmpegAudio(path, 0));
        if (four) {
            EXPECT_TRUE(ours.pair2 == dvtest::FfmpegAudio(path, 1));
            ASSERT_EQ(ours.pair2.size(), ours.pair1.size());
            // Pair 2 is pair 1 swapped and inverted, up to the 12-bit steps.
            for (size_t i = 0; i < ours.pair1.size(); i += 2) {
                ASSERT_NEAR(ours.pair2[i], -ours.pair1[i + 1],
                            1 + std::abs(ours.pair1[i + 1]) / 128);
                ASSERT_NEAR(ours.pair2[i + 1], -ours.pair1[i], 1 + std::abs(ours.pair1[i]) / 128);
            }
        } else {
            EXPECT_TRUE(ours.pair2.empty());
        }
        // The tone survives: 32000/48000 of the samples, the same amplitude.
        int16_t peak48 = 0, peak32 = 0;
        for (int16_t v : original.pair1) peak48 = std::max<int16_t>(peak48, v);
        for (int16_t v : ours.pair1) peak32 = std::max<int16_t>(peak32, v);
        EXPECT_NEAR(double(ours.pair1.size()) / original.pair1.size(), 2.0 / 3.0, 0.01);
        EXPECT_NEAR(peak32, peak48, peak48 / 50);
    }
}

INSTANTIATE_TEST_SUITE_P(Standards, AudioVsFfmpeg, ::testing::Values(Standard::PAL, Standard::NTSC),
                         [](const auto& info) {
                             return info.param == Standard::PAL ? "PAL" : "NTSC";
                         });

TEST(Audio12Bit, ExpansionCurve) {
    struct {
        uint16_t code;
        int16_t value;
    } const table[] = {
        {0x000, 0},     {0x001, 1},      {0x1FF, 511},    {0x200, 512},  {0x201, 514},
        {0x2FF, 1022},  {0x300, 1024},   {0x400, 2048},   {0x500, 4096}, {0x600, 8192},
        {0x700, 16384}, {0x7FF, 32704},  {0xFFF, -1},     {0xE00, -512}, {0xDFF, -513},
        {0xD00, -1023}, {0x801, -32641}, {0x900, -16353},
    };
    for (const auto& t : table) EXPECT_EQ(Expand12(t.code), t.value) << std::hex << t.code;

    // Monotonic over the signed codes, symmetric under bitwise not, and
    // Compress12 inverts it for every code but the error code.
    int previous = INT32_MIN;
    for (int s = -2047; s <= 2047; ++s) {
        const uint16_t code = static_cast<uint16_t>(s & 0xFFF);
        const int16_t value = Expand12(code);
        ASSERT_GT(value, previous) << s;
        previous = value;
        ASSERT_EQ(Expand12(static_cast<uint16_t>(~s & 0xFFF)), static_cast<int16_t>(~value)) << s;
        ASSERT_EQ(Compress12(value), code) << s;
    }
    // Every 16-bit value compresses to the code of the nearest value at or
    // towards zero, and never to the error code.
    for (int v = -32768; v <= 32767; ++v) {
        const uint16_t code = Compress12(static_cast<int16_t>(v));
        ASSERT_NE(code, kError12) << v;
        const int back = Expand12(code);
        if (v >= 0) {
            ASSERT_LE(back, v);
            ASSERT_LT(v - back, 64);
        } else if (v > -32641) {
            ASSERT_GE(back, v);
            ASSERT_LT(back - v, 64);
        }
    }
}

// ---- Damaged frames ------------------------------------------------------

enum class Expect { Silence, ErrorSamples };

struct Fault {
    const char* name;
    Expect expect;
    void (*damage)(std::vector<uint8_t>& frame);
};

void SetSourcePacks(std::vector<uint8_t>& f, int byte, uint8_t mask, uint8_t value, int firstSeq,
                    int lastSeq) {
    for (int seq = firstSeq; seq <= lastSeq; ++seq) {
        uint8_t* pack = f.data() + AudioBlockOffset(seq, AauxPackBlock(seq, kPackAudioSource)) + 3;
        pack[byte] = static_cast<uint8_t>((pack[byte] & ~mask) | value);
    }
}

const Fault kFaults[] = {
    {"truncated by one byte", Expect::Silence, [](std::vector<uint8_t>& f) { f.pop_back(); }},
    {"truncated to half", Expect::Silence, [](std::vector<uint8_t>& f) { f.resize(f.size() / 2); }},
    {"header only", Expect::Silence, [](std::vector<uint8_t>& f) { f.resize(80); }},
    {"empty", Expect::Silence, [](std::vector<uint8_t>& f) { f.clear(); }},
    {"one byte too long", Expect::Silence, [](std::vector<uint8_t>& f) { f.push_back(0); }},
    {"random bytes", Expect::Silence,
     [](std::vector<uint8_t>& f) {
         std::mt19937 random(7);
         for (uint8_t& b : f) b = static_cast<uint8_t>(random());
     }},
    {"random bytes after a good header", Expect::Silence,
     [](std::vector<uint8_t>& f) {
         std::mt19937 random(8);
         for (size_t i = 80; i < f.size(); ++i) f[i] = static_cast<uint8_t>(random());
     }},
    {"no source pack in any sequence", Expect::Silence,
     [](std::vector<uint8_t>& f) {
         SetSourcePacks(
             f, 0, 0xFF, 0xFF, 0,
             SequenceCount(f.size() == kFrameSizePAL ? Standard::PAL : Standard::NTSC) - 1);
     }},
    {"nothing recorded (mode 0xF)", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 2, 0x0F, 0x0F, 0, 4); }},
    {"sample count above the maximum", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 1, 0x3F, 0x3F, 0, 4); }},
    {"unknown sample rate", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 4, 0x38, 0x18, 0, 9); }},
    {"12-bit at 48 kHz", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 4, 0x07, 0x01, 0, 9); }},
    {"halves disagree on the rate", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 4, 0x38, 0x10, 5, 9); }},
    {"50/60 flag contradicts the header", Expect::Silence,
     [](std::vector<uint8_t>& f) { SetSourcePacks(f, 3, 0x20, 0x20, 0, 9); }},
    {"header typed as another section", Expect::Silence,
     [](std::vector<uint8_t>& f) { f[0] = 0x7F; }},
    {"audio block with a video ID", Expect::ErrorSamples,
     [](std::vector<uint8_t>& f) { f[AudioBlockOffset(2, 7)] = 0x96; }},
    {"audio block with another sequence number", Expect::ErrorSamples,
     [](std::vector<uint8_t>& f) { f[AudioBlockOffset(7, 2) + 1] = 0x17; }},
    {"error-code samples", Expect::ErrorSamples,
     [](std::vector<uint8_t>& f) {
         for (int k = 0; k < 36; k += 5) {
             f[AudioBlockOffset(1, 5) + 8 + 2 * k] = 0x80;
             f[AudioBlockOffset(1, 5) + 9 + 2 * k] = 0x00;
         }
     }},
};

TEST(AudioFaults, DamagedFramesGiveSilenceAndCountsNeverNoise) {
    // An NTSC tape: frame 1 is damaged in each case, frames 0 and 2 are good.
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::NTSC, 3, tape));
    const Extracted clean = ExtractAll(tape);
    ASSERT_EQ(clean.frames.size(), 3u);
    const size_t size = kFrameSizeNTSC;
    const int nominal = clean.frames[1].samples;

    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(fault.name);
        AudioExtractor extractor;
        std::vector<int16_t> pcm(2 * kAudioBufferSamples);
        std::vector<int16_t> pair2(2 * kAudioBufferSamples);
        extractor.Extract(tape.data(), size, pcm.data(), pair2.data());

        std::vector<uint8_t> damaged(tape.begin() + size, tape.begin() + 2 * size);
        fault.damage(damaged);
        std::fill(pcm.begin(), pcm.end(), int16_t(0x5555));
        const AudioExtraction got =
            extractor.Extract(damaged.data(), damaged.size(), pcm.data(), pair2.data());
        EXPECT_EQ(got.samples, nominal);
        EXPECT_EQ(got.sampleRate, 48000);
        if (fault.expect == Expect::Silence) {
            EXPECT_TRUE(got.silenced);
            EXPECT_EQ(extractor.SilencedFrames(), 1u);
            for (int i = 0; i < 2 * got.samples; ++i) ASSERT_EQ(pcm[i], 0) << i;
        } else {
            EXPECT_FALSE(got.silenced);
            EXPECT_EQ(extractor.SilencedFrames(), 0u);
            EXPECT_GT(got.errorSamples, 0);
            EXPECT_EQ(extractor.ErrorSamples(), uint64_t(got.errorSamples));
            // Only counted samples differ from the clean frame, and they are
            // zero (the tone itself passes through 0, so count both ways).
            const int16_t* want = clean.pair1.data() + 2 * clean.frames[0].samples;
            int differing = 0, zeros = 0;
            for (int i = 0; i < 2 * got.samples; ++i) {
                zeros += pcm[i] == 0;
                if (pcm[i] != want[i]) {
                    ++differing;
                    ASSERT_EQ(pcm[i], 0) << i;
                }
            }
            EXPECT_GT(differing, 0);
            EXPECT_LE(differing, got.errorSamples);
            EXPECT_GE(zeros, got.errorSamples);
        }
        // The next good frame is read normally.
        const AudioExtraction after =
            extractor.Extract(tape.data() + 2 * size, size, pcm.data(), pair2.data());
        EXPECT_FALSE(after.silenced);
        EXPECT_EQ(after.samples, clean.frames[2].samples);
    }
}

TEST(AudioFaults, TwelveBitErrorCodesAndSilenceKeepTheSecondPair) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::PAL, 3, tape));
    ASSERT_TRUE(PatchAudioTo32k12(tape, true));
    const size_t size = kFrameSizePAL;
    AudioExtractor extractor;
    std::vector<int16_t> p1(2 * kAudioBufferSamples), p2(2 * kAudioBufferSamples);
    ASSERT_TRUE(extractor.Extract(tape.data(), size, p1.data(), p2.data()).secondPair);

    // 0x800 in both samples of one group of a second-pair block.
    std::vector<uint8_t> frame(tape.begin() + size, tape.begin() + 2 * size);
    uint8_t* group = frame.data() + AudioBlockOffset(8, 4) + 8 + 3 * 2;
    group[0] = 0x80;
    group[1] = 0x80;
    group[2] = 0x00;
    AudioExtraction got = extractor.Extract(frame.data(), size, p1.data(), p2.data());
    EXPECT_EQ(got.errorSamples, 2);
    EXPECT_EQ(extractor.ErrorSamples(), 2u);

    // A silenced frame of a 4-channel tape is 1280 samples of silence on both pairs.
    std::fill(p2.begin(), p2.end(), int16_t(0x5555));
    got = extractor.Extract(frame.data(), size / 2, p1.data(), p2.data());
    EXPECT_TRUE(got.silenced);
    EXPECT_TRUE(got.secondPair);
    EXPECT_EQ(got.samples, 1280);
    EXPECT_EQ(got.sampleRate, 32000);
    for (int i = 0; i < 2 * got.samples; ++i) ASSERT_EQ(p2[i], 0);
}

TEST(AudioFaults, RandomMutationsOfRealFramesNeverOverrun) {
    testsupport::ScratchDir dir;
    std::vector<uint8_t> tapes[3] = {dvtest::FfmpegTape(dir, Standard::PAL, 0.04),
                                     dvtest::FfmpegTape(dir, Standard::NTSC, 0.04),
                                     {}};
    ASSERT_TRUE(MakeTestTape(Standard::PAL, 1, tapes[2]));
    ASSERT_TRUE(PatchAudioTo32k12(tapes[2], true));
    std::mt19937 random(12345);
    AudioExtractor extractor;
    std::vector<int16_t> p1(2 * kAudioBufferSamples), p2(2 * kAudioBufferSamples);
    for (int round = 0; round < 600; ++round) {
        const std::vector<uint8_t>& source = tapes[round % 3];
        Standard standard;
        ASSERT_TRUE(ReadStandard(source.data(), source.size(), standard));
        std::vector<uint8_t> frame(source.begin(), source.begin() + FrameSize(standard));
        // Flip bytes, mostly in the first blocks of each sequence and the
        // audio blocks, where the parser looks.
        const int flips = 1 + random() % 40;
        for (int i = 0; i < flips; ++i) {
            const int seq = random() % SequenceCount(standard);
            const int block = random() % 2 ? random() % 6 : 6 + 16 * (random() % 9);
            frame[BlockOffset(seq, block) + random() % 80] = static_cast<uint8_t>(random());
        }
        if (random() % 8 == 0) frame.resize(random() % frame.size());
        const AudioExtraction got =
            extractor.Extract(frame.data(), frame.size(), p1.data(), p2.data());
        ASSERT_GT(got.samples, 0);
        ASSERT_LE(got.samples, kAudioBufferSamples);
        FrameCheck check = CheckFrame(frame.data(), frame.size());
        (void)check;
    }
    EXPECT_GT(extractor.SilencedFrames(), 0u);
}

TEST(AudioFaults, CountersReadFromAnotherThread) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::PAL, 1, tape));
    AudioExtractor extractor;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        uint64_t last = 0;
        while (!done.load()) {
            const uint64_t now = extractor.SilencedFrames() + extractor.ErrorSamples();
            EXPECT_GE(now, last);
            last = now;
        }
    });
    std::vector<int16_t> p1(2 * kAudioBufferSamples);
    for (int i = 0; i < 200; ++i)
        extractor.Extract(tape.data(), i % 2 ? tape.size() : 100, p1.data(), nullptr);
    done = true;
    reader.join();
    EXPECT_EQ(extractor.SilencedFrames(), 100u);
}

TEST(AudioEmbed, RefusesLayoutsTheFormatCannotCarry) {
    std::vector<uint8_t> tape;
    ASSERT_TRUE(MakeTestTape(Standard::PAL, 1, tape));
    const std::vector<uint8_t> before = tape;
    std::vector<int16_t> pcm(2 * kAudioBufferSamples);
    AudioLayout layout;
    layout.samples = 1895;  // below the 48 kHz minimum
    EXPECT_FALSE(WriteAudio(tape.data(), Standard::PAL, layout, pcm.data(), nullptr));
    layout.samples = 1920;
    layout.quantization = Quantization::Nonlinear12;  // 12-bit needs 32 kHz
    EXPECT_FALSE(WriteAudio(tape.data(), Standard::PAL, layout, pcm.data(), nullptr));
    layout.quantization = Quantization::Linear16;
    layout.sampleRate = 22050;
    EXPECT_FALSE(WriteAudio(tape.data(), Standard::PAL, layout, pcm.data(), nullptr));
    EXPECT_TRUE(tape == before);
}

}  // namespace
