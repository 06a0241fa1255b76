// The application icon: a tape reel paying out tape to a smaller take-up
// reel.  Three images: 32 x 32 and 16 x 16 in the standard 16 colours, and
// 32 x 32 in 256 colours with shading.
#include <cmath>
#include <vector>

#include "artwork.h"
#include "resource.h"
#include "tapeloom/win32_resources.h"

namespace {

using artwork::Canvas;
using artwork::Colour;

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

// Draws the icon at `size` pixels on `picture`, and its outline on `mask`
// (white where the icon is).  `shaded` adds the highlights only 256 colours
// can show.
void DrawReels(Canvas& picture, Canvas& mask, float size, bool shaded) {
    const float s = size / 32;
    const Colour rim{96, 96, 108};
    const Colour flange{196, 198, 206};
    const Colour tape{128, 24, 16};
    const Colour hole{0, 0, 0};
    auto ring = [&](float cx, float cy, float inner, float outer, Colour c) {
        picture.FillRing(cx * s, cy * s, inner * s, outer * s, c);
        mask.FillRing(cx * s, cy * s, inner * s, outer * s, kWhite);
    };
    auto band = [&](float x0, float y0, float x1, float y1, float w, Colour c) {
        picture.FillBand(x0 * s, y0 * s, x1 * s, y1 * s, w * s, c);
        mask.FillBand(x0 * s, y0 * s, x1 * s, y1 * s, w * s, kWhite);
    };
    auto reel = [&](float cx, float cy, float r) {
        ring(cx, cy, 0, r, rim);
        ring(cx, cy, 0, r - 1.2f, flange);
        ring(cx, cy, r * 0.28f, r * 0.82f, tape);
        if (shaded) {
            for (float k = r * 0.36f; k < r * 0.8f; k += 1.6f)
                picture.FillRing(cx * s, cy * s, k * s, (k + 0.5f) * s, Colour{160, 60, 40});
        }
        for (int spoke = 0; spoke < 3; ++spoke) {
            const float a = static_cast<float>(spoke) * 2.0943951f - 1.5707963f;
            band(cx, cy, cx + std::cos(a) * r * 0.5f, cy + std::sin(a) * r * 0.5f, r * 0.14f + 0.6f,
                 flange);
        }
        ring(cx, cy, 0, r * 0.12f + 0.4f, hole);
    };
    // The tape runs from the bottom of the supply reel to the take-up reel.
    band(12, 23, 25, 30.5f, 1.6f, tape);
    reel(12, 12, 11.5f);
    reel(25, 25, 6.5f);
    if (shaded) picture.FillRing(12 * s, 12 * s, 10.3f * s, 10.8f * s, Colour{236, 238, 244});
}

struct IconData {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> transparent;
};

IconData MakeImage(int size, bool shaded) {
    Canvas picture(size, size, kBlack);
    Canvas mask(size, size, kBlack);
    DrawReels(picture, mask, static_cast<float>(size), shaded);
    IconData data;
    if (shaded) {
        artwork::PalettePicture p = artwork::Quantise(picture, 256);
        data.palette = std::move(p.palette);
        data.bits = std::move(p.bits);
    } else {
        data.palette.assign(win32_resources::kStandardPalette16,
                            win32_resources::kStandardPalette16 + 16);
        // Black, maroon, grey, silver and white of the standard palette.
        data.bits = artwork::MapToPalette(picture, data.palette.data(), {0, 1, 8, 7, 15});
    }
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) data.transparent.push_back(mask.At(x, y).r < 128 ? 1 : 0);
    return data;
}

struct Registration {
    IconData large16 = MakeImage(32, false);
    IconData small16 = MakeImage(16, false);
    IconData large256 = MakeImage(32, true);
    win32_resources::IconImage images[3];
    win32_resources::IconResource icon;

    static win32_resources::IconImage Image(const IconData& d, int size) {
        return {{IDR_MAINFRAME, size, size, d.palette.data(), static_cast<int>(d.palette.size()),
                 d.bits.data()},
                d.transparent.data()};
    }
    Registration()
        : images{Image(large16, 32), Image(small16, 16), Image(large256, 32)},
          icon{IDR_MAINFRAME, images, 3} {
        win32_resources::RegisterIcon(&icon);
    }
} s_registration;

}  // namespace
