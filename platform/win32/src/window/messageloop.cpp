// Posted messages and the calls that take messages from the queue.
#include "messagequeue.h"
#include "win32/display.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

namespace {

MSG MakeMsg(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = static_cast<DWORD>(NowMs());
    return msg;
}

// Takes the next message for GetMessage (wait) or PeekMessage.  Order:
// sent messages are run first, then posted messages (WM_QUIT after all
// of them), then due timers.
bool Fetch(LPMSG msg, const MessageFilter& filter, bool remove, bool wait) {
    auto queue = CurrentQueue();
    bool polled_display = false;
    for (;;) {
        queue->NotePumped();
        ProcessIncomingSends(*queue);
        if (queue->TakePosted(filter, remove, msg)) return true;
        Clock::time_point due;
        bool has_due = false;
        if (queue->TakeTimer(filter, remove, msg, &due, &has_due)) return true;
        if (!wait) {
            // PeekMessage on the display thread lets the display handle
            // what is waiting (input, painting) once, without blocking.
            if (!queue->display_thread() || polled_display || !win32_display::DisplayBackend())
                return false;
            polled_display = true;
            queue->Wait(Clock::now(), false);
            continue;
        }
        queue->Wait(due, !has_due);
    }
}

bool FilterWindowValid(HWND hwnd) { return !hwnd || IsWindow(hwnd); }

}  // namespace

BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!hWnd) return PostThreadMessage(GetCurrentThreadId(), Msg, wParam, lParam);
    if (hWnd == HWND_BROADCAST) {
        for (HWND top : TopLevelWindows())
            if (auto queue = WindowQueue(top)) queue->Post(MakeMsg(top, Msg, wParam, lParam));
        return TRUE;
    }
    auto queue = WindowQueue(hWnd);
    if (!queue || !queue->Post(MakeMsg(hWnd, Msg, wParam, lParam))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessage(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto queue = FindQueue(idThread);
    if (!queue || !queue->Post(MakeMsg(nullptr, Msg, wParam, lParam))) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}

VOID PostQuitMessage(int nExitCode) { CurrentQueue()->PostQuit(nExitCode); }

BOOL GetMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!FilterWindowValid(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Fetch(lpMsg, MessageFilter{hWnd, wMsgFilterMin, wMsgFilterMax}, true, true);
    return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg || !FilterWindowValid(hWnd)) {
        SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Fetch(lpMsg, MessageFilter{hWnd, wMsgFilterMin, wMsgFilterMax},
                 (wRemoveMsg & PM_REMOVE) != 0, false)
               ? TRUE
               : FALSE;
}

LRESULT DispatchMessage(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    if (!lpMsg->hwnd) return 0;
    if (WindowThread(lpMsg->hwnd) != GetCurrentThreadId()) return 0;
    return CallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)) return FALSE;
    // Keys that stand for one character without regard to the shift state.
    WPARAM vk = lpMsg->wParam;
    WPARAM ch = 0;
    if (vk == VK_BACK || vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_SPACE ||
        (vk >= '0' && vk <= '9'))
        ch = vk;
    else if (vk >= 'A' && vk <= 'Z')
        ch = vk - 'A' + 'a';
    if (ch) {
        UINT message = lpMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
        PostMessage(lpMsg->hwnd, message, ch, lpMsg->lParam);
    }
    return TRUE;
}
