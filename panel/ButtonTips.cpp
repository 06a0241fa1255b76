#include "ButtonTips.h"

#include <commctrl.h>

#include "resource.h"

HWND AddButtonTips(HWND hPanel) {
    struct Tip {
        int nID;
        const char* pszText;
    };
    static const Tip aTips[] = {
        {IDC_STOP, "Stop"},
        {IDC_SLOW_REVERSE, "Slow reverse"},
        {IDC_REWIND, "Rewind"},
        {IDC_PLAY, "Play"},
        {IDC_FAST_FORWARD, "Fast forward"},
        {IDC_SLOW_FORWARD, "Slow forward"},
        {IDC_PAUSE, "Pause"},
        {IDC_STEP_REVERSE, "Frame step back"},
        {IDC_STEP_FORWARD, "Frame step forward"},
        {IDC_BROWSE, "Choose capture file"},
    };
    HWND hTips = CreateWindowEx(0, TOOLTIPS_CLASS, NULL, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hPanel,
                                NULL, NULL, NULL);
    if (!hTips) return NULL;
    for (const Tip& tip : aTips) {
        HWND hButton = GetDlgItem(hPanel, tip.nID);
        if (!hButton) continue;
        TOOLINFO ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hPanel;
        ti.uId = reinterpret_cast<UINT_PTR>(hButton);
        ti.lpszText = const_cast<LPSTR>(tip.pszText);
        SendMessage(hTips, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti));
    }
    return hTips;
}
