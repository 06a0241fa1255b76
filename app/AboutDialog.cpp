#include "AboutDialog.h"

#include "BuildDate.h"

CAboutDialog::CAboutDialog() : CDialog(CAboutDialog::IDD) {}

void CAboutDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_VERSION, m_wndVersion);
}

BEGIN_MESSAGE_MAP(CAboutDialog, CDialog)
END_MESSAGE_MAP()

BOOL CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_wndVersion.SetWindowText(VersionLine().c_str());
    return TRUE;
}
