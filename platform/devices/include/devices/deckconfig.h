// Configuration of the virtual decks, as read from the environment:
//
//   TAPELOOM_DECKS="<name>=<tape>[,<option>...][; <name>=<tape>...]"
//
// <tape> is a raw DV file or a built-in generated tape, "pal" or "ntsc".
// Options (faults for tests): signal=<code>[@<frame>] (reports that signal
// code instead of the tape's, from tape frame <frame> on), no-timecode (no timecode reader),
// damage=<N> (every Nth frame delivered is damaged), unplug=<N> (the deck unplugs itself after
// delivering N frames), thread=<ms> (how long the deck takes to thread its tape when it starts from
// stop; the default is TAPELOOM_DECK_THREADING, else 1000 ms).
#pragma once

#include <string>
#include <vector>

namespace dvdeck {

struct DeckConfig {
    std::wstring name;    // the device's friendly name
    std::string tape;     // a file path, or "pal" / "ntsc"
    long signal = 0;      // 0: the tape's own signal code
    long signalFrom = 0;  // the tape frame from which `signal` is reported
    bool timecodeReader = true;
    long damageEvery = 0;  // 0: no damaged frames
    long unplugAfter = 0;  // 0: stays plugged
    long threadMs = -1;    // -1: the deck list's default

    bool BuiltinTape() const { return tape == "pal" || tape == "ntsc"; }
};

// Parses the deck list.  Each deck that cannot be parsed adds one message
// to *errors and is left out; the others are kept.
std::vector<DeckConfig> ParseDeckList(const std::string& text, std::vector<std::string>* errors);

}  // namespace dvdeck
