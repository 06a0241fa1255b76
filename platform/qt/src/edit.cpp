// EDIT: the single-line edit; the program uses it read-only with automatic
// horizontal scrolling to show a path.
#include <QLineEdit>

#include "controls.h"
#include "qtbackend.h"

namespace qt_display {

QWidget* CreateEditWidget(HWND hwnd, DWORD style, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly((style & ES_READONLY) != 0);
    edit->setFrame((style & WS_BORDER) != 0);
    SetWidgetText(edit, hwnd, QString::fromStdString(win32_display::StoredWindowText(hwnd)));
    return edit;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* edit = qobject_cast<QLineEdit*>(Backend() ? Backend()->WidgetFor(hwnd) : nullptr);
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | 0x0008 /* DLGC_HASSETSEL */ | 0x0080 /* DLGC_WANTCHARS */;
        case EM_SETSEL: {
            if (!edit) return 0;
            const int length = static_cast<int>(edit->text().size());
            int start = static_cast<int>(static_cast<LONG_PTR>(wp));
            int end = static_cast<int>(lp);
            if (start == -1) {
                edit->deselect();
                return 0;
            }
            if (end < 0 || end > length) end = length;
            if (start > length) start = length;
            // The caret ends at the end given; start may be after it.
            edit->setSelection(start, end - start);
            return 0;
        }
        case EM_GETSEL: {
            if (!edit) return 0;
            DWORD start = static_cast<DWORD>(edit->hasSelectedText() ? edit->selectionStart()
                                                                     : edit->cursorPosition());
            DWORD end = static_cast<DWORD>(edit->hasSelectedText() ? edit->selectionEnd()
                                                                   : edit->cursorPosition());
            if (wp) *reinterpret_cast<DWORD*>(wp) = start;
            if (lp) *reinterpret_cast<DWORD*>(lp) = end;
            return MAKELRESULT(start, end);
        }
        case EM_SCROLLCARET:
            if (edit) edit->setCursorPosition(edit->cursorPosition());
            return TRUE;
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace qt_display
