#include "controls.h"

#include <commctrl.h>
#include <strings.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "accessibility.h"
#include "qtbackend.h"

namespace qt_display {

QString StripMnemonic(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

void NotifyParent(HWND control, WORD code) {
    HWND parent = GetParent(control);
    if (parent)
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                    reinterpret_cast<LPARAM>(control));
}

QWidget* CreateControlWidget(HWND hwnd, const std::string& name, DWORD style, QWidget* parent) {
    if (strcasecmp(name.c_str(), "BUTTON") == 0) return CreateButtonWidget(hwnd, style, parent);
    if (strcasecmp(name.c_str(), "STATIC") == 0) return CreateStaticWidget(hwnd, style, parent);
    if (strcasecmp(name.c_str(), "EDIT") == 0) return CreateEditWidget(hwnd, style, parent);
    if (strcasecmp(name.c_str(), "COMBOBOX") == 0) return CreateComboWidget(hwnd, style, parent);
    return nullptr;
}

void SetWidgetText(QWidget* widget, HWND hwnd, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
        edit->setCursorPosition(0);  // a new text shows its beginning
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(StripMnemonic(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        if ((style & SS_TYPEMASK) == SS_BITMAP) return;
        label->setText((style & SS_NOPREFIX) ? text : StripMnemonic(text));
        LabelTextChanged(label);
        ValueTextChanged(label);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    }
}

void RegisterControlClasses() {
    struct Entry {
        const char* name;
        WNDPROC proc;
    };
    for (Entry e :
         {Entry{"BUTTON", ButtonProc}, Entry{"STATIC", StaticProc}, Entry{"EDIT", EditProc},
          Entry{"COMBOBOX", ComboProc}, Entry{TOOLTIPS_CLASS, ToolTipProc}}) {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = e.proc;
        wc.lpszClassName = e.name;
        RegisterClassEx(&wc);
    }
}

}  // namespace qt_display
