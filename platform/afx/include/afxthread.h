// CWinThread and AfxBeginThread: threads with an identifier to post to and
// a handle to wait on.
//
// Lifetime: the object, its m_nThreadID and its m_hThread stay valid after
// the thread has ended.  With m_bAutoDelete FALSE the owner deletes the
// object (which closes the handle), after waiting on m_hThread.  With
// m_bAutoDelete TRUE (the default) the ending thread never frees the
// object: it is kept, handle open, for the rest of the process, so an
// owner that posts WM_QUIT to a thread and then waits on m_hThread is safe
// whether or not the thread has already ended.  An owner may still delete
// such an object itself once it has waited on the handle.
#pragma once

#include <windows.h>

#include <atomic>

class CWnd;

typedef UINT(__cdecl* AFX_THREADPROC)(LPVOID);

class CWinThread {
public:
    CWinThread();  // the application's main thread (CWinApp)
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread (suspended with CREATE_SUSPENDED).
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread();
    int GetThreadPriority();
    BOOL SetThreadPriority(int nPriority);
    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);
    operator HANDLE() const { return m_hThread; }

    HANDLE m_hThread;
    DWORD m_nThreadID;
    std::atomic<BOOL> m_bAutoDelete;
    CWnd* m_pMainWnd;  // the thread's main window

    // A thread with a message loop: InitInstance, then Run's loop until
    // WM_QUIT, then ExitInstance.
    virtual BOOL InitInstance();
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL PumpMessage();
    virtual int ExitInstance();
    virtual CWnd* GetMainWnd();

    MSG m_msgCur;  // the message being handled by Run

protected:
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;

private:
    static DWORD WINAPI ThreadEntry(LPVOID pThis);
    friend class CWinApp;
};

// Starts pfnThreadProc(pParam) on a new thread at nPriority.  Returns the
// thread object, or null when the thread cannot be started.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// The calling thread's CWinThread (the application object on the main
// thread), or null for threads the framework did not start.
CWinThread* AfxGetThread();
