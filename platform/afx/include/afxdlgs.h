// CFileDialog: the save-file common dialog.
#pragma once

#include <commdlg.h>

#include <string>
#include <vector>

#include "afxdialog.h"

class CFileDialog : public CDialog {
public:
    // lpszFilter: pairs of description and pattern, each ended by '|', the
    // list by a second '|' ("DV File|*.avi||").  Only the save dialog
    // (bOpenFileDialog FALSE) is available.
    explicit CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr,
                         LPCSTR lpszFileName = nullptr,
                         DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         LPCSTR lpszFilter = nullptr, CWnd* pParentWnd = nullptr);

    // The dialog's settings; fields may be changed before DoModal
    // (lpstrTitle, lpstrInitialDir, Flags...).
    OPENFILENAME m_ofn;

    // IDOK with the chosen path, else IDCANCEL (cancelled or failed:
    // CommDlgExtendedError tells which).
    INT_PTR DoModal() override;

    // The chosen path (after IDOK), else the initial file name.
    std::string GetPathName() const;

private:
    BOOL m_bOpenFileDialog;
    std::string m_strDefExt;
    std::string m_strFilter;     // '|' turned into zero bytes
    std::vector<char> m_szFile;  // the file name buffer
};
