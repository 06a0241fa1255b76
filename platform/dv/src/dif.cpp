// DIF frame layout and structural check.
#include "dv/dif.h"

namespace dv {

Section ExpectedSection(int index) {
    if (index == 0) return Section::Header;
    if (index < 3) return Section::Subcode;
    if (index < 6) return Section::VAUX;
    return (index - 6) % 16 == 0 ? Section::Audio : Section::Video;
}

int ExpectedBlockNumber(int index) {
    if (index == 0) return 0;
    if (index < 3) return index - 1;
    if (index < 6) return index - 3;
    const int group = (index - 6) / 16;
    const int within = (index - 6) % 16;
    return within == 0 ? group : group * 15 + within - 1;
}

bool BlockIdMatches(const uint8_t* block, Section section, int seq, int number) {
    return (block[0] >> 5) == static_cast<uint8_t>(section) && (block[1] >> 4) == seq &&
           block[2] == number;
}

bool ReadStandard(const uint8_t* data, size_t size, Standard& standard) {
    if (data == nullptr || size < kBlockSize || !BlockIdMatches(data, Section::Header, 0, 0))
        return false;
    standard = (data[3] & 0x80) ? Standard::PAL : Standard::NTSC;
    return true;
}

bool ViewFrame(const uint8_t* data, size_t size, FrameView& view) {
    Standard standard;
    if (!ReadStandard(data, size, standard) || size < FrameSize(standard)) return false;
    view.data = data;
    view.standard = standard;
    return true;
}

FrameCheck CheckFrame(const uint8_t* data, size_t size) {
    FrameCheck check;
    if (!ReadStandard(data, size, check.standard)) {
        check.fault = FrameFault::NoHeader;
        return check;
    }
    const size_t need = FrameSize(check.standard);
    if (size < need) {
        check.fault = FrameFault::Short;
        return check;
    }
    if (size > need) {
        check.fault = FrameFault::Long;
        return check;
    }
    const int sequences = SequenceCount(check.standard);
    for (int seq = 0; seq < sequences; ++seq) {
        for (int index = 0; index < 150; ++index) {
            if (!BlockIdMatches(data + BlockOffset(seq, index), ExpectedSection(index), seq,
                                ExpectedBlockNumber(index))) {
                check.fault = FrameFault::BadBlockId;
                check.sequence = seq;
                check.block = index;
                return check;
            }
        }
    }
    return check;
}

const char* FrameFaultText(FrameFault fault) {
    switch (fault) {
        case FrameFault::None:
            return "ok";
        case FrameFault::NoHeader:
            return "no DIF header";
        case FrameFault::Short:
            return "frame too short";
        case FrameFault::Long:
            return "frame too long";
        case FrameFault::BadBlockId:
            return "bad block ID";
    }
    return "?";
}

}  // namespace dv
