// Tape transport of the virtual deck.
#include "decktransport.h"

#include <edevdefs.h>
#include <winerror.h>

namespace dvdeck {

HRESULT DeckTransport::SetMode(long mode) {
    switch (mode) {
        case ED_MODE_PLAY:
        case ED_MODE_STOP:
        case ED_MODE_FREEZE:
        case ED_MODE_FF:
        case ED_MODE_REW:
        case ED_MODE_PLAY_FASTEST_FWD:
        case ED_MODE_PLAY_SLOWEST_FWD:
        case ED_MODE_PLAY_FASTEST_REV:
        case ED_MODE_PLAY_SLOWEST_REV:
            // A new motion starts from the frame under the head; from stop,
            // once the tape is threaded.
            if (m_shown >= 0) m_pos = m_shown * kUnit;
            m_shown = -1;
            if (mode == ED_MODE_STOP)
                m_threading = 0;
            else if (m_mode == ED_MODE_STOP)
                m_threading = m_threadTicks;
            m_mode = mode;
            return S_OK;
        case ED_MODE_THAW:
            if (m_mode == ED_MODE_FREEZE) m_mode = ED_MODE_PLAY;
            return S_OK;
        case ED_MODE_STEP_FWD:
        case ED_MODE_STEP_REV: {
            const int64_t head = Head() + (mode == ED_MODE_STEP_FWD ? 1 : -1);
            m_pos = head * kUnit;
            m_shown = -1;
            m_mode = ED_MODE_FREEZE;
            Clamp();
            m_mode = ED_MODE_FREEZE;  // a step at an end still leaves a still frame
            return S_OK;
        }
        case ED_MODE_RECORD:
        case ED_MODE_RECORD_FREEZE:
        case ED_MODE_RECORD_STROBE:
            return E_ACCESSDENIED;
        default:
            return E_INVALIDARG;
    }
}

int64_t DeckTransport::Speed() const {
    switch (m_mode) {
        case ED_MODE_PLAY:
            return kUnit;
        case ED_MODE_FF:
            return 30 * kUnit;
        case ED_MODE_REW:
            return -30 * kUnit;
        case ED_MODE_PLAY_FASTEST_FWD:
            return 10 * kUnit;
        case ED_MODE_PLAY_FASTEST_REV:
            return -10 * kUnit;
        case ED_MODE_PLAY_SLOWEST_FWD:
            return 1;
        case ED_MODE_PLAY_SLOWEST_REV:
            return -1;
        default:
            return 0;
    }
}

bool DeckTransport::HasPicture() const {
    return m_mode != ED_MODE_STOP && m_mode != ED_MODE_FF && m_mode != ED_MODE_REW;
}

void DeckTransport::Clamp() {
    const int64_t last = (m_frames - 1) * kUnit;
    if (m_pos < 0) {
        m_pos = 0;
        m_mode = ED_MODE_STOP;
    } else if (m_pos > last) {
        m_pos = last;
        m_mode = ED_MODE_STOP;
    }
}

int64_t DeckTransport::Tick() {
    if (m_frames <= 0) return -1;
    if (m_threading > 0) {
        --m_threading;
        return -1;
    }
    int64_t shown = -1;
    if (HasPicture()) shown = m_pos / kUnit;
    m_shown = shown;
    const int64_t speed = Speed();
    if (speed != 0) {
        m_pos += speed;
        Clamp();
        if (m_mode == ED_MODE_STOP) m_shown = -1;
    }
    return shown;
}

int64_t DeckTransport::Head() const { return m_shown >= 0 ? m_shown : m_pos / kUnit; }

}  // namespace dvdeck
