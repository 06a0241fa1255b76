// The interface between the window system and a display.
//
// platform/win32 keeps every window's state (class, style, text, rectangle,
// parent, visibility) and runs the queues; it knows nothing about how a
// window appears on screen.  A display (platform/qt) implements Backend and
// installs it with SetDisplayBackend before the first window is created.
// The display hosts the windows of one thread, its display thread: there
// GetMessage waits through the display's event loop, so that input and
// painting go on while the thread waits for messages.  Windows of every
// other thread (hidden notify windows, for one) have no display and run
// without it, as does the whole window system when no display is installed.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "windef.h"

namespace win32_display {

using Clock = std::chrono::steady_clock;

// What changed on a window; WindowChanged gets a mask of these.
enum Change : unsigned {
    kText = 1u << 0,
    kGeometry = 1u << 1,
    kVisibility = 1u << 2,
    kEnabled = 1u << 3,
    kStyle = 1u << 4,
    kZOrder = 1u << 5,
    kMinimized = 1u << 6,
    kFocus = 1u << 7,       // the window got the keyboard focus
    kForeground = 1u << 8,  // the window was brought to the front
    kIcon = 1u << 9,        // WM_SETICON changed the window's icons
};

// An item of a menu: MF_STRING with an id and a text, or MF_SEPARATOR.
struct MenuItem {
    UINT flags;
    UINT_PTR id;
    std::string text;
};

class Backend {
public:
    virtual ~Backend() = default;

    // True on the thread whose windows this display shows.
    virtual bool IsDisplayThread() = 0;

    // Display thread only: handles display events until Wake is called, the
    // deadline passes (none with no_deadline), or at least one display event
    // has been handled.  A Wake that comes before the call makes it return
    // at once.
    virtual void WaitForEvents(Clock::time_point deadline, bool no_deadline) = 0;

    // Any thread: ends a WaitForEvents now or makes the next one return.
    virtual void Wake() = 0;

    // Display thread only.  Called after the window exists in the window
    // table (before WM_NCCREATE), and after its WM_NCDESTROY.
    virtual void WindowCreated(HWND hwnd) = 0;
    virtual void WindowDestroyed(HWND hwnd) = 0;
    virtual void WindowChanged(HWND hwnd, unsigned changes) = 0;

    // Average character width and height in pixels of a font, the base
    // units that turn dialog units into pixels.
    virtual SIZE DialogBaseUnits(const char* face, int points) = 0;

    // Display thread only: the dialog and the controls created in it show
    // their text in this font, the one its base units were measured from,
    // as a dialog's controls take the font of its template.
    virtual void SetDialogFont(HWND hDlg, const char* face, int points) {}

    // Display thread only: shows the system menu of a top-level window at
    // a screen position and returns once it has closed; a chosen item
    // posts WM_SYSCOMMAND with its id to the window.  The calling thread
    // keeps answering its messages meanwhile.
    virtual void TrackSystemMenu(HWND hwnd, POINT screen) {}
};

// The items of a window's system menu (the standard ones until
// GetSystemMenu made the window its own copy).
std::vector<MenuItem> SystemMenuItems(HWND hwnd);

// The user minimised or restored a top-level window on screen: IsIconic
// follows, and the window gets WM_SIZE.
void DisplayWindowMinimized(HWND hwnd, bool minimized);

// Called by the display on its thread when the user changes things.
// The keyboard focus moved to hwnd (WM_KILLFOCUS / WM_SETFOCUS follow).
void DisplayFocusChanged(HWND hwnd);
// A top-level window was moved or resized on screen (client rectangle in
// screen coordinates).
void DisplayWindowMoved(HWND hwnd, const RECT& client);
// A key went down or up (for GetKeyState).
void DisplayKeyState(int virtual_key, bool down);

// The modal loop of DialogBoxParam, for the display's own modal windows
// (message boxes, the save-file dialog, menus): runs the calling thread's
// messages, through the dialog manager of the dialog each belongs to,
// until ended() is true.  WM_QUIT ends it too and is posted again for the
// loop outside; false then.  Whatever makes ended() true posts a message
// to the thread (WM_NULL will do) so that the loop looks again.
bool RunModalLoop(const std::function<bool()>& ended);

// The text DefWindowProc keeps for a window, read without a message.
std::string StoredWindowText(HWND hwnd);
// The icon WM_SETICON gave a window (ICON_BIG or ICON_SMALL; at first the
// class's), read without a message.
HICON StoredWindowIcon(HWND hwnd, int which);

// Installs the display; null removes it.  Windows that already exist keep
// their hosting.
void SetDisplayBackend(Backend* backend);
Backend* DisplayBackend();

}  // namespace win32_display
