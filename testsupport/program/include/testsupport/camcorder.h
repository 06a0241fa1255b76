// End-to-end support for camcorders on the emulated IEEE-1394 bus: the
// real program with the emulated libraw1394 beneath the real FireWire
// libraries (no virtual decks), the bus described in a file and steered at
// run time through the emulator's control socket, and recordings compared
// frame by frame with the tape the camcorder played.
#pragma once

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "dv/dif.h"
#include "dv/dvtesttape.h"
#include "fwemu/controlclient.h"
#include "testsupport/e2e.h"

namespace e2e {

// One emulated bus in a scratch directory of its own: its description,
// its tapes, its control socket and the program's FireWire trace.
class EmulatedBus {
public:
    std::string Dir() const { return m_dir.Path(); }
    std::string Control() const { return m_dir.Path() + "/control"; }
    std::string Trace() const { return m_dir.Path() + "/trace"; }

    // A tape of `frames` frames of the generated test tape, written as a
    // raw DV file; empty on failure.
    std::string MakeTape(const std::string& name, dv::Standard standard, int frames,
                         std::vector<uint8_t>* bytes = nullptr) {
        std::vector<uint8_t> tape;
        if (!dv::MakeTestTape(standard, frames, tape)) return std::string();
        return WriteTape(name, tape, bytes);
    }
    std::string WriteTape(const std::string& name, const std::vector<uint8_t>& tape,
                          std::vector<uint8_t>* bytes = nullptr) {
        const std::string path = m_dir.Path() + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(tape.data()),
                   static_cast<std::streamsize>(tape.size()));
        if (bytes) *bytes = tape;
        return path;
    }

    // Adds a line of the bus description ("camcorder tape=... vendor=...").
    void Add(const std::string& line) { m_lines += line + "\n"; }

    // The program's options on this bus.
    Options ProgramOptions() {
        const std::string description = m_dir.Path() + "/bus";
        WriteFile(description, m_lines);
        Options o;
        o.decks = "";
        o.env = {"LD_LIBRARY_PATH=" FWEMU_LIB_DIR, "FWEMU_BUS=" + description,
                 "FWEMU_CONTROL=" + Control(), "TAPELOOM_FIREWIRE_TRACE=" + Trace()};
        return o;
    }

    // One command to the emulated bus; its answer line ("ok ...", or
    // "error ...").
    std::string Command(const std::string& line) { return fwemu::ControlCommand(Control(), line); }
    bool Ok(const std::string& line) { return Command(line).rfind("ok", 0) == 0; }

    // Waits until the program has opened the bus (the control socket
    // answers from then on).
    bool WaitForProgram(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!Ok("generation")) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    testsupport::ScratchDir m_dir;
    std::string m_lines;
};

// Where a recording's frames sit on its tape: every recorded frame is the
// tape's next one, byte for byte.  A recording started from pause may
// begin with the still frame repeated (the deck sends it until its tape
// moves): those repeats are counted apart.  The first frame's place on the
// tape (-1: not found), the frames that matched, and the leading repeats.
struct TapeMatch {
    long first = -1;
    long frames = 0;
    long stills = 0;
    bool identical = false;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline TapeMatch MatchTape(const std::vector<uint8_t>& recorded, const std::vector<uint8_t>& tape,
                           size_t frameSize) {
    TapeMatch m;
    if (recorded.size() < frameSize || recorded.size() % frameSize) return m;
    size_t skip = 0;
    while (skip + 2 * frameSize <= recorded.size() &&
           std::memcmp(recorded.data() + skip, recorded.data() + skip + frameSize, frameSize) == 0)
        skip += frameSize;
    m.stills = static_cast<long>(skip / frameSize);
    const uint8_t* rest = recorded.data() + skip;
    const size_t restSize = recorded.size() - skip;
    for (size_t at = 0; at + frameSize <= tape.size(); at += frameSize)
        if (std::memcmp(tape.data() + at, rest, frameSize) == 0) {
            m.first = static_cast<long>(at / frameSize);
            break;
        }
    if (m.first < 0) return m;
    const size_t start = static_cast<size_t>(m.first) * frameSize;
    m.frames = static_cast<long>(restSize / frameSize);
    m.identical =
        start + restSize <= tape.size() && std::memcmp(tape.data() + start, rest, restSize) == 0;
    return m;
}

// The DV frames of a recording's video stream, as ffmpeg copies them out.
inline std::vector<uint8_t> RecordedFrames(const std::string& avi, const std::string& out) {
    Output("ffmpeg -v error -y -i " + Quote(avi) + " -map 0:v:0 -c copy -f rawvideo " + Quote(out) +
           " 2>&1");
    return ReadAll(out);
}

// Audio samples as ffmpeg decodes them to 16-bit PCM at their own rate.
inline std::vector<uint8_t> DecodedAudio(const std::string& input, const std::string& out,
                                         const std::string& inputFormat = std::string()) {
    Output("ffmpeg -v error -y " + (inputFormat.empty() ? "" : "-f " + inputFormat + " ") + "-i " +
           Quote(input) + " -map 0:a:0 -f s16le " + Quote(out) + " 2>&1");
    return ReadAll(out);
}

}  // namespace e2e
