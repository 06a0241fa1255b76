// Generated test tapes: colour bars with a moving marker, a 1 kHz tone on
// both channels (48 kHz 16-bit, locked), a running timecode in the subcode
// and a recording date and time in VAUX; video encoded by libavcodec's DV
// encoder, everything else written here.
//
// The cached tapes are TestTapeFrames() long and loop seamlessly (the tone
// has a whole number of periods); they are made once and kept in
// $XDG_CACHE_HOME/tapeloom (else ~/.cache/tapeloom, else the temporary
// directory), written to a temporary name and renamed, so concurrent
// processes never see half a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dif.h"

namespace dv {

// 10 s of PAL; 300 NTSC frames (10.01 s: 60 whole 5-frame audio patterns).
constexpr int TestTapeFrames(Standard standard) { return standard == Standard::PAL ? 250 : 300; }

// Makes `frames` frames into `out` (replacing its contents).  Timecode,
// marker position and tone phase are those of frame `firstFrame` onwards
// (PAL: 25 frames a second; NTSC: 29.97 drop-frame).  False if the encoder
// is unavailable or fails.
bool MakeTestTape(Standard standard, int frames, std::vector<uint8_t>& out, int64_t firstFrame = 0);

// The directory the cached tapes live in (not created here).
std::string TestTapeCacheDir();

// Path of the cached tape of `standard` in `dir` (TestTapeCacheDir() when
// empty), making it first if it is missing or has the wrong size.  Empty on
// failure.
std::string TestTapePath(Standard standard, const std::string& dir = std::string());

}  // namespace dv
