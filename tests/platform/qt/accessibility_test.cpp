// What assistive tools learn of dialogs and controls: the dialog role, names
// from the label before a control, and tooltips that name picture buttons.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>

#include "dialog_fixture.h"

using namespace display_test;

namespace {

class Accessibility : public DialogTest {
protected:
    QWidget* W(int id) { return qt_display::WidgetOf(Item(id)); }
    HWND MakeTips(DWORD style = 0) {
        HWND tips = CreateWindowEx(0, TOOLTIPS_CLASS, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dlg_, nullptr,
                                   nullptr, nullptr);
        EXPECT_NE(tips, nullptr);
        return tips;
    }
    LRESULT AddTool(HWND tips, int id, const char* text, UINT flags = TTF_IDISHWND | TTF_SUBCLASS) {
        TOOLINFO ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = flags;
        ti.hwnd = dlg_;
        ti.uId = reinterpret_cast<UINT_PTR>(Item(id));
        ti.lpszText = const_cast<LPSTR>(text);
        return SendMessage(tips, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti));
    }
};

}  // namespace

TEST_F(Accessibility, ControlsAreNamedByTheLabelJustBeforeThem) {
    struct Case {
        int id;
        const char* name;
    };
    // "&Label:" comes just before the drop-down list; the edit follows the
    // list, the buttons have words of their own.
    const Case cases[] = {{kCombo, "Label:"}, {kEdit, ""}, {kDrawn, ""}, {kPlain, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(W(c.id)->accessibleName().toStdString(), c.name);
    }
    auto* label = qobject_cast<QLabel*>(W(kLabel));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), W(kCombo));
    EXPECT_EQ(label->text().toStdString(), "Label:");  // shown as before
    // A new label text renames the control.
    SetWindowText(Item(kLabel), "&Device:");
    EXPECT_EQ(W(kCombo)->accessibleName().toStdString(), "Device:");
}

TEST_F(Accessibility, TopLevelDialogsAreDialogs) {
    QAccessibleInterface* dialog =
        QAccessible::queryAccessibleInterface(qt_display::WidgetOf(dlg_));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->role(), QAccessible::Dialog);
    EXPECT_EQ(dialog->text(QAccessible::Name).toStdString(), "Test Dialog");
}

TEST_F(Accessibility, ToolTipsNameOwnerDrawnButtonsOnly) {
    HWND tips = MakeTips();
    struct Case {
        int id;
        const char* text;
        UINT flags;
        LRESULT added;
        const char* tip;
        const char* name;
    };
    const Case cases[] = {
        // A picture button takes its tip as its name; the caption stays.
        {kDrawn, "Play the tape", TTF_IDISHWND | TTF_SUBCLASS, TRUE, "Play the tape",
         "Play the tape"},
        // A button with words of its own only gets the tip.
        {kPlain, "&Other things", TTF_IDISHWND, TRUE, "Other things", ""},
        // A tool that is a rectangle of a window, or a text asked for
        // later, is not taken.
        {kNoStop, "Rect", TTF_SUBCLASS, FALSE, "", ""},
        {kEdit, LPSTR_TEXTCALLBACK, TTF_IDISHWND, FALSE, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(AddTool(tips, c.id, c.text, c.flags), c.added);
        EXPECT_EQ(W(c.id)->toolTip().toStdString(), c.tip);
        EXPECT_EQ(W(c.id)->accessibleName().toStdString(), c.name);
    }
    char caption[16];
    GetWindowText(Item(kDrawn), caption, sizeof caption);
    EXPECT_STREQ(caption, "&Play");
    DestroyWindow(tips);
}

TEST_F(Accessibility, NoPrefixToolTipsKeepTheirAmpersands) {
    HWND tips = MakeTips(TTS_NOPREFIX);
    EXPECT_EQ(AddTool(tips, kPlain, "Save & Quit"), TRUE);
    EXPECT_EQ(W(kPlain)->toolTip().toStdString(), "Save & Quit");
    DestroyWindow(tips);
}
