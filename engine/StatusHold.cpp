// Keeping the status polling thread and the statistics thread away from
// the graph while it changes.
#include "CapturePanel.h"

namespace {

// How long a hold waits for the polling thread to acknowledge.
const DWORD kPollHoldTimeoutMs = 10000;

}  // namespace

BOOL CCapturePanel::HoldStatusThreads() {
    {
        std::unique_lock<std::mutex> lock(m_holdLock);
        if (m_nHoldCount++ > 0) {
            // A hold is already in force (or being established by another
            // thread): the threads are, or are about to be, idle.  Asking
            // the held statistics thread again would never be answered.
            m_holdDone.wait(lock, [this] { return m_bHoldInForce; });
            return TRUE;
        }
    }

    HANDLE hHeldEvent = CreateEvent(NULL, TRUE, FALSE, NULL);
    m_bStatsHold = true;
    if (m_pStatsThread != NULL && hHeldEvent != NULL) {
        // Wait only for a request that reached the thread's queue.  A thread
        // that has just started may not have its queue yet: ask again until
        // the request gets there or the thread has ended.
        for (;;) {
            if (::PostThreadMessage(m_pStatsThread->m_nThreadID, WM_HOLDSTATS,
                                    reinterpret_cast<WPARAM>(hHeldEvent), 0)) {
                WaitForSingleObject(hHeldEvent, INFINITE);
                break;
            }
            if (m_pStatsThread->m_hThread == NULL ||
                WaitForSingleObject(m_pStatsThread->m_hThread, 1) != WAIT_TIMEOUT)
                break;
        }
    }
    if (hHeldEvent != NULL) CloseHandle(hHeldEvent);

    // The paused event may still be set by the polling thread from an
    // earlier hold; only a pass that sees this hold's flag may set it now.
    if (m_hPollPausedEvent != NULL) ResetEvent(m_hPollPausedEvent);
    m_bPollPause = true;
    if (m_hPollPausedEvent != NULL) WaitForSingleObject(m_hPollPausedEvent, kPollHoldTimeoutMs);

    {
        std::lock_guard<std::mutex> lock(m_holdLock);
        m_bHoldInForce = true;
    }
    m_holdDone.notify_all();
    return TRUE;
}

BOOL CCapturePanel::ResumeStatusThreads() {
    std::lock_guard<std::mutex> lock(m_holdLock);
    if (m_nHoldCount == 0) return TRUE;  // no hold to end
    if (--m_nHoldCount == 0) {
        m_bHoldInForce = false;
        m_bPollPause = false;
        m_bStatsHold = false;
    }
    return TRUE;
}
