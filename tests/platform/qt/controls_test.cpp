#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <string>
#include <vector>

#include "dialog_fixture.h"

using namespace display_test;

namespace {

class Controls : public DialogTest {
protected:
    void Note(UINT msg, WPARAM wp) override {
        if (msg == WM_COMMAND)
            commands_.push_back(std::to_string(LOWORD(wp)) + ":" + std::to_string(HIWORD(wp)));
    }
    std::vector<std::string> commands_;
};

}  // namespace

TEST_F(Controls, ComboBoxMessagesAndUserChoices) {
    HWND combo = Item(kCombo);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Type-1 DV AVI File")),
              0);
    EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>("Type-2 DV AVI File")),
              1);
    EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("First")), 0);
    EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, 7, reinterpret_cast<LPARAM>("Beyond")), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 2);
    char text[64];
    EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 18);
    EXPECT_STREQ(text, "Type-2 DV AVI File");
    // The window text is the selection's, cut to the buffer.
    EXPECT_EQ(GetWindowText(combo, text, sizeof text), 18);
    EXPECT_STREQ(text, "Type-2 DV AVI File");
    EXPECT_EQ(GetWindowText(combo, text, 7), 6);
    EXPECT_STREQ(text, "Type-2");
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(GetWindowText(combo, text, sizeof text), 0);
    // Nothing so far was the user's doing.
    EXPECT_TRUE(commands_.empty());
    auto* widget = qobject_cast<QComboBox*>(qt_display::WidgetOf(combo));
    ASSERT_NE(widget, nullptr);
    widget->setCurrentIndex(1);  // as a choice in the list does
    Pump(dlg_);
    EXPECT_EQ(commands_, std::vector<std::string>{std::to_string(kCombo) + ":1"});
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessage(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(commands_.size(), 1u);
}

TEST_F(Controls, ComboBoxFilledFromAnotherThread) {
    HWND combo = Item(kCombo);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::string name = "Virtual DV Deck";
        SendMessage(combo, CB_RESETCONTENT, 0, 0);
        SendMessage(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                    reinterpret_cast<LPARAM>(name.c_str()));
        SendMessage(combo, CB_SETCURSEL, 0, 0);
        EnableWindow(combo, FALSE);
        done = true;
    });
    while (!done) Pump(dlg_, 1);
    worker.join();
    Pump(dlg_);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_FALSE(qt_display::WidgetOf(combo)->isEnabled());
    EXPECT_TRUE(commands_.empty());
}

TEST_F(Controls, ReadOnlyEditShowsTheEndOfALongPath) {
    HWND edit = Item(kEdit);
    std::string path = "/home/someone/videos/a/rather/long/directory/name/capture00001.avi";
    SetWindowText(edit, path.c_str());
    auto* widget = qobject_cast<QLineEdit*>(qt_display::WidgetOf(edit));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->isReadOnly());
    EXPECT_EQ(widget->text().toStdString(), path);
    EXPECT_EQ(widget->cursorPosition(), 0);  // a new text shows its start
    const int length = static_cast<int>(path.size());
    SendMessage(edit, EM_SETSEL, length, length);
    SendMessage(edit, EM_SCROLLCARET, 0, 0);
    DWORD start = 0, end = 0;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(length));
    EXPECT_EQ(end, static_cast<DWORD>(length));
    EXPECT_EQ(widget->cursorPosition(), length);
    SendMessage(edit, EM_SETSEL, 0, -1);
    EXPECT_EQ(widget->selectedText().toStdString(), path);
    char buf[128];
    GetWindowText(edit, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), path);
}

TEST_F(Controls, ButtonsAndStatics) {
    HWND plain = Item(kPlain);
    SendMessage(plain, BM_CLICK, 0, 0);
    SendMessage(Item(kDrawn), BM_CLICK, 0, 0);
    EnableWindow(plain, FALSE);
    SendMessage(plain, BM_CLICK, 0, 0);  // a disabled button does nothing
    EXPECT_EQ(commands_, (std::vector<std::string>{std::to_string(kPlain) + ":0",
                                                   std::to_string(kDrawn) + ":0"}));
    EXPECT_EQ(SendMessage(Item(IDOK), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON,
              DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(HIWORD(SendMessage(dlg_, DM_GETDEFID, 0, 0)), DC_HASDEFID);
    EXPECT_EQ(LOWORD(SendMessage(dlg_, DM_GETDEFID, 0, 0)), IDOK);

    HWND picture = Item(kPicture);
    HBITMAP first = reinterpret_cast<HBITMAP>(SendMessage(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    HBITMAP second = LoadBitmap(nullptr, MAKEINTRESOURCE(kBitmap));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessage(picture, STM_SETIMAGE, IMAGE_BITMAP,
                                                    reinterpret_cast<LPARAM>(second))),
              first);
    EXPECT_TRUE(DeleteObject(first));
    EXPECT_FALSE(DeleteObject(first));
    SetWindowText(Item(kLabel), "Dropped:");
    char buf[32];
    GetWindowText(Item(kLabel), buf, sizeof buf);
    EXPECT_STREQ(buf, "Dropped:");
}
