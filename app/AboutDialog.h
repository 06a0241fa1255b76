// The About box: the picture and the version line with the build date.
#pragma once

#include <afxwin.h>

#include "resource.h"

class CAboutDialog : public CDialog {
public:
    CAboutDialog();

    enum { IDD = IDD_ABOUTBOX };

protected:
    CStatic m_wndVersion;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    DECLARE_MESSAGE_MAP()
};
