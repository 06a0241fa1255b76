// DV Video Decoder in a graph: picture sizes per display resolution, the
// picture against ffmpeg's own decode, IIPDVDec, and intelligent connect
// finding it by its name.
#include <cstdlib>

#include "dvtapegraph.h"

namespace {

class DvDecoderTest : public MediaTest {
protected:
    struct Chain {
        ComPtr<IGraphBuilder> graph;
        ComPtr<IBaseFilter> decoder;
        Collector* sink = nullptr;
        std::vector<ComPtr<IBaseFilter>> keep;
    };

    // tape -> splitter -> decoder -> RGB32 collector; the resolution is set
    // after everything is connected (the decoder reconnects its output).
    void Build(const std::vector<uint8_t>& tape, int resolution, Chain* c) {
        c->graph = NewGraph();
        auto* source = new TapeSource(tape);
        c->keep.push_back(ComPtr<IBaseFilter>::Adopt(source));
        ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
        c->decoder = CreateFilter(CLSID_DVVidDec);
        c->sink = new Collector(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
        c->keep.push_back(ComPtr<IBaseFilter>::Adopt(c->sink));
        ASSERT_EQ(S_OK, c->graph->AddFilter(source, L"Tape"));
        ASSERT_EQ(S_OK, c->graph->AddFilter(splitter.Get(), L"DV Splitter"));
        ASSERT_EQ(S_OK, c->graph->AddFilter(c->decoder.Get(), L"DV Video Decoder"));
        ASSERT_EQ(S_OK, c->graph->AddFilter(c->sink, L"Sink"));
        ASSERT_EQ(S_OK,
                  c->graph->ConnectDirect(NthPin(source, PINDIR_OUTPUT, 0).Get(),
                                          NthPin(splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr));
        ASSERT_EQ(S_OK, c->graph->ConnectDirect(NthPin(splitter.Get(), PINDIR_OUTPUT, 0).Get(),
                                                NthPin(c->decoder.Get(), PINDIR_INPUT, 0).Get(),
                                                nullptr));
        ASSERT_EQ(S_OK, c->graph->ConnectDirect(NthPin(c->decoder.Get(), PINDIR_OUTPUT, 0).Get(),
                                                NthPin(c->sink, PINDIR_INPUT, 0).Get(), nullptr));
        ComPtr<IIPDVDec> dec;
        ASSERT_EQ(S_OK, c->decoder.As(&dec));
        ASSERT_EQ(S_OK, dec->put_IPDisplay(resolution));
    }

    // The first picture, top row first, as 32-bit B G R x.
    static std::vector<uint8_t> TopDown(const std::vector<uint8_t>& bottomUp, int w, int h) {
        std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
        for (int r = 0; r < h; ++r)
            std::memcpy(&out[static_cast<size_t>(r) * w * 4],
                        &bottomUp[static_cast<size_t>(h - 1 - r) * w * 4],
                        static_cast<size_t>(w) * 4);
        return out;
    }

    testsupport::ScratchDir dir;
};

TEST_F(DvDecoderTest, PictureSizeFollowsTheDisplayResolution) {
    struct Case {
        dv::Standard standard;
        int resolution, width, height;
    } cases[] = {
        {dv::Standard::PAL, DVRESOLUTION_FULL, 720, 576},
        {dv::Standard::PAL, DVRESOLUTION_HALF, 360, 288},
        {dv::Standard::PAL, DVRESOLUTION_QUARTER, 180, 144},
        {dv::Standard::PAL, DVRESOLUTION_DC, 90, 72},
        {dv::Standard::NTSC, DVRESOLUTION_FULL, 720, 480},
        {dv::Standard::NTSC, DVRESOLUTION_HALF, 360, 240},
        {dv::Standard::NTSC, DVRESOLUTION_DC, 90, 60},
    };
    const std::vector<uint8_t> pal = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.2);
    const std::vector<uint8_t> ntsc = dvtest::FfmpegTape(dir, dv::Standard::NTSC, 0.2);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.width);
        Chain c;
        Build(k.standard == dv::Standard::PAL ? pal : ntsc, k.resolution, &c);
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, c.sink->Type().pbFormat, sizeof vih);
        EXPECT_EQ(k.width, vih.bmiHeader.biWidth);
        EXPECT_EQ(k.height, vih.bmiHeader.biHeight);
        EXPECT_EQ(32, vih.bmiHeader.biBitCount);
        ASSERT_TRUE(RunToEnd(c.graph.Get(), {c.sink}));
        std::vector<long> sizes = c.sink->Sizes();
        const auto& tape = k.standard == dv::Standard::PAL ? pal : ntsc;
        ASSERT_EQ(tape.size() / dv::FrameSize(k.standard), sizes.size());
        for (long s : sizes) EXPECT_EQ(k.width * k.height * 4, s);
    }
}

TEST_F(DvDecoderTest, PictureMatchesFfmpegsDecodeAtFullAndHalfSize) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.2);
    const std::string path = dir / "tape.dv";
    ASSERT_TRUE(dvtest::WriteFile(path, tape));
    for (int lowres = 0; lowres < 2; ++lowres) {
        SCOPED_TRACE(lowres);
        const int w = 720 >> lowres, h = 576 >> lowres;
        Chain c;
        Build(tape, DVRESOLUTION_FULL + lowres, &c);
        ASSERT_TRUE(RunToEnd(c.graph.Get(), {c.sink}));
        const std::vector<uint8_t> ours = TopDown(c.sink->Bytes(), w, h);
        const std::string theirs =
            dvtest::Run("ffmpeg -nostdin -loglevel error -lowres " + std::to_string(lowres) +
                        " -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt bgr0 -");
        ASSERT_EQ(ours.size(), theirs.size());
        double diff = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            if (i % 4 == 3) continue;  // the unused byte
            diff += std::abs(int(ours[i]) - int(uint8_t(theirs[i])));
        }
        EXPECT_LT(diff / (ours.size() * 3 / 4), 3.0) << "mean difference per colour value";
        // No column may be off on its own (a conversion that spoils the
        // first pixels of every row hides in the mean).
        double worst = 0;
        for (int x = 0; x < w; ++x) {
            double column = 0;
            for (int y = 0; y < h; ++y)
                for (int k = 0; k < 3; ++k) {
                    const size_t i = (static_cast<size_t>(y) * w + x) * 4 + k;
                    column += std::abs(int(ours[i]) - int(uint8_t(theirs[i])));
                }
            worst = std::max(worst, column / (h * 3));
        }
        EXPECT_LT(worst, 8.0) << "mean difference in the worst column";
    }
}

TEST_F(DvDecoderTest, DisplayResolutionIsCheckedAndNeedsAStoppedFilterToChangeSize) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.2);
    ComPtr<IIPDVDec> fresh;
    ASSERT_EQ(S_OK, CreateFilter(CLSID_DVVidDec).As(&fresh));
    int value = 0;
    EXPECT_EQ(S_OK, fresh->get_IPDisplay(&value));
    EXPECT_EQ(DVRESOLUTION_HALF, value);
    EXPECT_EQ(E_INVALIDARG, fresh->put_IPDisplay(999));
    EXPECT_EQ(E_INVALIDARG, fresh->put_IPDisplay(DVRESOLUTION_DC + 1));
    EXPECT_EQ(E_POINTER, fresh->get_IPDisplay(nullptr));

    Chain c;
    Build(tape, DVRESOLUTION_QUARTER, &c);
    ComPtr<IIPDVDec> dec;
    ASSERT_EQ(S_OK, c.decoder.As(&dec));
    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, c.graph.As(&control));
    ASSERT_EQ(S_OK, control->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, dec->put_IPDisplay(DVRESOLUTION_FULL));
    EXPECT_EQ(S_OK, dec->put_IPDisplay(DVRESOLUTION_QUARTER));  // no change
    control->Stop();
    EXPECT_EQ(S_OK, dec->get_IPDisplay(&value));
    EXPECT_EQ(DVRESOLUTION_QUARTER, value);
}

TEST_F(DvDecoderTest, IntelligentConnectInsertsSplitterAndNamedDecoder) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::NTSC, 0.2);
    ComPtr<IGraphBuilder> graph = NewGraph();
    auto* source = new TapeSource(tape);
    auto keepSource = ComPtr<IBaseFilter>::Adopt(source);
    auto* sink = new Collector(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
    auto keepSink = ComPtr<IBaseFilter>::Adopt(sink);
    ASSERT_EQ(S_OK, graph->AddFilter(source, L"Tape"));
    ASSERT_EQ(S_OK, graph->AddFilter(sink, L"Sink"));
    ASSERT_TRUE(SUCCEEDED(graph->Connect(NthPin(source, PINDIR_OUTPUT, 0).Get(),
                                         NthPin(sink, PINDIR_INPUT, 0).Get())));
    ComPtr<IBaseFilter> decoder;
    ASSERT_EQ(S_OK, graph->FindFilterByName(L"DV Video Decoder", decoder.ReleaseAndGetAddressOf()));
    ComPtr<IIPDVDec> dec;
    EXPECT_EQ(S_OK, decoder.As(&dec));
    ComPtr<IBaseFilter> splitter;
    EXPECT_EQ(S_OK, graph->FindFilterByName(L"DV Splitter", splitter.ReleaseAndGetAddressOf()));
    ASSERT_TRUE(RunToEnd(graph.Get(), {sink}));
    EXPECT_EQ(static_cast<long>(source->Frames()), sink->samples.load());
}

}  // namespace
