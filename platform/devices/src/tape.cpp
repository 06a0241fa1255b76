// Tapes of the virtual deck.
#include "tape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dv/difpacks.h"
#include "dv/dvtesttape.h"
#include "dv/dvtimecode.h"

namespace dvdeck {

Tape::~Tape() {
    if (m_fd >= 0) close(m_fd);
}

bool Tape::Open(const std::string& path, std::string* error) {
    m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = "cannot open \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "\"" + path + "\" is not a regular file";
        return false;
    }
    // Each frame's header block tells its standard, and with it where the
    // next frame starts.
    const int64_t fileSize = static_cast<int64_t>(st.st_size);
    int64_t offset = 0;
    bool headerAtStart = false;
    for (;;) {
        uint8_t header[dv::kBlockSize];
        dv::Standard standard;
        if (pread(m_fd, header, sizeof header, offset) != static_cast<ssize_t>(sizeof header) ||
            !dv::ReadStandard(header, sizeof header, standard))
            break;
        if (offset == 0) headerAtStart = true;
        const int64_t size = static_cast<int64_t>(dv::FrameSize(standard));
        if (offset + size > fileSize) break;
        if (m_runs.empty() || m_runs.back().standard != standard)
            m_runs.push_back({m_fileFrames, offset, standard});
        m_maxFrameSize = std::max(m_maxFrameSize, static_cast<size_t>(size));
        ++m_fileFrames;
        offset += size;
    }
    if (m_fileFrames == 0) {
        *error = headerAtStart
                     ? "\"" + path + "\" holds no whole DV frame"
                     : "\"" + path + "\" is not a raw DV file (no DIF header at its start)";
        return false;
    }
    m_standard = m_runs.front().standard;
    m_frames = m_fileFrames;
    return true;
}

std::unique_ptr<Tape> Tape::OpenFile(const std::string& path, std::string* error) {
    std::unique_ptr<Tape> tape(new Tape);
    if (!tape->Open(path, error)) return nullptr;
    return tape;
}

std::unique_ptr<Tape> Tape::OpenBuiltin(dv::Standard standard, int repeats, std::string* error) {
    const std::string path = dv::TestTapePath(standard);
    if (path.empty()) {
        *error = "the built-in test tape cannot be made (DV encoder unavailable?)";
        return nullptr;
    }
    std::unique_ptr<Tape> tape(new Tape);
    if (!tape->Open(path, error)) return nullptr;
    tape->m_frames = tape->m_fileFrames * (repeats < 1 ? 1 : repeats);
    tape->m_rewriteTimecode = true;
    return tape;
}

const Tape::Run& Tape::RunOf(int64_t inFile) const {
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), inFile,
                               [](int64_t f, const Run& r) { return f < r.first; });
    return *(it - 1);
}

dv::Standard Tape::StandardAt(int64_t index) const {
    if (index < 0 || index >= m_frames) return m_standard;
    return RunOf(index % m_fileFrames).standard;
}

bool Tape::ReadFrame(int64_t index, uint8_t* out) const {
    if (index < 0 || index >= m_frames) return false;
    const int64_t inFile = index % m_fileFrames;
    const Run& run = RunOf(inFile);
    const size_t size = dv::FrameSize(run.standard);
    const off_t offset =
        static_cast<off_t>(run.offset + (inFile - run.first) * static_cast<int64_t>(size));
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(m_fd, out + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    if (m_rewriteTimecode && index != inFile) RewriteTimecode(out, run.standard, index);
    return true;
}

void RewriteTimecode(uint8_t* frame, dv::Standard standard, int64_t index) {
    uint8_t pc[4];
    dv::EncodeTimecodePack(dv::TimecodeAt(index, standard), pc);
    // Subcode blocks 1 and 2 of every sequence, six packs each at 6 + 8j.
    for (int seq = 0; seq < dv::SequenceCount(standard); ++seq) {
        for (int b = 1; b <= 2; ++b) {
            uint8_t* block = frame + dv::BlockOffset(seq, b);
            for (int j = 0; j < 6; ++j) {
                uint8_t* pack = block + 6 + 8 * j;
                if (pack[0] == dv::kPackTimecode) std::memcpy(pack + 1, pc, 4);
            }
        }
    }
}

}  // namespace dvdeck
