// Byte layout of a DV AVI file with OpenDML extensions: builders for the
// header (RIFF 'AVI ' + LIST 'hdrl' + JUNK + LIST 'movi' head), the head of
// a RIFF 'AVIX' extension part, the 'ix##' standard indexes and the legacy
// 'idx1'. All values little-endian. The header's size depends only on the
// number of streams and the reserved super index entries, so it can be
// rewritten in place whenever its figures change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace media::avi {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// The six DWORDs of a DVINFO format block: the AAUX source and source
// control packs of both halves of the frame, then the VAUX pair, each as the
// pack's PC1..PC4 with PC1 in the low byte.
struct DvInfo {
    uint32_t aauxSrc = 0, aauxCtl = 0, aauxSrc1 = 0, aauxCtl1 = 0, vauxSrc = 0, vauxCtl = 0;
};

enum class StreamKind {
    InterleavedDv,  // 'iavs'/'dvsd' with DVINFO (Type-1)
    DvVideo,        // 'vids'/'dvsd' with BITMAPINFOHEADER (Type-2)
    Pcm,            // 'auds' PCM WAVEFORMATEX (Type-2)
};

struct SuperIndexEntry {
    uint64_t offset = 0;    // of the 'ix##' chunk header
    uint32_t size = 0;      // of the 'ix##' chunk, header included
    uint32_t duration = 0;  // frames, or samples for PCM
};

// What the header says about one stream.
struct StreamHeader {
    StreamKind kind = StreamKind::DvVideo;
    uint32_t rate = 25, scale = 1;  // frames a second as rate/scale; PCM: sample rate/1
    uint32_t width = 720, height = 576;
    uint32_t frameBytes = 144000;  // video: biSizeImage
    uint16_t channels = 2, bitsPerSample = 16;
    DvInfo dvInfo;
    uint32_t length = 0;           // all frames, or all samples, of every part
    uint32_t suggestedBuffer = 0;  // largest chunk
    std::vector<SuperIndexEntry> superIndex;

    uint32_t ChunkId(unsigned index) const;  // '00dc', '01wb'
    uint32_t IndexId(unsigned index) const;  // 'ix00', 'ix01'
    uint16_t BlockAlign() const { return uint16_t(channels * bitsPerSample / 8); }
};

// What the header says about the file.
struct FileHeader {
    std::vector<StreamHeader> streams;
    uint32_t superIndexCapacity = 256;  // entries reserved in each 'indx'
    uint32_t firstRiffFrames = 0;       // avih dwTotalFrames: first RIFF only
    uint32_t totalFrames = 0;           // dmlh dwTotalFrames: all parts
    uint32_t maxBytesPerSec = 0;
    bool hasIdx1 = false;
    uint32_t riffSize = 0;  // the first RIFF's size field
    uint32_t moviSize = 0;  // the first LIST 'movi' size field
};

// Flags of avih.
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
// idx1 entry flag.
constexpr uint32_t kAviifKeyframe = 0x10;

// The header up to and including the 'movi' fourcc; its size is
// HeaderSize(header), which depends on the stream kinds and the super index
// capacity only. The LIST 'movi' header is its last 12 bytes; JUNK before it
// puts the first chunk on a 512-byte boundary.
std::vector<uint8_t> BuildHeader(const FileHeader& header);
uint64_t HeaderSize(const FileHeader& header);

// 'RIFF' size 'AVIX' 'LIST' size 'movi': 24 bytes.
std::vector<uint8_t> BuildExtensionHead(uint32_t riffSize, uint32_t moviSize);
constexpr uint64_t kExtensionHeadSize = 24;

struct ChunkRef {
    uint64_t offset = 0;  // of the chunk header
    uint32_t size = 0;    // of the data
    uint8_t stream = 0;
};

// An 'ix##' chunk for `stream`'s chunks among `chunks`, with base offset
// `base`; entries point at the chunk data.
std::vector<uint8_t> BuildStandardIndex(std::span<const ChunkRef> chunks, unsigned stream,
                                        uint32_t indexId, uint32_t chunkId, uint64_t base);
uint64_t StandardIndexSize(uint32_t entries);

// The legacy 'idx1' for `chunks`, offsets relative to the 'movi' fourcc at
// `moviFourccOffset`, pointing at chunk headers.
std::vector<uint8_t> BuildIdx1(const std::vector<ChunkRef>& chunks,
                               const std::vector<StreamHeader>& streams, uint64_t moviFourccOffset);
uint64_t Idx1Size(size_t entries);

}  // namespace media::avi
