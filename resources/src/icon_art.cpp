// The application icon: a tape reel paying out tape to a smaller take-up
// reel, drawn on a 32-unit grid scaled to the size asked for.
#include "icon_art.h"

#include <cmath>

namespace icon_art {

using artwork::Canvas;
using artwork::Colour;

constexpr Colour kWhite{255, 255, 255};

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

}  // namespace icon_art
