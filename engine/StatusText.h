// Sending a status text to one of the panel's controls from a status
// thread, without waiting long for the panel's thread.
#pragma once

#include <windows.h>

// WM_SETTEXT to the control with the id under the panel, bounded at 20 ms;
// a panel that does not take the text in time loses it (the next pass
// sends a fresh one).
inline void SendStatusText(HWND hPanel, int nID, const char* pszText) {
    HWND hControl = GetDlgItem(hPanel, nID);
    if (hControl == NULL) return;
    DWORD_PTR dwResult = 0;
    SendMessageTimeout(hControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszText),
                       SMTO_BLOCK | SMTO_ABORTIFHUNG, 20, &dwResult);
}
