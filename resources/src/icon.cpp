// The application icon: a tape reel paying out tape to a smaller take-up
// reel.  Three images: 32 x 32 and 16 x 16 in the standard 16 colours, and
// 32 x 32 in 256 colours with shading.
#include <vector>

#include "artwork.h"
#include "icon_art.h"
#include "resource.h"
#include "win32/resources.h"

namespace {

using artwork::Canvas;
using artwork::Colour;

constexpr Colour kBlack{0, 0, 0};

struct IconData {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> transparent;
};

IconData MakeImage(int size, bool shaded) {
    Canvas picture(size, size, kBlack);
    Canvas mask(size, size, kBlack);
    icon_art::DrawReels(picture, mask, static_cast<float>(size), shaded);
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
