// CWinThread and AfxBeginThread.
#include <mutex>
#include <vector>

#include "afxapp.h"
#include "afxstate.h"
#include "afxthread.h"
#include "afxwnd.h"

using afx_detail::State;

namespace {

// Auto-deleting thread objects whose threads have ended.  They are kept
// (and their handles open) for the rest of the process: an owner may
// still post to the identifier or wait on the handle of a thread that
// ended before it looked.
std::mutex g_retired_mutex;
std::vector<CWinThread*>& Retired() {
    static auto* retired = new std::vector<CWinThread*>;
    return *retired;
}

void Retire(CWinThread* pThread) {
    std::lock_guard<std::mutex> lock(g_retired_mutex);
    Retired().push_back(pThread);
}

}  // namespace

CWinThread::CWinThread() : CWinThread(nullptr, nullptr) {}

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_hThread(nullptr),
      m_nThreadID(0),
      m_bAutoDelete(TRUE),
      m_pMainWnd(nullptr),
      m_msgCur{},
      m_pfnThreadProc(pfnThreadProc),
      m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
    if (m_hThread && m_hThread != ::GetCurrentThread()) ::CloseHandle(m_hThread);
}

DWORD WINAPI CWinThread::ThreadEntry(LPVOID pThis) {
    auto* pThread = static_cast<CWinThread*>(pThis);
    State().pThread = pThread;
    UINT result =
        pThread->m_pfnThreadProc
            ? pThread->m_pfnThreadProc(pThread->m_pThreadParams)
            : static_cast<UINT>(pThread->InitInstance() ? pThread->Run() : pThread->ExitInstance());
    State().pThread = nullptr;
    // The handle is signalled only after this function returns, so the
    // owner cannot have deleted the object yet.
    if (pThread->m_bAutoDelete) Retire(pThread);
    return result;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize,
                              LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (m_hThread) return FALSE;
    DWORD id = 0;
    // Started suspended so that the handle and identifier are stored
    // before the thread can look at its object.
    HANDLE hThread = ::CreateThread(lpSecurityAttrs, nStackSize, &ThreadEntry, this,
                                    dwCreateFlags | CREATE_SUSPENDED, &id);
    if (!hThread) return FALSE;
    m_hThread = hThread;
    m_nThreadID = id;
    if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(hThread);
    return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }
int CWinThread::GetThreadPriority() { return ::GetThreadPriority(m_hThread); }
BOOL CWinThread::SetThreadPriority(int nPriority) {
    return ::SetThreadPriority(m_hThread, nPriority);
}

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostThreadMessage(m_nThreadID, message, wParam, lParam);
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::Run() {
    while (PumpMessage()) {
    }
    return ExitInstance();
}

BOOL CWinThread::PumpMessage() {
    BOOL got = ::GetMessage(&m_msgCur, nullptr, 0, 0);
    if (got == 0 || got == -1) return FALSE;
    if (!PreTranslateMessage(&m_msgCur)) {
        ::TranslateMessage(&m_msgCur);
        ::DispatchMessage(&m_msgCur);
    }
    return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg) {
    // From the message's window up to its top-level window.
    for (HWND hWnd = pMsg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        if (CWnd* pWnd = CWnd::FromHandlePermanent(hWnd); pWnd && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (!(::GetWindowLongPtr(hWnd, GWL_STYLE) & WS_CHILD)) break;
    }
    return FALSE;
}

int CWinThread::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

CWnd* CWinThread::GetMainWnd() { return m_pMainWnd; }

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                           UINT nStackSize, DWORD dwCreateFlags,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (!pfnThreadProc) return nullptr;
    auto* pThread = new CWinThread(pfnThreadProc, pParam);
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return nullptr;
    }
    pThread->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED)) pThread->ResumeThread();
    return pThread;
}

CWinThread* AfxGetThread() {
    if (CWinThread* pThread = State().pThread) return pThread;
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_nThreadID == ::GetCurrentThreadId()) return pApp;
    return nullptr;
}
