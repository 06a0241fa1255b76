#include "MainApp.h"

#include <objbase.h>

#include "MainDialog.h"

namespace {

// Names both the single-instance mutex and the activation message.
const char kInstanceName[] = "BE65C46E-568F-432d-B4AC-9F7A04298653";

// How long the hand-over gives each top-level window to answer.
constexpr UINT kActivateTimeoutMs = 200;

}  // namespace

UINT g_uActivateMessage = 0;

CMainApp::CMainApp() : m_bComInitialized(false) {}

BOOL CMainApp::InitInstance() {
    g_uActivateMessage = RegisterWindowMessage(kInstanceName);

    // The mutex lives as long as this process; its handle is never closed.
    CreateMutex(nullptr, FALSE, kInstanceName);
    const DWORD error = GetLastError();
    // ERROR_ACCESS_DENIED: a mutex of that name exists but this process may
    // not open it, which also means an instance is running.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        // Ask the running instance to come to the front and end, whether
        // or not anybody answers.
        DWORD_PTR ignored = 0;
        SendMessageTimeout(HWND_BROADCAST, g_uActivateMessage, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG,
                           kActivateTimeoutMs, &ignored);
        return FALSE;
    }

    // The user-interface thread runs above the capture's helper threads.
    SetThreadPriority(THREAD_PRIORITY_HIGHEST);
    // Only a successful CoInitialize (S_OK or S_FALSE) is balanced at exit.
    m_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
    Enable3dControlsStatic();

    {
        CMainDialog dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        // The window object is about to go; nobody may reach it any more.
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int CMainApp::ExitInstance() {
    if (m_bComInitialized) {
        CoUninitialize();
        m_bComInitialized = false;
    }
    return CWinApp::ExitInstance();
}

void CMainApp::WinHelp(DWORD_PTR /*dwData*/, UINT /*nCmd*/) {}
