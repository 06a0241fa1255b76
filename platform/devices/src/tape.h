// A tape for the virtual deck: a raw DV file read frame by frame, or the
// built-in generated tape (the cached test tape repeated, with the subcode
// timecode rewritten so that it runs on across the repeats).
//
// A tape may change standard part-way (PAL recorded after NTSC): opening
// walks the file's frame headers and keeps the runs of one standard, so
// every frame is read whole at its own offset.  The tape ends at the first
// place that holds no whole DV frame (a partial frame or no DIF header).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dv/dif.h"

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

    // The standard of the tape's first frame, which sets the motor's rate.
    dv::Standard Standard() const { return m_standard; }
    int64_t Frames() const { return m_frames; }
    // The standard of frame `index` (0 .. Frames()-1) and its size.
    dv::Standard StandardAt(int64_t index) const;
    size_t FrameSizeAt(int64_t index) const { return dv::FrameSize(StandardAt(index)); }
    // The largest frame on the tape: a buffer this size holds any frame.
    size_t MaxFrameSize() const { return m_maxFrameSize; }

    // Reads frame `index` (0 .. Frames()-1) into `out` (FrameSizeAt(index)
    // bytes).  Thread-safe.
    bool ReadFrame(int64_t index, uint8_t* out) const;

private:
    // Frames of one standard in a row, from file frame `first` at `offset`.
    struct Run {
        int64_t first;
        int64_t offset;
        dv::Standard standard;
    };

    Tape() = default;
    bool Open(const std::string& path, std::string* error);
    const Run& RunOf(int64_t inFile) const;

    int m_fd = -1;
    dv::Standard m_standard = dv::Standard::PAL;
    size_t m_maxFrameSize = 0;
    std::vector<Run> m_runs;
    int64_t m_fileFrames = 0;  // frames in the file
    int64_t m_frames = 0;      // frames on the tape
    bool m_rewriteTimecode = false;
};

// Writes the timecode of tape frame `index` into every timecode pack of
// the frame's subcode.
void RewriteTimecode(uint8_t* frame, dv::Standard standard, int64_t index);

}  // namespace dvdeck
