// The main window: the preview frame, the capture panel laid over its
// placeholder, and the About and Exit buttons.
#pragma once

#include <afxwin.h>

#include "CapturePanel.h"
#include "resource.h"

class CMainDialog : public CDialog {
public:
    explicit CMainDialog(CWnd* pParent = nullptr);
    ~CMainDialog() override;

    enum { IDD = IDD_TAPELOOM_DIALOG };

    // The frame the live picture is shown in (control 1023).
    CStatic m_wndPreviewFrame;

protected:
    // The placeholder whose rectangle the panel covers (control 1032).
    CStatic m_wndPanelFrame;
    // The capture panel; its window is a child of this one.
    CCapturePanel m_panel;
    HICON m_hIcon;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnDestroy();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnAbout();
    afx_msg LRESULT OnActivateInstance(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()
};
