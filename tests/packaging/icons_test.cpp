// The icon theme's PNGs: each size drawn at its own size (not a scaled
// copy of another), transparent around the reels, and with edge pixels in
// their own colour (alpha carried in the alpha channel, not darkened).
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <string>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage Load(int size) {
    return QImage(
        QString::fromStdString(std::string(ICON_DIR) + "/" + std::to_string(size) + ".png"));
}

// Share of the pixels that are more opaque than not.
double OpaqueShare(const QImage& image) {
    long opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 127;
    return static_cast<double>(opaque) / (image.width() * image.height());
}

class IconSize : public testing::TestWithParam<int> {};

TEST_P(IconSize, DrawnAtItsSizeOnATransparentGround) {
    const int size = GetParam();
    const QImage image = Load(size);
    ASSERT_FALSE(image.isNull()) << "no " << size << ".png";
    EXPECT_EQ(image.width(), size);
    EXPECT_EQ(image.height(), size);
    EXPECT_TRUE(image.hasAlphaChannel());
    // The corners away from the reels are clear; the supply reel's hub is
    // solid.
    EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, size - 1)), 0);
    EXPECT_EQ(qAlpha(image.pixel(size * 12 / 32, size * 12 / 32)), 255);
    // The reels cover the same share of every size (about half).
    const double reference = OpaqueShare(Load(256));
    EXPECT_NEAR(OpaqueShare(image), reference, 0.06) << "size " << size;
}

TEST_P(IconSize, EdgePixelsKeepTheRimColour) {
    const int size = GetParam();
    const QImage image = Load(size);
    ASSERT_FALSE(image.isNull());
    // The supply reel's upper-left quarter: only its grey rim meets the
    // ground there.  A half-covered pixel must still be that grey (96, 96,
    // 108), not the grey blended with black.
    const double s = size / 32.0, centre = 12 * s;
    int edges = 0;
    for (int y = 0; y < size * 12 / 32; ++y) {
        for (int x = 0; x < size * 12 / 32; ++x) {
            const QRgb p = image.pixel(x, y);
            const double r = std::hypot(x + 0.5 - centre, y + 0.5 - centre);
            if (qAlpha(p) < 40 || qAlpha(p) > 215 || r < 11 * s) continue;
            ++edges;
            EXPECT_NEAR(qRed(p), 96, 24) << size << " at " << x << "," << y;
            EXPECT_NEAR(qBlue(p), 108, 24) << size << " at " << x << "," << y;
        }
    }
    EXPECT_GT(edges, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconSize, testing::ValuesIn(kSizes),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "px";
                         });

}  // namespace
