// CFileDialog on the save-file common dialog.
#include <cstring>

#include "afxapp.h"
#include "afxdlgs.h"

namespace {
// Room for any path the host allows, with the terminating zero.
constexpr size_t kFileBufferSize = 4096 + 1;
}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName,
                         DWORD dwFlags, LPCSTR lpszFilter, CWnd* pParentWnd)
    : CDialog(0, pParentWnd),
      m_ofn{},
      m_bOpenFileDialog(bOpenFileDialog),
      m_szFile(kFileBufferSize, '\0') {
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.Flags = dwFlags;
    m_ofn.lpstrFile = m_szFile.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_szFile.size());
    if (lpszFileName) std::strncpy(m_szFile.data(), lpszFileName, m_szFile.size() - 1);
    if (lpszDefExt) {
        m_strDefExt = lpszDefExt;
        m_ofn.lpstrDefExt = m_strDefExt.c_str();
    }
    if (lpszFilter) {
        m_strFilter = lpszFilter;
        for (char& c : m_strFilter)
            if (c == '|') c = '\0';
        // The list ends with an empty string even when the caller's text
        // lacks the closing "||".
        m_strFilter.append(2, '\0');
        m_ofn.lpstrFilter = m_strFilter.c_str();
    }
}

INT_PTR CFileDialog::DoModal() {
    if (m_bOpenFileDialog) return IDCANCEL;  // no open dialog in this system
    CWnd* pOwner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    m_ofn.hwndOwner = pOwner ? pOwner->m_hWnd : nullptr;
    return ::GetSaveFileName(&m_ofn) ? IDOK : IDCANCEL;
}

std::string CFileDialog::GetPathName() const {
    return m_ofn.lpstrFile ? std::string(m_ofn.lpstrFile) : std::string();
}
