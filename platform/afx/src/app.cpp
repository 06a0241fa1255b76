// CWinApp and the framework's start-up.
#include <vector>

#include "afxapp.h"
#include "afxstate.h"
#include "afxwnd.h"

namespace {
CWinApp* g_pApp = nullptr;  // set by the constructor, before main
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetResourceHandle() { return g_pApp ? g_pApp->m_hInstance : nullptr; }

CWnd* AfxGetMainWnd() {
    if (CWinThread* pThread = AfxGetThread())
        if (CWnd* pWnd = pThread->GetMainWnd()) return pWnd;
    return g_pApp ? g_pApp->m_pMainWnd : nullptr;
}

CWinApp::CWinApp(LPCSTR lpszAppName)
    : m_pszAppName(nullptr), m_pszExeName(nullptr), m_hInstance(nullptr) {
    if (lpszAppName) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName.c_str();
    }
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

void CWinApp::SetCurrentHandles() {
    m_hThread = ::GetCurrentThread();
    m_nThreadID = ::GetCurrentThreadId();
    std::vector<char> path(4096);
    DWORD length = ::GetModuleFileName(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::string name(path.data(), length < path.size() ? length : 0);
    if (size_t slash = name.find_last_of('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    m_strExeName = name;
    m_pszExeName = m_strExeName.c_str();
    if (!m_pszAppName) {
        m_strAppName = name;
        m_pszAppName = m_strAppName.c_str();
    }
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::Run() { return CWinThread::Run(); }
int CWinApp::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }
void CWinApp::WinHelp(DWORD_PTR, UINT) {}
BOOL CWinApp::Enable3dControlsStatic() { return TRUE; }

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    return ::LoadIcon(m_hInstance, MAKEINTRESOURCE(nIDResource));
}

HICON CWinApp::LoadIcon(LPCSTR lpszResourceName) const {
    return ::LoadIcon(m_hInstance, lpszResourceName);
}

int AfxWinMain() {
    CWinApp* pApp = AfxGetApp();
    if (!pApp) return -1;
    pApp->SetCurrentHandles();
    if (!pApp->InitInstance()) {
        if (pApp->m_pMainWnd) pApp->m_pMainWnd->DestroyWindow();
        return pApp->ExitInstance();
    }
    return pApp->Run();
}
