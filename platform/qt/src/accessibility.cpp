#include "accessibility.h"

#include <strings.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

#include "qtbackend.h"

namespace qt_display {

namespace {

std::string ClassOf(HWND hwnd) {
    char name[64];
    return GetClassName(hwnd, name, sizeof name) ? name : "";
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

bool IsTextStatic(DWORD style) {
    switch (style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
            return true;
    }
    return false;
}

// A static text that labels what follows: plain text, not a sunken value.
bool IsLabel(HWND hwnd) {
    const DWORD style = StyleOf(hwnd);
    return strcasecmp(ClassOf(hwnd).c_str(), "STATIC") == 0 && IsTextStatic(style) &&
           !(style & SS_SUNKEN);
}

// A control whose own text is not its name: what the user typed or chose,
// or a value the program shows.
bool TakesLabel(HWND hwnd) {
    const std::string cls = ClassOf(hwnd);
    if (strcasecmp(cls.c_str(), "EDIT") == 0 || strcasecmp(cls.c_str(), "COMBOBOX") == 0)
        return true;
    const DWORD style = StyleOf(hwnd);
    return strcasecmp(cls.c_str(), "STATIC") == 0 && IsTextStatic(style) && (style & SS_SUNKEN);
}

QAccessibleInterface* DialogFactory(const QString& key, QObject* object) {
    if (key != QLatin1String("QWidget") || !object || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    QtBackend* backend = Backend();
    HWND hwnd = backend ? backend->WindowFor(widget) : nullptr;
    if (!hwnd || ClassOf(hwnd) != "#32770") return nullptr;
    return new QAccessibleWidget(widget,
                                 widget->isWindow() ? QAccessible::Dialog : QAccessible::Pane);
}

}  // namespace

void InstallAccessibility() { QAccessible::installFactory(DialogFactory); }

void NameByLabel(HWND previous, QWidget* previous_widget, HWND control, QWidget* widget) {
    if (!previous || !previous_widget || !TakesLabel(control) || !IsLabel(previous)) return;
    auto* label = qobject_cast<QLabel*>(previous_widget);
    if (!label) return;
    // A buddy turns "&" in the label's text into a shortcut, which the
    // window system has already dealt with: such a label only names.
    if (!label->text().contains('&')) label->setBuddy(widget);
    widget->setAccessibleName(label->text());
    ValueTextChanged(widget);
}

void ValueTextChanged(QWidget* widget) {
    // A value text's name is its label's: what it shows is read as its
    // description.
    auto* value = qobject_cast<QLabel*>(widget);
    if (value && !value->accessibleName().isEmpty()) value->setAccessibleDescription(value->text());
}

void LabelTextChanged(QWidget* label) {
    auto* text = qobject_cast<QLabel*>(label);
    if (!text) return;
    if (QWidget* named = text->buddy()) named->setAccessibleName(text->text());
}

}  // namespace qt_display
