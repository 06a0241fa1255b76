// The bitmap buttons, drawn on the display: a dialog of owner-drawn buttons
// bound to CImageButton objects, checked pixel by pixel on screenshots.
#include "ImageButton.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "qt/display.h"
#include "qt/widgetof.h"
#include "resource.h"
#include "testsupport/displaytest.h"
#include "win32/resources.h"

namespace {

enum : int {
    kDialogId = 960,
    kPicture = 961,  // test bitmap
    kMissing = 4242,
    kCentred = 2001,
    kCapture = 2002,
    kBrowse = 2003,
    kBare = 2004,
    kSmall = 2005,
    kPlain = 2006,
};

// Buttons get their sizes in pixels in SetUp; the template only makes them.
const win32_resources::DialogItem kItems[] = {
    {"BUTTON", "|>", kCentred, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 4, 4, 20, 14},
    {"BUTTON", "Capture", kCapture, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 30, 4, 68, 14},
    {"BUTTON", "...", kBrowse, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 104, 4, 17, 12},
    {"BUTTON", "&Bare", kBare, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 4, 24, 40, 14},
    {"BUTTON", "", kSmall, BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0, 50, 24, 20, 14},
    {"BUTTON", "Other", kPlain, BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 80, 24, 40, 14},
};

const win32_resources::DialogTemplate kDialog = {kDialogId,
                                                 WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
                                                 0,
                                                 0,
                                                 0,
                                                 130,
                                                 44,
                                                 "Bitmap Buttons",
                                                 "MS Sans Serif",
                                                 8,
                                                 kItems,
                                                 static_cast<int>(std::size(kItems))};

// A 5 x 3 picture in the standard palette: yellow (11) is the key colour;
// black, red, silver, white and blue around it.
const uint8_t kBits[] = {0, 9, 11, 7, 0, 15, 11, 0, 11, 11, 12, 0, 11, 0, 12};
const win32_resources::BitmapResource kPictureResource = {
    kPicture, 5, 3, win32_resources::kStandardPalette16, 16, kBits};

const QColor kFace(212, 208, 200);
const QColor kWhite(255, 255, 255);
const QColor kShadow(128, 128, 128);
const QColor kDark(64, 64, 64);
const QColor kYellow(255, 255, 0);
const COLORREF kKey = RGB(255, 255, 0);

QColor PaletteColour(uint8_t index) {
    const uint32_t rgb = win32_resources::kStandardPalette16[index];
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The button's fields and its measured caption, seen from a test.
class CProbeButton : public CImageButton {
public:
    using CImageButton::ResolveCentre;
    HBITMAP Normal() const { return m_hbmNormal; }
    HBITMAP Disabled() const { return m_hbmDisabled; }
    SIZE ImageSize() const { return m_sizeImage; }
    UINT LastState() const { return m_nLastState; }

    SIZE m_sizeText{0, 0};
    int m_nDraws = 0;
    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override {
        ++m_nDraws;
        std::string caption;
        GetWindowText(caption);
        GetTextExtentPoint32(lpDIS->hDC, caption.c_str(), static_cast<int>(caption.size()),
                             &m_sizeText);
        CImageButton::DrawItem(lpDIS);
    }
};

class CButtonDialog : public CDialog {
public:
    CButtonDialog() : CDialog(kDialogId) {}
    CProbeButton m_wndCentred, m_wndCapture, m_wndBrowse, m_wndBare, m_wndSmall;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, kCentred, m_wndCentred);
        DDX_Control(pDX, kCapture, m_wndCapture);
        DDX_Control(pDX, kBrowse, m_wndBrowse);
        DDX_Control(pDX, kBare, m_wndBare);
        DDX_Control(pDX, kSmall, m_wndSmall);
    }
};

void Pump() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
}

// The window as drawn once every pending message is handled.
QImage Grab(HWND hwnd) {
    Pump();
    return display_test::Grab(hwnd);
}

void KeepShot(HWND hwnd, const char* name) {
    mkdir(SCREENSHOT_DIR, 0755);
    qt_display::SaveWindowImage(hwnd, (std::string(SCREENSHOT_DIR "/") + name).c_str());
}

void Mouse(HWND hwnd, QEvent::Type type) {
    QWidget* widget = qt_display::WidgetOf(hwnd);
    const QPointF at(5, 5);
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The box around the pixels of the shot that are not the face colour,
// inside the button's 2-pixel frame (or inside `area`).
QRect Ink(const QImage& shot, QRect area = QRect()) {
    if (area.isNull()) area = shot.rect().adjusted(2, 2, -2, -2);
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (shot.pixelColor(x, y) != kFace) box |= QRect(x, y, 1, 1);
    return box;
}

int Count(const QImage& shot, QColor colour) {
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == colour;
    return n;
}

// Where the ink of `text` lies when its cell's top-left corner is at
// (x, y): the text drawn in the button's font on its baseline, cut off
// after column `right` when one is given.
QRect TextInk(HWND hwnd, const QString& text, int x, int y, int right = -1) {
    const QFont font = qt_display::WidgetOf(hwnd)->font();
    const QFontMetrics fm(font);
    QImage image(fm.horizontalAdvance(text) + 4, fm.height() + 4, QImage::Format_RGB32);
    image.fill(kFace);
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(0, fm.ascent(), text);
    }
    QRect area = image.rect();
    if (right >= 0) area.setRight(std::min(area.right(), right - x));
    return Ink(image, area).translated(x, y);
}

// The picture kPicture drawn normally at (x, y), each pixel `scale` times.
void ExpectTestPicture(const QImage& shot, int x, int y, int scale = 1) {
    for (int py = 0; py < 3 * scale; ++py)
        for (int px = 0; px < 5 * scale; ++px) {
            const uint8_t index = kBits[(py / scale) * 5 + px / scale];
            const QColor want = index == 11 ? kFace : PaletteColour(index);
            ASSERT_EQ(shot.pixelColor(x + px, y + py), want) << px << "," << py;
        }
}

class ImageButton : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        qt_display::Install();
        win32_resources::RegisterDialog(&kDialog);
        win32_resources::RegisterBitmap(&kPictureResource);
        ASSERT_TRUE(dlg_.Create(kDialogId));
        // Sizes in pixels, so that every expected position is exact.
        Place(dlg_.m_wndCentred, 4, 4, 30, 23);
        Place(dlg_.m_wndCapture, 40, 4, 102, 23);
        Place(dlg_.m_wndBrowse, 150, 4, 26, 20);
        Place(dlg_.m_wndBare, 4, 34, 60, 23);
        Place(dlg_.m_wndSmall, 70, 34, 30, 23);
        dlg_.ShowWindow(SW_SHOW);
        dlg_.GetDlgItem(kPlain)->SetFocus();
        Pump();
    }
    void TearDown() override {
        dlg_.DestroyWindow();
        Pump();
    }
    static void Place(CWnd& w, int x, int y, int cx, int cy) {
        w.SetWindowPos(nullptr, x, y, cx, cy, SWP_NOZORDER);
    }
    // A transport button: its picture centred, no caption.
    static void MakeTransport(CImageButton& b, UINT nID, int cx, int cy) {
        ASSERT_TRUE(b.SetImage(nID, cx, cy, kKey));
        b.SetImagePosition(-1, -1);
        b.m_bDrawText = FALSE;
    }
    CButtonDialog dlg_;
};

}  // namespace

TEST_F(ImageButton, PictureCentredWithKeyColourAsFace) {
    MakeTransport(dlg_.m_wndCentred, kPicture, 5, 3);
    QImage shot = Grab(dlg_.m_wndCentred);
    ASSERT_EQ(shot.size(), QSize(30, 23));
    // (30 - 5) / 2 and (23 - 3) / 2, halved toward minus infinity.
    ExpectTestPicture(shot, 12, 10);
    EXPECT_EQ(Count(shot, kYellow), 0);
    // The caption "|>" is not drawn: nothing but the picture on the face.
    EXPECT_EQ(Ink(shot), QRect(12, 10, 5, 3));
    // The raised push-button face.
    EXPECT_EQ(shot.pixelColor(0, 0), kWhite);
    EXPECT_EQ(shot.pixelColor(29, 22), kDark);

    // A picture drawn larger than its bitmap is stretched.
    ASSERT_TRUE(dlg_.m_wndCentred.SetImage(kPicture, 10, 6, kKey));
    ExpectTestPicture(Grab(dlg_.m_wndCentred), 10, 8, 2);
}

TEST_F(ImageButton, PressedMovesContentsButNotTheFocusRectangle) {
    MakeTransport(dlg_.m_wndCentred, kPicture, 5, 3);
    dlg_.m_wndCentred.SetFocus();
    QImage focused = Grab(dlg_.m_wndCentred);
    ASSERT_TRUE(dlg_.m_wndCentred.LastState() & ODS_FOCUS);
    const QColor inverted(255 - 212, 255 - 208, 255 - 200);
    EXPECT_EQ(focused.pixelColor(3, 3), inverted);
    ExpectTestPicture(focused, 12, 10);

    Mouse(dlg_.m_wndCentred, QEvent::MouseButtonPress);
    QImage pressed = Grab(dlg_.m_wndCentred);
    EXPECT_TRUE(dlg_.m_wndCentred.LastState() & ODS_SELECTED);
    ExpectTestPicture(pressed, 13, 11);
    EXPECT_EQ(pressed.pixelColor(0, 0), kDark);  // sunken
    EXPECT_EQ(pressed.pixelColor(3, 3), inverted);
    EXPECT_EQ(pressed.pixelColor(4, 3), kFace);  // the dots have not moved
    EXPECT_EQ(pressed.pixelColor(5, 3), inverted);

    Mouse(dlg_.m_wndCentred, QEvent::MouseButtonRelease);
    EXPECT_EQ(Grab(dlg_.m_wndCentred), focused);
}

TEST_F(ImageButton, DisabledPictureIsEmbossedWithoutFocus) {
    MakeTransport(dlg_.m_wndCentred, kPicture, 5, 3);
    dlg_.m_wndCentred.SetFocus();
    Grab(dlg_.m_wndCentred);
    dlg_.m_wndCentred.EnableWindow(FALSE);
    QImage shot = Grab(dlg_.m_wndCentred);
    EXPECT_TRUE(dlg_.m_wndCentred.LastState() & ODS_DISABLED);
    // Every pixel that is neither key colour nor white (silver included)
    // is shadow; highlight one pixel down and right where no shadow is.
    auto shape = [](int px, int py) {
        if (px < 0 || py < 0 || px >= 5 || py >= 3) return false;
        const uint8_t index = kBits[py * 5 + px];
        return index != 11 && index != 15;
    };
    for (int py = 0; py < 4; ++py)
        for (int px = 0; px < 6; ++px) {
            QColor want = kFace;
            if (shape(px, py))
                want = kShadow;
            else if (shape(px - 1, py - 1))
                want = kWhite;
            EXPECT_EQ(shot.pixelColor(12 + px, 10 + py), want) << px << "," << py;
        }
    // The face is drawn as usual and the focus rectangle is not drawn.
    EXPECT_EQ(shot.pixelColor(0, 0), kWhite);
    EXPECT_EQ(shot.pixelColor(3, 3), kFace);
    EXPECT_EQ(Ink(shot), QRect(12, 10, 6, 4));
}

TEST_F(ImageButton, FocusRectangleInsetAndPairing) {
    // Inset: min(3, a quarter of the smaller side).
    struct Case {
        int cx, cy, inset;
    } cases[] = {{40, 12, 3}, {40, 11, 2}, {8, 30, 2}, {40, 7, 1}, {4, 20, 1}, {40, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cx) + "x" + std::to_string(c.cy));
        Place(dlg_.m_wndSmall, 70, 34, c.cx, c.cy);
        dlg_.GetDlgItem(kPlain)->SetFocus();
        QImage before = Grab(dlg_.m_wndSmall);
        dlg_.m_wndSmall.SetFocus();
        QImage focused = Grab(dlg_.m_wndSmall);
        const int i = c.inset;
        // Dots on every other pixel from the rectangle's corner.
        EXPECT_NE(focused.pixelColor(i, i), before.pixelColor(i, i));
        EXPECT_EQ(focused.pixelColor(i + 1, i), before.pixelColor(i + 1, i));
        if (i > 0) {
            EXPECT_EQ(focused.pixelColor(i - 1, i - 1), before.pixelColor(i - 1, i - 1));
        }
        // A focus-only request changes nothing else, and losing the focus
        // inverts the same pixels back.
        int changed = 0;
        for (int y = 0; y < c.cy; ++y)
            for (int x = 0; x < c.cx; ++x)
                if (focused.pixelColor(x, y) != before.pixelColor(x, y)) {
                    ++changed;
                    const bool onRect = x == i || y == i || x == c.cx - 1 - i || y == c.cy - 1 - i;
                    EXPECT_TRUE(onRect) << x << "," << y;
                }
        EXPECT_GT(changed, 0);
        dlg_.GetDlgItem(kPlain)->SetFocus();
        EXPECT_EQ(Grab(dlg_.m_wndSmall), before);
    }
}

TEST_F(ImageButton, CaptionBesideThePictureInAutomaticLayout) {
    ASSERT_TRUE(dlg_.m_wndCapture.SetImage(IDB_CAPTURE, 15, 15, kKey));
    QImage shot = Grab(dlg_.m_wndCapture);
    const SIZE text = dlg_.m_wndCapture.m_sizeText;
    ASSERT_GT(text.cx, 0);
    ASSERT_LT(text.cx, 102 - 27);
    // The picture 4 pixels from the left edge, vertically centred.
    const QRect picture = Ink(shot, QRect(2, 2, 22, 19));
    EXPECT_GE(picture.left(), 4);
    EXPECT_LE(picture.right(), 4 + 14);
    EXPECT_GE(picture.top(), 4);
    EXPECT_LE(picture.bottom(), 4 + 14);
    EXPECT_EQ(shot.pixelColor(4 + 7, 4 + 7), QColor(255, 0, 0));  // the record dot
    // The caption centred in the part right of picture and 8-pixel gap,
    // one pixel above the vertical centre.
    const int x = 27 + (102 - 27 - text.cx) / 2;
    const int y = (23 - text.cy) / 2 - 1;
    const QRect caption = Ink(shot, QRect(24, 2, 102 - 26, 19));
    ASSERT_FALSE(caption.isNull());
    EXPECT_EQ(caption, TextInk(dlg_.m_wndCapture, "Capture", x, y));

    // Pressed, picture and caption move one pixel right and down.
    Mouse(dlg_.m_wndCapture, QEvent::MouseButtonPress);
    QImage pressed = Grab(dlg_.m_wndCapture);
    EXPECT_EQ(Ink(pressed, QRect(24, 2, 102 - 26, 19)), caption.translated(1, 1));
    EXPECT_EQ(pressed.pixelColor(4 + 8, 4 + 8), QColor(255, 0, 0));
    Mouse(dlg_.m_wndCapture, QEvent::MouseButtonRelease);

    // A caption too wide for the rest of the button starts right after the
    // gap and runs on past the edge.
    const char* lengthy = "Stop Capture and a great deal more";
    dlg_.m_wndCapture.SetWindowText(lengthy);
    shot = Grab(dlg_.m_wndCapture);
    const QRect longCaption = Ink(shot, QRect(24, 2, 102 - 26, 19));
    EXPECT_GE(longCaption.left(), 27);
    EXPECT_LE(longCaption.left(), 29);
    // On up to the frame: as far as the text has ink before column 100.
    EXPECT_EQ(longCaption.right(), TextInk(dlg_.m_wndCapture, lengthy, 27, y, 99).right());
}

TEST_F(ImageButton, LayoutWithoutCaptionOrWithoutPicture) {
    // Automatic layout with an empty caption: the picture centred.
    ASSERT_TRUE(dlg_.m_wndSmall.SetImage(kPicture, 5, 3, kKey));
    ExpectTestPicture(Grab(dlg_.m_wndSmall), 12, 10);

    // No picture: the caption centred, one pixel above the centre.
    QImage shot = Grab(dlg_.m_wndBare);
    const SIZE text = dlg_.m_wndBare.m_sizeText;
    const QRect caption = Ink(shot);
    const int x = (60 - text.cx) / 2, y = (23 - text.cy) / 2 - 1;
    // "&Bare" shows as "Bare" with B underlined (the underline may start
    // left of the letter).
    const QRect bare = TextInk(dlg_.m_wndBare, "Bare", x, y);
    EXPECT_EQ(caption.top(), bare.top());
    EXPECT_EQ(caption.right(), bare.right());

    // A fixed position; the previous one comes back.
    POINT first = dlg_.m_wndBare.SetImagePosition(3, 2);
    EXPECT_EQ(first.x, -1);
    EXPECT_EQ(first.y, -1);
    ASSERT_TRUE(dlg_.m_wndBare.SetImage(kPicture, 5, 3, kKey));
    dlg_.m_wndBare.m_bDrawText = FALSE;
    ExpectTestPicture(Grab(dlg_.m_wndBare), 3, 2);
    POINT second = dlg_.m_wndBare.SetImagePosition(-1, 5);
    EXPECT_EQ(second.x, 3);
    EXPECT_EQ(second.y, 2);
    ExpectTestPicture(Grab(dlg_.m_wndBare), 27, 5);
}

TEST_F(ImageButton, CentringRoundsTowardMinusInfinity) {
    Place(dlg_.m_wndSmall, 70, 34, 10, 9);
    EXPECT_EQ(dlg_.m_wndSmall.ResolveCentre(POINT{-1, -1}, 15, 15).x, -3);  // (10 - 15) >> 1
    EXPECT_EQ(dlg_.m_wndSmall.ResolveCentre(POINT{-1, -1}, 15, 15).y, -3);
    EXPECT_EQ(dlg_.m_wndSmall.ResolveCentre(POINT{-1, -1}, 4, 4).y, 2);
    // Only exactly -1 is centred.
    POINT kept = dlg_.m_wndSmall.ResolveCentre(POINT{-2, 0}, 4, 4);
    EXPECT_EQ(kept.x, -2);
    EXPECT_EQ(kept.y, 0);
}

TEST_F(ImageButton, SetImageReplacesAndOwnsItsPictures) {
    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    {
        CProbeButton button;  // no window: nothing is repainted
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(button.SetImage(i % 2 ? IDB_STOPCAPTURE : IDB_CAPTURE, 15, 15, kKey));
        EXPECT_NE(button.Normal(), nullptr);
        EXPECT_NE(button.Disabled(), nullptr);
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before + 2);

        // A missing resource leaves no picture and the old size.
        EXPECT_FALSE(button.SetImage(kMissing, 9, 9, kKey));
        EXPECT_EQ(button.Normal(), nullptr);
        EXPECT_EQ(button.Disabled(), nullptr);
        EXPECT_EQ(button.ImageSize().cx, 15);
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
        ASSERT_TRUE(button.SetImage(IDB_PLAY, 15, 15, kKey));
    }
    // The destructor deleted both.
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);

    // On a window, a failed SetImage leaves a button drawn without picture.
    MakeTransport(dlg_.m_wndCentred, kPicture, 5, 3);
    Grab(dlg_.m_wndCentred);
    EXPECT_FALSE(dlg_.m_wndCentred.SetImage(kMissing, 5, 3, kKey));
    dlg_.m_wndCentred.Invalidate();
    EXPECT_TRUE(Ink(Grab(dlg_.m_wndCentred)).isNull());
}

// The panel's eleven buttons as the panel sets them up, enabled and
// disabled, kept as a picture for people to look at.
TEST_F(ImageButton, AllPanelButtonsScreenshot) {
    struct PanelButton {
        int id;
        const char* caption;
        UINT bitmap;
        int size;
    } panelButtons[] = {
        {3001, "[]", IDB_STOP, 15},           {3002, "<<", IDB_SLOWREVERSE, 15},
        {3003, "<<<", IDB_REWIND, 15},        {3004, "|>", IDB_PLAY, 15},
        {3005, ">>>", IDB_FASTFORWARD, 15},   {3006, ">>", IDB_SLOWFORWARD, 15},
        {3007, "| |", IDB_PAUSE, 15},         {3008, "< | |", IDB_STEPREVERSE, 15},
        {3009, "| | >", IDB_STEPFORWARD, 15}, {3010, "...", IDB_BROWSE, 11},
        {3011, "Capture", IDB_CAPTURE, 15},   {3012, "Stop Capture", IDB_STOPCAPTURE, 15},
    };
    // The buttons are children of the framework dialog, so that their draw
    // requests reach DrawItem; enabled on the first row, disabled on the
    // second.
    dlg_.SetWindowPos(nullptr, 0, 0, 556, 62, SWP_NOZORDER);
    std::vector<std::unique_ptr<CImageButton>> buttons;
    for (int row = 0; row < 2; ++row) {
        int x = 4;
        for (const PanelButton& s : panelButtons) {
            const bool capture = s.bitmap == IDB_CAPTURE || s.bitmap == IDB_STOPCAPTURE;
            const int cx = capture ? 102 : s.size == 11 ? 26 : 30;
            HWND hwnd = CreateWindowEx(
                0, "BUTTON", s.caption, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, x, 4 + row * 30, cx,
                capture ? 23 : (s.size == 11 ? 20 : 23), dlg_.m_hWnd,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id + row * 100)), nullptr, nullptr);
            ASSERT_NE(hwnd, nullptr);
            auto button = std::make_unique<CImageButton>();
            ASSERT_TRUE(button->SubclassWindow(hwnd));
            ASSERT_TRUE(button->SetImage(s.bitmap, s.size, s.size, kKey));
            if (!capture) {
                button->SetImagePosition(-1, -1);
                button->m_bDrawText = FALSE;
            }
            if (row == 1) button->EnableWindow(FALSE);
            x += cx + 4;
            buttons.push_back(std::move(button));
        }
    }
    for (int id : {kCentred, kCapture, kBrowse, kBare, kSmall, kPlain})
        ::ShowWindow(::GetDlgItem(dlg_.m_hWnd, id), SW_HIDE);
    QImage shot = Grab(dlg_.m_hWnd);
    KeepShot(dlg_.m_hWnd, "image_buttons.png");
    EXPECT_EQ(Count(shot, kYellow), 0);
    // Every button shows something besides its face and frame.
    for (auto& b : buttons) {
        QImage one = Grab(b->m_hWnd);
        EXPECT_FALSE(Ink(one).isNull()) << b->GetDlgCtrlID();
    }
    for (auto& b : buttons) b->DestroyWindow();
}
