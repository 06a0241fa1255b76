// Reads an AVI file as an index-trusting reader does (RIFF chain, super
// indexes, standard indexes, header figures) and checks that everything it
// points at is there and agrees, so a file caught at any moment of a
// recording can be judged without running a player.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace avitest {

struct Snapshot {
    std::string error;  // empty: the file is consistent
    unsigned parts = 0;
    uint64_t frames = 0;                // video (or interleaved) chunks the indexes reach
    uint64_t audioSamples = 0;          // PCM sample frames the indexes reach
    uint32_t videoIndexes = 0;          // entries in the first stream's super index
    std::vector<uint64_t> videoChunks;  // data offsets of the indexed video chunks, in order
};

namespace snapshot_detail {

inline uint32_t U32(std::string_view d, uint64_t at) {
    uint32_t v = 0;
    if (at + 4 <= d.size()) std::memcpy(&v, d.data() + at, 4);
    return v;
}
inline uint64_t U64(std::string_view d, uint64_t at) {
    return U32(d, at) | uint64_t(U32(d, at + 4)) << 32;
}
inline std::string Id(std::string_view d, uint64_t at) {
    return at + 4 <= d.size() ? std::string(d.substr(at, 4)) : std::string();
}

// The first chunk `id` in [begin, end), descending into LIST (not movi).
inline uint64_t FindChunk(std::string_view d, uint64_t begin, uint64_t end, const std::string& id,
                          unsigned nth, unsigned& seen) {
    for (uint64_t at = begin; at + 8 <= end && at + 8 <= d.size();) {
        const uint32_t size = U32(d, at + 4);
        if (Id(d, at) == id && seen++ == nth) return at;
        if (Id(d, at) == "LIST" && Id(d, at + 8) != "movi") {
            const uint64_t found = FindChunk(d, at + 12, at + 8 + size, id, nth, seen);
            if (found != UINT64_MAX) return found;
        }
        at += 8 + size + (size & 1);
    }
    return UINT64_MAX;
}
inline uint64_t FindChunk(std::string_view d, uint64_t begin, uint64_t end, const std::string& id,
                          unsigned nth = 0) {
    unsigned seen = 0;
    return FindChunk(d, begin, end, id, nth, seen);
}

}  // namespace snapshot_detail

// `streams`: 1 (Type-1) or 2 (Type-2, stream 1 PCM with 4-byte blocks).
inline Snapshot ReadSnapshot(std::string_view d, unsigned streams) {
    using namespace snapshot_detail;
    Snapshot s;
    auto fail = [&](const std::string& why) {
        s.error = why;
        return s;
    };
    struct Part {
        uint64_t movi = 0, moviEnd = 0;
    };
    std::vector<Part> parts;
    for (uint64_t at = 0; at + 24 <= d.size() && Id(d, at) == "RIFF";) {
        const uint64_t end = at + 8 + U32(d, at + 4);
        if (end > d.size()) return fail("RIFF past the end of the file at " + std::to_string(at));
        if (Id(d, at + 8) != (parts.empty() ? "AVI " : "AVIX")) return fail("RIFF form type");
        uint64_t movi = at + 12;
        while (parts.empty() && movi + 12 <= end && Id(d, movi + 8) != "movi")
            movi += 8 + U32(d, movi + 4) + (U32(d, movi + 4) & 1);
        if (movi == UINT64_MAX || Id(d, movi + 8) != "movi")
            return fail("no movi list in part " + std::to_string(parts.size()));
        const uint64_t moviEnd = movi + 8 + U32(d, movi + 4);
        if (moviEnd > end) return fail("movi past its RIFF");
        parts.push_back({movi, moviEnd});
        at = end + (end & 1);
    }
    if (parts.empty()) return fail("no RIFF 'AVI '");
    s.parts = unsigned(parts.size());
    const uint64_t hdrlEnd = parts[0].movi;

    uint64_t firstRiffFrames = 0;
    for (unsigned st = 0; st < streams; ++st) {
        const std::string tag = "stream " + std::to_string(st) + ": ";
        const uint64_t indx = FindChunk(d, 12, hdrlEnd, "indx", st);
        const uint64_t strh = FindChunk(d, 12, hdrlEnd, "strh", st);
        if (indx == UINT64_MAX || strh == UINT64_MAX) return fail(tag + "no strh or indx");
        const uint32_t used = U32(d, indx + 12);
        if (st == 0) s.videoIndexes = used;
        const std::string chunkId = Id(d, indx + 16);
        const bool pcm = chunkId[2] == 'w';
        uint64_t units = 0;
        for (uint32_t e = 0; e < used; ++e) {
            const uint64_t entry = indx + 32 + 16ull * e;
            const uint64_t ix = U64(d, entry);
            if (ix + 32 > d.size()) return fail(tag + "super index entry past the end");
            if (Id(d, ix) != "ix0" + std::to_string(st)) return fail(tag + "entry not at ix##");
            if (U32(d, entry + 8) != 8 + U32(d, ix + 4)) return fail(tag + "ix## size");
            if (ix + 8 + U32(d, ix + 4) > d.size()) return fail(tag + "ix## past the end");
            unsigned part = 0;
            while (part < parts.size() && !(ix > parts[part].movi && ix < parts[part].moviEnd))
                ++part;
            if (part == parts.size()) return fail(tag + "ix## outside every movi list");
            const uint32_t count = U32(d, ix + 12);
            const uint64_t base = U64(d, ix + 20);
            if (Id(d, ix + 16) != chunkId) return fail(tag + "ix## chunk id");
            if (base != parts[part].movi) return fail(tag + "ix## base offset");
            uint64_t duration = 0;
            for (uint32_t k = 0; k < count; ++k) {
                const uint64_t data = base + U32(d, ix + 32 + 8ull * k);
                const uint32_t size = U32(d, ix + 36 + 8ull * k);
                if (data + size > parts[part].moviEnd || data < parts[part].movi + 12)
                    return fail(tag + "chunk outside its movi list");
                if (Id(d, data - 8) != chunkId || U32(d, data - 4) != size)
                    return fail(tag + "index entry does not point at its chunk");
                duration += pcm ? size / 4 : 1;
                if (!pcm) s.videoChunks.push_back(data);
            }
            if (U32(d, entry + 12) != duration) return fail(tag + "super index duration");
            units += duration;
            if (st == 0 && part == 0) firstRiffFrames += count;
        }
        if (U32(d, strh + 8 + 32) != units) return fail(tag + "strh dwLength");
        (pcm ? s.audioSamples : s.frames) = units;
    }
    const uint64_t avih = FindChunk(d, 12, hdrlEnd, "avih");
    const uint64_t dmlh = FindChunk(d, 12, hdrlEnd, "dmlh");
    if (U32(d, avih + 8 + 16) != firstRiffFrames) return fail("avih dwTotalFrames");
    if (U32(d, dmlh + 8) != s.frames) return fail("dmlh dwTotalFrames");
    return s;
}

}  // namespace avitest
