// The capture panel's banner: a tape reel whose tape runs out along the
// foot of the picture, under the program's name.  175 x 15 pixels, 16
// colours in the standard palette, on the yellow key colour that the panel
// turns into the button face colour.
#include <cmath>
#include <cstring>

#include "pixelart.h"
#include "resource.h"
#include "win32/resources.h"

namespace {

constexpr int kWidth = 175;
constexpr int kHeight = 15;

// Letters of the name, 13 rows from the banner's second row: capitals 10
// rows high, small letters 7, descenders 2; strokes two pixels wide.
constexpr int kGlyphHeight = 13;

const char* const kT[kGlyphHeight] = {
    "..........", "##########", "##########", "....##....", "....##....",
    "....##....", "....##....", "....##....", "....##....", "....##....",
    "....##....", "..........", "..........",
};
const char* const kA[kGlyphHeight] = {
    ".......", ".......", ".......", ".......", ".#####.", ".....##", ".######",
    "##...##", "##...##", "##..###", ".###.##", ".......", ".......",
};
const char* const kP[kGlyphHeight] = {
    ".......", ".......", ".......", ".......", "######.", "##...##", "##...##",
    "##...##", "##...##", "##...##", "######.", "##.....", "##.....",
};
const char* const kE[kGlyphHeight] = {
    ".......", ".......", ".......", ".......", ".#####.", "##...##", "##...##",
    "#######", "##.....", "##...##", ".#####.", ".......", ".......",
};
const char* const kL[kGlyphHeight] = {
    "..", "##", "##", "##", "##", "##", "##", "##", "##", "##", "##", "..", "..",
};
const char* const kO[kGlyphHeight] = {
    ".......", ".......", ".......", ".......", ".#####.", "##...##", "##...##",
    "##...##", "##...##", "##...##", ".#####.", ".......", ".......",
};
const char* const kM[kGlyphHeight] = {
    "..........", "..........", "..........", "..........", "#########.",
    "##..##..##", "##..##..##", "##..##..##", "##..##..##", "##..##..##",
    "##..##..##", "..........", "..........",
};

struct Glyph {
    char c;
    const char* const* rows;
};
const Glyph kGlyphs[] = {{'T', kT}, {'a', kA}, {'p', kP}, {'e', kE},
                         {'l', kL}, {'o', kO}, {'m', kM}};

const char* const* RowsOf(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows;
    return nullptr;
}

std::vector<uint8_t> Draw() {
    std::vector<uint8_t> bits(kWidth * kHeight, pixelart::kKey);
    auto set = [&](int x, int y, uint8_t index) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) bits[y * kWidth + x] = index;
    };

    // The reel fills the height at the left: grey flange, maroon tape
    // wound on it, a silver hub with its black spindle hole.
    const float cx = 7, cy = 7;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kHeight; ++x) {
            const float d = std::hypot(static_cast<float>(x) - cx, static_cast<float>(y) - cy);
            if (d <= 1.2f)
                set(x, y, 0);
            else if (d <= 2.6f)
                set(x, y, 7);
            else if (d <= 6.2f)
                set(x, y, 1);
            else if (d <= 7.4f)
                set(x, y, 8);
        }

    // The tape leaves the reel at its foot and runs to the right edge.
    for (int x = 7; x < kWidth; ++x) set(x, kHeight - 1, 1);

    // The name in navy.
    int x0 = 20;
    for (const char* p = "Tapeloom"; *p; ++p) {
        const char* const* rows = RowsOf(*p);
        const int width = static_cast<int>(std::strlen(rows[0]));
        for (int y = 0; y < kGlyphHeight; ++y)
            for (int x = 0; x < width; ++x)
                if (rows[y][x] == '#') set(x0 + x, 1 + y, 4);
        x0 += width + 2;
    }
    return bits;
}

struct Registration {
    std::vector<uint8_t> bits = Draw();
    win32_resources::BitmapResource bitmap{
        IDB_BANNER, kWidth, kHeight, win32_resources::kStandardPalette16, 16, bits.data()};
    Registration() { win32_resources::RegisterBitmap(&bitmap); }
} s_registration;

}  // namespace
