// Audio sample position tables for 525/60 and 625/50.
#include "dv/dvaudioshuffle.h"

namespace dv {

namespace {

constexpr AudioShuffle MakeShuffle(int sequences, int blocksPerRow) {
    AudioShuffle table{sequences, 3 * blocksPerRow, {}};
    for (int n = 0; n < 3 * blocksPerRow; ++n) {
        const int seq = (n / 3 + 2 * (n % 3)) % sequences;
        const int block = 3 * (n % 3) + n / blocksPerRow;
        table.first[seq][block] = static_cast<uint8_t>(n);
    }
    return table;
}

constexpr AudioShuffle kShuffleNTSC = MakeShuffle(5, 15);
constexpr AudioShuffle kShufflePAL = MakeShuffle(6, 18);

}  // namespace

const AudioShuffle& ShuffleFor(Standard standard) {
    return standard == Standard::PAL ? kShufflePAL : kShuffleNTSC;
}

}  // namespace dv
