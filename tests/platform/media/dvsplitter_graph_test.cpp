// DV Splitter in a graph: tapes made by ffmpeg, video checked byte for byte
// and by reference, audio against ffmpeg's own extraction.
#include <cmath>

#include "dv/dvaudiopatch.h"
#include "dvtapegraph.h"
#include "mmreg.h"

namespace {

struct SplitGraph {
    ComPtr<IGraphBuilder> graph;
    TapeSource* source = nullptr;
    ComPtr<IBaseFilter> splitter;
    std::vector<Collector*> sinks;  // video, then audio pairs
    std::vector<ComPtr<IBaseFilter>> keep;
};

// source -> splitter -> one collector per output.
void Build(MediaTest& t, ComPtr<IGraphBuilder> graph, std::vector<uint8_t> tape, SplitGraph* g,
           bool withDvInfo = true) {
    g->graph = graph;
    g->source = new TapeSource(std::move(tape), withDvInfo);
    g->keep.push_back(ComPtr<IBaseFilter>::Adopt(g->source));
    g->splitter = CreateFilter(CLSID_DVSplitter);
    ASSERT_TRUE(g->splitter);
    ASSERT_EQ(S_OK, graph->AddFilter(g->source, L"Tape"));
    ASSERT_EQ(S_OK, graph->AddFilter(g->splitter.Get(), L"DV Splitter"));
    ASSERT_EQ(S_OK,
              graph->ConnectDirect(NthPin(g->source, PINDIR_OUTPUT, 0).Get(),
                                   NthPin(g->splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr));
    for (int i = 0;; ++i) {
        ComPtr<IPin> out = NthPin(g->splitter.Get(), PINDIR_OUTPUT, i);
        if (!out) break;
        auto* sink = i == 0 ? new Collector(MEDIATYPE_Video, MEDIASUBTYPE_dvsd)
                            : new Collector(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
        g->keep.push_back(ComPtr<IBaseFilter>::Adopt(sink));
        g->sinks.push_back(sink);
        const std::wstring name = L"Sink" + std::to_wstring(i);
        ASSERT_EQ(S_OK, graph->AddFilter(sink, name.c_str()));
        ASSERT_EQ(S_OK,
                  graph->ConnectDirect(out.Get(), NthPin(sink, PINDIR_INPUT, 0).Get(), nullptr));
    }
}

int SampleRate(const AM_MEDIA_TYPE& mt) {
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, mt.pbFormat, sizeof wfx);
    return static_cast<int>(wfx.nSamplesPerSec);
}

class DvSplitterTest : public MediaTest {
protected:
    testsupport::ScratchDir dir;
};

TEST_F(DvSplitterTest, VideoByReferenceAndAudioAsFfmpegExtractsIt) {
    for (dv::Standard standard : {dv::Standard::PAL, dv::Standard::NTSC}) {
        SCOPED_TRACE(standard == dv::Standard::PAL ? "PAL" : "NTSC");
        std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, standard, 1.0);
        ASSERT_FALSE(tape.empty());
        const std::string path = dir / "tape.dv";
        ASSERT_TRUE(dvtest::WriteFile(path, tape));

        SplitGraph g;
        Build(*this, NewGraph(), tape, &g);
        ASSERT_EQ(2u, g.sinks.size());  // video and one pair: no second pair on this tape
        std::atomic<long> byReference{0};
        g.sinks[0]->onSample = [&](IMediaSample* s) {
            BYTE* p = nullptr;
            s->GetPointer(&p);
            if (g.source->Filled(p)) ++byReference;
        };
        ASSERT_TRUE(RunToEnd(g.graph.Get(), g.sinks));

        EXPECT_TRUE(g.sinks[0]->Bytes() == tape) << "every DIF frame passed on unchanged";
        EXPECT_EQ(static_cast<long>(g.source->Frames()), byReference.load());
        EXPECT_EQ(48000, SampleRate(g.sinks[1]->Type()));
        std::vector<int16_t> expected = dvtest::FfmpegAudio(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(ToPcm(g.sinks[1]->Bytes()) == expected);

        VIDEOINFOHEADER vih;
        std::memcpy(&vih, g.sinks[0]->Type().pbFormat, sizeof vih);
        EXPECT_EQ(standard == dv::Standard::PAL ? 576 : 480, vih.bmiHeader.biHeight);
        EXPECT_EQ(static_cast<DWORD>(dv::FrameSize(standard)), vih.bmiHeader.biSizeImage);
    }
}

TEST_F(DvSplitterTest, FourChannelTapeGivesASecondPair) {
    std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 1.0);
    ASSERT_TRUE(dv::PatchAudioTo32k12(tape, true));
    const std::string path = dir / "tape32k.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, tape));

    SplitGraph g;
    Build(*this, NewGraph(), tape, &g);
    ASSERT_EQ(3u, g.sinks.size());
    PIN_INFO info;
    NthPin(g.splitter.Get(), PINDIR_OUTPUT, 2)->QueryPinInfo(&info);
    info.pFilter->Release();
    EXPECT_STREQ(L"AudOut01", info.achName);
    ASSERT_TRUE(RunToEnd(g.graph.Get(), g.sinks));
    for (int pair = 0; pair < 2; ++pair) {
        SCOPED_TRACE(pair);
        EXPECT_EQ(32000, SampleRate(g.sinks[1 + pair]->Type()));
        std::vector<int16_t> expected = dvtest::FfmpegAudio(path, pair);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(ToPcm(g.sinks[1 + pair]->Bytes()) == expected);
    }
}

// A tape that changes from 48 kHz to 32 kHz keeps the stream's rate: the
// 32 kHz part is converted, stays as long as its frames and carries the
// tone smoothly (no silence, no clicks).
TEST_F(DvSplitterTest, RateChangeMidTapeIsConvertedToTheStreamRate) {
    std::vector<uint8_t> first = dvtest::FfmpegTape(dir, dv::Standard::PAL, 1.0);
    std::vector<uint8_t> second = first;
    ASSERT_TRUE(dv::PatchAudioTo32k12(second, false));
    std::vector<uint8_t> tape = first;
    tape.insert(tape.end(), second.begin(), second.end());
    const std::string path = dir / "first.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, first));

    SplitGraph g;
    Build(*this, NewGraph(), tape, &g);
    ASSERT_TRUE(RunToEnd(g.graph.Get(), g.sinks));
    EXPECT_EQ(48000, SampleRate(g.sinks[1]->Type()));
    std::vector<int16_t> pcm = ToPcm(g.sinks[1]->Bytes());
    std::vector<int16_t> expected = dvtest::FfmpegAudio(path);
    ASSERT_GT(pcm.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pcm.begin()));

    const size_t converted = (pcm.size() - expected.size()) / 2;
    EXPECT_NEAR(25 * 1920.0, static_cast<double>(converted), 2.0);
    int peak = 0, jump = 0;
    for (size_t i = 0; i < expected.size(); i += 2) peak = std::max(peak, std::abs(expected[i]));
    for (size_t i = expected.size(); i + 2 < pcm.size(); i += 2) {
        jump = std::max(jump, std::abs(pcm[i + 2] - pcm[i]));
    }
    double energy = 0;
    for (size_t i = expected.size(); i < pcm.size(); i += 2) energy += double(pcm[i]) * pcm[i];
    const double rms = std::sqrt(energy / converted);
    EXPECT_GT(rms, peak * 0.5) << "the converted part is not silent";
    EXPECT_LT(jump, peak * 0.3) << "no clicks at the change or inside the converted part";
}

// Signal-to-noise ratio (dB) of `ours` against `reference`.
double Snr(const int16_t* ours, const int16_t* reference, size_t n) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        signal += double(reference[i]) * reference[i];
        noise += (double(ours[i]) - reference[i]) * (double(ours[i]) - reference[i]);
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : 200;  // 200: identical
}

// A 48 kHz stretch, a 32 kHz stretch, 48 kHz again: both 48 kHz stretches
// are sample-identical to the tape, in their places; the 32 kHz one is
// what ffmpeg's own resampling to 48 kHz makes of it, and exactly as long.
TEST_F(DvSplitterTest, RateChangeIsResampledAsFfmpegDoes) {
    std::vector<uint8_t> native = dvtest::FfmpegTape(dir, dv::Standard::PAL, 1.0);
    std::vector<uint8_t> other = native;
    ASSERT_TRUE(dv::PatchAudioTo32k12(other, false));
    std::vector<uint8_t> tape = native;
    tape.insert(tape.end(), other.begin(), other.end());
    tape.insert(tape.end(), native.begin(), native.end());
    ASSERT_TRUE(dvtest::WriteFile(dir / "native.dv", native));
    ASSERT_TRUE(dvtest::WriteFile(dir / "other.dv", other));
    const std::vector<int16_t> nativePcm = dvtest::FfmpegAudio(dir / "native.dv");
    const std::vector<int16_t> reference = dvtest::FfmpegAudio(dir / "other.dv", 0, 48000);
    ASSERT_EQ(nativePcm.size(), 25u * 1920 * 2);
    ASSERT_EQ(reference.size(), 25u * 1920 * 2);

    SplitGraph g;
    Build(*this, NewGraph(), tape, &g);
    ASSERT_TRUE(RunToEnd(g.graph.Get(), g.sinks));
    const std::vector<int16_t> pcm = ToPcm(g.sinks[1]->Bytes());
    const size_t stretch = nativePcm.size();
    ASSERT_EQ(pcm.size(), 3 * stretch) << "every stretch as long as its frames";
    EXPECT_TRUE(std::equal(nativePcm.begin(), nativePcm.end(), pcm.begin()));
    EXPECT_TRUE(std::equal(nativePcm.begin(), nativePcm.end(), pcm.begin() + 2 * stretch));
    const double snr = Snr(pcm.data() + stretch, reference.data(), stretch);
    std::printf("32 kHz stretch against ffmpeg's resampling to 48 kHz: SNR %.1f dB%s\n", snr,
                snr >= 200 ? " (sample-identical)" : "");
    EXPECT_GT(snr, 60.0);
}

TEST_F(DvSplitterTest, OutputsAppearWithTheInputAndDefaultTo48kHz) {
    std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.2);
    ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
    EXPECT_FALSE(NthPin(splitter.Get(), PINDIR_OUTPUT, 0));

    SplitGraph g;
    Build(*this, NewGraph(), tape, &g, false);
    ASSERT_EQ(2u, g.sinks.size());
    EXPECT_EQ(48000, SampleRate(g.sinks[1]->Type()));
    ASSERT_TRUE(RunToEnd(g.graph.Get(), g.sinks));
    EXPECT_EQ(static_cast<size_t>(5 * 1920 * 4), g.sinks[1]->Bytes().size());
}

}  // namespace
