// GetSaveFileName on Qt's own file dialog (the same on every desktop and
// offscreen), run modally over its owner.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "modal.h"
#include "qtbackend.h"

namespace qt_display {

namespace {

thread_local DWORD t_extended_error = 0;

BOOL Fail(DWORD code) {
    t_extended_error = code;
    return FALSE;
}

// The description and pattern pairs of a filter list; a description
// without its pattern ends the list.
std::vector<std::pair<QString, QString>> ParseFilter(LPCSTR filter) {
    std::vector<std::pair<QString, QString>> pairs;
    while (filter && *filter) {
        const char* description = filter;
        const char* pattern = description + std::strlen(description) + 1;
        if (!*pattern) break;
        pairs.emplace_back(QString::fromUtf8(description), QString::fromUtf8(pattern));
        filter = pattern + std::strlen(pattern) + 1;
    }
    return pairs;
}

// Qt reads a filter's patterns from the parentheses at its end and shows
// the text before them; the program's description is shown as it is.
QString QtFilter(const std::pair<QString, QString>& pair) {
    QString patterns = pair.second;
    patterns.replace(';', ' ');
    return pair.first + " (" + patterns.simplified() + ")";
}

class SaveDialog : public QFileDialog {
public:
    SaveDialog(bool path_must_exist, bool overwrite_prompt)
        : m_pathMustExist(path_must_exist), m_overwritePrompt(overwrite_prompt) {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        // Overwriting is asked here, through the window system's modal loop,
        // instead of in a loop of Qt's own that would leave the thread's
        // messages unanswered.
        setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                   QFileDialog::HideNameFilterDetails);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.isEmpty()) return;
        const QFileInfo info(files.first());
        if (info.isDir()) return QFileDialog::accept();  // opens the folder
        if (m_pathMustExist && !info.absoluteDir().exists()) {
            Warn(
                QMessageBox::Warning,
                info.absolutePath() + "\nThe folder does not exist.\nCheck the path and try again.",
                QMessageBox::Ok);
            return;
        }
        if (m_overwritePrompt && info.exists() &&
            Warn(QMessageBox::Warning,
                 info.fileName() + " already exists.\nDo you want to replace it?",
                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        QFileDialog::accept();
    }

private:
    int Warn(QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, windowTitle(), text, buttons);
        box.setDefaultButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
        RunModal(&box, this);
        return box.result();
    }

    bool m_pathMustExist;
    bool m_overwritePrompt;
};

// Copies a zero-terminated text into a caller's buffer of size bytes; a
// text that does not fit leaves the size it needs in the first two bytes.
bool CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (text.size() + 1 > size) {
        if (size >= 2) {
            const WORD needed = static_cast<WORD>(std::min<size_t>(text.size() + 1, 0xFFFF));
            std::memcpy(buffer, &needed, sizeof needed);
        }
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

}  // namespace qt_display

using namespace qt_display;

DWORD CommDlgExtendedError() { return t_extended_error; }

BOOL GetSaveFileName(LPOPENFILENAME ofn) {
    t_extended_error = 0;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAME)) return Fail(CDERR_STRUCTSIZE);
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) return Fail(CDERR_INITIALIZATION);
    QtBackend* backend = Backend();
    if (!backend || !backend->IsDisplayThread()) return Fail(CDERR_DIALOGFAILURE);

    // The initial name need not be terminated within its buffer.
    const QString initial = QString::fromUtf8(
        ofn->lpstrFile, static_cast<qsizetype>(strnlen(ofn->lpstrFile, ofn->nMaxFile)));
    QString directory;
    QString name = initial;
    if (initial.contains('/')) {
        const QFileInfo info(initial);
        directory = info.absolutePath();
        name = info.fileName();
    } else if (ofn->lpstrInitialDir && *ofn->lpstrInitialDir) {
        directory = QString::fromUtf8(ofn->lpstrInitialDir);
        // A path that is not a folder (a file's name, whether or not the
        // file exists) opens in the folder it lies in, when that exists:
        // a name typed then goes next to it, not below a folder that is
        // not there.
        const QFileInfo info(directory);
        if (!info.isDir() && info.absoluteDir().exists()) directory = info.absolutePath();
    } else {
        directory = QDir::currentPath();
    }

    SaveDialog dialog((ofn->Flags & OFN_PATHMUSTEXIST) != 0,
                      (ofn->Flags & OFN_OVERWRITEPROMPT) != 0);
    dialog.setWindowTitle(ofn->lpstrTitle ? QString::fromUtf8(ofn->lpstrTitle)
                                          : QStringLiteral("Save As"));
    dialog.setDirectory(directory);
    QStringList filters;
    for (const auto& pair : ParseFilter(ofn->lpstrFilter)) filters << QtFilter(pair);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype index = ofn->nFilterIndex >= 1 && ofn->nFilterIndex <= filters.size()
                                    ? ofn->nFilterIndex - 1
                                    : 0;
        dialog.selectNameFilter(filters[index]);
    }
    if (ofn->lpstrDefExt && *ofn->lpstrDefExt)
        dialog.setDefaultSuffix(QString::fromUtf8(ofn->lpstrDefExt));
    if (!name.isEmpty()) dialog.selectFile(name);

    int result;
    {
        OwnerDisabled owner(ofn->hwndOwner);
        result = RunModal(&dialog, TopLevelWidget(owner.owner()));
    }
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;

    const std::string path = dialog.selectedFiles().first().toStdString();
    const size_t slash = path.rfind('/');
    const size_t offset = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (!CopyOut(path, ofn->lpstrFile, ofn->nMaxFile)) return Fail(FNERR_BUFFERTOOSMALL);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle &&
        !CopyOut(path.substr(offset), ofn->lpstrFileTitle, ofn->nMaxFileTitle))
        return Fail(FNERR_BUFFERTOOSMALL);
    ofn->nFileOffset = static_cast<WORD>(std::min<size_t>(offset, 0xFFFF));
    ofn->nFileExtension = dot != std::string::npos && dot >= offset
                              ? static_cast<WORD>(std::min<size_t>(dot + 1, 0xFFFF))
                              : 0;
    if (!filters.isEmpty()) {
        const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
        if (chosen >= 0) ofn->nFilterIndex = static_cast<DWORD>(chosen + 1);
    }
    return TRUE;
}
