// The resources the program loads by number: present, well-formed, and
// with the pictures' colour indexes inside their palettes.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "resource.h"
#include "tapeloom/win32_resources.h"

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
    const struct {
        int size, colours;
    } expected[] = {{32, 16}, {16, 16}, {32, 256}};
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

}  // namespace
