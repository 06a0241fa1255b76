// The framework's save-file dialog and system-menu wrapper, driven on the
// display like a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileDialog>
#include <string>

#include "afxdlgs.h"
#include "afxwin.h"
#include "testsupport/displaytest.h"
#include "testsupport/filedialoguser.h"
#include "testsupport/scratchdir.h"

using namespace display_test;

namespace {

class FileDialog : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        dir_ = m_scratch.Path();
        owner_ = CreateDialogParam(
            nullptr, MAKEINTRESOURCE(kDialogId), nullptr,
            [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; }, 0);
        ShowWindow(owner_, SW_SHOW);
        Pump(owner_);
        owner_wnd_.Attach(owner_);
    }
    void TearDown() override {
        owner_wnd_.Detach();
        DestroyWindow(owner_);
        Pump(nullptr);
        EXPECT_TRUE(m_scratch.Remove());
    }
    testsupport::ScratchDir m_scratch{"tlafxfd"};
    std::string dir_;
    HWND owner_ = nullptr;
    CWnd owner_wnd_;
};

}  // namespace

TEST_F(FileDialog, FilterTitleDirectoryAndChosenPath) {
    CFileDialog dlg(FALSE, "avi", "first.avi", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                    "DV AVI Files (*.avi)|*.avi|All Files (*.*)|*.*||", &owner_wnd_);
    dlg.m_ofn.lpstrTitle = "Choose Capture File";
    dlg.m_ofn.lpstrInitialDir = dir_.c_str();
    EXPECT_EQ(dlg.GetPathName(), "first.avi");

    QStringList filters;
    std::string title;
    bool owner_disabled = false;
    Driver driver({When<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        title = d->windowTitle().toStdString();
        owner_disabled = !IsWindowEnabled(owner_);
        TypeFileName(d, "take");
    })});
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(dlg.GetPathName(), dir_ + "/take.avi");
    EXPECT_EQ(title, "Choose Capture File");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("DV AVI Files (*.avi)"));
    EXPECT_TRUE(owner_disabled);
    EXPECT_TRUE(IsWindowEnabled(owner_));

    // A filter without the closing "||" still ends the list; cancel is IDCANCEL.
    CFileDialog second(FALSE, "avi", nullptr, OFN_HIDEREADONLY, "AVI|*.avi", &owner_wnd_);
    second.m_ofn.lpstrInitialDir = dir_.c_str();
    Driver cancel({When<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        d->reject();
    })});
    EXPECT_EQ(second.DoModal(), IDCANCEL);
    EXPECT_TRUE(cancel.finished());
    ASSERT_EQ(filters.size(), 1);
    EXPECT_EQ(second.GetPathName(), "");

    // Only the save dialog exists.
    CFileDialog open(TRUE);
    EXPECT_EQ(open.DoModal(), IDCANCEL);
}

TEST_F(FileDialog, SystemMenuTakesSeparatorAndItem) {
    CMenu* menu = owner_wnd_.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(owner_wnd_.GetSystemMenu(FALSE), menu);
    EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
    EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x10, "&About Tapeloom..."));
}
