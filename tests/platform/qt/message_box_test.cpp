#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <atomic>
#include <string>
#include <thread>

#include "testsupport/displaytest.h"

using namespace display_test;

namespace {

INT_PTR CALLBACK OwnerProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

}  // namespace

TEST(MessageBox, ModalOverItsOwnerWithTheProgramNameAsDefaultCaption) {
    InstallDisplay();
    HWND owner = CreateDialogParam(nullptr, MAKEINTRESOURCE(kDialogId), nullptr, OwnerProc, 0);
    ShowWindow(owner, SW_SHOW);
    Pump(owner);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool owner_disabled = false;
    std::thread worker;
    std::atomic<bool> answered{false};
    Driver driver({
        When<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            owner_disabled = !IsWindowEnabled(owner);
            worker = std::thread([&] {
                DWORD_PTR r = 0;
                answered =
                    SendMessageTimeout(GetDlgItem(owner, kEdit), WM_SETTEXT, 0,
                                       reinterpret_cast<LPARAM>("x"), SMTO_BLOCK, 5000, &r) != 0;
            });
        }),
        Until([&] { return answered.load(); }),
        When<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }),
    });
    EXPECT_EQ(MessageBox(owner, "The disk is full.", nullptr, MB_OK | MB_ICONEXCLAMATION), IDOK);
    worker.join();
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(title.toStdString(), "qt_message_box_test");
    EXPECT_EQ(text.toStdString(), "The disk is full.");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_TRUE(owner_disabled);
    EXPECT_TRUE(IsWindowEnabled(owner));

    // Escape closes a box with only OK, as OK; a caption given is used.
    Driver escape({When<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        PressKeyOn(box, Qt::Key_Escape);
    })});
    EXPECT_EQ(MessageBox(nullptr, "Done.", "Tapeloom", MB_OK), IDOK);
    EXPECT_EQ(title.toStdString(), "Tapeloom");
    DestroyWindow(owner);
}
