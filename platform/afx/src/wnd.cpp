// CWnd: binding objects to windows, the window procedure that routes
// messages into message maps, and the window wrappers.
#include <vector>

#include "afxapp.h"
#include "afxstate.h"
#include "afxwnd.h"

using afx_detail::State;

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr) {}

CWnd::CWnd(HWND hWnd) : m_hWnd(hWnd), m_pfnSuper(nullptr) {}

CWnd::~CWnd() {
    if (m_hWnd && afx_detail::MapFind(m_hWnd) == this) {
        // The object goes before its window: the window goes with it.
        HWND hWnd = m_hWnd;
        ::DestroyWindow(hWnd);
        if (m_hWnd == hWnd) {
            // Not destroyed (another thread's window): give the window its
            // own procedure back so it no longer reaches this object.
            if (m_pfnSuper)
                ::SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
            Detach();
        }
    }
    // A main window pointer never outlives its object.
    if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this) pApp->m_pMainWnd = nullptr;
    if (CWinThread* pThread = AfxGetThread(); pThread && pThread->m_pMainWnd == this)
        pThread->m_pMainWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) { return hWnd ? afx_detail::MapFind(hWnd) : nullptr; }

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) return nullptr;
    if (CWnd* pWnd = afx_detail::MapFind(hWnd)) return pWnd;
    return afx_detail::TemporaryFor(hWnd);
}

BOOL CWnd::Attach(HWND hWndNew) {
    if (!hWndNew || m_hWnd || !::IsWindow(hWndNew)) return FALSE;
    if (!afx_detail::MapAdd(hWndNew, this)) return FALSE;
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd) afx_detail::MapRemove(hWnd, this);
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) return FALSE;
    PreSubclassWindow();
    auto old = reinterpret_cast<WNDPROC>(::GetWindowLongPtr(hWnd, GWLP_WNDPROC));
    if (!old) {
        Detach();
        return FALSE;
    }
    m_pfnSuper = old;
    ::SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    if (!pParent) return FALSE;
    HWND hControl = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
    return hControl ? SubclassWindow(hControl) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
    if (!m_hWnd) return nullptr;
    if (m_pfnSuper)
        ::SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND hWnd = m_hWnd;
    BOOL result = ::DestroyWindow(hWnd);
    // A window that was only attached does not pass its WM_NCDESTROY here.
    if (result && m_hWnd == hWnd) Detach();
    return result;
}

// ---- Message routing --------------------------------------------------------------

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProc(hWnd, message, wParam, lParam);
    auto& state = State();
    const MSG saved = state.lastSent;
    state.lastSent = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) pWnd->OnFinalNcDestroy();
    state.lastSent = saved;
    return result;
}

void CWnd::OnFinalNcDestroy() {
    // The thread's main window is gone: so is its message loop's reason.
    if (CWinThread* pThread = AfxGetThread(); pThread && pThread->m_pMainWnd == this) {
        ::PostQuitMessage(0);
        pThread->m_pMainWnd = nullptr;
    }
    m_pfnSuper = nullptr;
    Detach();
    PostNcDestroy();
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *pResult = 1;
        return TRUE;
    }
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->pnRegistered) {
                if (*e->pnRegistered == 0 || *e->pnRegistered != message) continue;
            } else if (e->nMessage != message || e->nMessage == WM_COMMAND) {
                continue;
            }
            *pResult = e->pfn(this, wParam, lParam);
            return TRUE;
        }
    }
    // Owner-draw requests go to the control they concern.
    if (message == WM_DRAWITEM && wParam != 0 && lParam) {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        if (CWnd* pChild = FromHandlePermanent(dis->hwndItem))
            if (pChild->OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) { return OnCmdMsg(LOWORD(wParam), HIWORD(wParam)); }

BOOL CWnd::OnCmdMsg(UINT nID, UINT nCode) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->pnRegistered || e->nMessage != WM_COMMAND || e->nCode != nCode) continue;
            if (nID < e->nID || nID > e->nLastID) continue;
            e->pfn(this, 0, 0);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG& msg = State().lastSent;
    return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }
void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnPaint() { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }

// ---- Dialog data -------------------------------------------------------------------

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd || !pDX || !pDX->m_pDlgWnd) return;
    if (HWND hControl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC))
        rControl.SubclassWindow(hControl);
}

void CWnd::WinHelp(DWORD_PTR dwData, UINT nCmd) {
    if (CWinApp* pApp = AfxGetApp()) pApp->WinHelp(dwData, nCmd);
}
