#include "qtbackend.h"

#include <commctrl.h>
#include <strings.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <memory>

#include "accessibility.h"
#include "automation.h"
#include "controls.h"
#include "gdiobjects.h"
#include "ownerdrawbutton.h"
#include "paint.h"
#include "qt/display.h"
#include "winbase.h"

namespace qt_display {

namespace {

QtBackend* g_backend = nullptr;  // set once by Install, on the display thread

std::string ClassOf(HWND hwnd) {
    char name[64];
    return GetClassName(hwnd, name, sizeof name) ? name : "";
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

// A window that is not a control: dialogs and windows of the program's own
// classes.  It paints its background and passes the close box on as
// WM_SYSCOMMAND SC_CLOSE, as the system menu's Close does.
class HostWidget : public QWidget {
public:
    HostWidget(HWND hwnd, QWidget* parent) : QWidget(parent), m_hwnd(hwnd) {
        setAutoFillBackground(true);
    }
    void Detach() { m_hwnd = nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (m_hwnd) SendMessage(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    void paintEvent(QPaintEvent* event) override {
        if (!m_hwnd) return;
        QPainter painter(this);
        PaintWindow(m_hwnd, &painter, event->rect());
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        if (!m_hwnd) return;
        const QPoint at = event->globalPos();
        const LPARAM where = event->reason() == QContextMenuEvent::Keyboard
                                 ? static_cast<LPARAM>(-1)
                                 : MAKELPARAM(at.x(), at.y());
        SendMessage(m_hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hwnd), where);
    }
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        // The user minimised or restored the window on screen.
        if (m_hwnd && isWindow() && event->type() == QEvent::WindowStateChange)
            win32_display::DisplayWindowMinimized(m_hwnd,
                                                  (windowState() & Qt::WindowMinimized) != 0);
    }
    void moveEvent(QMoveEvent*) override { Report(); }
    void resizeEvent(QResizeEvent*) override { Report(); }

private:
    void Report() {
        if (!m_hwnd || !isWindow() || !isVisible()) return;
        QRect g = geometry();
        win32_display::DisplayWindowMoved(
            m_hwnd, RECT{g.x(), g.y(), g.x() + g.width(), g.y() + g.height()});
    }
    HWND m_hwnd;
};

int VirtualKey(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_F1:
            return VK_F1;
        case Qt::Key_F4:
            return VK_F4;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_Shift:
            return VK_SHIFT;
        case Qt::Key_Control:
            return VK_CONTROL;
        case Qt::Key_Alt:
            return VK_MENU;
    }
    return 0;
}

// Keys the dialog manager and DefWindowProc handle go through the queue as
// WM_KEYDOWN / WM_SYSKEYDOWN, so that IsDialogMessage sees them; every
// other key is left to the control's widget.
class KeyFilter : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            // The user moved the focus (a click): the window system follows.
            if (auto* widget = qobject_cast<QWidget*>(object)) {
                HWND hwnd = g_backend->WindowFor(widget);
                if (hwnd && GetFocus() != hwnd) win32_display::DisplayFocusChanged(hwnd);
            }
            return false;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool down = event->type() == QEvent::KeyPress;
        const auto mods = key->modifiers();
        win32_display::DisplayKeyState(VK_SHIFT, (mods & Qt::ShiftModifier) != 0);
        win32_display::DisplayKeyState(VK_CONTROL, (mods & Qt::ControlModifier) != 0);
        win32_display::DisplayKeyState(VK_MENU, (mods & Qt::AltModifier) != 0);
        int vk = VirtualKey(key);
        if (!vk || vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget) {
            if (auto* window = qobject_cast<QWindow*>(object)) {
                (void)window;
                return false;  // the widget gets the same event next
            }
            return false;
        }
        // Keys in the display's own dialogs (file dialog, message boxes)
        // stay theirs.
        if (!g_backend->WindowFor(widget->window())) return false;
        HWND target = GetFocus();
        if (!target) {
            for (QWidget* w = widget; w && !target; w = w->parentWidget())
                target = g_backend->WindowFor(w);
        }
        if (!target) return false;
        const bool alt = (mods & Qt::AltModifier) != 0;
        // F4 and Space go through the queue only with Alt (close, system
        // menu); without it they are the control's.
        if ((vk == VK_F4 || vk == VK_SPACE) && !alt) return false;
        LPARAM lparam = 1 | (alt ? (static_cast<LPARAM>(KF_ALTDOWN) << 16) : 0);
        if (!down) lparam |= static_cast<LPARAM>(0xC0000000u);
        UINT msg = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
        PostMessage(target, msg, static_cast<WPARAM>(vk), lparam);
        return true;
    }
};

}  // namespace

QtBackend* Backend() { return g_backend; }

QFont DialogFont(const char* face, int points) {
    // The dialog's own face when the system has it, else the sans-serif face.
    QFont font(QString::fromUtf8(face ? face : ""));
    font.setStyleHint(QFont::SansSerif);
    if (!QFontInfo(font).exactMatch()) font = QFont("DejaVu Sans");
    font.setPointSize(points > 0 ? points : 8);
    return font;
}

QtBackend::QtBackend() : m_threadId(GetCurrentThreadId()) {}

bool QtBackend::IsDisplayThread() { return GetCurrentThreadId() == m_threadId; }

void QtBackend::WaitForEvents(win32_display::Clock::time_point deadline, bool no_deadline) {
    // One timer a wait, so that a wait nested in a handler has its own.
    std::unique_ptr<QTimer> timer;
    if (!no_deadline) {
        // Qt's timers count whole milliseconds: the wait is rounded up, so
        // that it never ends before the deadline (the caller would wait
        // again at once, spinning through the last fraction of a
        // millisecond).
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - win32_display::Clock::now());
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        timer->start(static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX)));
    }
    QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtBackend::Wake() {
    if (auto* d = QAbstractEventDispatcher::instance(qApp->thread())) d->wakeUp();
}

void QtBackend::WindowCreated(HWND hwnd) {
    const DWORD style = StyleOf(hwnd);
    // The tooltip control shows nothing of its own: its tools' widgets
    // show the tips.
    if (strcasecmp(ClassOf(hwnd).c_str(), TOOLTIPS_CLASS) == 0) return;
    QWidget* parent = nullptr;
    if (style & WS_CHILD) parent = WidgetFor(GetParent(hwnd));
    QWidget* widget = CreateControlWidget(hwnd, ClassOf(hwnd), style, parent);
    if (!widget) {
        widget = new HostWidget(hwnd, parent);
        // Dialogs have the button face; other windows their class brush,
        // which the program's windows make white.
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window,
                         ClassOf(hwnd) == "#32770" ? SysColor(COLOR_BTNFACE) : QColor(Qt::white));
        widget->setPalette(palette);
        if (!parent) {
            Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
            if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
            if ((style & WS_MAXIMIZEBOX) && (style & WS_THICKFRAME))
                flags |= Qt::WindowMaximizeButtonHint;
            widget->setWindowFlags(flags);
        }
    }
    widget->setAttribute(Qt::WA_DontShowOnScreen, false);
    m_widgets[hwnd] = widget;
    m_windows[widget] = hwnd;
    widget->hide();
    if (!(style & WS_CHILD))
        widget->setWindowTitle(QString::fromStdString(win32_display::StoredWindowText(hwnd)));
    ApplyGeometry(hwnd, widget);
    widget->setEnabled(!(style & WS_DISABLED));
    if (!parent) ApplyIcon(hwnd, widget);
    if (style & WS_CHILD) {
        HWND& last = m_lastChild[GetParent(hwnd)];
        NameByLabel(last, WidgetFor(last), hwnd, widget);
        last = hwnd;
    }
    if (!(style & WS_CHILD)) AutomationWindowCreated(hwnd);
}

void QtBackend::WindowDestroyed(HWND hwnd) {
    auto it = m_widgets.find(hwnd);
    if (it == m_widgets.end()) return;
    QWidget* widget = it->second;
    m_widgets.erase(it);
    m_lastChild.erase(hwnd);
    for (auto& [parent, last] : m_lastChild)
        if (last == hwnd) last = nullptr;
    m_windows.erase(widget);
    if (auto* host = dynamic_cast<HostWidget*>(widget)) host->Detach();
    if (auto* button = dynamic_cast<OwnerDrawButton*>(widget)) button->Detach();
    widget->setProperty("hwnd", QVariant());
    widget->hide();
    // Children of a destroyed window have gone first; the widget may be
    // running one of its own handlers now, so it goes once Qt is idle.
    widget->setParent(nullptr);
    widget->deleteLater();
}

void QtBackend::ApplyGeometry(HWND hwnd, QWidget* widget) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    if (StyleOf(hwnd) & WS_CHILD) {
        POINT origin{0, 0};
        ClientToScreen(GetParent(hwnd), &origin);
        int height = rc.bottom - rc.top;
        // A drop-down list's height in the template includes its open list;
        // closed, it is one line high.
        if (qobject_cast<QComboBox*>(widget))
            height = std::min(height, widget->sizeHint().height());
        widget->setGeometry(rc.left - origin.x, rc.top - origin.y, rc.right - rc.left, height);
        return;
    }
    widget->setGeometry(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    // Windows without a sizing border cannot be resized or maximised.
    if (!(StyleOf(hwnd) & WS_THICKFRAME))
        widget->setFixedSize(rc.right - rc.left, rc.bottom - rc.top);
}

void QtBackend::WindowChanged(HWND hwnd, unsigned changes) {
    QWidget* widget = WidgetFor(hwnd);
    if (!widget) return;
    const DWORD style = StyleOf(hwnd);
    if (changes & win32_display::kGeometry) ApplyGeometry(hwnd, widget);
    if (changes & win32_display::kText) {
        QString text = QString::fromStdString(win32_display::StoredWindowText(hwnd));
        if (!(style & WS_CHILD)) widget->setWindowTitle(text);
        SetWidgetText(widget, hwnd, text);
        if (auto* button = dynamic_cast<OwnerDrawButton*>(widget)) button->Invalidate();
    }
    if (changes & win32_display::kEnabled) widget->setEnabled(!(style & WS_DISABLED));
    if (changes & win32_display::kZOrder) widget->raise();
    if (changes & win32_display::kVisibility) widget->setVisible((style & WS_VISIBLE) != 0);
    if (changes & win32_display::kMinimized) {
        if (IsIconic(hwnd))
            widget->showMinimized();
        else if (style & WS_VISIBLE)
            widget->showNormal();
    }
    if (changes & win32_display::kFocus) widget->setFocus(Qt::OtherFocusReason);
    if (changes & win32_display::kForeground) {
        widget->raise();
        widget->activateWindow();
    }
    if (changes & win32_display::kStyle) widget->update();
    if (changes & win32_display::kIcon) ApplyIcon(hwnd, widget);
}

void QtBackend::ApplyIcon(HWND hwnd, QWidget* widget) {
    if (!widget->isWindow()) return;
    // The window icon has every image of the big and the small icon, so
    // that the window manager picks the size it shows.
    QIcon icon;
    for (int which : {ICON_BIG, ICON_SMALL}) {
        if (auto* object = ObjectAs<GdiIcon>(win32_display::StoredWindowIcon(hwnd, which)))
            for (const QSize& size : object->icon.availableSizes())
                icon.addPixmap(object->icon.pixmap(size));
    }
    widget->setWindowIcon(icon);
}

void QtBackend::TrackSystemMenu(HWND hwnd, POINT screen) {
    QWidget* widget = WidgetFor(hwnd);
    if (!widget) return;
    QMenu menu;
    UINT_PTR chosen = 0;
    bool chose = false;
    for (const auto& item : win32_display::SystemMenuItems(hwnd)) {
        if (item.flags & MF_SEPARATOR) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        const UINT_PTR id = item.id;
        QObject::connect(action, &QAction::triggered, [&chosen, &chose, id] {
            chosen = id;
            chose = true;
        });
        if (id == SC_CLOSE) menu.setDefaultAction(action);
    }
    bool closed = false;
    const DWORD thread = GetCurrentThreadId();
    QObject::connect(&menu, &QMenu::aboutToHide, [&closed, thread] {
        closed = true;
        PostThreadMessage(thread, WM_NULL, 0, 0);  // the modal loop looks again
    });
    menu.popup(QPoint(screen.x, screen.y));
    if (!win32_display::RunModalLoop([&] { return closed; })) menu.close();
    if (chose && IsWindow(hwnd))
        PostMessage(hwnd, WM_SYSCOMMAND, chosen,
                    MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
}

SIZE QtBackend::DialogBaseUnits(const char* face, int points) {
    QFontMetrics fm(DialogFont(face, points));
    const int width = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return SIZE{(width / 26 + 1) / 2, fm.height()};
}

void QtBackend::SetDialogFont(HWND hDlg, const char* face, int points) {
    // Widgets created inside the dialog afterwards inherit the font.
    if (QWidget* widget = WidgetFor(hDlg)) widget->setFont(DialogFont(face, points));
}

QWidget* QtBackend::WidgetFor(HWND hwnd) const {
    auto it = m_widgets.find(hwnd);
    return it == m_widgets.end() ? nullptr : it->second;
}

HWND QtBackend::WindowFor(const QWidget* widget) const {
    auto it = m_windows.find(widget);
    return it == m_windows.end() ? nullptr : it->second;
}

void Install() {
    if (g_backend) return;
    if (!qApp) {
        static int argc = 1;
        static char name[] = "tapeloom";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(new KeyFilter);
    g_backend = new QtBackend;
    RegisterControlClasses();
    InstallAccessibility();
    win32_display::SetDisplayBackend(g_backend);
}

bool SaveWindowImage(HWND hwnd, const char* path) {
    QWidget* widget = g_backend ? g_backend->WidgetFor(hwnd) : nullptr;
    if (!widget) return false;
    return widget->grab().save(QString::fromUtf8(path), "PNG");
}

}  // namespace qt_display

#include "qt/widgetof.h"

QWidget* qt_display::WidgetOf(HWND hwnd) {
    return g_backend ? g_backend->WidgetFor(hwnd) : nullptr;
}
