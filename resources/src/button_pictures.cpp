// The pictures of the capture panel's bitmap buttons: the nine tape
// transport buttons, Capture (idle and recording) and browse.  15 x 15
// pixels (browse 11 x 11), 16 colours in the standard palette, on the
// yellow key colour that the buttons turn into their face colour.
#include "pixelart.h"
#include "resource.h"
#include "win32/resources.h"

namespace {

// Play: a triangle pointing right.
const char* const kPlay[] = {
    "...............", "...............", ".....#.........", ".....##........", ".....###.......",
    ".....####......", ".....#####.....", ".....######....", ".....#####.....", ".....####......",
    ".....###.......", ".....##........", ".....#.........", "...............", "...............",
};

// Stop: a square.
const char* const kStop[] = {
    "...............", "...............", "...............", "...#########...", "...#########...",
    "...#########...", "...#########...", "...#########...", "...#########...", "...#########...",
    "...#########...", "...#########...", "...............", "...............", "...............",
};

// Pause: two bars.
const char* const kPause[] = {
    "...............", "...............", "...............", "....##...##....", "....##...##....",
    "....##...##....", "....##...##....", "....##...##....", "....##...##....", "....##...##....",
    "....##...##....", "....##...##....", "...............", "...............", "...............",
};

// Fast forward: two solid triangles.
const char* const kFastForward[] = {
    "...............", "...............", "...............", "..#.....#......", "..##....##.....",
    "..###...###....", "..####..####...", "..#####.#####..", "..####..####...", "..###...###....",
    "..##....##.....", "..#.....#......", "...............", "...............", "...............",
};

// Slow forward: two open chevrons, lighter than fast forward.
const char* const kSlowForward[] = {
    "...............", "...............", "...............", "..##....##.....", "...##....##....",
    "....##....##...", ".....##....##..", "......##....##.", ".....##....##..", "....##....##...",
    "...##....##....", "..##....##.....", "...............", "...............", "...............",
};

// Rewind: fast forward mirrored.
const char* const kRewind[] = {
    "...............", "...............", "...............", "......#.....#..", ".....##....##..",
    "....###...###..", "...####..####..", "..#####.#####..", "...####..####..", "....###...###..",
    ".....##....##..", "......#.....#..", "...............", "...............", "...............",
};

// Slow reverse: slow forward mirrored.
const char* const kSlowReverse[] = {
    "...............", "...............", "...............", ".....##....##..", "....##....##...",
    "...##....##....", "..##....##.....", ".##....##......", "..##....##.....", "...##....##....",
    "....##....##...", ".....##....##..", "...............", "...............", "...............",
};

// Frame step forward: the pause bars, then a triangle.
const char* const kStepForward[] = {
    "...............", "...............", "...............", "..##.##.#......", "..##.##.##.....",
    "..##.##.###....", "..##.##.####...", "..##.##.#####..", "..##.##.####...", "..##.##.###....",
    "..##.##.##.....", "..##.##.#......", "...............", "...............", "...............",
};

// Frame step back: a triangle pointing left, then the pause bars.
const char* const kStepReverse[] = {
    "...............", "...............", "...............", "......#.##.##..", ".....##.##.##..",
    "....###.##.##..", "...####.##.##..", "..#####.##.##..", "...####.##.##..", "....###.##.##..",
    ".....##.##.##..", "......#.##.##..", "...............", "...............", "...............",
};

// Capture, not recording: a red record dot.
const char* const kCapture[] = {
    "...............", "...............", ".....#####.....", "....#rrrrr#....", "...#rrrrrrr#...",
    "..#rrrrrrrrr#..", "..#rrrrrrrrr#..", "..#rrrrrrrrr#..", "..#rrrrrrrrr#..", "..#rrrrrrrrr#..",
    "...#rrrrrrr#...", "....#rrrrr#....", ".....#####.....", "...............", "...............",
};

// Capture, recording: a stop square in dark red.
const char* const kStopCapture[] = {
    "...............", "...............", "...............", "...#########...", "...#mmmmmmm#...",
    "...#mmmmmmm#...", "...#mmmmmmm#...", "...#mmmmmmm#...", "...#mmmmmmm#...", "...#mmmmmmm#...",
    "...#mmmmmmm#...", "...#########...", "...............", "...............", "...............",
};

// Browse: a folder (11 x 11).
const char* const kBrowse[] = {
    "...........", "...........", ".####......", "#wwww#####.", "#wwwwwwwww#", "#wwwwwwwww#",
    "#wwwwwwwww#", "#wwwwwwwww#", "#wwwwwwwww#", "###########", "...........",
};
struct Picture {
    int id;
    int size;
    const char* const* rows;
};

const Picture kPictures[] = {
    {IDB_PLAY, 15, kPlay},
    {IDB_STOP, 15, kStop},
    {IDB_PAUSE, 15, kPause},
    {IDB_FASTFORWARD, 15, kFastForward},
    {IDB_SLOWFORWARD, 15, kSlowForward},
    {IDB_REWIND, 15, kRewind},
    {IDB_SLOWREVERSE, 15, kSlowReverse},
    {IDB_STEPFORWARD, 15, kStepForward},
    {IDB_STEPREVERSE, 15, kStepReverse},
    {IDB_CAPTURE, 15, kCapture},
    {IDB_STOPCAPTURE, 15, kStopCapture},
    {IDB_BROWSE, 11, kBrowse},
};
constexpr int kCount = static_cast<int>(sizeof kPictures / sizeof kPictures[0]);

struct Registration {
    std::vector<uint8_t> bits[kCount];
    win32_resources::BitmapResource bitmaps[kCount];
    Registration() {
        for (int i = 0; i < kCount; ++i) {
            const Picture& p = kPictures[i];
            bits[i] = pixelart::FromRows(p.rows, p.size, p.size);
            bitmaps[i] = {p.id, p.size,        p.size, win32_resources::kStandardPalette16,
                          16,   bits[i].data()};
            win32_resources::RegisterBitmap(&bitmaps[i]);
        }
    }
} s_registration;

}  // namespace
