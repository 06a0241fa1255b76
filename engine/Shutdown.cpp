// The panel's shutdown: the threads end, the graph and the windows go, the
// settings are saved and the unused next output file is deleted.
#include "CapturePanel.h"
#include "DeviceList.h"

namespace {

// How long the polling thread is given to end.
const DWORD kPollEndTimeoutMs = 10000;

// Posts WM_QUIT to a thread and waits for it to end.  A thread that has
// only just started may not have its message queue yet: the request is
// repeated until it gets there or the thread has ended.
void QuitAndWait(CWinThread* pThread) {
    for (;;) {
        if (pThread->PostThreadMessage(WM_QUIT, 0, 0)) {
            WaitForSingleObject(pThread->m_hThread, INFINITE);
            return;
        }
        if (WaitForSingleObject(pThread->m_hThread, 1) != WAIT_TIMEOUT) return;
    }
}

}  // namespace

void CCapturePanel::StopWorkerBuilds() {
    m_bShuttingDown = true;
    // The worker fills the panel's controls with calls that this thread
    // carries out, so it is waited for with those calls answered meanwhile.
    // Once it has seen the flag it starts nothing more.
    while (m_bWorkerBusy) {
        MSG msg;
        PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE);
        Sleep(1);
    }
}

void CCapturePanel::EndStatusThreads() {
    if (m_hStopPollEvent != NULL) {
        SetEvent(m_hStopPollEvent);
        bool bEnded = true;
        if (m_hPollThread != INVALID_HANDLE_VALUE) {
            // A handle the runtime has already closed means an ended thread.
            bEnded = WaitForSingleObject(m_hPollThread, kPollEndTimeoutMs) != WAIT_TIMEOUT;
            m_hPollThread = INVALID_HANDLE_VALUE;
        }
        if (bEnded) {
            CloseHandle(m_hStopPollEvent);
        } else {
            // The thread is still inside a device call.  It ends without
            // touching the panel once the call returns (it sees the stop
            // event, which therefore stays open), and the interfaces it may
            // be calling stay alive for it: they are never released.
            if (m_pTransport != NULL) m_pTransport->AddRef();
            if (m_pTimecodeReader != NULL) m_pTimecodeReader->AddRef();
        }
        if (m_hPollPausedEvent != NULL) CloseHandle(m_hPollPausedEvent);
        m_hStopPollEvent = NULL;
        m_hPollPausedEvent = NULL;
    }
    if (m_pStatsThread != NULL) {
        QuitAndWait(m_pStatsThread);
        delete m_pStatsThread;
        m_pStatsThread = NULL;
    }
}

void CCapturePanel::OnDestroy() {
    CDialog::OnDestroy();
    // Before anything is released, the worker must be out of its build.
    StopWorkerBuilds();

    if (m_pBuilder != NULL && m_bCapturing) StopRecording();
    EndStatusThreads();
    if (m_nTimerId != 0) KillTimer(m_nTimerId);
    TeardownGraph();
    if (m_hNotifyWnd != NULL) {
        ::DestroyWindow(m_hNotifyWnd);
        m_hNotifyWnd = NULL;
    }
    if (m_pWorkerThread != NULL) {
        QuitAndWait(m_pWorkerThread);
        delete m_pWorkerThread;
        m_pWorkerThread = NULL;
    }
    if (m_hBannerBitmap != NULL) {
        DeleteObject(m_hBannerBitmap);
        m_hBannerBitmap = NULL;
    }
    if (m_pDeviceList != NULL) {
        m_pDeviceList->Clear();
        delete m_pDeviceList;
        m_pDeviceList = NULL;
    }
    SaveSettings();
    DeleteIfExists(m_strCaptureFile.c_str());
}
