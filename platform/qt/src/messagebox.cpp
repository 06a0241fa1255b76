// MessageBox on Qt's message box, run modally over its owner.
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "modal.h"
#include "qtbackend.h"

namespace {

// The executable's file name without its extension.
std::string ProgramName() {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileName(nullptr, path, sizeof path);
    std::string name(path, n < sizeof path ? n : 0);
    name = name.substr(name.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace

int MessageBox(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if ((uType & MB_TYPEMASK) != MB_OK) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    const std::string caption = lpCaption ? lpCaption : ProgramName();
    const std::string text = lpText ? lpText : "";
    qt_display::QtBackend* backend = qt_display::Backend();
    if (!backend || !backend->IsDisplayThread()) {
        // No display on this thread: the message still reaches the user.
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return IDOK;
    }
    QMessageBox box(
        (uType & MB_ICONMASK) == MB_ICONEXCLAMATION ? QMessageBox::Warning : QMessageBox::NoIcon,
        QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    qt_display::OwnerDisabled owner(hWnd);
    // WM_QUIT closes the box unanswered.
    return qt_display::RunModal(&box, qt_display::TopLevelWidget(owner.owner())) == QMessageBox::Ok
               ? IDOK
               : 0;
}
