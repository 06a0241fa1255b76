// The dialog manager: dialogs from templates, the modal loop, EndDialog and
// the dialog keyboard (Tab, Shift+Tab, Enter, Escape, F1).
#include <cstring>
#include <map>

#include "messagequeue.h"
#include "win32/display.h"
#include "win32/resources.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

namespace {

constexpr char kDialogClass[] = "#32770";

struct DialogInfo {
    SIZE base{6, 13};  // base units of the dialog's font
    bool ended = false;
    INT_PTR result = 0;
    HWND last_focus = nullptr;
};

// Only the dialog's own thread touches its entry; the lock guards the map.
std::mutex g_dialogs_mutex;
std::map<HWND, DialogInfo>& Dialogs() {
    static auto* dialogs = new std::map<HWND, DialogInfo>;
    return *dialogs;
}

bool GetInfo(HWND hDlg, DialogInfo* out) {
    std::lock_guard<std::mutex> lock(g_dialogs_mutex);
    auto it = Dialogs().find(hDlg);
    if (it == Dialogs().end()) return false;
    *out = it->second;
    return true;
}

template <class F>
void UpdateInfo(HWND hDlg, F f) {
    std::lock_guard<std::mutex> lock(g_dialogs_mutex);
    auto it = Dialogs().find(hDlg);
    if (it != Dialogs().end()) f(it->second);
}

bool IsDialogWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(g_dialogs_mutex);
    return Dialogs().count(hwnd) != 0;
}

LRESULT CALLBACK DialogWindowProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefDlgProc(hDlg, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        std::lock_guard<std::mutex> lock(g_dialogs_mutex);
        Dialogs().erase(hDlg);
    }
    return result;
}

void RegisterDialogClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEX wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DialogWindowProc;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.lpszClassName = kDialogClass;
        RegisterClassEx(&wc);
    });
}

int ToPixels(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

std::vector<HWND> ChildrenOf(HWND hwnd) {
    std::lock_guard<std::mutex> lock(WindowLock());
    Window* w = FindWindowLocked(hwnd);
    return w ? w->children : std::vector<HWND>{};
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }

// Tab stops of a dialog in tab order; child dialogs count as part of it.
void CollectTabStops(HWND parent, std::vector<HWND>* out) {
    for (HWND c : ChildrenOf(parent)) {
        DWORD style = StyleOf(c);
        if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
        if (IsDialogWindow(c) || (GetWindowLongPtr(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT))
            CollectTabStops(c, out);
        else if (style & WS_TABSTOP)
            out->push_back(c);
    }
}

HWND FirstTabStop(HWND hDlg) {
    std::vector<HWND> stops;
    CollectTabStops(hDlg, &stops);
    return stops.empty() ? nullptr : stops.front();
}

// The innermost dialog that contains hwnd (or is it).
HWND DialogOf(HWND hwnd) {
    for (HWND h = hwnd; h; h = GetParent(h)) {
        if (IsDialogWindow(h)) return h;
        if (!(StyleOf(h) & WS_CHILD)) break;
    }
    return nullptr;
}

void SendCommand(HWND hDlg, int id) {
    HWND control = GetDlgItem(hDlg, id);
    if (control && !IsWindowEnabled(control)) return;
    SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

}  // namespace

LRESULT DefDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtr(hDlg, DWLP_DLGPROC));
    if (proc) {
        SetWindowLongPtr(hDlg, DWLP_MSGRESULT, 0);
        INT_PTR handled = proc(hDlg, msg, wParam, lParam);
        if (handled) {
            switch (msg) {
                // These return the procedure's own result.
                case WM_INITDIALOG:
                case WM_QUERYDRAGICON:
                case WM_CTLCOLORSTATIC:
                    return handled;
            }
            return GetWindowLongPtr(hDlg, DWLP_MSGRESULT);
        }
    }
    switch (msg) {
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel))
                SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                            reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case WM_SETFOCUS: {
            DialogInfo info;
            HWND target = GetInfo(hDlg, &info) && IsWindow(info.last_focus) ? info.last_focus
                                                                            : FirstTabStop(hDlg);
            if (target) SetFocus(target);
            return 0;
        }
        case DM_GETDEFID: {
            for (HWND c : ChildrenOf(hDlg)) {
                if (SendMessage(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
                    return MAKELONG(GetDlgCtrlID(c), DC_HASDEFID);
            }
            return 0;
        }
    }
    return DefWindowProc(hDlg, msg, wParam, lParam);
}

HWND CreateDialogParam(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (!IS_INTRESOURCE(lpTemplateName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const auto* t =
        win32_resources::FindDialog(static_cast<int>(reinterpret_cast<uintptr_t>(lpTemplateName)));
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    RegisterDialogClass();
    DialogInfo info;
    win32_display::Backend* display = win32_display::DisplayBackend();
    if (display && !display->IsDisplayThread()) display = nullptr;
    if (display) info.base = display->DialogBaseUnits(t->font_face, t->font_points);
    auto px = [&](int u) { return ToPixels(u, info.base.cx, 4); };
    auto py = [&](int u) { return ToPixels(u, info.base.cy, 8); };

    const bool child = (t->style & WS_CHILD) != 0;
    int x = px(t->x), y = py(t->y);
    if (!child && hWndParent) {
        // A top-level dialog is placed relative to its owner's client area.
        POINT origin{0, 0};
        ClientToScreen(hWndParent, &origin);
        x += origin.x;
        y += origin.y;
    }
    HWND hDlg = CreateWindowEx(t->ex_style, kDialogClass, t->caption, t->style & ~WS_VISIBLE, x, y,
                               px(t->cx), py(t->cy), hWndParent, nullptr, hInstance, nullptr);
    if (!hDlg) return nullptr;
    {
        std::lock_guard<std::mutex> lock(g_dialogs_mutex);
        Dialogs()[hDlg] = info;
    }
    SetWindowLongPtr(hDlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(lpDialogFunc));
    // The controls show their text in the font the base units came from,
    // so that a text laid out in dialog units fits its control.
    if (display) display->SetDialogFont(hDlg, t->font_face, t->font_points);
    for (int i = 0; i < t->item_count; ++i) {
        const auto& item = t->items[i];
        HWND control = CreateWindowEx(
            item.ex_style, item.class_name, item.text, item.style | WS_CHILD, px(item.x),
            py(item.y), px(item.cx), py(item.cy), hDlg,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), hInstance, nullptr);
        if (!control) {
            DestroyWindow(hDlg);
            return nullptr;
        }
    }
    HWND first = FirstTabStop(hDlg);
    if (SendMessage(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), dwInitParam) && first &&
        IsWindow(hDlg))
        SetFocus(first);
    if (IsWindow(hDlg) && (t->style & WS_VISIBLE)) ShowWindow(hDlg, SW_SHOW);
    return IsWindow(hDlg) ? hDlg : nullptr;
}

INT_PTR DialogBoxParam(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND owner = hWndParent;
    while (owner && (StyleOf(owner) & WS_CHILD)) owner = GetParent(owner);
    const bool disable_owner = owner && IsWindowEnabled(owner);
    if (disable_owner) EnableWindow(owner, FALSE);
    HWND hDlg = CreateDialogParam(hInstance, lpTemplateName, owner, lpDialogFunc, dwInitParam);
    if (!hDlg) {
        if (disable_owner) EnableWindow(owner, TRUE);
        return -1;
    }
    DialogInfo info;
    if (GetInfo(hDlg, &info) && !info.ended) ShowWindow(hDlg, SW_SHOW);
    win32_display::RunModalLoop([&] { return !GetInfo(hDlg, &info) || info.ended; });
    if (disable_owner) EnableWindow(owner, TRUE);
    INT_PTR result = GetInfo(hDlg, &info) ? info.result : -1;
    if (IsWindow(hDlg)) DestroyWindow(hDlg);
    if (owner && IsWindow(owner)) SetForegroundWindow(owner);
    return result;
}

bool win32_display::RunModalLoop(const std::function<bool()>& ended) {
    MSG msg;
    while (!ended()) {
        BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == -1) return false;
        if (!got) {
            // WM_QUIT ends the modal loop and goes on to the next loop out.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        HWND dialog = DialogOf(msg.hwnd);
        if (!dialog || !IsDialogMessage(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    return true;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    if (!IsDialogWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    UpdateInfo(hDlg, [&](DialogInfo& info) {
        info.ended = true;
        info.result = nResult;
    });
    ShowWindow(hDlg, SW_HIDE);
    PostMessage(hDlg, WM_NULL, 0, 0);  // wakes the modal loop
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    for (HWND c : ChildrenOf(hDlg))
        if (GetDlgCtrlID(c) == nIDDlgItem) return c;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

LRESULT SendDlgItemMessage(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SendMessage(control, Msg, wParam, lParam) : 0;
}

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    std::vector<HWND> stops;
    CollectTabStops(hDlg, &stops);
    if (stops.empty()) return nullptr;
    size_t n = stops.size();
    for (size_t i = 0; i < n; ++i) {
        if (stops[i] == hCtl) return stops[bPrevious ? (i + n - 1) % n : (i + 1) % n];
    }
    return bPrevious ? stops.back() : stops.front();
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect) {
    DialogInfo info;
    if (!GetInfo(hDlg, &info) || !lpRect) return FALSE;
    lpRect->left = ToPixels(lpRect->left, info.base.cx, 4);
    lpRect->right = ToPixels(lpRect->right, info.base.cx, 4);
    lpRect->top = ToPixels(lpRect->top, info.base.cy, 8);
    lpRect->bottom = ToPixels(lpRect->bottom, info.base.cy, 8);
    return TRUE;
}

BOOL IsDialogMessage(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !lpMsg->hwnd || (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)))
        return FALSE;
    if (lpMsg->message == WM_KEYDOWN) {
        const LRESULT code =
            SendMessage(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
        switch (lpMsg->wParam) {
            case VK_TAB:
                if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) break;
                if (HWND next = GetNextDlgTabItem(hDlg, GetFocus(), GetKeyState(VK_SHIFT) < 0)) {
                    SetFocus(next);
                    UpdateInfo(hDlg, [&](DialogInfo& info) { info.last_focus = next; });
                }
                return TRUE;
            case VK_RETURN: {
                if (code & DLGC_WANTALLKEYS) break;
                HWND focus = GetFocus();
                int id = IDOK;
                if (focus && (SendMessage(focus, WM_GETDLGCODE, 0, 0) &
                              (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
                    id = GetDlgCtrlID(focus);
                else if (LRESULT def = SendMessage(hDlg, DM_GETDEFID, 0, 0);
                         HIWORD(def) == DC_HASDEFID)
                    id = LOWORD(def);
                SendCommand(hDlg, id);
                return TRUE;
            }
            case VK_ESCAPE:
                if (code & DLGC_WANTALLKEYS) break;
                SendCommand(hDlg, IDCANCEL);
                return TRUE;
        }
    }
    TranslateMessage(lpMsg);
    DispatchMessage(lpMsg);
    return TRUE;
}
