// SetTimer / KillTimer.  A window's timer runs on the window's thread; a
// timer without a window on the calling thread.  WM_TIMER is made by
// GetMessage when nothing else is waiting and a timer is due.
#include "messagequeue.h"
#include "winbase.h"
#include "windowtable.h"

using namespace win32_detail;

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    std::shared_ptr<MessageQueue> queue = hWnd ? WindowQueue(hWnd) : CurrentQueue();
    if (!queue) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return queue->SetTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::shared_ptr<MessageQueue> queue = hWnd ? WindowQueue(hWnd) : CurrentQueueIfAny();
    if (!queue || !queue->KillTimer(hWnd, uIDEvent)) {
        SetLastError(hWnd && !queue ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
