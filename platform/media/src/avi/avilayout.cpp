#include "media/avi/avilayout.h"

#include <algorithm>
#include <cmath>

namespace media::avi {
namespace {

constexpr uint64_t kAlign = 512;

class Bytes {
public:
    explicit Bytes(std::vector<uint8_t>& out) : m_out(out) {}
    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void U64(uint64_t v) {
        U32(uint32_t(v));
        U32(uint32_t(v >> 32));
    }
    void Zeros(size_t n) { m_out.insert(m_out.end(), n, 0); }
    size_t Size() const { return m_out.size(); }
    // Starts a chunk or list; returns the position of its size field.
    size_t Begin(uint32_t id) {
        U32(id);
        U32(0);
        return m_out.size() - 4;
    }
    size_t BeginList(uint32_t type) {
        size_t at = Begin(FourCC("LIST"));
        U32(type);
        return at;
    }
    void End(size_t sizeAt) { Patch(sizeAt, uint32_t(m_out.size() - sizeAt - 4)); }
    void Patch(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) m_out[at + i] = uint8_t(v >> (8 * i));
    }

private:
    std::vector<uint8_t>& m_out;
};

uint32_t FormatSize(StreamKind kind) {
    switch (kind) {
        case StreamKind::InterleavedDv:
            return 32;  // DVINFO
        case StreamKind::DvVideo:
            return 40;  // BITMAPINFOHEADER
        case StreamKind::Pcm:
            return 18;  // WAVEFORMATEX, cbSize 0
    }
    return 0;
}

uint64_t SizeBeforeJunk(const FileHeader& h) {
    uint64_t size = 12 + 12 + 8 + 56;  // RIFF, LIST hdrl, avih
    for (const StreamHeader& s : h.streams)
        size += 12 + 8 + 56 + 8 + FormatSize(s.kind) + 8 + 24 + 16ull * h.superIndexCapacity;
    size += 12 + 8 + 248;  // LIST odml, dmlh
    return size;
}

uint64_t JunkSize(const FileHeader& h) {
    const uint64_t before = SizeBeforeJunk(h);
    const uint64_t minimumEnd = before + 8 + 12;  // JUNK header, LIST movi header
    const uint64_t end = (minimumEnd + kAlign - 1) / kAlign * kAlign;
    return end - before - 12;  // JUNK chunk including its header
}

void WriteStreamFormat(Bytes& b, const StreamHeader& s) {
    switch (s.kind) {
        case StreamKind::InterleavedDv:
            b.U32(s.dvInfo.aauxSrc);
            b.U32(s.dvInfo.aauxCtl);
            b.U32(s.dvInfo.aauxSrc1);
            b.U32(s.dvInfo.aauxCtl1);
            b.U32(s.dvInfo.vauxSrc);
            b.U32(s.dvInfo.vauxCtl);
            b.U32(0);
            b.U32(0);
            break;
        case StreamKind::DvVideo:
            b.U32(40);
            b.U32(s.width);
            b.U32(s.height);
            b.U16(1);   // planes
            b.U16(24);  // bits per pixel
            b.U32(FourCC("dvsd"));
            b.U32(s.frameBytes);
            b.Zeros(16);  // resolution, colours used, colours important
            break;
        case StreamKind::Pcm:
            b.U16(1);  // WAVE_FORMAT_PCM
            b.U16(s.channels);
            b.U32(s.rate);
            b.U32(s.rate * s.BlockAlign());
            b.U16(s.BlockAlign());
            b.U16(s.bitsPerSample);
            b.U16(0);
            break;
    }
}

}  // namespace

uint32_t StreamHeader::ChunkId(unsigned index) const {
    const char kind2[2] = {kind == StreamKind::Pcm ? 'w' : 'd',
                           kind == StreamKind::Pcm ? 'b' : 'c'};
    return uint32_t('0' + index / 10 % 10) | uint32_t('0' + index % 10) << 8 |
           uint32_t(uint8_t(kind2[0])) << 16 | uint32_t(uint8_t(kind2[1])) << 24;
}

uint32_t StreamHeader::IndexId(unsigned index) const {
    return uint32_t('i') | uint32_t('x') << 8 | uint32_t('0' + index / 10 % 10) << 16 |
           uint32_t('0' + index % 10) << 24;
}

uint64_t HeaderSize(const FileHeader& header) {
    return SizeBeforeJunk(header) + JunkSize(header) + 12;
}

std::vector<uint8_t> BuildHeader(const FileHeader& h) {
    std::vector<uint8_t> out;
    out.reserve(HeaderSize(h));
    Bytes b(out);

    b.U32(FourCC("RIFF"));
    b.U32(h.riffSize);
    b.U32(FourCC("AVI "));

    const size_t hdrl = b.BeginList(FourCC("hdrl"));
    const StreamHeader* first = h.streams.empty() ? nullptr : &h.streams.front();
    uint32_t suggested = 0, width = 0, height = 0;
    for (const StreamHeader& s : h.streams) {
        suggested = std::max(suggested, s.suggestedBuffer);
        if (s.kind != StreamKind::Pcm) {
            width = s.width;
            height = s.height;
        }
    }
    const size_t avih = b.Begin(FourCC("avih"));
    b.U32(first && first->rate ? uint32_t(std::lround(1e6 * first->scale / first->rate)) : 0);
    b.U32(h.maxBytesPerSec);
    b.U32(0);  // padding granularity
    b.U32(kAvifIsInterleaved | (h.hasIdx1 ? kAvifHasIndex : 0));
    b.U32(h.firstRiffFrames);
    b.U32(0);  // initial frames
    b.U32(uint32_t(h.streams.size()));
    b.U32(suggested);
    b.U32(width);
    b.U32(height);
    b.Zeros(16);
    b.End(avih);

    for (unsigned i = 0; i < h.streams.size(); ++i) {
        const StreamHeader& s = h.streams[i];
        const size_t strl = b.BeginList(FourCC("strl"));
        const size_t strh = b.Begin(FourCC("strh"));
        switch (s.kind) {
            case StreamKind::InterleavedDv:
                b.U32(FourCC("iavs"));
                b.U32(FourCC("dvsd"));
                break;
            case StreamKind::DvVideo:
                b.U32(FourCC("vids"));
                b.U32(FourCC("dvsd"));
                break;
            case StreamKind::Pcm:
                b.U32(FourCC("auds"));
                b.U32(0);
                break;
        }
        b.U32(0);  // flags
        b.U16(0);  // priority
        b.U16(0);  // language
        b.U32(0);  // initial frames
        b.U32(s.scale);
        b.U32(s.rate);
        b.U32(0);  // start
        b.U32(s.length);
        b.U32(s.suggestedBuffer);
        b.U32(0xFFFFFFFFu);  // quality: default
        b.U32(s.kind == StreamKind::Pcm ? s.BlockAlign() : 0);
        b.U16(0);
        b.U16(0);
        b.U16(s.kind == StreamKind::Pcm ? 0 : uint16_t(s.width));
        b.U16(s.kind == StreamKind::Pcm ? 0 : uint16_t(s.height));
        b.End(strh);

        const size_t strf = b.Begin(FourCC("strf"));
        WriteStreamFormat(b, s);
        b.End(strf);

        const size_t indx = b.Begin(FourCC("indx"));
        b.U16(4);  // longs per entry
        b.U8(0);   // sub type
        b.U8(0);   // AVI_INDEX_OF_INDEXES
        const uint32_t used = uint32_t(std::min<size_t>(s.superIndex.size(), h.superIndexCapacity));
        b.U32(used);
        b.U32(s.ChunkId(i));
        b.Zeros(12);
        for (uint32_t e = 0; e < h.superIndexCapacity; ++e) {
            if (e < used) {
                b.U64(s.superIndex[e].offset);
                b.U32(s.superIndex[e].size);
                b.U32(s.superIndex[e].duration);
            } else {
                b.Zeros(16);
            }
        }
        b.End(indx);
        b.End(strl);
    }

    const size_t odml = b.BeginList(FourCC("odml"));
    const size_t dmlh = b.Begin(FourCC("dmlh"));
    b.U32(h.totalFrames);
    b.Zeros(244);
    b.End(dmlh);
    b.End(odml);
    b.End(hdrl);

    const size_t junk = b.Begin(FourCC("JUNK"));
    b.Zeros(JunkSize(h) - 8);
    b.End(junk);

    b.U32(FourCC("LIST"));
    b.U32(h.moviSize);
    b.U32(FourCC("movi"));
    return out;
}

std::vector<uint8_t> BuildExtensionHead(uint32_t riffSize, uint32_t moviSize) {
    std::vector<uint8_t> out;
    Bytes b(out);
    b.U32(FourCC("RIFF"));
    b.U32(riffSize);
    b.U32(FourCC("AVIX"));
    b.U32(FourCC("LIST"));
    b.U32(moviSize);
    b.U32(FourCC("movi"));
    return out;
}

uint64_t StandardIndexSize(uint32_t entries) { return 8 + 24 + 8ull * entries; }

std::vector<uint8_t> BuildStandardIndex(std::span<const ChunkRef> chunks, unsigned stream,
                                        uint32_t indexId, uint32_t chunkId, uint64_t base) {
    uint32_t count = 0;
    for (const ChunkRef& c : chunks) count += c.stream == stream;
    std::vector<uint8_t> out;
    out.reserve(StandardIndexSize(count));
    Bytes b(out);
    const size_t ix = b.Begin(indexId);
    b.U16(2);  // longs per entry
    b.U8(0);   // sub type
    b.U8(1);   // AVI_INDEX_OF_CHUNKS
    b.U32(count);
    b.U32(chunkId);
    b.U64(base);
    b.U32(0);
    for (const ChunkRef& c : chunks) {
        if (c.stream != stream) continue;
        b.U32(uint32_t(c.offset + 8 - base));
        b.U32(c.size);  // bit 31 clear: every DV frame and PCM chunk is a key frame
    }
    b.End(ix);
    return out;
}

uint64_t Idx1Size(size_t entries) { return 8 + 16ull * entries; }

std::vector<uint8_t> BuildIdx1(const std::vector<ChunkRef>& chunks,
                               const std::vector<StreamHeader>& streams,
                               uint64_t moviFourccOffset) {
    std::vector<uint8_t> out;
    out.reserve(Idx1Size(chunks.size()));
    Bytes b(out);
    const size_t idx1 = b.Begin(FourCC("idx1"));
    for (const ChunkRef& c : chunks) {
        b.U32(streams[c.stream].ChunkId(c.stream));
        b.U32(kAviifKeyframe);
        b.U32(uint32_t(c.offset - moviFourccOffset));
        b.U32(c.size);
    }
    b.End(idx1);
    return out;
}

}  // namespace media::avi
