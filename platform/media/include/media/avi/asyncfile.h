// AsyncFile: positional writes to one file from a dedicated writer thread.
//
// The producer (a streaming thread) queues writes; the writer thread drains
// the queue in large gathered writes (pwritev of many queued pieces at once).
// The queue is bounded in bytes: Queue() blocks while the bound would be
// exceeded, until the writer thread has made room or has failed. Nothing is
// ever dropped silently: either a piece reaches the file, or the first
// failure becomes a sticky status that every later call returns.
//
// A piece either refers to the caller's bytes, kept alive by `keep` until
// they are on their way to the kernel (no copy), or owns a private buffer.
//
// Threads: one producer side (calls serialised by the caller) and the writer
// thread. Drain(), WriteDirect(), Truncate() and Close() run on the caller's
// thread; WriteDirect and Truncate only after Drain().
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/avi/writestatus.h"

namespace media::avi {

// Faults injected by tests and the capture benchmark; none by default.
struct FileFaults {
    // The file stops changing after this many writes (pwritev, pwrite,
    // ftruncate), as if the process had been killed there: later writes
    // are skipped and reported done.
    uint64_t freezeAfterWrites = UINT64_MAX;
    // The writer thread stalls for `stallFor` before its first write that
    // reaches `stallAtOffset`, as a disk that stops answering for a while.
    uint64_t stallAtOffset = UINT64_MAX;
    std::chrono::milliseconds stallFor{0};
};

class AsyncFile {
public:
    struct Piece {
        uint64_t offset = 0;
        uint8_t head[8] = {};  // small header written before the data
        uint8_t headSize = 0;
        const uint8_t* data = nullptr;
        size_t size = 0;
        uint8_t padSize = 0;               // zero bytes written after the data
        std::shared_ptr<const void> keep;  // keeps `data` alive until written
        std::vector<uint8_t> owned;        // or: the piece owns its bytes
        bool sync = false;                 // a data sync point, no bytes

        size_t Bytes() const { return headSize + size + padSize; }
    };

    static Piece Owned(uint64_t offset, std::vector<uint8_t> bytes);

    explicit AsyncFile(size_t maxQueuedBytes, FileFaults faults = {});
    ~AsyncFile();
    AsyncFile(const AsyncFile&) = delete;
    AsyncFile& operator=(const AsyncFile&) = delete;

    // Creates or truncates `path` and starts the writer thread.
    WriteStatus Open(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }

    // Queues a piece; blocks while the queue is full. Returns the sticky status.
    WriteStatus Queue(Piece piece);
    // Queues an fdatasync after everything queued so far.
    WriteStatus QueueSync();
    // Waits until everything queued has been written or dropped after a failure.
    WriteStatus Drain();

    // The end of the bytes written, counting from the first written piece
    // on, in one contiguous run; valid after Drain(). After a failure, pieces
    // ending at or below this offset are complete on disk.
    uint64_t WrittenEnd() const;
    WriteStatus Status() const;
    // The most bytes the queue has held since Open().
    size_t QueuePeakBytes() const;
    // Writes made so far (pwritev, pwrite, ftruncate calls), frozen ones included.
    uint64_t WriteCalls() const { return m_writeCalls.load(); }

    // Synchronous operations for finalising, after Drain(); they ignore the
    // sticky status (a last attempt) and return their own outcome.
    WriteStatus WriteDirect(uint64_t offset, const std::vector<uint8_t>& bytes);
    WriteStatus Truncate(uint64_t size);
    WriteStatus SyncNow();

    // Stops the writer thread (after the queue drains) and closes the file.
    WriteStatus Close();

private:
    void Run();
    WriteStatus WriteBatch(std::vector<Piece>& batch, uint64_t* written);
    // Counts a write about to be made; false when the faults freeze the file.
    bool Admit(uint64_t offset, uint64_t end);

    const size_t m_maxQueued;
    const FileFaults m_faults;
    std::atomic<uint64_t> m_writeCalls{0};
    std::atomic<bool> m_stalled{false};
    int m_fd = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;        // writer thread: work or stop
    std::condition_variable m_roomOrDone;  // producer: room, idle or failure
    std::deque<Piece> m_queue;
    size_t m_queuedBytes = 0;
    size_t m_queuePeak = 0;
    bool m_busy = false;
    bool m_stop = false;
    WriteStatus m_status = WriteStatus::Ok;
    uint64_t m_writtenEnd = 0;
};

}  // namespace media::avi
