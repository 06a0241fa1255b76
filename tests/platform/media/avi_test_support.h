// Shared by the AVI writer tests: DV tapes made with ffmpeg at test time,
// cut into frames, and small wrappers around ffprobe/ffmpeg.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media/avi/aviwriter.h"
#include "testsupport/scratchdir.h"

namespace avitest {

namespace fs = std::filesystem;

struct CommandResult {
    int exitCode = -1;
    std::string out;
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    std::string bytes(in ? size_t(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

struct Tape {
    bool pal = true;
    size_t frameBytes = 144000;
    std::string dv;   // the whole tape, frame after frame
    std::string pcm;  // what ffmpeg extracts: s16le stereo 48 kHz
    size_t Frames() const { return dv.size() / frameBytes; }
    const char* Frame(size_t i) const { return dv.data() + i * frameBytes; }
    // Audio bytes that go with frame i: PAL 1920 samples a frame; NTSC the
    // 1600/1602 pattern; the last frame takes what is left.
    std::pair<size_t, size_t> AudioOf(size_t i) const {
        auto before = [&](size_t f) -> size_t {
            if (pal) return f * 1920;
            return f / 5 * 8008 + (f % 5 == 0 ? 0 : 1600 + (f % 5 - 1) * 1602);
        };
        size_t begin = std::min(pcm.size(), before(i) * 4);
        size_t end = i + 1 == Frames() ? pcm.size() : std::min(pcm.size(), before(i + 1) * 4);
        return {begin, end - begin};
    }
};

// Makes a tape of `seconds` with ffmpeg's DV encoder, with the PCM ffmpeg
// extracts from it. Both are cached in the temporary directory, shared by
// the test processes (written under a unique name, then renamed).
inline const Tape& GetTape(bool pal, int seconds = 4) {
    static std::map<std::pair<bool, int>, Tape> tapes;
    auto key = std::make_pair(pal, seconds);
    auto found = tapes.find(key);
    if (found != tapes.end()) return found->second;
    Tape tape;
    tape.pal = pal;
    tape.frameBytes = pal ? 144000 : 120000;
    const fs::path cache = fs::temp_directory_path() / "tapeloom-avi-test-tapes";
    std::error_code ec;
    fs::create_directories(cache, ec);
    const std::string name = (pal ? "pal" : "ntsc") + std::to_string(seconds);
    const fs::path dv = cache / (name + ".dv"), pcm = cache / (name + ".pcm");
    if (!fs::exists(dv) || !fs::exists(pcm)) {
        const std::string unique = "." + std::to_string(::getpid());
        const fs::path dvTmp = cache / (name + unique + ".dv"),
                       pcmTmp = cache / (name + unique + ".pcm");
        const std::string source =
            pal ? "testsrc=size=720x576:rate=25" : "testsrc=size=720x480:rate=30000/1001";
        RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i " + source +
                   " -f lavfi -i sine=frequency=1000:sample_rate=48000 -ac 2 -t " +
                   std::to_string(seconds) + " -target " + (pal ? "pal-dv " : "ntsc-dv ") +
                   Quote(dvTmp) + " && ffmpeg -nostdin -v error -y -i " + Quote(dvTmp) +
                   " -f s16le -acodec pcm_s16le " + Quote(pcmTmp));
        fs::rename(pcmTmp, pcm, ec);
        fs::rename(dvTmp, dv, ec);
    }
    tape.dv = ReadFile(dv);
    tape.pcm = ReadFile(pcm);
    return tapes.emplace(key, std::move(tape)).first->second;
}

// ffprobe's key=value lines for the given -show_entries.
inline std::map<std::string, std::string> Probe(const fs::path& file, const std::string& entries,
                                                const std::string& stream = "v:0") {
    std::map<std::string, std::string> values;
    CommandResult r = RunCommand("ffprobe -v error -select_streams " + stream + " -show_entries " +
                                 entries + " -of default=nw=1 " + Quote(file) + " 2>/dev/null");
    if (r.exitCode != 0) return values;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !values.count(line.substr(0, eq)))
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// The DV frames ffmpeg reads back from an AVI, as one byte string.
inline std::string ReadBackVideo(const fs::path& file) {
    return RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) +
                      " -map 0:v:0 -c copy -f rawvideo - 2>/dev/null")
        .out;
}

inline std::string ReadBackAudio(const fs::path& file) {
    return RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) +
                      " -map 0:a:0 -f s16le -acodec pcm_s16le - 2>/dev/null")
        .out;
}

// Counts the packets ffmpeg demuxes from the first video stream.
inline long CountVideoPackets(const fs::path& file) {
    CommandResult r = RunCommand(
        "ffprobe -v error -select_streams v:0 -count_packets -show_entries "
        "stream=nb_read_packets -of csv=p=0 " +
        Quote(file) + " 2>/dev/null");
    return r.exitCode == 0 && !r.out.empty() ? std::atol(r.out.c_str()) : -1;
}

enum class AviType { Type1, Type2 };

// The streams a recording of `tape` has: Type-1 one interleaved DV stream,
// Type-2 DV video and 48 kHz PCM.
inline void AddStreams(media::avi::AviWriter& writer, const Tape& tape, AviType type) {
    using namespace media::avi;
    const DvSystem system = tape.pal ? DvSystem::Pal625_50 : DvSystem::Ntsc525_60;
    if (type == AviType::Type1) {
        writer.AddInterleavedDvStream(system, DvInfo{});
    } else {
        writer.AddDvVideoStream(system);
        writer.AddPcmStream(48000);
    }
}

// Writes frames [0, frames) of `tape` into `file`; returns the writer's
// status at close. Audio chunks follow each video chunk for Type-2.
inline media::avi::WriteStatus WriteTape(const Tape& tape, AviType type, const fs::path& file,
                                         media::avi::AviWriterOptions options = {},
                                         size_t frames = size_t(-1),
                                         media::avi::AviWriterTotals* totals = nullptr) {
    using namespace media::avi;
    AviWriter writer(options);
    AddStreams(writer, tape, type);
    WriteStatus status = writer.Open(file.string());
    frames = std::min(frames, tape.Frames());
    for (size_t i = 0; i < frames && status == WriteStatus::Ok; ++i) {
        status = writer.WriteChunk(0, tape.Frame(i), tape.frameBytes);
        if (type == AviType::Type2 && status == WriteStatus::Ok) {
            auto [at, size] = tape.AudioOf(i);
            status = writer.WriteChunk(1, tape.pcm.data() + at, size);
        }
    }
    const WriteStatus closed = writer.Close();
    if (totals) *totals = writer.Totals();
    return closed;
}

}  // namespace avitest
