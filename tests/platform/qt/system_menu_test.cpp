#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <string>
#include <vector>

#include "dialog_fixture.h"
#include "win32/display.h"

using namespace display_test;

namespace {

constexpr UINT kAbout = 0x0010;

class SystemMenu : public DialogTest {
protected:
    void Note(UINT msg, WPARAM wp) override {
        if (msg == WM_SYSCOMMAND) log_.push_back("sys:" + std::to_string(wp & 0xFFF0));
        if (msg == WM_COMMAND) log_.push_back("cmd:" + std::to_string(LOWORD(wp)));
    }
    // Pumps until the driver is done and the posted commands have arrived.
    void RunUntil(const Driver& driver) {
        for (int i = 0; i < 500 && !driver.finished(); ++i) Pump(dlg_, 1);
        Pump(dlg_);
    }
    std::vector<std::string> log_;
};

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
    return texts;
}

// Chooses the menu item with the text, as a click would.
void Choose(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) {
            menu->setActiveAction(a);
            PressKeyOn(menu, Qt::Key_Return);
            return;
        }
    ADD_FAILURE() << "no item " << text.toStdString();
    menu->close();
}

template <class F>
Step WhenMenu(F act) {
    return Step{[] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
                [act] { act(qobject_cast<QMenu*>(QApplication::activePopupWidget())); }};
}

}  // namespace

TEST_F(SystemMenu, AltSpaceOpensItAndAnAppendedItemComesAsSysCommand) {
    HMENU menu = GetSystemMenu(dlg_, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetSystemMenu(dlg_, FALSE), menu);
    EXPECT_TRUE(AppendMenu(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenu(menu, MF_STRING, kAbout, "&About Tapeloom..."));
    EXPECT_FALSE(AppendMenu(reinterpret_cast<HMENU>(0x1234), MF_STRING, 1, "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));

    QStringList seen;
    Driver driver({WhenMenu([&](QMenu* m) {
        seen = Texts(m);
        Choose(m, "&About Tapeloom...");
    })});
    // Alt+Space on a control of the dialog.
    PressKey(GetDlgItem(dlg_, kEdit), Qt::Key_Space, Qt::AltModifier);
    RunUntil(driver);
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(seen, (QStringList{"&Close\tAlt+F4", "-", "&About Tapeloom..."}));
    EXPECT_EQ(log_, (std::vector<std::string>{"sys:" + std::to_string(SC_KEYMENU),
                                              "sys:" + std::to_string(kAbout)}));

    // Plain Space stays the control's.
    log_.clear();
    PressKey(GetDlgItem(dlg_, kEdit), Qt::Key_Space);
    Pump(dlg_);
    EXPECT_TRUE(log_.empty());

    // Back to the standard menu.
    EXPECT_EQ(GetSystemMenu(dlg_, TRUE), nullptr);
    EXPECT_EQ(win32_display::SystemMenuItems(dlg_).size(), 1u);
}

TEST_F(SystemMenu, RightClickOnAControlOpensItAndCloseSendsScClose) {
    Driver driver({WhenMenu([](QMenu* m) { Choose(m, "&Close\tAlt+F4"); })});
    QWidget* label = qt_display::WidgetOf(GetDlgItem(dlg_, kLabel));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                            label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &click);
    RunUntil(driver);
    EXPECT_TRUE(driver.finished());
    // SC_CLOSE becomes WM_CLOSE, which a dialog answers with IDCANCEL.
    EXPECT_EQ(log_, (std::vector<std::string>{"sys:" + std::to_string(SC_CLOSE), "cmd:2"}));

    // Escape closes the menu without a command.
    log_.clear();
    Driver escape({WhenMenu([](QMenu* m) { PressKeyOn(m, Qt::Key_Escape); })});
    SendMessage(dlg_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(dlg_), -1);
    RunUntil(escape);
    EXPECT_TRUE(escape.finished());
    EXPECT_TRUE(log_.empty());
}
