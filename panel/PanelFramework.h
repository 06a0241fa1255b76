// The dialog framework the panel builds on.  Until the framework's headers
// are part of the build, a minimal stand-in with the same names keeps the
// panel's engine and settings code buildable and testable on its own.
#pragma once

#if __has_include(<afxwin.h>)
#include <afxwin.h>
#else
#include <windows.h>

class CWnd {
public:
    virtual ~CWnd() = default;
    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND m_hWnd = NULL;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread {
public:
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
        : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}
    virtual ~CWinThread() = default;
    HANDLE m_hThread = NULL;
    DWORD m_nThreadID = 0;

protected:
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};
#endif
