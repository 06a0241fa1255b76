// Answers the display's message boxes with OK as they appear, and keeps
// what the last one said.  Works while the test's thread runs a modal loop.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <string>

namespace paneltest {

class MessageBoxAnswer {
public:
    MessageBoxAnswer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible()) continue;
                m_text = box->text().toStdString();
                m_title = box->windowTitle().toStdString();
                m_icon = box->icon();
                ++m_count;
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start(20);
    }
    std::string m_text, m_title;
    QMessageBox::Icon m_icon = QMessageBox::NoIcon;
    int m_count = 0;

private:
    QTimer m_timer;
};

}  // namespace paneltest
