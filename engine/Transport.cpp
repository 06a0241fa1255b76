// The tape transport buttons: each sends one mode to the device.  The
// device decides what the mode does; the polling thread shows the result.
#include <edevdefs.h>

#include "CapturePanel.h"

void CCapturePanel::SendTransportMode(long lMode) {
    // The result is not looked at: a refused command shows in the next
    // mode read.
    if (m_pTransport != NULL) m_pTransport->put_Mode(lMode);
}

void CCapturePanel::OnPlay() { SendTransportMode(ED_MODE_PLAY); }

void CCapturePanel::OnPause() { SendTransportMode(ED_MODE_FREEZE); }

void CCapturePanel::OnStop() { SendTransportMode(ED_MODE_STOP); }

void CCapturePanel::OnFastForward() {
    // A stopped tape winds; a moving or paused one plays fast with picture.
    SendTransportMode(m_nTransportMode == ED_MODE_STOP ? ED_MODE_FF : ED_MODE_PLAY_FASTEST_FWD);
}

void CCapturePanel::OnRewind() {
    SendTransportMode(m_nTransportMode == ED_MODE_STOP ? ED_MODE_REW : ED_MODE_PLAY_FASTEST_REV);
}

void CCapturePanel::OnStepForward() { SendTransportMode(ED_MODE_STEP_FWD); }

void CCapturePanel::OnStepReverse() { SendTransportMode(ED_MODE_STEP_REV); }

void CCapturePanel::OnSlowReverse() { SendTransportMode(ED_MODE_PLAY_SLOWEST_REV); }

void CCapturePanel::OnSlowForward() { SendTransportMode(ED_MODE_PLAY_SLOWEST_FWD); }
