#include "media/avi/aviwriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>

namespace media::avi {
namespace {

uint64_t ChunkBytes(uint64_t size) { return 8 + size + (size & 1); }

// What a standard index of `stream`'s chunks among `chunks` says they last:
// frames, or PCM sample frames.
uint64_t Duration(std::span<const ChunkRef> chunks, unsigned stream, const StreamHeader& s) {
    uint64_t duration = 0;
    for (const ChunkRef& c : chunks)
        if (c.stream == stream) duration += s.kind == StreamKind::Pcm ? c.size / s.BlockAlign() : 1;
    return duration;
}

StreamHeader VideoHeader(StreamKind kind, DvSystem system) {
    StreamHeader s;
    s.kind = kind;
    const bool pal = system == DvSystem::Pal625_50;
    s.rate = pal ? 25 : 30000;
    s.scale = pal ? 1 : 1001;
    s.width = 720;
    s.height = pal ? 576 : 480;
    s.frameBytes = pal ? 144000 : 120000;
    return s;
}

}  // namespace

std::string AviWriterTotals::Line() const {
    char text[256];
    std::snprintf(
        text, sizeof text,
        "AVI writer stopped: %llu frames, %.1f MB, %u RIFF part%s, %u checkpoint%s, queue peak "
        "%.1f MB, finalised in %.0f ms%s%s",
        static_cast<unsigned long long>(frames), bytes / 1e6, parts, parts == 1 ? "" : "s",
        checkpoints, checkpoints == 1 ? "" : "s", queuePeakBytes / 1e6, finaliseMs,
        status == WriteStatus::Ok ? "" : ", first failure: ",
        status == WriteStatus::Ok ? "" : WriteStatusName(status));
    return text;
}

AviWriter::AviWriter(AviWriterOptions options)
    : m_options(options), m_file(options.queueBytes, options.faults) {}

AviWriter::~AviWriter() { Close(); }

int AviWriter::AddStream(StreamHeader stream) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open || m_streams.size() >= 99) return -1;
    m_streams.push_back(std::move(stream));
    return int(m_streams.size() - 1);
}

int AviWriter::AddInterleavedDvStream(DvSystem system, const DvInfo& info) {
    StreamHeader s = VideoHeader(StreamKind::InterleavedDv, system);
    s.dvInfo = info;
    return AddStream(std::move(s));
}

int AviWriter::AddDvVideoStream(DvSystem system) {
    return AddStream(VideoHeader(StreamKind::DvVideo, system));
}

int AviWriter::AddPcmStream(uint32_t sampleRate) {
    StreamHeader s;
    s.kind = StreamKind::Pcm;
    s.rate = sampleRate;
    s.scale = 1;
    s.channels = 2;
    s.bitsPerSample = 16;
    return AddStream(std::move(s));
}

void AviWriter::SetDvInfo(int stream, const DvInfo& info) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (stream >= 0 && size_t(stream) < m_streams.size()) m_streams[stream].dvInfo = info;
}

bool AviWriter::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

WriteStatus AviWriter::Status() const { return m_status.load(); }

AviWriterTotals AviWriter::Totals() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_totals;
}

WriteStatus AviWriter::Fail(WriteStatus status) {
    WriteStatus expected = WriteStatus::Ok;
    if (status != WriteStatus::Ok) m_status.compare_exchange_strong(expected, status);
    return m_status.load();
}

WriteStatus AviWriter::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open || m_streams.empty()) return WriteStatus::WriteError;
    m_status = WriteStatus::Ok;
    m_totals = {};
    for (StreamHeader& s : m_streams) {
        s.length = 0;
        s.suggestedBuffer = 0;
    }
    const WriteStatus opened = m_file.Open(path);
    if (opened != WriteStatus::Ok) return Fail(opened);

    m_parts.clear();
    const uint64_t headerSize = HeaderSize(MakeHeader());
    m_parts.push_back(NewPart(0, headerSize));
    m_open = true;
    m_lastCheckpoint = std::chrono::steady_clock::now();
    m_framesSinceCheckpoint = 0;
    return Fail(m_file.Queue(AsyncFile::Owned(0, BuildHeader(MakeHeader()))));
}

AviWriter::Part AviWriter::NewPart(uint64_t riffStart, uint64_t headSize) const {
    // Sizes of an empty movi list from the start: a file killed before its
    // first checkpoint is an empty but valid AVI.
    Part part;
    part.riffStart = riffStart;
    part.end = riffStart + headSize;
    part.moviStart = part.end - 12;
    part.counts.assign(m_streams.size(), 0);
    part.checkpointIndexes.assign(m_streams.size(), {});
    part.riffSize = uint32_t(part.end - riffStart - 8);
    part.moviSize = 4;
    return part;
}

uint64_t AviWriter::ProjectedRiffSize(const Part& part, size_t extraChunkBytes) const {
    uint64_t size = part.end + extraChunkBytes - part.riffStart - 8;
    for (uint32_t count : part.counts) size += StandardIndexSize(count + 1);
    if (&part == &m_parts.front() && m_options.compatibilityIndex)
        size += Idx1Size(part.chunks.size() + 1);
    return size;
}

WriteStatus AviWriter::WriteChunk(int stream, const void* data, size_t size,
                                  std::shared_ptr<const void> keep) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_open) return WriteStatus::WriteError;
    if (m_status != WriteStatus::Ok) return m_status;
    if (stream < 0 || size_t(stream) >= m_streams.size() || (size && !data) || size > 0x7FFFFFF0u)
        return WriteStatus::WriteError;  // a caller's mistake; the recording goes on

    const uint64_t bytes = ChunkBytes(size);
    const bool due = CheckpointDue(stream);
    // Parts end before a video chunk, with room kept for the audio that
    // follows it, so that a part holds whole frames (a file cut at a part
    // boundary has as much sound as picture). PCM starts a part only when
    // that room was not enough.
    uint64_t room = 0;
    if (m_streams[stream].kind != StreamKind::Pcm) {
        for (const StreamHeader& other : m_streams)
            if (other.kind == StreamKind::Pcm) room += other.suggestedBuffer;
    }
    const uint64_t limit =
        m_options.riffLimit +
        (m_streams[stream].kind == StreamKind::Pcm ? m_streams[0].suggestedBuffer : 0);
    if (!m_parts.back().chunks.empty() &&
        ProjectedRiffSize(m_parts.back(),
                          bytes + room + (due ? CheckpointBytes(m_parts.back()) : 0)) > limit) {
        const WriteStatus started = StartNextPart();
        if (started != WriteStatus::Ok) return Fail(started);
    } else if (due) {
        const WriteStatus checkpoint = Checkpoint();
        if (checkpoint != WriteStatus::Ok) return Fail(checkpoint);
    }
    Part& part = m_parts.back();
    StreamHeader& s = m_streams[stream];

    AsyncFile::Piece piece;
    piece.offset = part.end;
    const uint32_t id = s.ChunkId(unsigned(stream));
    const uint32_t size32 = uint32_t(size);
    for (int i = 0; i < 4; ++i) {
        piece.head[i] = uint8_t(id >> (8 * i));
        piece.head[4 + i] = uint8_t(size32 >> (8 * i));
    }
    piece.headSize = 8;
    piece.padSize = uint8_t(size & 1);
    if (keep) {
        piece.data = static_cast<const uint8_t*>(data);
        piece.size = size;
        piece.keep = std::move(keep);
    } else {
        const auto* bytesIn = static_cast<const uint8_t*>(data);
        piece.owned.assign(bytesIn, bytesIn + size);
        piece.data = piece.owned.data();
        piece.size = size;
    }

    part.chunks.push_back({part.end, size32, uint8_t(stream)});
    ++part.counts[stream];
    part.end += bytes;
    s.length += s.kind == StreamKind::Pcm ? size32 / s.BlockAlign() : 1;
    s.suggestedBuffer = std::max(s.suggestedBuffer, uint32_t(bytes));
    if (s.kind != StreamKind::Pcm) ++m_framesSinceCheckpoint;
    return Fail(m_file.Queue(std::move(piece)));
}

bool AviWriter::CheckpointDue(int stream) const {
    // Taken before a video (or interleaved) chunk, so that a Type-2 frame's
    // audio is never indexed without its picture.
    if (m_streams[stream].kind == StreamKind::Pcm) return false;
    const Part& part = m_parts.back();
    if (part.chunks.size() == part.checkpointed) return false;
    if (m_options.checkpointFrames && m_framesSinceCheckpoint >= m_options.checkpointFrames)
        return true;
    return m_options.checkpointInterval.count() > 0 &&
           std::chrono::steady_clock::now() - m_lastCheckpoint >= m_options.checkpointInterval;
}

uint64_t AviWriter::CheckpointBytes(const Part& part) const {
    const bool merge =
        std::any_of(part.checkpointIndexes.begin(), part.checkpointIndexes.end(),
                    [](const auto& entries) { return entries.size() >= kCheckpointIndexEntries; });
    std::vector<uint32_t> counts(m_streams.size(), 0);
    for (size_t k = merge ? 0 : part.checkpointed; k < part.chunks.size(); ++k)
        ++counts[part.chunks[k].stream];
    uint64_t bytes = 0;
    for (uint32_t count : counts)
        if (count) bytes += StandardIndexSize(count);
    return bytes;
}

WriteStatus AviWriter::Checkpoint() {
    Part& part = m_parts.back();
    const bool isFirst = m_parts.size() == 1;
    // Past the reserved super index entries, one index of the whole part so
    // far replaces the part's checkpoint indexes.
    const bool merge =
        std::any_of(part.checkpointIndexes.begin(), part.checkpointIndexes.end(),
                    [](const auto& entries) { return entries.size() >= kCheckpointIndexEntries; });
    const size_t from = merge ? 0 : part.checkpointed;
    const std::span<const ChunkRef> fresh(part.chunks.data() + from, part.chunks.size() - from);

    // 1. The indexes go after the chunks they cover; nothing points at them yet.
    std::vector<AsyncFile::Piece> appended;
    for (unsigned i = 0; i < m_streams.size(); ++i) {
        const StreamHeader& s = m_streams[i];
        const uint64_t duration = Duration(fresh, i, s);
        if (duration == 0) continue;
        std::vector<uint8_t> ix =
            BuildStandardIndex(fresh, i, s.IndexId(i), s.ChunkId(i), part.moviStart);
        const SuperIndexEntry entry{part.end, uint32_t(ix.size()), uint32_t(duration)};
        if (merge) part.checkpointIndexes[i].clear();
        part.checkpointIndexes[i].push_back(entry);
        part.end += ix.size();
        appended.push_back(AsyncFile::Owned(entry.offset, std::move(ix)));
    }
    part.checkpointed = part.chunks.size();
    part.riffSize = uint32_t(part.end - part.riffStart - 8);
    part.moviSize = uint32_t(part.end - part.moviStart - 8);
    m_lastCheckpoint = std::chrono::steady_clock::now();
    m_framesSinceCheckpoint = 0;
    ++m_totals.checkpoints;

    for (AsyncFile::Piece& piece : appended)
        if (WriteStatus st = m_file.Queue(std::move(piece)); st != WriteStatus::Ok) return st;
    // 2. Chunks and indexes reach the device before anything points at them.
    if (m_options.syncParts)
        if (WriteStatus st = m_file.QueueSync(); st != WriteStatus::Ok) return st;
    // 3. The sizes and the header, rewritten in place, take them in.
    if (!isFirst)
        if (WriteStatus st = m_file.Queue(
                AsyncFile::Owned(part.riffStart, BuildExtensionHead(part.riffSize, part.moviSize)));
            st != WriteStatus::Ok)
            return st;
    return m_file.Queue(AsyncFile::Owned(0, BuildHeader(MakeHeader())));
}

FileHeader AviWriter::MakeHeader() const {
    FileHeader h;
    h.streams = m_streams;
    h.superIndexCapacity = m_options.superIndexCapacity + kCheckpointIndexEntries;
    for (size_t i = 0; i < h.streams.size(); ++i) {
        StreamHeader& s = h.streams[i];
        s.superIndex.clear();
        for (const Part& p : m_parts) {
            if (i < p.indexes.size() && p.indexes[i].size)
                s.superIndex.push_back(p.indexes[i]);
            else if (i < p.checkpointIndexes.size())
                s.superIndex.insert(s.superIndex.end(), p.checkpointIndexes[i].begin(),
                                    p.checkpointIndexes[i].end());
        }
        if (s.kind == StreamKind::Pcm) {
            h.maxBytesPerSec += s.rate * s.BlockAlign();
        } else {
            const uint64_t frame = std::max<uint64_t>(s.frameBytes, s.suggestedBuffer);
            h.maxBytesPerSec += uint32_t(frame * s.rate / std::max(1u, s.scale));
        }
    }
    if (!m_parts.empty() && !m_streams.empty()) {
        const Part& first = m_parts.front();
        h.firstRiffFrames = first.counts.empty() ? 0 : first.counts[0];
        h.hasIdx1 = first.hasIdx1;
        h.riffSize = first.riffSize;
        h.moviSize = first.moviSize;
    }
    h.totalFrames = m_streams.empty() ? 0 : m_streams[0].length;
    return h;
}

AviWriter::Closing AviWriter::FinishPart(Part& part, bool withIndexes) {
    Closing closing;
    const bool isFirst = &part == &m_parts.front();
    uint64_t pos = part.end;
    part.indexes.assign(m_streams.size(), {});
    part.checkpointIndexes.assign(m_streams.size(), {});
    part.checkpointed = part.chunks.size();
    part.hasIdx1 = false;
    if (withIndexes) {
        for (unsigned i = 0; i < m_streams.size(); ++i) {
            if (part.counts[i] == 0) continue;
            const StreamHeader& s = m_streams[i];
            std::vector<uint8_t> ix =
                BuildStandardIndex(part.chunks, i, s.IndexId(i), s.ChunkId(i), part.moviStart);
            const uint64_t duration = Duration(part.chunks, i, s);
            part.indexes[i] = {pos, uint32_t(ix.size()), uint32_t(duration)};
            const uint64_t at = pos;
            pos += ix.size();
            closing.appended.push_back(AsyncFile::Owned(at, std::move(ix)));
        }
    }
    const uint64_t moviEnd = pos;
    if (withIndexes && isFirst && m_options.compatibilityIndex) {
        std::vector<uint8_t> idx1 = BuildIdx1(part.chunks, m_streams, part.moviStart + 8);
        const uint64_t at = pos;
        pos += idx1.size();
        closing.appended.push_back(AsyncFile::Owned(at, std::move(idx1)));
        part.hasIdx1 = true;
    }
    part.indexBytes = pos - part.end;
    part.riffSize = uint32_t(pos - part.riffStart - 8);
    part.moviSize = uint32_t(moviEnd - part.moviStart - 8);
    if (!isFirst)
        closing.patches.push_back(
            AsyncFile::Owned(part.riffStart, BuildExtensionHead(part.riffSize, part.moviSize)));
    closing.patches.push_back(AsyncFile::Owned(0, BuildHeader(MakeHeader())));
    return closing;
}

WriteStatus AviWriter::StartNextPart() {
    if (m_parts.size() >= m_options.superIndexCapacity) return WriteStatus::FileTooLarge;
    Part& last = m_parts.back();
    Closing closing = FinishPart(last, true);
    m_lastCheckpoint = std::chrono::steady_clock::now();
    m_framesSinceCheckpoint = 0;
    ++m_totals.checkpoints;
    // As at a checkpoint: indexes, sync, then the sizes and header that
    // point at them. The finished part is on disk before the next one begins.
    for (AsyncFile::Piece& piece : closing.appended)
        if (WriteStatus st = m_file.Queue(std::move(piece)); st != WriteStatus::Ok) return st;
    if (m_options.syncParts)
        if (WriteStatus st = m_file.QueueSync(); st != WriteStatus::Ok) return st;
    for (AsyncFile::Piece& piece : closing.patches)
        if (WriteStatus st = m_file.Queue(std::move(piece)); st != WriteStatus::Ok) return st;

    Part next = NewPart(last.end + last.indexBytes, kExtensionHeadSize);
    const uint64_t at = next.riffStart;
    const uint32_t riffSize = next.riffSize, moviSize = next.moviSize;
    m_parts.push_back(std::move(next));
    return m_file.Queue(AsyncFile::Owned(at, BuildExtensionHead(riffSize, moviSize)));
}

void AviWriter::RecountStreams() {
    for (StreamHeader& s : m_streams) {
        s.length = 0;
        s.suggestedBuffer = 0;
    }
    for (Part& part : m_parts) {
        std::fill(part.counts.begin(), part.counts.end(), 0);
        for (const ChunkRef& c : part.chunks) {
            StreamHeader& s = m_streams[c.stream];
            ++part.counts[c.stream];
            s.length += s.kind == StreamKind::Pcm ? c.size / s.BlockAlign() : 1;
            s.suggestedBuffer = std::max(s.suggestedBuffer, uint32_t(ChunkBytes(c.size)));
        }
    }
}

WriteStatus AviWriter::Finalise() {
    const WriteStatus drained = m_file.Drain();
    Fail(drained);
    const uint64_t headerSize = HeaderSize(MakeHeader());

    if (m_status != WriteStatus::Ok) {
        // Keep the chunks that reached the disk whole; forget the rest, and any
        // part of which nothing survived.
        const uint64_t good = m_file.WrittenEnd();
        for (Part& part : m_parts) {
            while (!part.chunks.empty() &&
                   part.chunks.back().offset + ChunkBytes(part.chunks.back().size) > good)
                part.chunks.pop_back();
        }
        while (m_parts.size() > 1 && m_parts.back().chunks.empty()) m_parts.pop_back();
        if (good < headerSize) {
            // Not even the header made it: nothing in this file can be read.
            m_parts.front().chunks.clear();
            RecountStreams();
            m_parts.front().end = 0;
            m_parts.front().indexBytes = 0;
            m_file.Truncate(0);
            return m_status;
        }
        RecountStreams();
    }

    Part& last = m_parts.back();
    if (m_status != WriteStatus::Ok) {
        if (!last.chunks.empty())
            last.end = last.chunks.back().offset + ChunkBytes(last.chunks.back().size);
        else
            last.end = m_parts.size() == 1 ? headerSize : last.riffStart + kExtensionHeadSize;
        // Cuts a partly written chunk, or an earlier attempt to finish this part.
        m_file.Truncate(last.end);
    }
    // After a clean recording nothing is cut: the header on disk may point
    // at the last checkpoint's indexes until the final header replaces it.

    Closing closing = FinishPart(last, true);
    WriteStatus indexed = WriteStatus::Ok;
    for (const AsyncFile::Piece& piece : closing.appended) {
        indexed = m_file.WriteDirect(piece.offset, piece.owned);
        if (indexed != WriteStatus::Ok) break;
    }
    if (indexed != WriteStatus::Ok) {
        // No room for the last part's indexes: its chunks stay readable by
        // scanning, with sizes that end at its last whole chunk.
        Fail(indexed);
        m_file.Truncate(last.end);
        closing = FinishPart(last, false);
    }
    for (const AsyncFile::Piece& piece : closing.patches)
        Fail(m_file.WriteDirect(piece.offset, piece.owned));
    return m_status;
}

WriteStatus AviWriter::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_open) return m_status;
    const auto start = std::chrono::steady_clock::now();
    Finalise();
    Fail(m_file.Close());
    m_open = false;

    m_totals.frames =
        m_streams.empty() || m_streams[0].kind == StreamKind::Pcm ? 0 : m_streams[0].length;
    m_totals.audioSamples = 0;
    for (const StreamHeader& s : m_streams)
        if (s.kind == StreamKind::Pcm) m_totals.audioSamples += s.length;
    const Part& last = m_parts.back();
    m_totals.bytes = last.end + last.indexBytes;
    m_totals.parts = uint32_t(m_parts.size());
    m_totals.queuePeakBytes = m_file.QueuePeakBytes();
    m_totals.finaliseMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    m_totals.status = m_status;
    return m_status;
}

}  // namespace media::avi
