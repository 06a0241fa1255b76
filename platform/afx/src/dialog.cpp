// CDialog: dialogs through the dialog manager.  The dialog manager calls
// AfxDlgProc for the new window's first message; that binds the window to
// the CDialog being created and routes its messages through AfxWndProc, so
// the dialog manager's own processing becomes the default processing.
#include "afxapp.h"
#include "afxdialog.h"
#include "afxstate.h"

using afx_detail::State;

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() : m_nIDTemplate(0), m_pParentWnd(nullptr) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

namespace {

// Sets the dialog that the next window created on this thread belongs to,
// for the duration of one creation.
class CreatingDialog {
public:
    explicit CreatingDialog(CDialog* pDlg) : m_saved(State().pCreatingDialog) {
        State().pCreatingDialog = pDlg;
    }
    ~CreatingDialog() { State().pCreatingDialog = m_saved; }
    CreatingDialog(const CreatingDialog&) = delete;
    CreatingDialog& operator=(const CreatingDialog&) = delete;

private:
    CDialog* m_saved;
};

}  // namespace

HWND CDialog::OwnerWindow() const {
    CWnd* pParent = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    if (pParent == this) return nullptr;
    return pParent ? pParent->m_hWnd : nullptr;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd) return -1;
    CreatingDialog creating(this);
    return ::DialogBoxParam(nullptr, MAKEINTRESOURCE(m_nIDTemplate), OwnerWindow(), AfxDlgProc,
                            reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    if (m_hWnd) return FALSE;
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    CreatingDialog creating(this);
    HWND hWnd = ::CreateDialogParam(nullptr, MAKEINTRESOURCE(nIDTemplate), OwnerWindow(),
                                    AfxDlgProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd) {
        CDialog* pCreating = State().pCreatingDialog;
        if (!pCreating) return FALSE;
        State().pCreatingDialog = nullptr;
        if (!pCreating->SubclassWindow(hWnd)) return FALSE;
        pWnd = pCreating;
    }
    if (message == WM_INITDIALOG) {
        auto* pDlg = dynamic_cast<CDialog*>(pWnd);
        return pDlg ? pDlg->OnInitDialog() : TRUE;
    }
    return FALSE;
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    // Dialog keys of a modeless dialog run from a message loop of the
    // framework's (a modal loop does this itself).
    if (!m_hWnd || !pMsg || pMsg->message < WM_KEYDOWN || pMsg->message > WM_SYSCHAR) return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
    return ::IsDialogMessage(m_hWnd, pMsg);
}
