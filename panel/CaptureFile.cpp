// The current output file: numbered names, the default file, the free-name
// rule, deletion of an unused output file, and pointing the file writer at
// a new name.
#include <afxdlgs.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "CaptureMessages.h"
#include "CapturePanel.h"
#include "resource.h"

namespace {

// Longest name the numbering handles, without the terminator.  Names read
// from the settings or chosen by the user that are longer are refused, so
// that no buffer along the way ever cuts a name into another one.
const size_t kMaxNumberedName = 1999;

const int kDefaultWidth = 5;

// Forms the next numbered name of pszSource in strResult: the digit run
// before the extension (or at the end) is replaced by its value plus one,
// at least nWidth digits wide.  Fails when the result, with its
// terminator, would not fit in nDestSize bytes.
bool FormNextName(LPCSTR pszSource, int nDestSize, int nWidth, std::string& strResult,
                  DWORD* pdwNumber) {
    const size_t nLength = strlen(pszSource);
    if (nLength == 0 || nLength > kMaxNumberedName) return false;
    if (nWidth < 1 || nWidth > 10) nWidth = kDefaultWidth;

    const std::string strWork(pszSource, nLength);
    const size_t nDot = strWork.rfind('.');
    const bool bExtension = nDot != std::string::npos;
    const std::string strExtension = bExtension ? strWork.substr(nDot + 1) : std::string();
    // Index one past the last character that may be a digit of the number.
    size_t nEnd = bExtension ? nDot : nLength;
    size_t nFirstDigit = nEnd;
    while (nFirstDigit > 0 && strWork[nFirstDigit - 1] >= '0' && strWork[nFirstDigit - 1] <= '9')
        --nFirstDigit;
    DWORD dwNumber = 0;
    for (size_t i = nFirstDigit; i < nEnd; ++i)
        dwNumber = dwNumber * 10 + static_cast<DWORD>(strWork[i] - '0');
    const std::string strStem = strWork.substr(0, nFirstDigit);

    ++dwNumber;
    char szNumber[16];
    snprintf(szNumber, sizeof szNumber, "%0*lu", nWidth, static_cast<unsigned long>(dwNumber));
    // The number is never cut; a number wider than nWidth needs its own room.
    const size_t nDigits = strlen(szNumber);
    const size_t nNeeded = strStem.size() + nDigits + (bExtension ? strExtension.size() + 2 : 1);
    if (static_cast<size_t>(nDestSize) < nNeeded) return false;

    strResult = strStem + szNumber;
    if (bExtension) strResult += "." + strExtension;
    if (pdwNumber != NULL) *pdwNumber = dwNumber;
    return true;
}

bool FileExists(LPCSTR pszName) {
    OFSTRUCT of;
    return OpenFile(pszName, &of, OF_EXIST) != HFILE_ERROR;
}

// The file exists and may be written; opening it for writing changes
// nothing in it.  *pdwError takes the reason when it may not.
bool FileWritable(LPCSTR pszName, DWORD* pdwError) {
    OFSTRUCT of;
    const HFILE hFile = OpenFile(pszName, &of, OF_WRITE);
    if (hFile == HFILE_ERROR) {
        if (pdwError != NULL) *pdwError = of.nErrCode;
        return false;
    }
    _lclose(hFile);
    return true;
}

// The graph runs with its recording branch in place.
bool GraphRuns(IGraphBuilder* pGraph, IFileSinkFilter* pFileSink) {
    if (pGraph == NULL || pFileSink == NULL) return false;
    IMediaControl* pControl = NULL;
    pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl));
    if (pControl == NULL) return false;
    OAFILTER_STATE state = State_Stopped;
    const HRESULT hr = pControl->GetState(0, &state);
    pControl->Release();
    return SUCCEEDED(hr) && state == State_Running;
}

// The canonical form of an existing file's path; empty when it does not exist.
std::string CanonicalName(LPCSTR pszName) {
    std::string str(4096, '\0');
    DWORD n = GetLongPathName(pszName, &str[0], static_cast<DWORD>(str.size()));
    if (n == 0 || n >= str.size()) return std::string();
    str.resize(n);
    return str;
}

}  // namespace

BOOL CCapturePanel::NextNumberedName(LPCSTR pszSource, LPSTR pszDest, int nDestSize, int nWidth) {
    if (pszSource == NULL || pszDest == NULL || nDestSize < 1 || pszSource[0] == '\0') return FALSE;
    std::string strNext;
    if (!FormNextName(pszSource, nDestSize, nWidth, strNext, NULL)) return FALSE;
    memcpy(pszDest, strNext.c_str(), strNext.size() + 1);
    return TRUE;
}

BOOL CCapturePanel::MakeFreeName(LPSTR pszName, int nSize) {
    while (FileExists(pszName)) {
        std::string strNext;
        DWORD dwNumber = 0;
        if (!FormNextName(pszName, nSize, kDefaultWidth, strNext, &dwNumber)) return FALSE;
        // The number wrapped past 2^32 - 1: every name after this one has
        // been tried already or would be tried again.
        if (dwNumber == 0) return FALSE;
        memcpy(pszName, strNext.c_str(), strNext.size() + 1);
    }
    return TRUE;
}

BOOL CCapturePanel::DefaultCaptureFile(LPSTR pszDest, int nDestSize) {
    if (pszDest == NULL || nDestSize < 1) return FALSE;
    char szName[4096] = {0};
    DWORD n = GetEnvironmentVariable("TEMP", szName, sizeof szName);
    if (n >= sizeof szName) szName[0] = '\0';
    if (strlen(szName) >= 2) {
        GetLongPathName(szName, szName, sizeof szName);
    } else {
        memset(szName, 0, sizeof szName);
        n = GetModuleFileName(NULL, szName, sizeof szName);
        if (n >= sizeof szName) szName[0] = '\0';
        if (strlen(szName) > 2) {
            char* pSlash = strrchr(szName, '/');
            if (pSlash != NULL) *pSlash = '\0';
        }
    }
    static const char kFile[] = "/Tapeloom00000.avi";
    if (strlen(szName) + sizeof kFile > sizeof szName) return FALSE;
    strcat(szName, kFile);
    if (!MakeFreeName(szName, sizeof szName)) return FALSE;
    const size_t nLength = strlen(szName);
    if (nLength > kMaxNumberedName) return FALSE;
    if (nLength >= static_cast<size_t>(nDestSize) - 1) return FALSE;
    memcpy(pszDest, szName, nLength + 1);
    return TRUE;
}

void CCapturePanel::DeleteIfExists(LPCSTR pszName) {
    if (pszName == NULL) return;
    OFSTRUCT of;
    if (OpenFile(pszName, &of, OF_EXIST) != HFILE_ERROR) OpenFile(pszName, &of, OF_DELETE);
}

BOOL CCapturePanel::SetCaptureFile(LPCSTR pszName) {
    if (pszName == NULL) return FALSE;
    HWND hEdit = ::GetDlgItem(GetSafeHwnd(), IDC_CAPTURE_FILE);
    if (hEdit != NULL) {
        const LPARAM nLength = static_cast<LPARAM>(strlen(pszName));
        ::SetWindowText(hEdit, pszName);
        ::SendMessage(hEdit, EM_SETSEL, nLength, nLength);
        ::SendMessage(hEdit, EM_SCROLLCARET, 0, 0);
    }
    m_strCaptureFile = pszName;

    if (m_pGraph != NULL && m_pFileSink != NULL) {
        IMediaControl* pControl = NULL;
        m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl));
        if (pControl != NULL) pControl->Stop();
        const int nChars = MultiByteToWideChar(CP_ACP, 0, pszName, -1, NULL, 0);
        std::wstring strWide(nChars > 0 ? nChars : 1, L'\0');
        if (nChars > 0) MultiByteToWideChar(CP_ACP, 0, pszName, -1, &strWide[0], nChars);
        m_pFileSink->SetFileName(strWide.c_str(), NULL);
        if (m_pBuilder != NULL) {
            REFERENCE_TIME rtStart = MAXLONGLONG, rtStop = 0;
            m_pBuilder->ControlStream(&PIN_CATEGORY_CAPTURE, NULL, NULL, &rtStart, &rtStop, 0, 0);
        }
        if (pControl != NULL) {
            pControl->Run();
            pControl->Release();
        }
    }
    return TRUE;
}

LPCSTR CCapturePanel::CaptureRefusal() {
    if (!m_bGraphFailed && GraphRuns(m_pGraph, m_pFileSink) &&
        FileWritable(m_strCaptureFile.c_str(), NULL))
        return NULL;
    // The name is copied: SetCaptureFile assigns it to m_strCaptureFile.
    const std::string strName = m_strCaptureFile;
    m_bGraphFailed = false;
    SetCaptureFile(strName.c_str());
    if (!GraphRuns(m_pGraph, m_pFileSink)) return kGraphNotStartedText;
    DWORD dwError = ERROR_SUCCESS;
    if (FileWritable(strName.c_str(), &dwError)) return NULL;
    // No folder: the file could not be made.  A folder that lets no file
    // be made, or a file that may not be written (another user's, say),
    // would take the recording nowhere just the same.
    return dwError == ERROR_PATH_NOT_FOUND ? kCannotCreateText : kCannotWriteText;
}

void CCapturePanel::UseChosenCaptureFile(LPCSTR pszChosen) {
    if (pszChosen == NULL || pszChosen[0] == '\0' || strlen(pszChosen) > kMaxNumberedName) return;
    const std::string strPrevious = m_strCaptureFile;
    // Names on this file system are case-sensitive: two names are the same
    // file when they are equal byte for byte, or when both exist and lead
    // to the same canonical path.  The running graph has created the
    // current output file, so a second spelling of it is caught here and
    // the new output file is not deleted as the "previous" one.
    if (strPrevious == pszChosen) return;
    const std::string strCanonical = CanonicalName(pszChosen);
    if (!strCanonical.empty() && strCanonical == CanonicalName(strPrevious.c_str())) return;

    DeleteIfExists(pszChosen);
    SetCaptureFile(pszChosen);
    DeleteIfExists(strPrevious.c_str());

    // A Stop Capture that could form no name at all stopped the recording
    // branch and left Capture off: the file chosen now brings both back.
    if (m_pBuilder != NULL && m_pFileSink == NULL && !m_bCapturing && StartGraph()) {
        m_btnCapture.EnableWindow(TRUE);
        m_wndFileTypeCombo.EnableWindow(TRUE);
    }
}

void CCapturePanel::OnBrowse() {
    CFileDialog dlg(FALSE, "avi", NULL, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, NULL,
                    AfxGetMainWnd());
    dlg.m_ofn.Flags |= OFN_PATHMUSTEXIST;
    dlg.m_ofn.lpstrTitle = "Select a file to Capture into:";
    dlg.m_ofn.lpstrFilter = "DV File\0*.avi\0\0";
    // The dialog opens where the current output file lies.
    char szInitial[4096] = {0};
    strncpy(szInitial, m_strCaptureFile.c_str(), sizeof szInitial - 1);
    dlg.m_ofn.lpstrInitialDir = szInitial;
    if (dlg.DoModal() != IDOK) return;
    const std::string strChosen = dlg.GetPathName();
    UseChosenCaptureFile(strChosen.c_str());
}
