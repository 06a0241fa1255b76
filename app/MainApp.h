// The application object: single-instance check, start-up and exit.
#pragma once

#include <afxwin.h>

// The number of the activation message, registered first thing at start-up
// in every instance; the main window answers it.
extern UINT g_uActivateMessage;

class CMainApp : public CWinApp {
public:
    CMainApp();

    // Runs the whole program: either hands over to the instance already
    // running, or runs the main window modally until it closes.  Always
    // FALSE, so the framework goes straight on to ExitInstance.
    BOOL InitInstance() override;
    int ExitInstance() override;

    // Help is switched off: every help request does nothing.
    void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT) override;

private:
    // COM was initialised on this thread and must be released at exit.
    bool m_bComInitialized;
};
