// Files, and the ffmpeg/ffprobe command-line tools as independent readers
// and writers of DV, for the DV and media tests.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dv/dif.h"
#include "testsupport/scratchdir.h"

namespace dvtest {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return {};
    std::vector<uint8_t> data(static_cast<size_t>(file.tellg()));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

inline bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(file);
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    return WriteFile(path, data.data(), data.size());
}

// Runs a shell command; returns its standard output (standard error is
// discarded) and sets `status` to its exit status.
inline std::string Run(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        if (status) *status = -1;
        return out;
    }
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    const int rc = pclose(pipe);
    if (status) *status = rc;
    return out;
}

// A tape made by the ffmpeg command: test pattern and a 1 kHz sine at
// 48 kHz stereo.  `extra` goes before the output name (e.g. "-timecode
// 01:02:03:04").  Empty on failure.
inline std::vector<uint8_t> FfmpegTape(const testsupport::ScratchDir& dir, dv::Standard standard,
                                       double seconds, const std::string& extra = std::string()) {
    const bool pal = standard == dv::Standard::PAL;
    const std::string path = dir / (pal ? "ffmpeg-pal.dv" : "ffmpeg-ntsc.dv");
    const std::string command =
        std::string("ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=size=") +
        (pal ? "720x576:rate=25" : "720x480:rate=30000/1001") +
        " -f lavfi -i sine=frequency=1000:sample_rate=48000 -ac 2 -t " + std::to_string(seconds) +
        " -target " + (pal ? "pal-dv " : "ntsc-dv ") + extra + " '" + path + "'";
    int status = 0;
    Run(command, &status);
    if (status != 0) return {};
    return ReadFile(path);
}

// The audio stream `stream` of a DV file as ffmpeg decodes it: interleaved
// 16-bit stereo.
// `rate`: resampled by ffmpeg to that rate; 0: the tape's own.
inline std::vector<int16_t> FfmpegAudio(const std::string& path, int stream = 0, int rate = 0) {
    const std::string bytes = Run(
        "ffmpeg -nostdin -loglevel error -i '" + path + "' -map 0:a:" + std::to_string(stream) +
        (rate ? " -ar " + std::to_string(rate) : std::string()) + " -f s16le -acodec pcm_s16le -");
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    return pcm;
}

// The values of ffprobe entries (e.g. "format_tags=timecode"), one a line,
// trimmed; `streams` selects streams ("v:0", "a:0").
inline std::string Probe(const std::string& path, const std::string& entries,
                         const std::string& streams = std::string()) {
    const std::string select = streams.empty() ? "" : " -select_streams " + streams;
    std::string out = Run("ffprobe -v error" + select + " -show_entries " + entries +
                          " -of default=noprint_wrappers=1:nokey=1 '" + path + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace dvtest
