// How the filter graph posts its notify message (IMediaEventEx::
// SetNotifyWindow) to the application's window.  By default the message
// goes through PostMessage; tests may put another function in place.
#pragma once

#include <windef.h>

typedef BOOL (*LPFNPOSTNOTIFY)(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Sets the function (NULL restores the default); returns the previous one.
LPFNPOSTNOTIFY MediaSetNotifyPoster(LPFNPOSTNOTIFY pfn);

// Posts through the function in place.
BOOL MediaPostNotify(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
