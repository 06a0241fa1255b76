// The statistics thread: while a recording runs, the frames the device
// dropped and the video captured since it started, shown in the panel's
// Dropped (1020) and Captured (1021) texts about every 15 ms.
#include <objbase.h>
#include <stdio.h>

#include "CapturePanel.h"
#include "StatusText.h"
#include "resource.h"

namespace {

const DWORD kStatisticsPeriodMs = 15;
const DWORD kHoldTurnMs = 10;

// The count since the start of the recording.  The device's counts only
// grow; the difference is taken modulo 2^32, as the 32-bit figures are.
LONG SinceStart(long lNow, LONG lBase) {
    return static_cast<LONG>(static_cast<DWORD>(lNow) - static_cast<DWORD>(lBase));
}

}  // namespace

UINT CCapturePanel::StatisticsThread(LPVOID pParam) {
    CCapturePanel* pPanel = static_cast<CCapturePanel*>(pParam);
    if (pPanel == NULL) return 0;
    const HWND hPanel = pPanel->GetSafeHwnd();

    CoInitialize(NULL);
    MSG msg;
    // The thread's queue exists from here on, so hold requests reach it.
    PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE);
    for (;;) {
        while (PeekMessage(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                CoUninitialize();
                return 1;
            }
            if (msg.message == WM_HOLDSTATS) {
                if (!pPanel->HoldStatistics(reinterpret_cast<HANDLE>(msg.wParam))) {
                    CoUninitialize();
                    return 1;
                }
                continue;
            }
            DispatchMessage(&msg);
        }
        pPanel->StatisticsPass(hPanel);
        Sleep(kStatisticsPeriodMs);
    }
}

bool CCapturePanel::HoldStatistics(HANDLE hHeldEvent) {
    // A request without an event, or one that comes after its hold has been
    // resumed, is taken from the queue and ignored.
    if (hHeldEvent == NULL) return true;
    bool bFirstTurn = true;
    while (m_bStatsHold) {
        if (bFirstTurn) SetEvent(hHeldEvent);
        bFirstTurn = false;
        MSG msg;
        // A hold made right after a resume, before this thread has seen the
        // flag clear, finds the thread still here: acknowledge it from here,
        // since the thread reads no other message while held.
        while (PeekMessage(&msg, NULL, WM_HOLDSTATS, WM_HOLDSTATS, PM_REMOVE))
            if (msg.wParam != 0) SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
        // The end of the thread is not put off by a hold: ending touches no
        // graph interface either.
        if (PeekMessage(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
        Sleep(kHoldTurnMs);
    }
    return true;
}

void CCapturePanel::StatisticsPass(HWND hPanel) {
    if (m_bCapturing && m_pDroppedFrames != NULL) {
        long lCount = 0;
        if (m_pDroppedFrames->GetNumDropped(&lCount) == S_OK)
            m_nDropped = SinceStart(lCount, m_nDroppedBase);
        lCount = 0;
        if (m_pDroppedFrames->GetNumNotDropped(&lCount) == S_OK)
            m_nNotDropped = SinceStart(lCount, m_nNotDroppedBase);
    }

    char szText[64];
    snprintf(szText, sizeof szText, "%d Frames", static_cast<int>(m_nDropped));
    SendStatusText(hPanel, IDC_DROPPED, szText);

    // Captured time at the standard's nominal rate; a part second is not
    // shown.
    const int nTotal = static_cast<int>(m_nNotDropped) / (m_nVideoStandard != 0 ? 25 : 30);
    snprintf(szText, sizeof szText, "%.2d:%.2d:%.2d", nTotal / 3600, nTotal % 3600 / 60,
             nTotal % 60);
    SendStatusText(hPanel, IDC_CAPTURED, szText);
}
