// A tape for the virtual deck: a raw DV file read frame by frame, or the
// built-in generated tape (the cached test tape repeated, with the subcode
// timecode rewritten so that it runs on across the repeats).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dif.h"

namespace dvdeck {

class Tape {
public:
    ~Tape();
    Tape(const Tape&) = delete;
    Tape& operator=(const Tape&) = delete;

    // A raw DV file: whole frames from the start (a partial frame at the
    // end is not part of the tape).  Null with *error set when the file
    // cannot be read or does not start with a DV frame.
    static std::unique_ptr<Tape> OpenFile(const std::string& path, std::string* error);
    // The built-in tape of the standard, `repeats` times the cached test tape.
    static std::unique_ptr<Tape> OpenBuiltin(dv::Standard standard, int repeats,
                                             std::string* error);

    dv::Standard Standard() const { return m_standard; }
    size_t FrameSize() const { return dv::FrameSize(m_standard); }
    int64_t Frames() const { return m_frames; }
    // Frame 0, read at opening (its packs describe the tape).
    const std::vector<uint8_t>& FirstFrame() const { return m_first; }

    // Reads frame `index` (0 .. Frames()-1) into `out` (FrameSize() bytes).
    // Thread-safe.
    bool ReadFrame(int64_t index, uint8_t* out) const;

private:
    Tape() = default;
    bool Open(const std::string& path, std::string* error);

    int m_fd = -1;
    dv::Standard m_standard = dv::Standard::PAL;
    int64_t m_fileFrames = 0;  // frames in the file
    int64_t m_frames = 0;      // frames on the tape
    bool m_rewriteTimecode = false;
    std::vector<uint8_t> m_first;
};

// Writes the timecode of tape frame `index` into every timecode pack of
// the frame's subcode.
void RewriteTimecode(uint8_t* frame, dv::Standard standard, int64_t index);

}  // namespace dvdeck
