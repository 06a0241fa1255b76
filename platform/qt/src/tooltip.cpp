// tooltips_class32: the tooltip control.  The control has no window on
// screen of its own: a tool's tip goes to the tool's widget, which shows it
// when the mouse rests on it, as a tool added with TTF_SUBCLASS does.
#include <commctrl.h>

#include "controls.h"
#include "ownerdrawbutton.h"
#include "qtbackend.h"

namespace qt_display {

LRESULT CALLBACK ToolTipProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != TTM_ADDTOOL) return DefWindowProc(hwnd, msg, wp, lp);
    const auto* ti = reinterpret_cast<const TOOLINFOA*>(lp);
    // Only tools that are whole windows, with their text given now.
    if (!ti || ti->cbSize < sizeof(TOOLINFOA) || !(ti->uFlags & TTF_IDISHWND) || !ti->lpszText ||
        ti->lpszText == LPSTR_TEXTCALLBACK)
        return FALSE;
    HWND tool = reinterpret_cast<HWND>(ti->uId);
    QWidget* widget = Backend() ? Backend()->WidgetFor(tool) : nullptr;
    if (!widget) return FALSE;
    QString text = QString::fromUtf8(ti->lpszText);
    if (!(GetWindowLongPtr(hwnd, GWL_STYLE) & TTS_NOPREFIX)) text = StripMnemonic(text);
    widget->setToolTip(text);
    // What an owner-drawn button shows is whatever its owner paints, often
    // a picture, and its caption may be a symbol standing for one: its tip
    // says in words what it does, and that is its name to assistive tools.
    if (dynamic_cast<OwnerDrawButton*>(widget)) widget->setAccessibleName(text);
    return TRUE;
}

}  // namespace qt_display
