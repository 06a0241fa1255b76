#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMouseEvent>

#include "testsupport/displaytest.h"

using namespace display_test;

namespace {

// Draws the owner-drawn button the way the program's bitmap buttons do:
// a push-button frame (sunken while pressed), the caption (embossed when
// disabled), and an inverting focus rectangle toggled by focus changes.
struct DrawLog {
    UINT last_state = 0;
    int requests = 0;
    UINT last_action = 0;
    SIZE text{0, 0};
};
DrawLog* g_draw;

INT_PTR CALLBACK OwnerDrawProc(HWND, UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_INITDIALOG) return FALSE;  // nothing gets the focus
    if (msg != WM_DRAWITEM || !g_draw) return FALSE;
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    ++g_draw->requests;
    g_draw->last_action = dis->itemAction;
    RECT rc = dis->rcItem;
    const UINT state = dis->itemState;
    const bool focus_only = dis->itemAction == ODA_FOCUS;
    const bool disabled = (state & ODS_DISABLED) != 0;
    if (!focus_only) {
        DrawFrameControl(dis->hDC, &rc, DFC_BUTTON,
                         DFCS_BUTTONPUSH | ((state & ODS_SELECTED) ? DFCS_PUSHED : 0));
        const char* caption = "&Play";
        GetTextExtentPoint32(dis->hDC, "Play", 4, &g_draw->text);
        const int shift = (state & ODS_SELECTED) ? 1 : 0;
        DrawState(dis->hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(caption), 0,
                  (rc.right - g_draw->text.cx) / 2 + shift,
                  (rc.bottom - g_draw->text.cy) / 2 + shift, 0, 0,
                  DST_PREFIXTEXT | (disabled ? DSS_DISABLED : DSS_NORMAL));
    }
    if (!disabled &&
        (((state ^ g_draw->last_state) & ODS_FOCUS) || (!focus_only && (state & ODS_FOCUS)))) {
        RECT f{rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
        DrawFocusRect(dis->hDC, &f);
    }
    g_draw->last_state = state;
    return TRUE;
}

class OwnerDraw : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        g_draw = &log_;
        dlg_ = CreateDialogParam(nullptr, MAKEINTRESOURCE(kDialogId), nullptr, OwnerDrawProc, 0);
        ASSERT_NE(dlg_, nullptr);
        ShowWindow(dlg_, SW_SHOW);
        button_ = GetDlgItem(dlg_, kDrawn);
        Pump(dlg_);
    }
    void TearDown() override {
        DestroyWindow(dlg_);
        Pump(nullptr);
        g_draw = nullptr;
    }
    QImage Shot() {
        Pump(dlg_);
        return Grab(button_);
    }
    static QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }
    static int Count(const QImage& image, QColor colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
        return n;
    }
    DrawLog log_;
    HWND dlg_ = nullptr;
    HWND button_ = nullptr;
};

const QColor kFace(212, 208, 200);
const QColor kWhite(255, 255, 255);
const QColor kDark(64, 64, 64);
const QColor kBlack(0, 0, 0);
const QColor kShadow(128, 128, 128);

}  // namespace

TEST_F(OwnerDraw, RaisedFaceWithCaption) {
    QImage shot = Shot();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(log_.requests, 0);
    EXPECT_EQ(At(shot, 0, 0), kWhite);
    EXPECT_EQ(At(shot, shot.width() - 1, shot.height() - 1), kDark);
    EXPECT_GT(Count(shot, kBlack), 0);  // the caption
    EXPECT_EQ(At(shot, 3, 3), kFace);   // no focus rectangle
    EXPECT_GT(log_.text.cx, 0);
    EXPECT_GT(log_.text.cy, 0);
}

TEST_F(OwnerDraw, PressedIsSunken) {
    Shot();
    QWidget* widget = qt_display::WidgetOf(button_);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    EXPECT_EQ(log_.last_action, static_cast<UINT>(ODA_SELECT));
    EXPECT_TRUE(log_.last_state & ODS_SELECTED);
    QImage shot = Shot();
    EXPECT_EQ(At(shot, 0, 0), kDark);
    EXPECT_EQ(At(shot, 1, 1), kShadow);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                        widget->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
    shot = Shot();
    EXPECT_EQ(At(shot, 0, 0), kWhite);
    EXPECT_FALSE(log_.last_state & ODS_SELECTED);
}

TEST_F(OwnerDraw, FocusRectangleDrawnAndRemoved) {
    QImage before = Shot();
    SetFocus(button_);
    EXPECT_EQ(log_.last_action, static_cast<UINT>(ODA_FOCUS));
    QImage focused = Shot();
    // Inverted dots 3 pixels in from the edge.
    EXPECT_NE(At(focused, 3, 3), kFace);
    EXPECT_EQ(At(focused, 3, 3), QColor(255 - 212, 255 - 208, 255 - 200));
    SetFocus(GetDlgItem(dlg_, kPlain));
    QImage after = Shot();
    EXPECT_EQ(At(after, 3, 3), kFace);
    EXPECT_EQ(after, before);
}

TEST_F(OwnerDraw, DisabledIsEmbossedWithoutFocus) {
    SetFocus(button_);
    Shot();
    EnableWindow(button_, FALSE);
    QImage shot = Shot();
    EXPECT_TRUE(log_.last_state & ODS_DISABLED);
    EXPECT_EQ(log_.last_action, static_cast<UINT>(ODA_DRAWENTIRE));
    EXPECT_EQ(Count(shot, kBlack), 0);   // no plain caption any more
    EXPECT_GT(Count(shot, kShadow), 0);  // the embossed caption
    EXPECT_EQ(At(shot, 0, 0), kWhite);   // the face is drawn as usual
    EXPECT_EQ(At(shot, 3, 3), kFace);    // and no focus rectangle
}

TEST(Gdi, MappedBitmapsAndCopies) {
    InstallDisplay();
    // Exact matches of the key colour change; a near miss does not.
    static const uint32_t palette[3] = {0xFFFF00, 0xFEFF00, 0x000000};
    static const uint8_t bits[4] = {0, 1, 2, 0};
    static const win32_resources::BitmapResource resource = {951, 2, 2, palette, 3, bits};
    win32_resources::RegisterBitmap(&resource);
    COLORMAP map{RGB(255, 255, 0), RGB(255, 255, 255)};
    HBITMAP mapped = CreateMappedBitmap(nullptr, 951, 0, &map, 1);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(CreateMappedBitmap(nullptr, 4242, 0, &map, 1), nullptr);

    // A stretched copy; the original goes with LR_COPYDELETEORG.
    auto copy = static_cast<HBITMAP>(CopyImage(mapped, IMAGE_BITMAP, 4, 4, LR_COPYDELETEORG));
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(DeleteObject(mapped));

    HWND picture = CreateWindowEx(0, "STATIC", "", SS_BITMAP | WS_VISIBLE, 0, 0, 4, 4, nullptr,
                                  nullptr, nullptr, nullptr);
    SendMessage(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(copy));
    QImage shot = Grab(picture);
    ASSERT_EQ(shot.width(), 4);
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(255, 255, 255));
    EXPECT_EQ(shot.pixelColor(2, 0), QColor(254, 255, 0));
    EXPECT_EQ(shot.pixelColor(0, 2), QColor(0, 0, 0));
    DestroyWindow(picture);
    EXPECT_TRUE(DeleteObject(copy));

    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
    EXPECT_FALSE(DeleteObject(GetStockObject(WHITE_BRUSH)));
    EXPECT_NE(LoadCursor(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
}
