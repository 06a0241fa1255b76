// AviWriter: writes DV into an AVI file with OpenDML extensions, as the AVI
// multiplexer and file writer filters need it.
//
// Layout: RIFF 'AVI ' (header with one 'indx' super index per stream,
// LIST 'odml', JUNK, LIST 'movi' of chunks in arrival order, then one 'ix##'
// standard index per stream, then 'idx1' when asked for), followed by
// RIFF 'AVIX' parts (LIST 'movi' of chunks and 'ix##' indexes) whenever a
// part would pass the RIFF limit. Type-1: one 'iavs' stream; Type-2: a
// 'vids' stream and an 'auds' PCM stream.
//
// A file that is still growing is a valid AVI up to its last checkpoint.
// About once a second (and at every part boundary) the writer appends
// 'ix##' indexes of the chunks since the previous checkpoint to the movi
// list, syncs the data, and then rewrites in place the sizes of the growing
// part and the header (super index entries, frame counts, stream lengths).
// Nothing a header on disk points at is ever overwritten, so a process
// killed between any two writes leaves a file that readers take up to the
// last checkpoint. When a part ends, and at Close(), one index per stream
// replaces the part's checkpoint indexes in the super index (the old ones
// stay in the movi list, where readers skip them).
//
// Threads: WriteChunk() is called on the streaming thread(s) and only
// queues the chunk for the writer thread of an AsyncFile; it blocks only
// while that queue is at its bound (the disk slower than the stream). The
// first write failure is sticky and returned by every later WriteChunk().
// Close() finalises on the caller's thread: sizes and indexes of the last
// part, the header's figures; after a failure it keeps every chunk that
// reached the disk whole.
//
// Frame data: WriteChunk() either keeps the caller's buffer alive through
// `keep` until it has been written (no copy), or, with no `keep`, copies the
// bytes once into the queue.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/avi/asyncfile.h"
#include "media/avi/avilayout.h"
#include "media/avi/writestatus.h"

namespace media::avi {

enum class DvSystem { Ntsc525_60, Pal625_50 };

struct AviWriterOptions {
    bool compatibilityIndex = false;    // also write 'idx1' over the first RIFF
    uint64_t riffLimit = 1ull << 30;    // a RIFF part ends before it passes this size
    size_t queueBytes = 32u << 20;      // bound of the writer thread's queue
    uint32_t superIndexCapacity = 256;  // RIFF parts a file can have (about 21 hours)
    // fdatasync on the writer thread at each checkpoint and part boundary,
    // before the header that points at the new indexes is rewritten: a power
    // cut loses at most about two checkpoint intervals. Close() does not sync,
    // so that stopping stays quick.
    bool syncParts = true;
    // How often the growing file is made valid on disk; zero: only at part
    // boundaries and Close(). Counted at video (or interleaved) chunks.
    std::chrono::milliseconds checkpointInterval{1000};
    // Also after this many video chunks since the last checkpoint; 0: off.
    uint32_t checkpointFrames = 0;
    FileFaults faults;  // tests and benchmarks only
};

// Checkpoint indexes a growing part may have in the super index before
// they are merged into one index of the whole part so far.
constexpr uint32_t kCheckpointIndexEntries = 64;

struct AviWriterTotals {
    uint64_t frames = 0;          // video (or interleaved) chunks kept in the file
    uint64_t audioSamples = 0;    // PCM sample frames kept in the file
    uint64_t bytes = 0;           // final file size
    uint32_t parts = 0;           // RIFF parts
    uint32_t checkpoints = 0;     // times the growing file was made valid on disk
    uint64_t queuePeakBytes = 0;  // the writer queue's high-water mark
    double finaliseMs = 0;
    WriteStatus status = WriteStatus::Ok;  // first failure, if any

    // "AVI writer stopped: 1234 frames, 177.6 MB, 1 RIFF part, 49 checkpoints,
    //  queue peak 1.2 MB, finalised in 3 ms"
    std::string Line() const;
};

class AviWriter {
public:
    explicit AviWriter(AviWriterOptions options = {});
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Streams are declared before Open(); each returns the stream's index.
    int AddInterleavedDvStream(DvSystem system, const DvInfo& info);  // Type-1
    int AddDvVideoStream(DvSystem system);                            // Type-2 video
    int AddPcmStream(uint32_t sampleRate);                            // 16-bit stereo
    // DVINFO may become known with the first frame; any time before Close().
    void SetDvInfo(int stream, const DvInfo& info);

    // Creates (or truncates) the file and reserves its header.
    WriteStatus Open(const std::string& path);
    bool IsOpen() const;

    // Appends one chunk ('00dc' or '01wb') for `stream`. With `keep`, `data`
    // must stay valid until `keep` is released (by the writer thread).
    WriteStatus WriteChunk(int stream, const void* data, size_t size,
                           std::shared_ptr<const void> keep = nullptr);

    // Finalises and closes the file. Returns the first failure met during
    // the recording or the finalising. Safe to call twice.
    WriteStatus Close();

    // The sticky status of the writes so far.
    WriteStatus Status() const;
    AviWriterTotals Totals() const;

private:
    struct Part {
        uint64_t riffStart = 0;  // offset of 'RIFF'
        uint64_t moviStart = 0;  // offset of the movi 'LIST'
        uint64_t end = 0;        // append position
        std::vector<ChunkRef> chunks;
        std::vector<uint32_t> counts;          // chunks per stream
        std::vector<SuperIndexEntry> indexes;  // per stream; size 0 = none
        // Per stream, the checkpoint indexes of the growing part (before
        // the part is finished), and how many chunks they cover.
        std::vector<std::vector<SuperIndexEntry>> checkpointIndexes;
        size_t checkpointed = 0;
        uint64_t indexBytes = 0;  // written after the chunks
        bool hasIdx1 = false;
        uint32_t riffSize = 0, moviSize = 0;  // once finished
    };
    struct Closing {                             // the writes that finish a part
        std::vector<AsyncFile::Piece> appended;  // indexes, in file order
        std::vector<AsyncFile::Piece> patches;   // sizes and header, in place
    };

    int AddStream(StreamHeader stream);
    WriteStatus Fail(WriteStatus status);
    uint64_t ProjectedRiffSize(const Part& part, size_t extraChunkBytes) const;
    WriteStatus StartNextPart();
    bool CheckpointDue(int stream) const;
    uint64_t CheckpointBytes(const Part& part) const;
    WriteStatus Checkpoint();
    Part NewPart(uint64_t riffStart, uint64_t headSize) const;
    Closing FinishPart(Part& part, bool withIndexes);
    FileHeader MakeHeader() const;
    void RecountStreams();
    WriteStatus Finalise();

    const AviWriterOptions m_options;
    mutable std::mutex m_mutex;
    std::vector<StreamHeader> m_streams;
    std::vector<Part> m_parts;
    AsyncFile m_file;
    bool m_open = false;
    std::atomic<WriteStatus> m_status{WriteStatus::Ok};
    AviWriterTotals m_totals;
    std::chrono::steady_clock::time_point m_lastCheckpoint;
    uint32_t m_framesSinceCheckpoint = 0;
};

}  // namespace media::avi
