// Turns a tape's audio into 32 kHz 12-bit nonlinear audio, for tests of the
// 12-bit and 4-channel paths.
#pragma once

#include <cstdint>
#include <vector>

namespace dv {

// Rewrites the audio of every frame of `tape` (whole frames of one
// standard).  The first pair is the tape's own audio, resampled to 32 kHz
// (linear interpolation, continuous across frames).  With `fourChannels`
// the second half of the sequences carries a second pair: the first with
// left and right swapped and inverted; otherwise it is marked as carrying no
// audio.  Frames whose audio cannot be read contribute silence.  False if
// the tape does not start with a DIF frame or is not whole frames.
bool PatchAudioTo32k12(std::vector<uint8_t>& tape, bool fourChannels);

}  // namespace dv
