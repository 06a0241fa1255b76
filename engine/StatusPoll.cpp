// The status polling thread: the transport mode and the tape timecode,
// read about fifty times a second and shown in the panel's status (1016)
// and position (1015) texts.
#include <edevdefs.h>
#include <objbase.h>
#include <process.h>
#include <stdio.h>
#include <string.h>

#include "CapturePanel.h"
#include "StatusText.h"
#include "resource.h"

namespace {

// How long a pass waits for the stop event.
const DWORD kPollPeriodMs = 20;

const char* ModeText(long lMode) {
    switch (lMode) {
        case ED_MODE_PLAY:
            return "Play";
        case ED_MODE_STOP:
            return "Stop";
        case ED_MODE_FREEZE:
            return "Pause";
        case ED_MODE_FF:
        case ED_MODE_PLAY_FASTEST_FWD:
        case ED_MODE_PLAY_SLOWEST_FWD:
            return "FF";
        case ED_MODE_REW:
        case ED_MODE_PLAY_FASTEST_REV:
        case ED_MODE_PLAY_SLOWEST_REV:
            return "Rew";
        case ED_MODE_RECORD:
            return "Record";
        case ED_MODE_STEP_FWD:
            return "St. Fwd";
        case ED_MODE_RECORD_FREEZE:
            return "Re. Ps.";
        case ED_MODE_STEP_REV:
            return "St. Rwd";
        default:
            return "???";
    }
}

// The timecode's eight four-bit digits, most significant first, as
// hh:mm:ss:ff.  Digits are taken as they come: one above 9 still counts
// with its value, so a field may read up to 165.
void FormatTimecode(DWORD dwDigits, char* pszText, size_t nSize) {
    int anField[4];
    for (int i = 0; i < 4; ++i) {
        const int nTens = static_cast<int>(dwDigits >> (28 - 8 * i)) & 0xF;
        const int nUnits = static_cast<int>(dwDigits >> (24 - 8 * i)) & 0xF;
        anField[i] = nTens * 10 + nUnits;
    }
    snprintf(pszText, nSize, "%.2d:%.2d:%.2d:%.2d", anField[0], anField[1], anField[2], anField[3]);
}

}  // namespace

void __cdecl CCapturePanel::StatusPollThread(void* pParam) {
    CCapturePanel* pPanel = static_cast<CCapturePanel*>(pParam);
    if (pPanel == NULL) return;
    // Kept by the thread, so that it can tell it has been stopped without
    // looking at the panel.
    const HANDLE hStop = pPanel->m_hStopPollEvent;
    const HWND hPanel = pPanel->GetSafeHwnd();

    CoInitialize(NULL);
    for (;;) {
        const DWORD dwWait = WaitForSingleObject(hStop, kPollPeriodMs);
        if (dwWait == WAIT_OBJECT_0) break;
        // Without a stop event to wait on the passes keep their rhythm.
        if (dwWait != WAIT_TIMEOUT) Sleep(kPollPeriodMs);
        if (!PollPass(pPanel, hStop, hPanel)) break;
    }
    CoUninitialize();
}

bool CCapturePanel::PollPass(CCapturePanel* pPanel, HANDLE hStop, HWND hPanel) {
    if (pPanel->m_bPollPause) {
        // Held: acknowledge and leave the device alone.
        SetEvent(pPanel->m_hPollPausedEvent);
        return true;
    }
    ResetEvent(pPanel->m_hPollPausedEvent);
    IAMExtTransport* const pTransport = pPanel->m_pTransport;
    IAMTimecodeReader* const pReader = pPanel->m_pTimecodeReader;

    // A device call may outlast the shutdown's wait for this thread, which
    // then goes on without it: after each call, a signalled stop event
    // means the panel may be gone.
    auto stopped = [hStop] { return WaitForSingleObject(hStop, 0) == WAIT_OBJECT_0; };

    // Transport mode.
    const char* pszStatus = "???";
    bool bSendStatus = true;
    if (pTransport != NULL) {
        long lMode = 0;
        const HRESULT hr = pTransport->get_Mode(&lMode);
        if (stopped()) return false;
        if (FAILED(hr)) {
            bSendStatus = false;  // the text keeps what it showed last
        } else {
            pPanel->m_nTransportMode = static_cast<LONG>(lMode);
            pszStatus = ModeText(lMode);
        }
    }
    if (bSendStatus) SendStatusText(hPanel, IDC_TRANSPORT_MODE, pszStatus);

    // Timecode.
    char szPosition[64] = "?????";
    bool bSendPosition = true;
    if (pReader != NULL) {
        TIMECODE_SAMPLE sample;
        memset(&sample, 0, sizeof sample);
        sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
        sample.timecode.dwFrames = 0;
        const HRESULT hr = pReader->GetTimecode(&sample);
        if (stopped()) return false;
        if (FAILED(hr))
            bSendPosition = false;
        else
            FormatTimecode(sample.timecode.dwFrames, szPosition, sizeof szPosition);
    }
    if (bSendPosition) SendStatusText(hPanel, IDC_TIMECODE, szPosition);
    return true;
}
