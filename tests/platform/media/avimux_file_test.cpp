// AVI Mux and File Writer in capture graphs built as the program builds
// them (SetOutputFileName, RenderStream), files read back with ffprobe and
// ffmpeg: Type-1 and Type-2, PAL and NTSC, every DV frame and every audio
// sample; a new file after SetFileName; EC_ERRORABORT on a failed write.
#include <signal.h>
#include <sys/resource.h>

#include "dvtapegraph.h"

namespace {

class AviMuxTest : public MediaTest {
protected:
    struct Capture {
        ComPtr<IGraphBuilder> graph;
        ComPtr<ICaptureGraphBuilder2> builder;
        ComPtr<IBaseFilter> mux;
        ComPtr<IFileSinkFilter> sink;
        ComPtr<IBaseFilter> source;
        TapeSource* tape = nullptr;
    };

    // Builds the recording branch of a capture graph: Type-1 (the tape's
    // interleaved stream into the mux) or Type-2 (through a DV splitter).
    void Build(const std::vector<uint8_t>& tape, bool type2, const std::string& file, Capture* c) {
        c->graph = NewGraph();
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2,
                                   reinterpret_cast<void**>(c->builder.ReleaseAndGetAddressOf())));
        ASSERT_EQ(S_OK, c->builder->SetFiltergraph(c->graph.Get()));
        c->tape = new TapeSource(tape);
        c->source = ComPtr<IBaseFilter>::Adopt(c->tape);
        ASSERT_EQ(S_OK, c->graph->AddFilter(c->source.Get(), L"Tape"));
        const std::wstring name(file.begin(), file.end());
        ASSERT_EQ(S_OK, c->builder->SetOutputFileName(&MEDIASUBTYPE_Avi, name.c_str(),
                                                      c->mux.ReleaseAndGetAddressOf(),
                                                      c->sink.ReleaseAndGetAddressOf()));
        ComPtr<IConfigAviMux> config;
        ASSERT_EQ(S_OK, c->mux.As(&config));
        config->SetOutputCompatibilityIndex(TRUE);
        ComPtr<IConfigInterleaving> interleaving;
        ASSERT_EQ(S_OK, c->mux.As(&interleaving));
        EXPECT_EQ(S_OK, interleaving->put_Mode(INTERLEAVE_NONE_BUFFERED));
        if (!type2) {
            ASSERT_TRUE(
                SUCCEEDED(c->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                                   c->source.Get(), nullptr, c->mux.Get())));
            return;
        }
        ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
        ASSERT_EQ(S_OK, c->graph->AddFilter(splitter.Get(), L"DV Splitter"));
        ASSERT_TRUE(
            SUCCEEDED(c->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                               c->source.Get(), nullptr, splitter.Get())));
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(SUCCEEDED(
                c->builder->RenderStream(nullptr, nullptr, splitter.Get(), nullptr, c->mux.Get())));
    }

    // Runs until the mux reports the recording complete or a failure, then
    // stops; returns EC_ERRORABORT if it was raised at any time (a failure
    // the writer thread meets late is reported when the file is finalised),
    // else the event that ended the run.
    long Record(Capture* c, LONG_PTR* param = nullptr) {
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        c->graph.As(&control);
        c->graph.As(&events);
        control->Run();
        long code = 0, result = 0;
        LONG_PTR p1 = 0, p2 = 0;
        auto seen = [&] {
            events->FreeEventParams(code, p1, p2);
            if (code == EC_ERRORABORT && result != EC_ERRORABORT) {
                result = code;
                if (param) *param = p1;
            } else if (code == EC_COMPLETE && result == 0) {
                result = code;
            }
        };
        while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 20000))) {
            seen();
            if (code == EC_COMPLETE || code == EC_ERRORABORT) break;
        }
        control->Stop();
        while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) seen();
        return result;
    }

    static std::string Packets(const std::string& file) {
        std::string out = dvtest::Run(
            "ffprobe -v error -count_packets -select_streams v:0 -show_entries "
            "stream=nb_read_packets -of csv=p=0 '" +
            file + "'");
        while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
        return out;
    }

    static std::vector<uint8_t> Extract(const std::string& file, const std::string& args) {
        const std::string out =
            dvtest::Run("ffmpeg -nostdin -loglevel error -i '" + file + "' " + args + " -");
        return std::vector<uint8_t>(out.begin(), out.end());
    }

    testsupport::ScratchDir dir;
};

TEST_F(AviMuxTest, Type1AndType2FilesCarryEveryFrameAndSample) {
    for (dv::Standard standard : {dv::Standard::PAL, dv::Standard::NTSC}) {
        const bool pal = standard == dv::Standard::PAL;
        const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, standard, 2.0);
        ASSERT_FALSE(tape.empty());
        const std::string tapePath = dir / "tape.dv";
        ASSERT_TRUE(dvtest::WriteFile(tapePath, tape));
        const std::vector<uint8_t> audio = Extract(tapePath, "-map 0:a:0 -f s16le");
        const size_t frames = tape.size() / dv::FrameSize(standard);
        for (bool type2 : {false, true}) {
            SCOPED_TRACE(std::string(pal ? "PAL" : "NTSC") + (type2 ? " Type-2" : " Type-1"));
            const std::string file = dir / (type2 ? "type2.avi" : "type1.avi");
            Capture c;
            Build(tape, type2, file, &c);
            ASSERT_EQ(EC_COMPLETE, Record(&c));

            EXPECT_EQ("video\naudio", dvtest::Probe(file, "stream=codec_type"));
            EXPECT_EQ(pal ? "25/1" : "30000/1001",
                      dvtest::Probe(file, "stream=r_frame_rate", "v:0"));
            EXPECT_EQ(std::to_string(frames), Packets(file));
            if (type2) {
                EXPECT_EQ("dvvideo", dvtest::Probe(file, "stream=codec_name", "v:0"));
                EXPECT_EQ("pcm_s16le", dvtest::Probe(file, "stream=codec_name", "a:0"));
                EXPECT_EQ(std::to_string(frames), dvtest::Probe(file, "stream=nb_frames", "v:0"));
            }
            EXPECT_TRUE(Extract(file, "-map 0:v:0 -c copy -f rawvideo") == tape)
                << "every DV frame byte-identical";
            EXPECT_TRUE(Extract(file, "-map 0:a:0 -f s16le") == audio) << "audio sample-identical";
        }
    }
}

TEST_F(AviMuxTest, SetFileNamePointsTheNextRunAtAnotherFile) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.4);
    const std::string first = dir / "first.avi", second = dir / "second.avi";
    Capture c;
    Build(tape, true, first, &c);
    ASSERT_EQ(EC_COMPLETE, Record(&c));
    const std::wstring name(second.begin(), second.end());
    ASSERT_EQ(S_OK, c.sink->SetFileName(name.c_str(), nullptr));
    LPOLESTR current = nullptr;
    ASSERT_EQ(S_OK, c.sink->GetCurFile(&current, nullptr));
    EXPECT_EQ(name, std::wstring(current));
    CoTaskMemFree(current);
    const auto firstSize = std::filesystem::file_size(first);
    ASSERT_EQ(EC_COMPLETE, Record(&c));

    EXPECT_EQ(firstSize, std::filesystem::file_size(first)) << "the first file stays as it was";
    for (const std::string& f : {first, second}) {
        SCOPED_TRACE(f);
        EXPECT_EQ("10", Packets(f));
        EXPECT_TRUE(Extract(f, "-map 0:v:0 -c copy -f rawvideo") == tape);
    }
}

TEST_F(AviMuxTest, FailedWriteRaisesErrorAbortAndKeepsAReadableFile) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 2.0);
    const std::string file = dir / "limited.avi";
    Capture c;
    Build(tape, true, file, &c);

    // Writes past 3 MB fail with EFBIG (the file size limit).
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit limited = saved;
    limited.rlim_cur = 3u << 20;
    setrlimit(RLIMIT_FSIZE, &limited);
    LONG_PTR reason = 0;
    const long code = Record(&c, &reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);

    ASSERT_EQ(EC_ERRORABORT, code);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), static_cast<HRESULT>(reason));
    const std::vector<uint8_t> video = Extract(file, "-map 0:v:0 -c copy -f rawvideo");
    const size_t kept = video.size() / dv::kFrameSizePAL;
    EXPECT_GE(kept, 10u) << "the frames written before the failure are readable";
    EXPECT_LT(kept, tape.size() / dv::kFrameSizePAL);
    EXPECT_TRUE(std::equal(video.begin(), video.end(), tape.begin()));
}

TEST_F(AviMuxTest, InputsGrowOnDemandAndOneDvStreamAtMost) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::PAL, 0.2);
    Capture c;
    Build(tape, true, dir / "pins.avi", &c);
    // Output, the two connected inputs, and a fresh one.
    ComPtr<IPin> fresh = NthPin(c.mux.Get(), PINDIR_INPUT, 2);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(NthPin(c.mux.Get(), PINDIR_INPUT, 3));
    AM_MEDIA_TYPE video = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_dvsd);
    EXPECT_NE(S_OK, fresh->QueryAccept(&video)) << "a second video stream";
    AM_MEDIA_TYPE rgb = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
    EXPECT_NE(S_OK, fresh->QueryAccept(&rgb));

    ComPtr<IConfigInterleaving> interleaving;
    ASSERT_EQ(S_OK, c.mux.As(&interleaving));
    EXPECT_EQ(E_NOTIMPL, interleaving->put_Mode(INTERLEAVE_FULL));
    EXPECT_EQ(E_INVALIDARG, interleaving->put_Mode(static_cast<InterleavingMode>(7)));
}

TEST_F(AviMuxTest, RunWithoutSamplesLeavesAnEmptyAviAndCompatibilityIndexIsOptional) {
    const std::vector<uint8_t> tape = dvtest::FfmpegTape(dir, dv::Standard::NTSC, 0.2);
    const std::string empty = dir / "empty.avi", plain = dir / "plain.avi";
    {
        Capture c;
        Build(tape, false, empty, &c);
        ComPtr<IMediaControl> control;
        c.graph.As(&control);
        c.tape->failAt = 0;  // the device delivers nothing
        control->Run();
        ASSERT_TRUE(std::filesystem::exists(empty)) << "created when the graph runs";
        control->Stop();
        EXPECT_EQ("video", dvtest::Probe(empty, "stream=codec_type").substr(0, 5));
    }
    {
        Capture c;
        Build(tape, false, plain, &c);
        ComPtr<IConfigAviMux> config;
        c.mux.As(&config);
        config->SetOutputCompatibilityIndex(FALSE);
        ASSERT_EQ(EC_COMPLETE, Record(&c));
        const std::vector<uint8_t> bytes = dvtest::ReadFile(plain);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(std::string::npos, text.find("idx1"));
        EXPECT_TRUE(Extract(plain, "-map 0:v:0 -c copy -f rawvideo") == tape);
    }
}

TEST_F(AviMuxTest, Type2KeepsA44kHzRateAndDamagedFramesAsSilenceOfTheirLength) {
    // 44.1 kHz: the stream keeps the tape's rate and every sample.
    {
        const std::vector<uint8_t> tape =
            dvtest::FfmpegTape(dir, dv::Standard::PAL, 1.0, "-ar 44100");
        ASSERT_FALSE(tape.empty());
        const std::string tapePath = dir / "tape441.dv", file = dir / "rate441.avi";
        ASSERT_TRUE(dvtest::WriteFile(tapePath, tape));
        Capture c;
        Build(tape, true, file, &c);
        ASSERT_EQ(EC_COMPLETE, Record(&c));
        EXPECT_EQ("44100", dvtest::Probe(file, "stream=sample_rate", "a:0"));
        EXPECT_EQ("25", Packets(file));
        const std::vector<uint8_t> audio = Extract(file, "-map 0:a:0 -f s16le");
        EXPECT_EQ(25u * 1764 * 4, audio.size());
        EXPECT_TRUE(audio == Extract(tapePath, "-map 0:a:0 -f s16le"));
    }
    // Damaged frames: frame 5 has no audio source pack in any sequence,
    // frame 6 two sequences of garbage video.  Every frame is kept as it
    // came; frame 5's audio is silence of a frame's length, the rest is the
    // tape's own sound, in place.
    const std::vector<uint8_t> clean = dvtest::FfmpegTape(dir, dv::Standard::PAL, 1.0);
    ASSERT_FALSE(clean.empty());
    const std::string cleanPath = dir / "clean.dv", file = dir / "damaged.avi";
    ASSERT_TRUE(dvtest::WriteFile(cleanPath, clean));
    std::vector<uint8_t> tape = clean;
    uint8_t* five = tape.data() + 5 * dv::kFrameSizePAL;
    for (int seq = 0; seq < dv::SequenceCount(dv::Standard::PAL); ++seq)
        std::memset(
            five + dv::AudioBlockOffset(seq, dv::AauxPackBlock(seq, dv::kPackAudioSource)) + 3,
            0xFF, 5);
    uint8_t* six = tape.data() + 6 * dv::kFrameSizePAL;
    for (int seq : {3, 4})
        for (int block = 6; block < 150; ++block)
            if ((block - 6) % 16 != 0)
                std::memset(six + dv::BlockOffset(seq, block), 0xA5, dv::kBlockSize);
    Capture c;
    Build(tape, true, file, &c);
    ASSERT_EQ(EC_COMPLETE, Record(&c));
    EXPECT_EQ("25", Packets(file));
    EXPECT_EQ("48000", dvtest::Probe(file, "stream=sample_rate", "a:0"));
    EXPECT_TRUE(Extract(file, "-map 0:v:0 -c copy -f rawvideo") == tape);
    std::vector<uint8_t> expected = Extract(cleanPath, "-map 0:a:0 -f s16le");
    ASSERT_EQ(25u * 1920 * 4, expected.size());
    std::fill(expected.begin() + 5 * 1920 * 4, expected.begin() + 6 * 1920 * 4, 0);
    EXPECT_TRUE(Extract(file, "-map 0:a:0 -f s16le") == expected);
}

}  // namespace
