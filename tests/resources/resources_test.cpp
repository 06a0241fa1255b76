// The resources the program loads by number: present, well-formed, and
// with the pictures' colour indexes inside their palettes.
#include "win32/resources.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>
#include <vector>

#include "resource.h"

namespace {

using namespace win32_resources;

bool IndexesInPalette(const BitmapResource& b) {
    for (int i = 0; i < b.width * b.height; ++i)
        if (b.bits[i] >= b.palette_size) return false;
    return true;
}

int ColoursUsed(const BitmapResource& b) {
    std::set<uint32_t> used;
    for (int i = 0; i < b.width * b.height; ++i) used.insert(b.palette[b.bits[i]]);
    return static_cast<int>(used.size());
}

const DialogItem* Item(const DialogTemplate* t, int id) {
    for (int i = 0; i < t->item_count; ++i)
        if (t->items[i].id == id) return &t->items[i];
    return nullptr;
}

TEST(Resources, DialogsHaveTheControlsTheProgramUses) {
    const DialogTemplate* main = FindDialog(IDD_TAPELOOM_DIALOG);
    ASSERT_NE(main, nullptr);
    for (int id : {IDC_PREVIEW_FRAME, IDC_PANEL_FRAME, IDC_ABOUT, IDOK})
        EXPECT_NE(Item(main, id), nullptr) << id;
    EXPECT_FALSE(main->style & WS_THICKFRAME);
    EXPECT_FALSE(main->style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(Item(main, IDC_PANEL_FRAME)->style & WS_VISIBLE);

    const DialogTemplate* about = FindDialog(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    ASSERT_NE(Item(about, IDC_VERSION), nullptr);
    ASSERT_NE(Item(about, IDOK), nullptr);
    // OK sits below the version line and inside the box.
    EXPECT_GE(Item(about, IDOK)->y, Item(about, IDC_VERSION)->y + Item(about, IDC_VERSION)->cy);
    EXPECT_LE(Item(about, IDOK)->y + Item(about, IDOK)->cy, about->cy);

    const DialogTemplate* panel = FindDialog(IDD_CAPTURE_PANEL);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->style & WS_CHILD);
    EXPECT_FALSE(panel->style & WS_VISIBLE);

    char text[64];
    EXPECT_GT(LoadString(nullptr, IDS_ABOUTBOX, text, sizeof text), 0);
    EXPECT_STREQ(text, "&About Tapeloom...");
}

TEST(Resources, IconHasThreeImagesWithMasks) {
    const IconResource* icon = FindIcon(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->image_count, 3);
    const struct { int size, colours; } expected[] = {{32, 16}, {16, 16}, {32, 256}};
    for (int i = 0; i < 3; ++i) {
        const IconImage& image = icon->images[i];
        EXPECT_EQ(image.picture.width, expected[i].size);
        EXPECT_EQ(image.picture.height, expected[i].size);
        EXPECT_LE(image.picture.palette_size, expected[i].colours);
        EXPECT_TRUE(IndexesInPalette(image.picture));
        // Both opaque and transparent pixels, and more than one colour.
        int transparent = 0;
        for (int p = 0; p < expected[i].size * expected[i].size; ++p)
            transparent += image.transparent[p] ? 1 : 0;
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, expected[i].size * expected[i].size / 2);
        EXPECT_GE(ColoursUsed(image.picture), 3);
    }
    // The 16-colour images use the standard palette.
    EXPECT_EQ(icon->images[0].picture.palette[11], kStandardPalette16[11]);
}

TEST(Resources, AboutPicture) {
    const BitmapResource* picture = FindBitmap(IDB_ABOUT);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 353);
    EXPECT_EQ(picture->height, 108);
    EXPECT_LE(picture->palette_size, 256);
    EXPECT_TRUE(IndexesInPalette(*picture));
    // A shaded picture, not a few flat colours.
    EXPECT_GT(ColoursUsed(*picture), 64);
}

// The button pictures and the banner: 16 colours of the standard palette on
// the yellow key colour (index 11), which fills their edges.
TEST(Resources, ButtonPicturesAndBanner) {
    const struct {
        int id, width, height;
    } expected[] = {
        {IDB_PLAY, 15, 15},        {IDB_STOP, 15, 15},        {IDB_PAUSE, 15, 15},
        {IDB_FASTFORWARD, 15, 15}, {IDB_SLOWFORWARD, 15, 15}, {IDB_REWIND, 15, 15},
        {IDB_SLOWREVERSE, 15, 15}, {IDB_STEPFORWARD, 15, 15}, {IDB_STEPREVERSE, 15, 15},
        {IDB_CAPTURE, 15, 15},     {IDB_STOPCAPTURE, 15, 15}, {IDB_BROWSE, 11, 11},
        {IDB_BANNER, 175, 15},
    };
    std::set<std::vector<uint8_t>> pictures;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const BitmapResource* b = FindBitmap(e.id);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->width, e.width);
        EXPECT_EQ(b->height, e.height);
        ASSERT_EQ(b->palette_size, 16);
        EXPECT_TRUE(std::equal(b->palette, b->palette + 16, kStandardPalette16));
        EXPECT_EQ(b->palette[11], 0xFFFF00u);
        EXPECT_TRUE(IndexesInPalette(*b));
        EXPECT_EQ(b->bits[0], 11);
        EXPECT_EQ(b->bits[e.width - 1], 11);
        pictures.insert(std::vector<uint8_t>(b->bits, b->bits + e.width * e.height));

        // Something is drawn, and the key colour still shows around it.
        int inkLeft = e.width, inkRight = -1, inkTop = e.height, inkBottom = -1, ink = 0;
        for (int y = 0; y < e.height; ++y)
            for (int x = 0; x < e.width; ++x)
                if (b->bits[y * e.width + x] != 11) {
                    ++ink;
                    inkLeft = std::min(inkLeft, x);
                    inkRight = std::max(inkRight, x);
                    inkTop = std::min(inkTop, y);
                    inkBottom = std::max(inkBottom, y);
                }
        EXPECT_GT(ink, 10);
        EXPECT_LT(ink, e.width * e.height * 3 / 4);
        // A button's symbol sits in the middle of its picture (the buttons
        // centre the picture, not the symbol).
        if (e.id != IDB_BANNER) {
            EXPECT_LE(std::abs((inkLeft + inkRight) - (e.width - 1)), 1);
            EXPECT_LE(std::abs((inkTop + inkBottom) - (e.height - 1)), 1);
        }
    }
    // No two pictures alike.
    EXPECT_EQ(pictures.size(), std::size(expected));
}

}  // namespace
