// Inputs for the DV fuzz targets.
//
// A whole DIF frame is 120 000 or 144 000 bytes, far more than a fuzzer
// mutates well, so an input is read in one of two ways:
//  - as raw bytes (the seeds include whole frames), handed over as they are;
//  - when it is shorter than a frame, as edits of a well-formed generated
//    frame: byte 0 picks the frame (PAL or NTSC, 48 kHz 16-bit or 32 kHz
//    12-bit four-channel audio), byte 1 a length cut (0: whole frame), then
//    4-byte records, a 24-bit offset into the frame and the byte to put
//    there.  Packs, IDs and sample words are then reached in a few steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzframes {

// Generates the well-formed frames once (libavcodec's DV encoder); false
// when that fails.
bool Init();

// The bytes the target works on for this input.
std::vector<uint8_t> Frame(const uint8_t* data, size_t size);

// Number of well-formed frames Init made (for the splitter's formats).
size_t BaseCount();
const std::vector<uint8_t>& Base(size_t i);

}  // namespace fuzzframes
