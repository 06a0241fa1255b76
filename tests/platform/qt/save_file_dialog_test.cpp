#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "testsupport/displaytest.h"
#include "testsupport/filedialoguser.h"
#include "testsupport/scratchdir.h"

using namespace display_test;

namespace {

constexpr UINT kPosted = WM_USER + 60;
std::atomic<int> g_posts{0};

INT_PTR CALLBACK OwnerProc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == kPosted) ++g_posts;
    return msg == WM_INITDIALOG || msg == kPosted;
}

const char kFilter[] = "AVI Files (*.avi)\0*.avi\0All Files (*.*)\0*.*\0";

class SaveFile : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDisplay();
        g_posts = 0;
        dir_ = m_scratch.Path();
        owner_ = CreateDialogParam(nullptr, MAKEINTRESOURCE(kDialogId), nullptr, OwnerProc, 0);
        ShowWindow(owner_, SW_SHOW);
        Pump(owner_);
        ofn_.lStructSize = sizeof ofn_;
        ofn_.hwndOwner = owner_;
        ofn_.lpstrFilter = kFilter;
        ofn_.nFilterIndex = 1;
        ofn_.lpstrFile = file_;
        ofn_.nMaxFile = sizeof file_;
        ofn_.lpstrInitialDir = dir_.c_str();
        ofn_.lpstrTitle = "Capture File";
        ofn_.lpstrDefExt = "avi";
        ofn_.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    }
    void TearDown() override {
        DestroyWindow(owner_);
        Pump(nullptr);
        EXPECT_TRUE(m_scratch.Remove());
    }
    testsupport::ScratchDir m_scratch{"tlsave"};
    std::string dir_;
    HWND owner_ = nullptr;
    char file_[MAX_PATH] = "";
    OPENFILENAME ofn_{};
};

}  // namespace

TEST_F(SaveFile, ChosenNameGetsTheDefaultExtensionWhileTheOwnerKeepsAnswering) {
    std::thread worker;
    std::atomic<bool> sent{false};
    std::string seen_title, seen_dir;
    QStringList seen_filters;
    bool owner_disabled = false;
    Driver driver({
        When<QFileDialog>([&](QFileDialog* dialog) {
            seen_title = dialog->windowTitle().toStdString();
            seen_dir = dialog->directory().absolutePath().toStdString();
            seen_filters = dialog->nameFilters();
            owner_disabled = !IsWindowEnabled(owner_);
            // Another thread sends to a window of this thread and posts
            // to it while the dialog is up.
            worker = std::thread([&] {
                DWORD_PTR r = 0;
                HWND edit = GetDlgItem(owner_, kEdit);
                if (SendMessageTimeout(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("sent"),
                                       SMTO_BLOCK, 5000, &r))
                    sent = true;
                PostMessage(owner_, kPosted, 0, 0);
            });
        }),
        Until([&] { return sent && g_posts == 1; }),
        When<QFileDialog>([](QFileDialog* dialog) { TypeFileName(dialog, "take one"); }),
    });
    EXPECT_TRUE(GetSaveFileName(&ofn_));
    worker.join();
    EXPECT_TRUE(driver.finished());
    const std::string expected = dir_ + "/take one.avi";
    EXPECT_EQ(std::string(file_), expected);
    EXPECT_EQ(ofn_.nFileOffset, dir_.size() + 1);
    EXPECT_EQ(ofn_.nFileExtension, expected.size() - 3);
    EXPECT_EQ(ofn_.nFilterIndex, 1u);
    EXPECT_EQ(seen_title, "Capture File");
    EXPECT_EQ(seen_dir, dir_);
    ASSERT_EQ(seen_filters.size(), 2);
    EXPECT_TRUE(seen_filters[0].startsWith("AVI Files (*.avi)"));
    EXPECT_TRUE(owner_disabled);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    char text[16];
    GetWindowText(GetDlgItem(owner_, kEdit), text, sizeof text);
    EXPECT_STREQ(text, "sent");
    EXPECT_EQ(CommDlgExtendedError(), 0u);
}

TEST_F(SaveFile, InitialDirectoryNamingAFileOpensItsFolder) {
    // A file's name, existing or not, as the initial directory.
    const std::string existing = dir_ + "/Rec00000.avi";
    std::ofstream(existing) << "x";
    for (const std::string& initial : {existing, dir_ + "/Rec00001.avi"}) {
        SCOPED_TRACE(initial);
        ofn_.lpstrInitialDir = initial.c_str();
        file_[0] = '\0';
        std::string seen_dir;
        Driver driver({When<QFileDialog>([&](QFileDialog* dialog) {
            seen_dir = dialog->directory().absolutePath().toStdString();
            TypeFileName(dialog, "take");
        })});
        EXPECT_TRUE(GetSaveFileName(&ofn_));
        EXPECT_TRUE(driver.finished());
        EXPECT_EQ(seen_dir, dir_);
        EXPECT_EQ(std::string(file_), dir_ + "/take.avi");
    }
}

TEST_F(SaveFile, CancelAndBufferTooSmall) {
    std::strcpy(file_, "keep");
    Driver cancel({When<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); })});
    EXPECT_FALSE(GetSaveFileName(&ofn_));
    EXPECT_TRUE(cancel.finished());
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_STREQ(file_, "keep");
    EXPECT_TRUE(IsWindowEnabled(owner_));

    // The chosen path does not fit: nothing but the size needed is written.
    char small[8] = "abc";
    ofn_.lpstrFile = small;
    ofn_.nMaxFile = sizeof small;
    Driver accept({When<QFileDialog>([](QFileDialog* d) { TypeFileName(d, "long enough name"); })});
    EXPECT_FALSE(GetSaveFileName(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    WORD needed;
    std::memcpy(&needed, small, sizeof needed);
    EXPECT_EQ(needed, dir_.size() + std::strlen("/long enough name.avi") + 1);

    ofn_.lStructSize = 12;
    EXPECT_FALSE(GetSaveFileName(&ofn_));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

TEST_F(SaveFile, OverwriteIsAskedAndAMissingFolderRefused) {
    std::ofstream(dir_ + "/old.avi") << "x";
    ofn_.nFilterIndex = 2;
    int boxes = 0;
    auto answer = [&](QMessageBox::StandardButton button) {
        return When<QMessageBox>([&boxes, button](QMessageBox* box) {
            ++boxes;
            box->button(button)->click();
        });
    };
    const QString missing = QString::fromStdString(dir_) + "/no/such.avi";
    Driver driver({
        // A folder that does not exist: a warning, and the dialog stays.
        When<QFileDialog>([&](QFileDialog* d) { TypeFileName(d, missing); }),
        answer(QMessageBox::Ok),
        // An existing file: "No" keeps the dialog, "Yes" takes the name.
        When<QFileDialog>([](QFileDialog* d) { TypeFileName(d, "old"); }),
        answer(QMessageBox::No),
        When<QFileDialog>([](QFileDialog* d) { TypeFileName(d, "old"); }),
        answer(QMessageBox::Yes),
    });
    EXPECT_TRUE(GetSaveFileName(&ofn_));
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(boxes, 3);
    EXPECT_EQ(std::string(file_), dir_ + "/old.avi");
    EXPECT_EQ(ofn_.nFilterIndex, 2u);
}
