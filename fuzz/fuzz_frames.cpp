#include "fuzz_frames.h"

#include <algorithm>

#include "dv/dif.h"
#include "dv/dvaudiopatch.h"
#include "dv/dvtesttape.h"

namespace fuzzframes {
namespace {

std::vector<std::vector<uint8_t>> g_bases;

}  // namespace

bool Init() {
    if (!g_bases.empty()) return true;
    for (dv::Standard s : {dv::Standard::PAL, dv::Standard::NTSC}) {
        std::vector<uint8_t> frame;
        if (!dv::MakeTestTape(s, 1, frame)) return false;
        g_bases.push_back(frame);
        if (!dv::PatchAudioTo32k12(frame, true)) return false;
        g_bases.push_back(frame);
    }
    return true;
}

size_t BaseCount() { return g_bases.size(); }
const std::vector<uint8_t>& Base(size_t i) { return g_bases[i]; }

std::vector<uint8_t> Frame(const uint8_t* data, size_t size) {
    if (size >= dv::kFrameSizeNTSC || size < 2 || g_bases.empty())
        return std::vector<uint8_t>(data, data + size);
    std::vector<uint8_t> frame = g_bases[data[0] % g_bases.size()];
    for (size_t i = 2; i + 4 <= size; i += 4) {
        const size_t at =
            (size_t(data[i]) << 16 | size_t(data[i + 1]) << 8 | data[i + 2]) % frame.size();
        frame[at] = data[i + 3];
    }
    // A cut makes short frames: 1-255 parts of 256 of the frame.
    if (data[1] != 0) frame.resize(frame.size() * data[1] / 256);
    return frame;
}

}  // namespace fuzzframes
