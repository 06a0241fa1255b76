// COMBOBOX: the drop-down list.  CBN_SELCHANGE is sent for the user's
// choices only, never for CB_SETCURSEL.  Its window text is the selected
// item's (empty without a selection), as GetWindowText reads it.
#include <QComboBox>
#include <algorithm>
#include <cstring>

#include "controls.h"
#include "qtbackend.h"

namespace qt_display {

namespace {

class ComboWidget : public QComboBox {
public:
    using QComboBox::QComboBox;
    bool programmatic = false;
};

}  // namespace

QWidget* CreateComboWidget(HWND hwnd, DWORD style, QWidget* parent) {
    auto* combo = new ComboWidget(parent);
    combo->setMaxVisibleItems(10);
    QObject::connect(combo, &QComboBox::currentIndexChanged, [combo, hwnd](int) {
        if (!combo->programmatic) NotifyParent(hwnd, CBN_SELCHANGE);
    });
    return combo;
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* combo = dynamic_cast<ComboWidget*>(Backend() ? Backend()->WidgetFor(hwnd) : nullptr);
    if (!combo) return DefWindowProc(hwnd, msg, wp, lp);
    struct Quiet {
        ComboWidget* c;
        explicit Quiet(ComboWidget* combo) : c(combo) { c->programmatic = true; }
        ~Quiet() { c->programmatic = false; }
    };
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case CB_RESETCONTENT: {
            Quiet q(combo);
            combo->clear();
            return CB_OKAY;
        }
        case CB_ADDSTRING: {
            Quiet q(combo);
            combo->addItem(QString::fromUtf8(reinterpret_cast<const char*>(lp)));
            return combo->count() - 1;
        }
        case CB_INSERTSTRING: {
            Quiet q(combo);
            int index = static_cast<int>(static_cast<LONG_PTR>(wp));
            if (index > combo->count()) return CB_ERR;
            if (index < 0) index = combo->count();
            combo->insertItem(index, QString::fromUtf8(reinterpret_cast<const char*>(lp)));
            return index;
        }
        case CB_SETCURSEL: {
            Quiet q(combo);
            int index = static_cast<int>(static_cast<LONG_PTR>(wp));
            if (index < 0 || index >= combo->count()) {
                combo->setCurrentIndex(-1);
                return CB_ERR;
            }
            combo->setCurrentIndex(index);
            return index;
        }
        case CB_GETCURSEL:
            return combo->currentIndex() < 0 ? CB_ERR : combo->currentIndex();
        case WM_GETTEXTLENGTH:
            return combo->currentText().toUtf8().size();
        case WM_GETTEXT: {
            if (wp == 0 || !lp) return 0;
            QByteArray text = combo->currentText().toUtf8();
            const size_t n = std::min<size_t>(text.size(), wp - 1);
            std::memcpy(reinterpret_cast<char*>(lp), text.constData(), n);
            reinterpret_cast<char*>(lp)[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case CB_GETCOUNT:
            return combo->count();
        case CB_GETLBTEXTLEN: {
            int index = static_cast<int>(static_cast<LONG_PTR>(wp));
            if (index < 0 || index >= combo->count()) return CB_ERR;
            return combo->itemText(index).toUtf8().size();
        }
        case CB_GETLBTEXT: {
            int index = static_cast<int>(static_cast<LONG_PTR>(wp));
            if (index < 0 || index >= combo->count() || !lp) return CB_ERR;
            QByteArray text = combo->itemText(index).toUtf8();
            std::memcpy(reinterpret_cast<char*>(lp), text.constData(), text.size() + 1);
            return text.size();
        }
    }
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace qt_display
