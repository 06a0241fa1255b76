// DIF frame layout: the standard a frame belongs to, its size, where its
// blocks are, and a structural check of a whole frame.
//
// A DIF frame is 10 (525/60) or 12 (625/50) sequences of 150 blocks of 80
// bytes.  Each sequence: block 0 header, 1-2 subcode, 3-5 VAUX, then nine
// groups of one audio block and fifteen video blocks.  Every block starts
// with three ID bytes: section type (bits 7-5 of ID0), sequence number
// (bits 7-4 of ID1) and the block's number within its section (ID2).
//
// Nothing here reads past the size it is given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dv {

enum class Standard { NTSC, PAL };  // 525/60 and 625/50

inline constexpr size_t kBlockSize = 80;
inline constexpr size_t kSequenceSize = 150 * kBlockSize;     // 12 000
inline constexpr size_t kFrameSizeNTSC = 10 * kSequenceSize;  // 120 000
inline constexpr size_t kFrameSizePAL = 12 * kSequenceSize;   // 144 000
inline constexpr size_t kMaxFrameSize = kFrameSizePAL;

// Section types (ID0 bits 7-5).
enum class Section : uint8_t { Header = 0, Subcode = 1, VAUX = 2, Audio = 3, Video = 4 };

constexpr size_t FrameSize(Standard s) {
    return s == Standard::PAL ? kFrameSizePAL : kFrameSizeNTSC;
}
constexpr int SequenceCount(Standard s) { return s == Standard::PAL ? 12 : 10; }
constexpr double FrameRate(Standard s) { return s == Standard::PAL ? 25.0 : 30000.0 / 1001.0; }

// Byte offset of block `index` (0-149) of sequence `seq`.
constexpr size_t BlockOffset(int seq, int index) {
    return seq * kSequenceSize + index * kBlockSize;
}
// Byte offset of audio block `a` (0-8) of sequence `seq`.
constexpr size_t AudioBlockOffset(int seq, int a) { return BlockOffset(seq, 6 + 16 * a); }

// Section and number a well-formed frame has at block `index` of a sequence.
Section ExpectedSection(int index);
int ExpectedBlockNumber(int index);

// True if the block at `block` (80 bytes) carries the ID a block of this
// section, sequence and number must carry.
bool BlockIdMatches(const uint8_t* block, Section section, int seq, int number);

// Reads the standard from the header block (DSF bit: byte 3, bit 7).
// False if the buffer is too short for a header or the first block is not
// a header block.
bool ReadStandard(const uint8_t* data, size_t size, Standard& standard);

// A buffer known to hold at least one whole frame of `standard`: readers
// that take a FrameView never check sizes again.
struct FrameView {
    const uint8_t* data = nullptr;
    Standard standard = Standard::NTSC;
    int sequences() const { return SequenceCount(standard); }
    const uint8_t* block(int seq, int index) const { return data + BlockOffset(seq, index); }
};

// Fills `view` if the buffer starts with a header block and holds the whole
// frame the header announces.
bool ViewFrame(const uint8_t* data, size_t size, FrameView& view);

enum class FrameFault {
    None,
    NoHeader,    // too short for a header, or the first block is not one
    Short,       // fewer bytes than the header's standard needs
    Long,        // more bytes than one frame
    BadBlockId,  // a block does not carry the ID its position requires
};

struct FrameCheck {
    FrameFault fault = FrameFault::None;
    Standard standard = Standard::NTSC;  // valid unless fault is NoHeader
    int sequence = -1;                   // where a BadBlockId was found
    int block = -1;
    bool ok() const { return fault == FrameFault::None; }
};

// Checks the size and every block ID of one frame.
FrameCheck CheckFrame(const uint8_t* data, size_t size);

const char* FrameFaultText(FrameFault fault);

}  // namespace dv
