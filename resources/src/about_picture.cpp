// The About box's picture: a tape reel whose tape runs out under the name,
// over the threads of a loom, on a night-blue ground.  353 x 108, 256
// colours.
#include <cmath>

#include "artwork.h"
#include "resource.h"
#include "win32/resources.h"

namespace {

using artwork::Canvas;
using artwork::Colour;

constexpr int kWidth = 353;
constexpr int kHeight = 108;

Canvas Draw() {
    Canvas c(kWidth, kHeight, Colour{0, 0, 0});
    const Colour top{26, 44, 80};
    const Colour bottom{8, 16, 34};
    for (int y = 0; y < kHeight; ++y)
        c.FillRect(0, static_cast<float>(y), kWidth, static_cast<float>(y + 1),
                   artwork::Mix(top, bottom, static_cast<float>(y) / (kHeight - 1)));

    // Warp threads of the loom, fading in from the reel.
    for (int k = 0; k < 10; ++k) {
        const float y = 8.5f + 9.0f * static_cast<float>(k);
        for (int x = 100; x < kWidth; ++x)
            c.Blend(x, static_cast<int>(y), Colour{90, 130, 180},
                    0.45f * std::min(1.0f, static_cast<float>(x - 100) / 60.0f));
    }

    // The tape leaves the reel at its foot and runs along under the name.
    const Colour tape{118, 52, 26};
    c.FillBand(56, 93, kWidth + 4, 93, 6, tape);
    c.FillBand(90, 91, kWidth + 4, 91, 1, Colour{170, 96, 52});

    // The reel: flange, wound tape, spokes and hub.
    const float cx = 56, cy = 54;
    c.FillRing(cx, cy, 0, 46, Colour{110, 116, 128});
    c.FillRing(cx, cy, 0, 44.5f, Colour{168, 174, 186});
    c.FillRing(cx, cy, 13, 39, tape);
    for (float r = 15; r < 39; r += 2.5f) c.FillRing(cx, cy, r, r + 0.6f, Colour{138, 66, 36});
    for (int spoke = 0; spoke < 3; ++spoke) {
        const float a = static_cast<float>(spoke) * 2.0943951f - 1.5707963f;
        c.FillBand(cx, cy, cx + std::cos(a) * 24, cy + std::sin(a) * 24, 7, Colour{168, 174, 186});
    }
    c.FillRing(cx, cy, 0, 9, Colour{200, 204, 214});
    c.FillRing(cx, cy, 0, 4, Colour{20, 24, 34});
    c.FillRing(cx, cy, 43, 44.5f, Colour{226, 230, 238});

    // The name and what the program does.
    const char* name = "TAPELOOM";
    const char* line = "DV TAPE CAPTURE";
    const float x = 122;
    c.Text(x + 2, 18 + 2, name, 4, Colour{4, 8, 18});
    c.Text(x, 18, name, 4, Colour{240, 232, 212});
    const float indent = (Canvas::TextWidth(name, 4) - Canvas::TextWidth(line, 2)) / 2;
    c.Text(x + indent, 58, line, 2, Colour{150, 184, 220});
    return c;
}

struct Registration {
    artwork::PalettePicture picture = artwork::Quantise(Draw(), 256);
    win32_resources::BitmapResource bitmap{IDB_ABOUT,
                                           kWidth,
                                           kHeight,
                                           picture.palette.data(),
                                           static_cast<int>(picture.palette.size()),
                                           picture.bits.data()};
    Registration() { win32_resources::RegisterBitmap(&bitmap); }
} s_registration;

}  // namespace
