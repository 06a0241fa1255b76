// Test tape generation (libavcodec dvvideo) and its on-disk cache.
#include "dv/dvtesttape.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "dv/difpacks.h"
#include "dv/dvaudioembed.h"
#include "dv/dvrecdate.h"
#include "dv/dvtimecode.h"

namespace dv {

namespace {

constexpr int kFormatVersion = 1;  // bump when the tape's content changes
constexpr int kMarkerSize = 48;
constexpr double kToneAmplitude = 0.3;
constexpr RecordingDate kRecDate{2026, 1, 2};

struct Yuv {
    uint8_t y, cb, cr;
};
// 75 % colour bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr Yuv kBars[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                          {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

struct EncoderDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    void operator()(AVFrame* f) const { av_frame_free(&f); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
template <typename T>
using AvPtr = std::unique_ptr<T, EncoderDeleter>;

// Bars over the top three quarters; below, a black strip with a white
// square that moves 8 pixels a frame.
void DrawPicture(AVFrame* pic, int64_t index) {
    const int width = pic->width;
    const int height = pic->height;
    const int strip = height * 3 / 4;
    const int chromaW = AV_CEIL_RSHIFT(width, pic->format == AV_PIX_FMT_YUV411P ? 2 : 1);
    const int chromaShiftY = pic->format == AV_PIX_FMT_YUV420P ? 1 : 0;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pic->data[0] + y * pic->linesize[0];
        for (int x = 0; x < width; ++x) row[x] = y < strip ? kBars[x * 8 / width].y : 16;
    }
    for (int y = 0; y < (height >> chromaShiftY); ++y) {
        uint8_t* cb = pic->data[1] + y * pic->linesize[1];
        uint8_t* cr = pic->data[2] + y * pic->linesize[2];
        const bool bars = (y << chromaShiftY) < strip;
        for (int x = 0; x < chromaW; ++x) {
            cb[x] = bars ? kBars[x * 8 / chromaW].cb : 128;
            cr[x] = bars ? kBars[x * 8 / chromaW].cr : 128;
        }
    }
    const int span = width - kMarkerSize;
    const int left = static_cast<int>((index * 8) % (2 * span));
    const int x0 = left < span ? left : 2 * span - left;
    const int y0 = strip + (height - strip - kMarkerSize) / 2;
    for (int y = y0; y < y0 + kMarkerSize; ++y)
        std::memset(pic->data[0] + y * pic->linesize[0] + x0, 235, kMarkerSize);
}

// Index of the first audio sample of frame `index` at 48 kHz.
int64_t FirstSample(Standard standard, int64_t index) {
    if (standard == Standard::PAL) return index * 1920;
    static constexpr int kWithin[5] = {0, 1600, 3202, 4804, 6406};
    return index / 5 * 8008 + kWithin[index % 5];
}

void WriteSubcodeAndVaux(uint8_t* frame, Standard standard, int64_t index) {
    uint8_t tc[5] = {kPackTimecode};
    EncodeTimecodePack(TimecodeAt(index, standard), tc + 1);
    // Recording time: 10:00:00 at frame 0, counting whole frames.
    const int64_t fps = standard == Standard::PAL ? 25 : 30;
    const int64_t clock = (index + 10 * 3600 * fps) % (24 * 3600 * fps);
    const RecordingTime recTime{static_cast<int>(clock / (3600 * fps)),
                                static_cast<int>(clock / (60 * fps) % 60),
                                static_cast<int>(clock / fps % 60), static_cast<int>(clock % fps)};
    uint8_t date[5] = {kPackVideoRecDate};
    uint8_t time[5] = {kPackVideoRecTime};
    EncodeRecordingDatePack(kRecDate, date + 1);
    EncodeRecordingTimePack(recTime, time + 1);
    for (int seq = 0; seq < SequenceCount(standard); ++seq) {
        for (int b = 0; b < 2; ++b)
            for (int j = 0; j < 6; ++j)
                std::memcpy(frame + BlockOffset(seq, 1 + b) + 6 + 8 * j, tc, 5);
        for (int b = 0; b < 3; ++b) {
            uint8_t* block = frame + BlockOffset(seq, 3 + b);
            std::memcpy(block + 3 + 5 * 2, date, 5);
            std::memcpy(block + 3 + 5 * 3, time, 5);
        }
    }
}

bool WriteTone(uint8_t* frame, Standard standard, int64_t index) {
    static const auto tone = [] {
        std::array<int16_t, 48> t{};
        for (int i = 0; i < 48; ++i)
            t[i] = static_cast<int16_t>(
                std::lround(kToneAmplitude * 32767 * std::sin(2 * std::numbers::pi * i / 48)));
        return t;
    }();
    AudioLayout layout;
    layout.samples = NominalSamples(standard, 48000, index);
    int16_t pcm[2 * kMaxSamplesPerFrame];
    const int64_t start = FirstSample(standard, index);
    for (int n = 0; n < layout.samples; ++n) pcm[2 * n] = pcm[2 * n + 1] = tone[(start + n) % 48];
    return WriteAudio(frame, standard, layout, pcm, nullptr);
}

}  // namespace

bool MakeTestTape(Standard standard, int frames, std::vector<uint8_t>& out, int64_t firstFrame) {
    out.clear();
    const bool pal = standard == Standard::PAL;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr || frames < 0) return false;
    AvPtr<AVCodecContext> ctx(avcodec_alloc_context3(codec));
    AvPtr<AVFrame> pic(av_frame_alloc());
    AvPtr<AVPacket> packet(av_packet_alloc());
    if (!ctx || !pic || !packet) return false;
    ctx->width = 720;
    ctx->height = pal ? 576 : 480;
    ctx->pix_fmt = pal ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
    ctx->time_base = pal ? AVRational{1, 25} : AVRational{1001, 30000};
    ctx->sample_aspect_ratio = pal ? AVRational{16, 15} : AVRational{8, 9};
    ctx->thread_count = 1;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    pic->format = ctx->pix_fmt;
    pic->width = ctx->width;
    pic->height = ctx->height;
    if (av_frame_get_buffer(pic.get(), 0) < 0) return false;

    const size_t frameSize = FrameSize(standard);
    out.reserve(frameSize * frames);
    for (int i = 0; i < frames; ++i) {
        const int64_t index = firstFrame + i;
        if (av_frame_make_writable(pic.get()) < 0) return false;
        DrawPicture(pic.get(), index);
        pic->pts = i;
        if (avcodec_send_frame(ctx.get(), pic.get()) < 0 ||
            avcodec_receive_packet(ctx.get(), packet.get()) < 0)
            return false;
        const bool sized = packet->size == static_cast<int>(frameSize);
        if (sized) out.insert(out.end(), packet->data, packet->data + frameSize);
        av_packet_unref(packet.get());
        if (!sized) return false;
        uint8_t* frame = out.data() + frameSize * i;
        WriteSubcodeAndVaux(frame, standard, index);
        if (!WriteTone(frame, standard, index)) return false;
    }
    return true;
}

std::string TestTapeCacheDir() {
    namespace fs = std::filesystem;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return (fs::path(xdg) / "tapeloom").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".cache" / "tapeloom").string();
    std::error_code ec;
    const fs::path tmp = fs::temp_directory_path(ec);
    return ((ec ? fs::path("/tmp") : tmp) / "tapeloom").string();
}

std::string TestTapePath(Standard standard, const std::string& dir) {
    namespace fs = std::filesystem;
    const int frames = TestTapeFrames(standard);
    const fs::path folder = dir.empty() ? fs::path(TestTapeCacheDir()) : fs::path(dir);
    const fs::path path =
        folder / ("testtape-" + std::string(standard == Standard::PAL ? "pal" : "ntsc") + "-v" +
                  std::to_string(kFormatVersion) + ".dv");
    const uintmax_t size = FrameSize(standard) * frames;
    std::error_code ec;
    if (fs::file_size(path, ec) == size && !ec) return path.string();

    std::vector<uint8_t> tape;
    if (!MakeTestTape(standard, frames, tape)) return {};
    fs::create_directories(folder, ec);
    std::random_device random;
    const fs::path temp = folder / (path.filename().string() + ".tmp" + std::to_string(random()));
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(tape.data()),
                   static_cast<std::streamsize>(tape.size()));
        file.flush();
        if (!file) {
            file.close();
            fs::remove(temp, ec);
            return {};
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return {};
    }
    return path.string();
}

}  // namespace dv
