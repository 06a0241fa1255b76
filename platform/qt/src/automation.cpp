// Automation over a Unix stream socket whose path is in TAPELOOM_AUTOMATION.
//
// When the process creates its first top-level window (on the display
// thread, before the window's first message) it connects, sends
// "hello <pid>" and waits for a "go" line: until then the process stands
// still, which lets a test act while the program is still starting.  A
// process that never creates a top-level window never connects.
//
// After "go" a thread of its own reads one request a line and answers with
// zero or more lines and then a line ".".  Every request runs on the
// display thread, between two of its looks at the queue, as input does.
// Clicks and the close box act just after the answer, since what they
// start (a modal dialog) may run for long:
//
//   windows                 top-level windows: hwnd, visible, enabled,
//                           iconic, foreground, owner, "title"
//   children HWND           child windows: hwnd, id, class, visible,
//                           left top right bottom (screen), "text"
//   key HWND NAME [alt]     presses and releases a key (escape, enter, tab,
//                           f1, f4) on the focused control of HWND's window
//   focus HWND              moves the keyboard focus to a control
//   click HWND              clicks a button with the mouse
//   close HWND              the close box of a top-level window
//   syscommand HWND CMD     chooses CMD from the window's system menu
//   cover                   shows another top-level window and brings it to
//                           the front (the program's window goes behind)
//   shot HWND PATH          saves a PNG picture of the window
//   enabled HWND            "1" when the window takes input, else "0"
//   choose HWND INDEX       picks an item of a drop-down list, as the user
//                           does (the control notifies its parent)
//   modal                   the display's own modal window in front, if any:
//                           "filedialog "title"" or "messagebox "text""
//   save PATH               types PATH as the file name into the save-file
//                           dialog in front and presses Enter
//   answer yes|no|ok        presses that button of the message box in front
//   platform                the name of Qt's platform plugin in use
//                           (xcb, wayland, offscreen)
//
// Handles are written and read in hexadecimal.  Requests that fail answer
// "error ..." before the ".".
#include "automation.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "qt/display.h"
#include "qtbackend.h"
#include "winbase.h"

namespace qt_display {

namespace {

// Display thread only.
bool g_connected = false;
std::vector<HWND> g_top_levels;

std::string Hex(const void* handle) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

HWND ParseHwnd(std::istream& in) {
    std::string word;
    in >> word;
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(word.c_str(), nullptr, 16)));
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += (c == '"' || c == '\n') ? '_' : c;
    return out + "\"";
}

std::string TextOf(HWND hwnd) {
    char text[512];
    GetWindowText(hwnd, text, sizeof text);
    return text;
}

bool SendLine(int fd, std::string line) {
    line += '\n';
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = send(fd, p, left, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Reads one line (without its break); false at the end of the stream.
bool ReadLine(int fd, std::string* line) {
    line->clear();
    char c;
    for (;;) {
        ssize_t n = recv(fd, &c, 1, 0);
        if (n <= 0) return false;
        if (c == '\n') return true;
        *line += c;
    }
}

int KeyOf(const std::string& name) {
    if (name == "escape") return Qt::Key_Escape;
    if (name == "enter") return Qt::Key_Return;
    if (name == "tab") return Qt::Key_Tab;
    if (name == "f1") return Qt::Key_F1;
    if (name == "f4") return Qt::Key_F4;
    return 0;
}

LRESULT CALLBACK CoverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProc(hwnd, msg, wp, lp);
}

// The display's modal window in front: a message box over a file dialog.
QWidget* FrontModal() {
    QWidget* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        if (qobject_cast<QMessageBox*>(w)) return w;
        if (qobject_cast<QFileDialog*>(w)) dialog = w;
    }
    return dialog;
}

using Lines = std::vector<std::string>;

// One request as its handler sees it: the rest of the line and, for a verb
// on a window, that window (it exists and is one of the display's).
struct Request {
    std::istream& in;
    QtBackend* backend;
    HWND hwnd = nullptr;
    QWidget* widget = nullptr;
};

Lines ListWindows(Request&) {
    Lines out;
    for (HWND hwnd : g_top_levels) {
        if (!IsWindow(hwnd)) continue;
        std::ostringstream line;
        line << Hex(hwnd) << " visible=" << (IsWindowVisible(hwnd) ? 1 : 0)
             << " enabled=" << (IsWindowEnabled(hwnd) ? 1 : 0)
             << " iconic=" << (IsIconic(hwnd) ? 1 : 0)
             << " foreground=" << (GetForegroundWindow() == hwnd ? 1 : 0)
             << " owner=" << Hex(reinterpret_cast<void*>(GetWindowLongPtr(hwnd, GWLP_HWNDPARENT)))
             << " " << Quoted(TextOf(hwnd));
        out.push_back(line.str());
    }
    return out;
}

Lines PlatformName(Request&) { return {QGuiApplication::platformName().toStdString()}; }

Lines Cover(Request&) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = CoverProc;
        wc.lpszClassName = "AutomationCover";
        RegisterClassEx(&wc);
        registered = true;
    }
    HWND cover =
        CreateWindowEx(0, "AutomationCover", "Another program", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                       0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    if (!cover) return {"error cannot create"};
    SetForegroundWindow(cover);
    return {Hex(cover)};
}

// The display's own modal windows (Qt's file dialog and message box) have
// no window handles: they are reached as the one in front.

Lines DescribeModal(Request&) {
    QWidget* modal = FrontModal();
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        return {"messagebox " + Quoted(box->text().toStdString())};
    if (auto* dialog = qobject_cast<QFileDialog*>(modal))
        return {"filedialog " + Quoted(dialog->windowTitle().toStdString())};
    return {};
}

Lines SaveAs(Request& request) {
    std::string path;
    std::getline(request.in >> std::ws, path);
    auto* dialog = qobject_cast<QFileDialog*>(FrontModal());
    if (!dialog) return {"error no file dialog"};
    const QString name = QString::fromStdString(path);
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!edit) return {"error no file name field"};
    // Later, not inside this request: accepting may ask a question.
    // The name is typed and Enter pressed, as the user does.
    QTimer::singleShot(0, edit, [edit, name] {
        edit->setText(name);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &press);
    });
    return {};
}

Lines AnswerMessageBox(Request& request) {
    std::string which;
    request.in >> which;
    auto* box = qobject_cast<QMessageBox*>(FrontModal());
    if (!box) return {"error no message box"};
    const QMessageBox::StandardButton b = which == "yes"  ? QMessageBox::Yes
                                          : which == "no" ? QMessageBox::No
                                                          : QMessageBox::Ok;
    QAbstractButton* button = box->button(b);
    if (!button) return {"error no such button"};
    QTimer::singleShot(0, button, [button] { button->click(); });
    return {};
}

Lines ListChildren(Request& request) {
    Lines out;
    for (QObject* child : request.widget->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        HWND c = w ? request.backend->WindowFor(w) : nullptr;
        if (!c) continue;
        char name[64] = "";
        GetClassName(c, name, sizeof name);
        RECT rc{};
        GetWindowRect(c, &rc);
        std::ostringstream line;
        line << Hex(c) << " " << GetDlgCtrlID(c) << " " << name << " "
             << (IsWindowVisible(c) ? 1 : 0) << " " << rc.left << " " << rc.top << " " << rc.right
             << " " << rc.bottom << " " << Quoted(TextOf(c));
        out.push_back(line.str());
    }
    return out;
}

Lines PressKey(Request& request) {
    std::string name, alt;
    request.in >> name >> alt;
    const int key = KeyOf(name);
    if (!key) return {"error unknown key"};
    // The key goes to the control that has the focus, if it is in this
    // window, else to the window itself.
    QWidget* target = request.widget;
    HWND focus = GetFocus();
    if (focus && (focus == request.hwnd || IsChild(request.hwnd, focus)))
        if (QWidget* f = request.backend->WidgetFor(focus)) target = f;
    const auto mods = alt == "alt" ? Qt::AltModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    return {};
}

Lines Focus(Request& request) {
    SetFocus(request.hwnd);
    return {};
}

Lines Click(Request& request) {
    auto* button = qobject_cast<QAbstractButton*>(request.widget);
    if (!button) return {"error not a button"};
    // Later, not inside this request: a click may run a modal loop.
    QTimer::singleShot(0, button, [button] { button->click(); });
    return {};
}

Lines Enabled(Request& request) { return {IsWindowEnabled(request.hwnd) ? "1" : "0"}; }

Lines Choose(Request& request) {
    int index = -1;
    request.in >> index;
    auto* combo = qobject_cast<QComboBox*>(request.widget);
    if (!combo) return {"error not a drop-down list"};
    if (index < 0 || index >= combo->count()) return {"error no such item"};
    // Later: the parent's handler may start a modal message box.
    QTimer::singleShot(0, combo, [combo, index] { combo->setCurrentIndex(index); });
    return {};
}

Lines Close(Request& request) {
    QWidget* widget = request.widget;
    QTimer::singleShot(0, widget, [widget] { widget->close(); });
    return {};
}

Lines SysCommand(Request& request) {
    std::string command;
    request.in >> command;
    PostMessage(request.hwnd, WM_SYSCOMMAND, std::strtoul(command.c_str(), nullptr, 0), 0);
    return {};
}

Lines Shot(Request& request) {
    std::string path;
    request.in >> path;
    if (!SaveWindowImage(request.hwnd, path.c_str())) return {"error cannot save"};
    return {};
}

// The verbs: a request's first word picks its handler.
struct Verb {
    std::string_view name;
    bool onWindow;  // the first argument is a window handle
    Lines (*run)(Request&);
};

constexpr Verb kVerbs[] = {
    {"windows", false, ListWindows},
    {"platform", false, PlatformName},
    {"cover", false, Cover},
    {"modal", false, DescribeModal},
    {"save", false, SaveAs},
    {"answer", false, AnswerMessageBox},
    {"children", true, ListChildren},
    {"key", true, PressKey},
    {"focus", true, Focus},
    {"click", true, Click},
    {"enabled", true, Enabled},
    {"choose", true, Choose},
    {"close", true, Close},
    {"syscommand", true, SysCommand},
    {"shot", true, Shot},
};

// Runs one request on the display thread; returns the answer's lines.
Lines Handle(const std::string& text) {
    std::istringstream in(text);
    std::string name;
    in >> name;
    const Verb* verb = nullptr;
    for (const Verb& v : kVerbs)
        if (v.name == name) verb = &v;
    Request request{in, Backend()};
    // The window is checked before the verb is known to exist: an unknown
    // verb whose first argument is no window answers "no such window".
    if (!verb || verb->onWindow) {
        request.hwnd = ParseHwnd(in);
        request.widget = request.backend ? request.backend->WidgetFor(request.hwnd) : nullptr;
        if (!IsWindow(request.hwnd) || !request.widget) return {"error no such window"};
    }
    if (!verb) return {"error unknown request"};
    return verb->run(request);
}

void Serve(int fd) {
    std::string request;
    while (ReadLine(fd, &request)) {
        // The promise, not Qt's blocking call, hands the answer back, so
        // that the hand-over is visible to the thread checker.
        std::promise<std::vector<std::string>> done;
        QMetaObject::invokeMethod(
            qApp, [&done, request] { done.set_value(Handle(request)); }, Qt::QueuedConnection);
        const std::vector<std::string> answer = done.get_future().get();
        for (const std::string& line : answer)
            if (!SendLine(fd, line)) break;
        if (!SendLine(fd, ".")) break;
    }
    close(fd);
}

// Connects and waits for "go" (at most a minute); -1 when there is no test.
int Connect(const char* path) {
    sockaddr_un addr{};
    if (std::strlen(path) >= sizeof addr.sun_path) return -1;
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    timeval timeout{60, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string go;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        !SendLine(fd, "hello " + std::to_string(getpid())) || !ReadLine(fd, &go) || go != "go") {
        close(fd);
        return -1;
    }
    timeval none{0, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    return fd;
}

}  // namespace

void AutomationWindowCreated(HWND hwnd) {
    const char* path = std::getenv("TAPELOOM_AUTOMATION");
    if (!path || !*path) return;
    g_top_levels.push_back(hwnd);
    if (g_connected) return;
    g_connected = true;
    int fd = Connect(path);
    if (fd >= 0) std::thread(Serve, fd).detach();
}

}  // namespace qt_display
