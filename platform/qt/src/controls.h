// The standard controls: each is a Qt widget that keeps the control's
// state, and a window procedure that answers the control's messages.
#pragma once

#include <QWidget>
#include <string>

#include "windows.h"

namespace qt_display {

QWidget* CreateButtonWidget(HWND hwnd, DWORD style, QWidget* parent);
QWidget* CreateStaticWidget(HWND hwnd, DWORD style, QWidget* parent);
QWidget* CreateEditWidget(HWND hwnd, DWORD style, QWidget* parent);
QWidget* CreateComboWidget(HWND hwnd, DWORD style, QWidget* parent);

LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ToolTipProc(HWND, UINT, WPARAM, LPARAM);

// Puts a window text into a control's widget.
void SetWidgetText(QWidget* widget, HWND hwnd, const QString& text);

// "&Play" -> "Play"; "&&" stays one "&".
QString StripMnemonic(const QString& text);

}  // namespace qt_display
