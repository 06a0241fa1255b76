// The bytes of the files AviWriter makes: RIFF parts, header figures, and
// every index entry checked against the chunk it points at.
#include <gtest/gtest.h>

#include <cstring>

#include "avi_test_support.h"

namespace {

using namespace avitest;
using media::avi::AviWriterOptions;
using media::avi::WriteStatus;

uint32_t U32(const std::string& d, uint64_t at) {
    uint32_t v;
    std::memcpy(&v, d.data() + at, 4);
    return v;
}
uint64_t U64(const std::string& d, uint64_t at) {
    return U32(d, at) | uint64_t(U32(d, at + 4)) << 32;
}
std::string Id(const std::string& d, uint64_t at) { return d.substr(at, 4); }

// Every chunk `id` inside [begin, end), in file order, descending into lists.
void FindAll(const std::string& d, uint64_t begin, uint64_t end, const std::string& id,
             std::vector<uint64_t>& found) {
    for (uint64_t at = begin; at + 8 <= end;) {
        const std::string cid = Id(d, at);
        const uint32_t size = U32(d, at + 4);
        if (cid == id) found.push_back(at);
        if ((cid == "LIST" || cid == "RIFF") && Id(d, at + 8) != "movi")
            FindAll(d, at + 12, at + 8 + size, id, found);
        at += 8 + size + (size & 1);
    }
}

uint64_t Find(const std::string& d, uint64_t begin, uint64_t end, const std::string& id,
              size_t nth = 0) {
    std::vector<uint64_t> found;
    FindAll(d, begin, end, id, found);
    return nth < found.size() ? found[nth] : std::string::npos;
}

struct Part {
    uint64_t riff = 0, movi = 0, moviEnd = 0, end = 0;
};

struct FileCheck {
    std::vector<Part> parts;
    uint32_t framesInFirstRiff = 0;
};

// Walks the RIFF parts and checks every index; returns what it found.
void CheckFile(const std::string& d, unsigned streams, bool expectIdx1, FileCheck& check) {
    for (uint64_t at = 0; at < d.size();) {
        EXPECT_EQ(Id(d, at), "RIFF") << "at " << at;
        if (Id(d, at) != "RIFF") return;
        Part part;
        part.riff = at;
        part.end = at + 8 + U32(d, at + 4);
        EXPECT_EQ(Id(d, at + 8), check.parts.empty() ? "AVI " : "AVIX");
        std::vector<uint64_t> lists;
        FindAll(d, at + 12, part.end, "LIST", lists);
        part.movi = std::string::npos;
        for (uint64_t list : lists)
            if (Id(d, list + 8) == "movi") part.movi = list;
        ASSERT_NE(part.movi, std::string::npos);
        part.moviEnd = part.movi + 8 + U32(d, part.movi + 4);
        EXPECT_LE(part.moviEnd, part.end);
        check.parts.push_back(part);
        at = part.end;
    }
    EXPECT_EQ(check.parts.back().end, d.size());

    // First chunk on a 512-byte boundary, after JUNK.
    EXPECT_EQ((check.parts[0].movi + 12) % 512, 0u);
    EXPECT_NE(Find(d, 0, check.parts[0].movi, "JUNK"), std::string::npos);

    // Super and standard indexes, per stream.
    for (unsigned s = 0; s < streams; ++s) {
        SCOPED_TRACE("stream " + std::to_string(s));
        const uint64_t indx = Find(d, 0, check.parts[0].movi, "indx", s);
        ASSERT_NE(indx, std::string::npos);
        EXPECT_EQ(U32(d, indx + 8) & 0xFFFFFFu, 4u);  // 4 longs a entry, index of indexes
        const uint32_t used = U32(d, indx + 12);
        const std::string chunkId = Id(d, indx + 16);
        EXPECT_EQ(used, check.parts.size());
        uint64_t units = 0;
        for (uint32_t e = 0; e < used; ++e) {
            const uint64_t entry = indx + 32 + 16ull * e;
            const uint64_t ix = U64(d, entry);
            EXPECT_EQ(Id(d, ix), "ix0" + std::to_string(s));
            EXPECT_EQ(U32(d, entry + 8), 8 + U32(d, ix + 4));
            EXPECT_GT(ix, check.parts[e].movi);
            EXPECT_LT(ix, check.parts[e].moviEnd);   // inside this part's movi
            EXPECT_EQ(U32(d, ix + 8), 0x01000002u);  // 2 longs a entry, index of chunks
            const uint32_t count = U32(d, ix + 12);
            EXPECT_EQ(Id(d, ix + 16), chunkId);
            const uint64_t base = U64(d, ix + 20);
            uint64_t duration = 0;
            for (uint32_t k = 0; k < count; ++k) {
                const uint64_t data = base + U32(d, ix + 32 + 8ull * k);
                const uint32_t size = U32(d, ix + 36 + 8ull * k);
                EXPECT_EQ(size & 0x80000000u, 0u);
                EXPECT_EQ(Id(d, data - 8), chunkId);
                EXPECT_EQ(U32(d, data - 4), size);
                EXPECT_GT(data, check.parts[e].movi);
                EXPECT_LE(data + size, ix);
                duration += chunkId[2] == 'w' ? size / 4 : 1;
            }
            EXPECT_EQ(U32(d, entry + 12), duration);
            units += duration;
            if (s == 0 && e == 0) check.framesInFirstRiff = count;
        }
        const uint64_t strh = Find(d, 0, check.parts[0].movi, "strh", s);
        EXPECT_EQ(U32(d, strh + 8 + 32), units) << "strh dwLength";
    }

    const uint64_t avih = Find(d, 12, check.parts[0].movi, "avih");
    EXPECT_EQ(U32(d, avih + 8 + 16), check.framesInFirstRiff) << "avih dwTotalFrames";
    EXPECT_EQ(U32(d, avih + 8 + 24), streams);
    const uint64_t idx1 = Find(d, check.parts[0].moviEnd, check.parts[0].end, "idx1");
    EXPECT_EQ(idx1 != std::string::npos, expectIdx1);
    EXPECT_EQ((U32(d, avih + 8 + 12) & 0x10) != 0, expectIdx1) << "AVIF_HASINDEX";
    if (idx1 != std::string::npos) {
        const uint32_t entries = U32(d, idx1 + 4) / 16;
        uint32_t videoEntries = 0;
        for (uint32_t k = 0; k < entries; ++k) {
            const uint64_t e = idx1 + 8 + 16ull * k;
            const uint64_t chunk = check.parts[0].movi + 8 + U32(d, e + 8);
            EXPECT_EQ(Id(d, chunk), Id(d, e));
            EXPECT_EQ(U32(d, chunk + 4), U32(d, e + 12));
            EXPECT_EQ(U32(d, e + 4), 0x10u);  // key frame
            videoEntries += Id(d, e) == "00dc";
        }
        EXPECT_EQ(videoEntries, check.framesInFirstRiff);
    }
}

TEST(AviStructure, PartsAndIndexesPointAtTheirChunks) {
    struct Case {
        bool pal;
        AviType type;
        bool idx1;
        uint64_t riffLimit;
    };
    const Case cases[] = {
        {true, AviType::Type2, true, 3'000'000},
        {false, AviType::Type2, false, 3'000'000},
        {true, AviType::Type1, true, 2'000'000},
        {false, AviType::Type1, true, 1ull << 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pal ? "PAL" : "NTSC") +
                     (c.type == AviType::Type1 ? " Type-1" : " Type-2") + " limit " +
                     std::to_string(c.riffLimit));
        const Tape& tape = GetTape(c.pal);
        testsupport::ScratchDir dir;
        AviWriterOptions options;
        options.compatibilityIndex = c.idx1;
        options.riffLimit = c.riffLimit;
        ASSERT_EQ(WriteTape(tape, c.type, dir / "out.avi", options), WriteStatus::Ok);
        const std::string d = ReadFile(dir / "out.avi");
        FileCheck check;
        CheckFile(d, c.type == AviType::Type1 ? 1 : 2, c.idx1, check);
        ASSERT_FALSE(check.parts.empty());
        for (const Part& part : check.parts) EXPECT_LE(part.end - part.riff - 8, c.riffLimit);
        if (c.riffLimit < 10'000'000) {
            EXPECT_GE(check.parts.size(), 5u);
            EXPECT_EQ(CountVideoPackets(dir / "out.avi"), long(tape.Frames()));
        }
        const uint64_t dmlh = Find(d, 12, check.parts[0].movi, "dmlh");
        EXPECT_EQ(U32(d, dmlh + 8), tape.Frames());
    }
}

TEST(AviStructure, Type1CarriesDvInfoAndRates) {
    const Tape& tape = GetTape(false);
    testsupport::ScratchDir dir;
    media::avi::AviWriter writer;
    const media::avi::DvInfo early{1, 2, 3, 4, 5, 6};
    const media::avi::DvInfo info{0xC0C00000u, 0xFFA0CF3Fu, 0xC0C00001u,
                                  0xFFA0CF3Fu, 0xFF80FFFFu, 0xFFFFFF3Fu};
    const int stream = writer.AddInterleavedDvStream(media::avi::DvSystem::Ntsc525_60, early);
    ASSERT_EQ(stream, 0);
    ASSERT_EQ(writer.Open((dir / "t1.avi").string()), WriteStatus::Ok);
    EXPECT_EQ(writer.AddPcmStream(48000), -1) << "streams are fixed once the file is open";
    for (size_t i = 0; i < 10; ++i)
        ASSERT_EQ(writer.WriteChunk(0, tape.Frame(i), tape.frameBytes), WriteStatus::Ok);
    writer.SetDvInfo(stream, info);  // learnt from the first frame, after Open
    ASSERT_EQ(writer.Close(), WriteStatus::Ok);

    const std::string d = ReadFile(dir / "t1.avi");
    const uint64_t strh = Find(d, 12, d.size(), "strh");
    EXPECT_EQ(Id(d, strh + 8), "iavs");
    EXPECT_EQ(Id(d, strh + 12), "dvsd");
    EXPECT_EQ(U32(d, strh + 8 + 20), 1001u);    // scale
    EXPECT_EQ(U32(d, strh + 8 + 24), 30000u);   // rate
    EXPECT_EQ(U32(d, strh + 8 + 32), 10u);      // length
    EXPECT_EQ(U32(d, strh + 8 + 36), 120008u);  // suggested buffer
    const uint64_t strf = Find(d, 12, d.size(), "strf");
    ASSERT_EQ(U32(d, strf + 4), 32u);
    const uint32_t expected[8] = {
        info.aauxSrc, info.aauxCtl, info.aauxSrc1, info.aauxCtl1, info.vauxSrc, info.vauxCtl, 0, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(U32(d, strf + 8 + 4 * k), expected[k]) << k;
    const uint64_t avih = Find(d, 12, d.size(), "avih");
    EXPECT_EQ(U32(d, avih + 8), 33367u);  // microseconds a frame
    EXPECT_EQ(U32(d, avih + 8 + 4), 120008u * 30000 / 1001);
    EXPECT_EQ(U32(d, avih + 8 + 32), 720u);
    EXPECT_EQ(U32(d, avih + 8 + 36), 480u);
}

TEST(AviStructure, EmptyRecordingIsAValidFile) {
    testsupport::ScratchDir dir;
    AviWriterOptions options;
    options.compatibilityIndex = true;
    media::avi::AviWriterTotals totals;
    ASSERT_EQ(WriteTape(GetTape(true), AviType::Type2, dir / "empty.avi", options, 0, &totals),
              WriteStatus::Ok);
    EXPECT_EQ(totals.frames, 0u);
    EXPECT_EQ(totals.parts, 1u);
    const std::string d = ReadFile(dir / "empty.avi");
    EXPECT_EQ(U32(d, 4) + 8, d.size());
    auto v = Probe(dir / "empty.avi", "stream=codec_name");
    EXPECT_EQ(v["codec_name"], "dvvideo");
}

}  // namespace
