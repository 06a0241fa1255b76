#include "media/avi/asyncfile.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace media::avi {
namespace {

// One gathered write carries at most this much; large enough to amortise
// the system call, small enough to hand buffers back to the producer soon.
constexpr size_t kMaxBatchBytes = 8u << 20;
constexpr size_t kMaxBatchIov = 512;  // well below IOV_MAX (1024 on Linux)
const uint8_t kZeros[8] = {};

}  // namespace

AsyncFile::Piece AsyncFile::Owned(uint64_t offset, std::vector<uint8_t> bytes) {
    Piece piece;
    piece.offset = offset;
    piece.owned = std::move(bytes);
    piece.data = piece.owned.data();
    piece.size = piece.owned.size();
    return piece;
}

AsyncFile::AsyncFile(size_t maxQueuedBytes, FileFaults faults)
    : m_maxQueued(maxQueuedBytes), m_faults(faults) {}

AsyncFile::~AsyncFile() { Close(); }

WriteStatus AsyncFile::Open(const std::string& path) {
    if (m_fd >= 0) return WriteStatus::WriteError;
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return WriteStatusFromErrno(errno);
    m_fd = fd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = WriteStatus::Ok;
        m_writtenEnd = 0;
        m_queuePeak = 0;
        m_stop = false;
    }
    m_thread = std::thread(&AsyncFile::Run, this);
    return WriteStatus::Ok;
}

WriteStatus AsyncFile::Queue(Piece piece) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_fd < 0 || m_stop) return m_status == WriteStatus::Ok ? WriteStatus::WriteError : m_status;
    const size_t bytes = piece.Bytes();
    // Wait for room; a piece larger than the whole bound goes in once the
    // queue is empty, so it cannot wait forever.
    m_roomOrDone.wait(lock, [&] {
        return m_status != WriteStatus::Ok || m_queuedBytes + bytes <= m_maxQueued ||
               (m_queue.empty() && !m_busy);
    });
    if (m_status != WriteStatus::Ok) return m_status;
    m_queuedBytes += bytes;
    m_queuePeak = std::max(m_queuePeak, m_queuedBytes);
    m_queue.push_back(std::move(piece));
    m_wake.notify_one();
    return WriteStatus::Ok;
}

WriteStatus AsyncFile::QueueSync() {
    Piece piece;
    piece.sync = true;
    return Queue(std::move(piece));
}

WriteStatus AsyncFile::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_roomOrDone.wait(lock, [&] { return m_queue.empty() && !m_busy; });
    return m_status;
}

uint64_t AsyncFile::WrittenEnd() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writtenEnd;
}

size_t AsyncFile::QueuePeakBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queuePeak;
}

bool AsyncFile::Admit(uint64_t offset, uint64_t end) {
    if (m_faults.stallFor.count() > 0 && end > m_faults.stallAtOffset &&
        offset <= m_faults.stallAtOffset && !m_stalled.exchange(true)) {
        std::this_thread::sleep_for(m_faults.stallFor);
    }
    return m_writeCalls.fetch_add(1) < m_faults.freezeAfterWrites;
}

WriteStatus AsyncFile::Status() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

void AsyncFile::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) break;  // stop requested and nothing left

        // Take the longest run of contiguous pieces that fits one gathered write.
        std::vector<Piece> batch;
        size_t batchBytes = 0, iovs = 0;
        while (!m_queue.empty()) {
            Piece& next = m_queue.front();
            if (!batch.empty()) {
                const Piece& last = batch.back();
                if (next.sync || last.sync || next.offset != last.offset + last.Bytes() ||
                    batchBytes + next.Bytes() > kMaxBatchBytes || iovs + 3 > kMaxBatchIov)
                    break;
            }
            batchBytes += next.Bytes();
            iovs += 3;
            batch.push_back(std::move(next));
            m_queue.pop_front();
        }
        const bool failed = m_status != WriteStatus::Ok;
        m_busy = true;
        lock.unlock();

        uint64_t written = 0;
        WriteStatus result = WriteStatus::Ok;
        if (!failed) result = WriteBatch(batch, &written);
        const uint64_t start = batch.front().offset;
        batch.clear();  // hands the producer's buffers back, outside the lock

        lock.lock();
        m_busy = false;
        m_queuedBytes -= batchBytes;
        if (!failed && written > 0) m_writtenEnd = std::max(m_writtenEnd, start + written);
        if (result != WriteStatus::Ok && m_status == WriteStatus::Ok) m_status = result;
        m_roomOrDone.notify_all();
    }
    m_roomOrDone.notify_all();
}

WriteStatus AsyncFile::WriteBatch(std::vector<Piece>& batch, uint64_t* written) {
    if (batch.size() == 1 && batch.front().sync) return SyncNow();

    std::vector<iovec> iov;
    iov.reserve(batch.size() * 3);
    size_t total = 0;
    for (const Piece& p : batch) {
        if (p.headSize) iov.push_back({const_cast<uint8_t*>(p.head), p.headSize});
        if (p.size) iov.push_back({const_cast<uint8_t*>(p.data), p.size});
        if (p.padSize) iov.push_back({const_cast<uint8_t*>(kZeros), p.padSize});
        total += p.Bytes();
    }
    const uint64_t offset = batch.front().offset;
    if (!Admit(offset, offset + total)) {
        *written = total;
        return WriteStatus::Ok;
    }
    size_t done = 0, first = 0;
    while (done < total) {
        ssize_t n = ::pwritev(m_fd, iov.data() + first, static_cast<int>(iov.size() - first),
                              static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            *written = done;
            return WriteStatusFromErrno(errno);
        }
        if (n == 0) {  // no progress and no error: treat as a failed device
            *written = done;
            return WriteStatus::WriteError;
        }
        done += static_cast<size_t>(n);
        // Short write: step over what went out and go on with the rest.
        size_t left = static_cast<size_t>(n);
        while (first < iov.size() && left >= iov[first].iov_len) {
            left -= iov[first].iov_len;
            ++first;
        }
        if (left) {
            iov[first].iov_base = static_cast<uint8_t*>(iov[first].iov_base) + left;
            iov[first].iov_len -= left;
        }
    }
    *written = done;
    return WriteStatus::Ok;
}

WriteStatus AsyncFile::WriteDirect(uint64_t offset, const std::vector<uint8_t>& bytes) {
    if (m_fd < 0) return WriteStatus::WriteError;
    if (!Admit(offset, offset + bytes.size())) return WriteStatus::Ok;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return WriteStatusFromErrno(errno);
        }
        if (n == 0) return WriteStatus::WriteError;
        done += static_cast<size_t>(n);
    }
    return WriteStatus::Ok;
}

WriteStatus AsyncFile::Truncate(uint64_t size) {
    if (m_fd < 0) return WriteStatus::WriteError;
    if (!Admit(UINT64_MAX, UINT64_MAX)) return WriteStatus::Ok;
    int rc;
    do {
        rc = ::ftruncate(m_fd, static_cast<off_t>(size));
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? WriteStatusFromErrno(errno) : WriteStatus::Ok;
}

WriteStatus AsyncFile::SyncNow() {
    if (m_fd < 0) return WriteStatus::WriteError;
    int rc;
    do {
        rc = ::fdatasync(m_fd);
    } while (rc < 0 && errno == EINTR);
    // Devices and pipes cannot sync; that is no reason to fail a recording.
    if (rc < 0 && (errno == EINVAL || errno == EROFS)) return WriteStatus::Ok;
    return rc < 0 ? WriteStatusFromErrno(errno) : WriteStatus::Ok;
}

WriteStatus AsyncFile::Close() {
    if (m_fd < 0) return Status();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    WriteStatus result = Status();
    if (::close(m_fd) < 0 && errno != EINTR && result == WriteStatus::Ok)
        result = WriteStatusFromErrno(errno);
    m_fd = -1;
    return result;
}

}  // namespace media::avi
