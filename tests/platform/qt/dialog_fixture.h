// A test on the test dialog: created, shown and pumped before each test,
// destroyed after.  Its dialog procedure hands every message to Note, where
// a test keeps what it wants to check.
#pragma once

#include <gtest/gtest.h>

#include "testsupport/displaytest.h"

namespace display_test {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        current_ = this;
        dlg_ = CreateDialogParam(nullptr, MAKEINTRESOURCE(kDialogId), nullptr, Proc, 0);
        ASSERT_NE(dlg_, nullptr);
        ShowWindow(dlg_, SW_SHOW);
        Pump(dlg_);
    }
    void TearDown() override {
        DestroyWindow(dlg_);
        Pump(nullptr);
        current_ = nullptr;
    }
    // A message the dialog procedure got (on the dialog's thread).
    virtual void Note(UINT msg, WPARAM wp) {}
    HWND Item(int id) { return GetDlgItem(dlg_, id); }

    HWND dlg_ = nullptr;

private:
    static INT_PTR CALLBACK Proc(HWND, UINT msg, WPARAM wp, LPARAM) {
        if (current_) current_->Note(msg, wp);
        return msg == WM_INITDIALOG;
    }
    static inline DialogTest* current_ = nullptr;
};

}  // namespace display_test
