#include <gtest/gtest.h>

#include <QFontMetrics>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/displaytest.h"

using namespace display_test;

namespace {

constexpr UINT kFromWorker = WM_USER + 50;

struct Log {
    std::vector<std::string> commands;
    int help = 0;
    HWND owner = nullptr;
    bool owner_was_disabled = false;
    std::thread worker;
    std::string text_seen;
};
Log* g_log;

INT_PTR CALLBACK TestDlgProc(HWND hDlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            g_log->commands.push_back(std::to_string(LOWORD(wp)) + ":" +
                                      std::to_string(HIWORD(wp)));
            return TRUE;
        case WM_HELP:
            ++g_log->help;
            return TRUE;
    }
    return FALSE;
}

// A modal run: a worker thread sends a text into the dialog and then posts
// to it; the dialog ends when the post arrives.
INT_PTR CALLBACK ModalDlgProc(HWND hDlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            g_log->worker = std::thread([hDlg] {
                HWND edit = GetDlgItem(hDlg, kEdit);
                DWORD_PTR r;
                SendMessageTimeout(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("from the worker"),
                                   SMTO_BLOCK | SMTO_ABORTIFHUNG, 5000, &r);
                PostMessage(hDlg, kFromWorker, 0, 0);
            });
            return TRUE;
        case kFromWorker: {
            char buf[64];
            GetWindowText(GetDlgItem(hDlg, kEdit), buf, sizeof buf);
            g_log->text_seen = buf;
            g_log->owner_was_disabled = !IsWindowEnabled(g_log->owner);
            EndDialog(hDlg, 42);
            return TRUE;
        }
    }
    return FALSE;
}

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        g_log = &log_;
    }
    void TearDown() override {
        if (log_.worker.joinable()) log_.worker.join();
        g_log = nullptr;
    }
    HWND Create(HWND parent = nullptr) {
        HWND hDlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(kDialogId), parent, TestDlgProc, 0);
        EXPECT_NE(hDlg, nullptr);
        ShowWindow(hDlg, SW_SHOW);
        Pump(hDlg);
        return hDlg;
    }
    Log log_;
};

}  // namespace

TEST_F(Dialog, ModalRunAnswersSendsAndPostsWithOwnerDisabled) {
    HWND owner = Create();
    log_.owner = owner;
    INT_PTR result = DialogBoxParam(nullptr, MAKEINTRESOURCE(kDialogId), owner, ModalDlgProc, 0);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(log_.text_seen, "from the worker");
    EXPECT_TRUE(log_.owner_was_disabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(4242), owner, ModalDlgProc, 0), -1);
    DestroyWindow(owner);
}

TEST_F(Dialog, TemplateInPixelsAndControls) {
    HWND hDlg = Create();
    RECT unit{0, 0, 4, 8};
    MapDialogRect(hDlg, &unit);
    // 4 x 8 dialog units are one average character of the dialog font.
    EXPECT_GT(unit.right, 3);
    EXPECT_GT(unit.bottom, 8);
    RECT rc;
    GetClientRect(hDlg, &rc);
    EXPECT_EQ(rc.right, (206 * unit.right + 2) / 4);
    HWND edit = GetDlgItem(hDlg, kEdit);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetDlgCtrlID(edit), kEdit);
    EXPECT_EQ(GetDlgItem(hDlg, 4242), nullptr);
    // The picture static loaded its bitmap from the template.
    EXPECT_NE(SendDlgItemMessage(hDlg, kPicture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    // For a look by eye: TAPELOOM_SCREENSHOT=file.png keeps a picture.
    if (const char* path = std::getenv("TAPELOOM_SCREENSHOT")) {
        EXPECT_TRUE(qt_display::SaveWindowImage(hDlg, path));
    }
    DestroyWindow(hDlg);
}

// A text laid out in dialog units fits because the control measures it in
// the font the units came from: one average letter of that font is 4 x 8.
TEST_F(Dialog, ControlsShowTheFontOfTheDialogUnits) {
    HWND hDlg = Create();
    RECT unit{0, 0, 4, 8};
    MapDialogRect(hDlg, &unit);
    for (int id : {kLabel, kEdit, kCombo, kPlain, kDrawn}) {
        QFontMetrics fm(qt_display::WidgetOf(GetDlgItem(hDlg, id))->font());
        const int letters =
            fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        EXPECT_EQ((letters / 26 + 1) / 2, unit.right) << id;
        EXPECT_EQ(fm.height(), unit.bottom) << id;
    }
    DestroyWindow(hDlg);
}

TEST_F(Dialog, Keyboard) {
    HWND hDlg = Create();
    HWND combo = GetDlgItem(hDlg, kCombo);
    HWND edit = GetDlgItem(hDlg, kEdit);
    HWND drawn = GetDlgItem(hDlg, kDrawn);
    HWND plain = GetDlgItem(hDlg, kPlain);
    HWND ok = GetDlgItem(hDlg, IDOK);
    HWND cancel = GetDlgItem(hDlg, IDCANCEL);
    // WM_INITDIALOG returned TRUE: the first tab stop has the focus.
    EXPECT_EQ(GetFocus(), combo);
    // Tab order is creation order over tab stops that are visible and
    // enabled; it wraps.
    EnableWindow(plain, FALSE);
    std::vector<HWND> order;
    for (int i = 0; i < 5; ++i) {
        PressKey(GetFocus(), Qt::Key_Tab);
        Pump(hDlg);
        order.push_back(GetFocus());
    }
    EXPECT_EQ(order, (std::vector<HWND>{edit, drawn, ok, cancel, combo}));
    PressKey(GetFocus(), Qt::Key_Backtab, Qt::ShiftModifier);
    Pump(hDlg);
    EXPECT_EQ(GetFocus(), cancel);
    EnableWindow(plain, TRUE);

    // Enter: the focused push button, else the default button; Escape:
    // IDCANCEL; F1: WM_HELP to the dialog.
    log_.commands.clear();
    SetFocus(edit);
    PressKey(edit, Qt::Key_Return);
    Pump(hDlg);
    SetFocus(plain);
    PressKey(plain, Qt::Key_Enter);
    Pump(hDlg);
    PressKey(plain, Qt::Key_Escape);
    Pump(hDlg);
    EXPECT_EQ(log_.commands,
              (std::vector<std::string>{"1:0", std::to_string(kPlain) + ":0", "2:0"}));
    PressKey(combo, Qt::Key_F1);
    Pump(hDlg);
    EXPECT_EQ(log_.help, 1);
    DestroyWindow(hDlg);
}

TEST_F(Dialog, CloseBoxAndAltF4) {
    HWND hDlg = Create();
    log_.commands.clear();
    qt_display::WidgetOf(hDlg)->close();  // the close box
    Pump(hDlg);
    PressKey(GetDlgItem(hDlg, kEdit), Qt::Key_F4, Qt::AltModifier);
    Pump(hDlg);
    // Both become WM_SYSCOMMAND SC_CLOSE, WM_CLOSE, then IDCANCEL.
    EXPECT_EQ(log_.commands, (std::vector<std::string>{"2:0", "2:0"}));
    EXPECT_TRUE(IsWindow(hDlg));
    DestroyWindow(hDlg);
}
