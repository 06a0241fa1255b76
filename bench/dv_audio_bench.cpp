// Per-frame DV work on the streaming thread, in frames per second: audio
// extraction (16-bit PAL and NTSC, 12-bit 4-channel), the full frame check
// and the timecode read; and how fast test tapes are generated.
#include <chrono>
#include <cstdio>
#include <vector>

#include "dv/dvaudioextractor.h"
#include "dv/dvaudiopatch.h"
#include "dv/dvtesttape.h"
#include "dv/dvtimecode.h"

using namespace dv;
using Clock = std::chrono::steady_clock;

namespace {

template <typename Work>
double FramesPerSecond(size_t frames, Work work) {
    const auto start = Clock::now();
    for (size_t i = 0; i < frames; ++i) work(i);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return frames / seconds;
}

void Bench(const char* name, const std::vector<uint8_t>& tape, Standard standard) {
    const size_t size = FrameSize(standard);
    const size_t count = tape.size() / size;
    const size_t rounds = 20000;
    AudioExtractor extractor;
    std::vector<int16_t> p1(2 * kAudioBufferSamples), p2(2 * kAudioBufferSamples);
    volatile int sink = 0;
    const double extract = FramesPerSecond(rounds, [&](size_t i) {
        sink =
            sink +
            extractor.Extract(tape.data() + (i % count) * size, size, p1.data(), p2.data()).samples;
    });
    const double check = FramesPerSecond(rounds, [&](size_t i) {
        sink = sink + static_cast<int>(CheckFrame(tape.data() + (i % count) * size, size).fault);
    });
    const double timecode = FramesPerSecond(rounds, [&](size_t i) {
        FrameView view;
        ViewFrame(tape.data() + (i % count) * size, size, view);
        sink = sink + ReadTimecode(view).value_or(Timecode{}).frames;
    });
    std::printf("%-24s extract %9.0f fps   check %9.0f fps   timecode %9.0f fps\n", name, extract,
                check, timecode);
}

}  // namespace

int main() {
    std::vector<uint8_t> pal, ntsc, pal12;
    double made = 0;
    {
        const auto start = Clock::now();
        if (!MakeTestTape(Standard::PAL, 50, pal) || !MakeTestTape(Standard::NTSC, 50, ntsc)) {
            std::fprintf(stderr, "cannot make test tapes\n");
            return 1;
        }
        made = 100 / std::chrono::duration<double>(Clock::now() - start).count();
    }
    pal12 = pal;
    PatchAudioTo32k12(pal12, true);
    std::printf("DV helpers, one thread (real time needs 25 or 29.97 fps)\n");
    Bench("PAL 48 kHz 16-bit", pal, Standard::PAL);
    Bench("NTSC 48 kHz 16-bit", ntsc, Standard::NTSC);
    Bench("PAL 32 kHz 12-bit 4ch", pal12, Standard::PAL);
    std::printf("%-24s generate %8.0f fps\n", "test tape", made);
    return 0;
}
