// What assistive tools (screen readers, through AT-SPI) learn of the
// windows: roles and names, the way the platform's accessibility layer
// derives them from the windows themselves.
#pragma once

#include <QWidget>

#include "windows.h"

namespace qt_display {

// Dialog windows (class "#32770") report the dialog role when top-level and
// the pane role inside another window.  Once, on the display thread.
void InstallAccessibility();

// A control was created in a dialog right after `previous` (creation order
// is tab order).  A control without words of its own (an edit, a drop-down
// list, a sunken value text) is named by a static text label just before
// it: the label's text becomes its name and the label is its labelled-by
// relation.  Drop-down lists keep their choice as their name (Qt's
// convention on Linux, where readers take the label from the relation).
void NameByLabel(HWND previous, QWidget* previous_widget, HWND control, QWidget* widget);

// A static's text changed: a value text named by its label tells its new
// value.
void ValueTextChanged(QWidget* widget);

// A label's text changed: the control it names takes the new name.
void LabelTextChanged(QWidget* label);

}  // namespace qt_display
