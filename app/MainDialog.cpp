#include "MainDialog.h"

#include "AboutDialog.h"
#include "MainApp.h"

CMainDialog::CMainDialog(CWnd* pParent) : CDialog(CMainDialog::IDD, pParent) {
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CMainDialog::~CMainDialog() = default;

void CMainDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PREVIEW_FRAME, m_wndPreviewFrame);
    DDX_Control(pDX, IDC_PANEL_FRAME, m_wndPanelFrame);
}

BEGIN_MESSAGE_MAP(CMainDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_DESTROY()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_ABOUT, &CMainDialog::OnAbout)
ON_REGISTERED_MESSAGE(g_uActivateMessage, &CMainDialog::OnActivateInstance)
END_MESSAGE_MAP()

BOOL CMainDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    // "About Tapeloom..." at the end of the system menu, behind a separator.
    if (HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        char text[256] = "";
        if (::LoadString(AfxGetApp()->m_hInstance, IDS_ABOUTBOX, text, sizeof text) > 0) {
            ::AppendMenu(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenu(hSysMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // The panel is shown before it is moved into place: it starts its work
    // when it is first shown.
    m_panel.Create(IDD_CAPTURE_PANEL, this);
    m_panel.ShowWindow(SW_SHOW);
    RECT rect;
    m_wndPanelFrame.GetWindowRect(&rect);
    ScreenToClient(&rect);
    m_panel.SetWindowPos(&CWnd::wndTop, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, SWP_SHOWWINDOW);
    m_panel.SetFocus();
    return FALSE;  // the focus is set
}

void CMainDialog::OnSysCommand(UINT nID, LPARAM lParam) {
    switch (nID & 0xFFF0) {
        case IDM_ABOUTBOX:
            OnAbout();
            break;
        case SC_CLOSE:
            // The close box, the system menu's Close and Alt+F4 end the
            // program exactly as Exit does.
            OnOK();
            break;
        default:
            CDialog::OnSysCommand(nID, lParam);
    }
}

void CMainDialog::OnOK() { CDialog::OnOK(); }

void CMainDialog::OnCancel() {
    // Escape never closes the main window.
}

void CMainDialog::OnDestroy() {
    WinHelp(0L, HELP_QUIT);
    CDialog::OnDestroy();
}

void CMainDialog::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    // Minimised: the application icon, centred.
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CMainDialog::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }

void CMainDialog::OnAbout() {
    CAboutDialog dlgAbout;
    dlgAbout.DoModal();
}

LRESULT CMainDialog::OnActivateInstance(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    // Another instance was started: come to the front instead.
    ShowWindow(SW_RESTORE);
    SetForegroundWindow();
    return g_uActivateMessage;
}
