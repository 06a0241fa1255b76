// Registry subset over a per-user text file.
//
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER both live in the user's own
// registry file.  Key paths are backslash-separated and case-insensitive, as
// are value names.  Values are stored with their type and exact bytes and
// read back as stored, whatever type the reader expects.  Every RegSetValueEx
// and every RegCreateKeyEx that creates a key is written to the file at once.
#pragma once

#include "winbase.h"
#include "windef.h"
#include "winerror.h"

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define READ_CONTROL 0x00020000L
#define KEY_READ 0x00020019L
#define KEY_WRITE 0x00020006L
#define KEY_ALL_ACCESS 0x000F003FL

#define REG_OPTION_NON_VOLATILE 0x00000000L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

LONG RegOpenKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                    REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                    PHKEY phkResult, LPDWORD lpdwDisposition);
// lpData NULL asks for the size; a buffer too small gives ERROR_MORE_DATA
// with the size needed in *lpcbData.  No terminator is added to a string
// stored without one.
LONG RegQueryValueEx(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                     LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueEx(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData);
LONG RegCloseKey(HKEY hKey);
