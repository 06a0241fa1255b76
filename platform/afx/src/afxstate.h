// Per-thread framework state and the process-wide map from windows to
// their attached objects.
#pragma once

#include <windows.h>

class CDialog;
class CWinThread;
class CWnd;

namespace afx_detail {

// Plain data, so that it stays usable while the thread or process ends.
struct ThreadState {
    MSG lastSent;              // the message AfxWndProc is handling
    CDialog* pCreatingDialog;  // dialog whose window is being created
    CWinThread* pThread;       // set on threads the framework started
};

ThreadState& State();

// A temporary object for a window without an attached one; it belongs to
// the calling thread and is freed when the thread ends.
CWnd* TemporaryFor(HWND hWnd);

// Attached objects: one per window, any thread may look them up.
bool MapAdd(HWND hWnd, CWnd* pWnd);
void MapRemove(HWND hWnd, CWnd* pWnd);
CWnd* MapFind(HWND hWnd);

}  // namespace afx_detail
