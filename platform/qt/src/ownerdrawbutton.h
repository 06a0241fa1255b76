// An owner-drawn button (BS_OWNERDRAW).  Like the screen under a Windows
// button, the widget keeps the picture its owner drew: a full redraw
// (ODA_DRAWENTIRE) starts from a fresh picture, while focus and press
// changes (ODA_FOCUS, ODA_SELECT) are drawn over what is there, so an
// inverting focus rectangle drawn twice is gone.
#pragma once

#include <QAbstractButton>
#include <QImage>

#include "windows.h"

namespace qt_display {

class OwnerDrawButton : public QAbstractButton {
public:
    OwnerDrawButton(HWND hwnd, QWidget* parent);

    // Sends the owner a draw request now (action ODA_*).
    void Request(UINT action);
    // The next paint redraws everything.
    void Invalidate();
    void Detach() { m_hwnd = nullptr; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

private:
    // The kept picture has the widget's size and the screen's pixel ratio.
    bool PictureFits() const;

    HWND m_hwnd;
    QImage m_picture;
    bool m_dirty = true;
};

}  // namespace qt_display
