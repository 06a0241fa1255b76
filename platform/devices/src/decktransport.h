// The tape transport of the virtual deck, without threads or clocks: a
// mode and a position, moved one frame period at a time by Tick.
//
// Speeds, in frames per frame period: play 1; fastest forward and reverse
// play 10 (with picture); fast wind and rewind 30 (no picture); slowest
// forward and reverse 1/5 (each frame shown five times).  Freeze shows the
// frame under the head again at every tick; a step moves one frame and
// freezes.  Reaching either end of the tape stops the transport.  A motion
// from stop first threads the tape: for `threadTicks` periods the mode is
// the one asked for but nothing is shown and the tape does not move.
#pragma once

#include <edevdefs.h>
#include <windef.h>

#include <cstdint>

namespace dvdeck {

class DeckTransport {
public:
    explicit DeckTransport(int64_t frames, int64_t threadTicks = 0)
        : m_frames(frames), m_threadTicks(threadTicks) {}

    // put_Mode: S_OK; E_ACCESSDENIED for the record modes (the tape is
    // read-only); E_INVALIDARG for a value that is no transport mode.
    HRESULT SetMode(long mode);
    long Mode() const { return m_mode; }

    // One frame period: the frame shown in this period (-1: no picture),
    // then the tape moves on.
    int64_t Tick();

    // The frame under the head: the one shown last while the picture is
    // on, else the one at the tape's position.
    int64_t Head() const;
    // Periods left before a motion from stop shows its first frame.
    int64_t Threading() const { return m_threading; }

private:
    static constexpr int64_t kUnit = 5;  // position in fifths of a frame
    int64_t Speed() const;               // in units per tick
    bool HasPicture() const;
    void Clamp();

    const int64_t m_frames;
    const int64_t m_threadTicks;
    int64_t m_threading = 0;
    long m_mode = ED_MODE_STOP;
    int64_t m_pos = 0;  // units
    int64_t m_shown = -1;
};

}  // namespace dvdeck
