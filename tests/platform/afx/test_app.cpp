// A program on the framework's entry point, for app_test.  AFX_TEST_MODE
// chooses its life:
//   second: InitInstance returns FALSE at once; exit code 7.
//   modal:  a modal main window ended by a posted OK; InitInstance returns
//           FALSE; exit code 20.
//   loop:   a modeless main window, the framework's message loop until the
//           window is destroyed; exit code 40.
// Any other exit code names the check that failed.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "afx_test_support.h"

namespace {

std::string Mode() {
    const char* mode = std::getenv("AFX_TEST_MODE");
    return mode ? mode : "";
}

class CMainDlg : public CDialog {
public:
    CMainDlg() : CDialog(afx_test::kDialogId) {}
    bool m_bModeless = false;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return TRUE;
    }
    void OnOK() override {
        if (m_bModeless)
            DestroyWindow();
        else
            CDialog::OnOK();
    }
};

class CTestApp : public CWinApp {
public:
    BOOL InitInstance() override {
        if (std::strcmp(m_pszAppName, "afx_test_app") != 0) m_nFailure = 2;
        if (std::strcmp(std::setlocale(LC_TIME, nullptr), "C") != 0) m_nFailure = 3;
        if (AfxGetApp() != this || AfxGetThread() != this) m_nFailure = 4;
        win32_resources::RegisterDialog(&afx_test::kDialog);
        const std::string mode = Mode();
        if (mode == "modal") {
            CMainDlg dlg;
            m_pMainWnd = &dlg;
            if (dlg.DoModal() != IDOK) m_nFailure = 5;
            m_nResult = 20;
            return FALSE;
        }
        if (mode == "loop") {
            m_pDlg = new CMainDlg;
            m_pDlg->m_bModeless = true;
            if (!m_pDlg->Create(afx_test::kDialogId)) m_nFailure = 6;
            m_pMainWnd = m_pDlg;
            m_nResult = 40;
            return TRUE;
        }
        m_nResult = 7;
        return FALSE;
    }
    int ExitInstance() override {
        delete m_pDlg;
        if (m_pMainWnd) m_nFailure = 8;  // cleared when the main window went
        int code = CWinApp::ExitInstance();
        return m_nFailure ? m_nFailure : m_nResult + code;
    }

private:
    CMainDlg* m_pDlg = nullptr;
    int m_nFailure = 0;
    int m_nResult = 0;
};

CTestApp theApp;

}  // namespace
