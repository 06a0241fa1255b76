// CWinApp: the application object.  The program defines exactly one global
// instance; the framework's entry point (afx_main) runs it: InitInstance,
// then, if that returns TRUE, the main thread's message loop (Run), then
// ExitInstance, whose result is the process exit code.
#pragma once

#include <string>

#include "afxthread.h"

class CWinApp : public CWinThread {
public:
    // With no name the application is named after its executable, without
    // directory and extension.
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCSTR m_pszAppName;
    LPCSTR m_pszExeName;
    HINSTANCE m_hInstance;

    BOOL InitInstance() override;
    int Run() override;
    int ExitInstance() override;

    // The application's help entry point.  There is no help engine: every
    // request is accepted and nothing is shown.
    virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);

    HICON LoadIcon(UINT nIDResource) const;
    HICON LoadIcon(LPCSTR lpszResourceName) const;

    // Called by the entry point before InitInstance: names, main thread.
    void SetCurrentHandles();

protected:
    // The 3-D look of dialog controls; the display always draws them so.
    BOOL Enable3dControlsStatic();

private:
    std::string m_strAppName;
    std::string m_strExeName;
};

CWinApp* AfxGetApp();
// The calling thread's main window; on threads without one, the
// application's main window.
CWnd* AfxGetMainWnd();
// The module whose resources the application loads: the application's
// instance (resources are the process's own, so NULL without one).
HINSTANCE AfxGetResourceHandle();

// The framework's start-up, as the entry point runs it; returns the exit
// code.  The display must be installed first.
int AfxWinMain();
