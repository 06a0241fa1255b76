// The remembered settings: the file type and the current output file, in
// the program's registry key.
#include <string.h>

#include "CapturePanel.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\Quindle\\Tapeloom\\1.0";
const char kFileTypeValue[] = "File Type";
const char kCaptureFileValue[] = "Capture File";

// Longest stored name taken over; a longer one gives the default file.
const size_t kMaxStoredName = 1999;

void WriteSettings(HKEY hKey, int nFileType, const std::string& strCaptureFile) {
    const DWORD dwFileType = static_cast<DWORD>(nFileType);
    RegSetValueEx(hKey, kFileTypeValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwFileType),
                  sizeof dwFileType);
    RegSetValueEx(hKey, kCaptureFileValue, 0, REG_SZ,
                  reinterpret_cast<const BYTE*>(strCaptureFile.c_str()),
                  static_cast<DWORD>(strCaptureFile.size()));
}

HKEY CreateSettingsKey() {
    HKEY hKey = NULL;
    DWORD dwDisposition = 0;
    char szClass[] = "";
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, szClass, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_WRITE, NULL, &hKey, &dwDisposition) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

}  // namespace

void CCapturePanel::LoadSettings() {
    HKEY hKey = NULL;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WRITE, &hKey) !=
        ERROR_SUCCESS) {
        m_nFileType = 1;
        char szName[4096] = {0};
        DefaultCaptureFile(szName, sizeof szName);
        m_strCaptureFile = szName;
        hKey = CreateSettingsKey();
        if (hKey != NULL) {
            WriteSettings(hKey, m_nFileType, m_strCaptureFile);
            RegCloseKey(hKey);
        }
        return;
    }

    // A value of any other size or content than a 4-byte 0 or 1 reads as 1.
    DWORD dwFileType = 1, dwType = 0, cbData = sizeof dwFileType;
    if (RegQueryValueEx(hKey, kFileTypeValue, NULL, &dwType, reinterpret_cast<LPBYTE>(&dwFileType),
                        &cbData) != ERROR_SUCCESS ||
        cbData != sizeof dwFileType || dwFileType > 1)
        dwFileType = 1;
    m_nFileType = static_cast<int>(dwFileType);

    // The last byte of the zeroed buffer is kept out of the read, so a name
    // stored without its terminator always ends inside the buffer.
    char szName[4096] = {0};
    cbData = sizeof szName - 1;
    const LONG lRead = RegQueryValueEx(hKey, kCaptureFileValue, NULL, &dwType,
                                       reinterpret_cast<LPBYTE>(szName), &cbData);
    const size_t nLength = strlen(szName);
    if (lRead != ERROR_SUCCESS || nLength < 2 || nLength > kMaxStoredName) {
        memset(szName, 0, sizeof szName);
        DefaultCaptureFile(szName, sizeof szName);
    }

    OFSTRUCT of;
    HFILE hFile = OpenFile(szName, &of, OF_READ);
    if (hFile != HFILE_ERROR) {
        _lclose(hFile);
    } else if (of.nErrCode == ERROR_PATH_NOT_FOUND) {
        memset(szName, 0, sizeof szName);
        DefaultCaptureFile(szName, sizeof szName);
    }

    // No free numbered name can be formed from the stored one: the default
    // file, which is free, takes its place.  The free name must be one the
    // numbering handles too (its number or its padding can make it longer
    // than the stored name): a longer one is refused like a longer stored
    // name, never cut by a later Stop Capture.
    if (!MakeFreeName(szName, static_cast<int>(kMaxStoredName) + 1)) {
        memset(szName, 0, sizeof szName);
        DefaultCaptureFile(szName, sizeof szName);
    }
    m_strCaptureFile = szName;
    RegCloseKey(hKey);
}

void CCapturePanel::SaveSettings() {
    HKEY hKey = NULL;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WRITE, &hKey) !=
        ERROR_SUCCESS)
        hKey = CreateSettingsKey();
    if (hKey == NULL) return;
    WriteSettings(hKey, m_nFileType, m_strCaptureFile);
    RegCloseKey(hKey);
}
