// The virtual DV deck driver: decks configured through the environment
// appear in the video input device category (see deckconfig.h for
// TAPELOOM_DECKS).  Further variables:
//
//   TAPELOOM_DECK_PACING   "realtime" (default) or "unpaced" (frames as
//                          fast as the graph takes them, none dropped)
//   TAPELOOM_DECK_CONTROL  a control file: the names of the decks that are
//                          unplugged, one a line.  Adding a name unplugs
//                          that deck, removing it plugs it back in; the
//                          file is looked at ten times a second.
//
// The configuration is read when the devices are first listed; a deck
// that cannot be used gives one line on stderr and is left out.
#pragma once

#include <windef.h>

// Reads the configuration again.  The decks of the previous one are
// unplugged (with the events of it) and go away.
void VirtualDeckReload();

// Hot plug from inside the process: S_OK, S_FALSE when the deck already is
// in that state, E_INVALIDARG when no deck has that name.
HRESULT VirtualDeckUnplug(LPCWSTR name);
HRESULT VirtualDeckPlug(LPCWSTR name);

// How a change of the devices present is announced to the windows:
// WM_DEVICECHANGE with DBT_DEVNODES_CHANGED to every top-level window of
// the process.  Tests may put another function here; NULL restores the
// window system's broadcast.  Returns the previous function.
typedef void (*LPFNDEVICECHANGE)(WPARAM event, LPARAM data);
LPFNDEVICECHANGE VirtualDeckSetDeviceChangeBroadcast(LPFNDEVICECHANGE pfn);
