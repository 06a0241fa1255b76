// Writes the application icon as PNG files for the desktop's icon theme:
//   tapeloom_make_icons <directory> <size>...
// makes <directory>/<size>.png for each size, drawn from the same artwork
// as the program's own icon resource, in full colour with an alpha channel.
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "icon_art.h"

namespace {

// Below this size the shading rings would be a pixel wide or less and only
// muddy the picture, as in the 16-colour icon images.
constexpr int kShadedFrom = 32;

int Channel(float premultiplied, float cover) {
    // The artwork is drawn over black: an edge pixel holds its colour times
    // the cover, which the alpha channel now carries instead.
    const float value = cover > 0 ? premultiplied / cover : 0;
    return std::clamp(static_cast<int>(value + 0.5f), 0, 255);
}

QImage Render(int size) {
    artwork::Canvas picture(size, size, artwork::Colour{0, 0, 0});
    artwork::Canvas mask(size, size, artwork::Colour{0, 0, 0});
    icon_art::DrawReels(picture, mask, static_cast<float>(size), size >= kShadedFrom);
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const artwork::Colour c = picture.At(x, y);
            const float cover = std::clamp(mask.At(x, y).r / 255.0f, 0.0f, 1.0f);
            const int alpha = static_cast<int>(cover * 255 + 0.5f);
            image.setPixel(x, y,
                           alpha == 0 ? qRgba(0, 0, 0, 0)
                                      : qRgba(Channel(c.r, cover), Channel(c.g, cover),
                                              Channel(c.b, cover), alpha));
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <directory> <size>...\n", argv[0]);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > 1024) {
            std::fprintf(stderr, "%s: size %s is not between 16 and 1024\n", argv[0], argv[i]);
            return 2;
        }
        const std::string path = std::string(argv[1]) + "/" + std::to_string(size) + ".png";
        if (!Render(size).save(QString::fromStdString(path), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
            return 1;
        }
    }
    return 0;
}
