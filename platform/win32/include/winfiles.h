// Files, environment, module and path names.
//
// Paths are the host's paths ("/" separated, UTF-8).  OpenFile has no limit
// of its own on the length of the path; only the copy it leaves in
// OFSTRUCT::szPathName is cut to OFS_MAXPATHNAME - 1 characters.
#pragma once

#include "windef.h"
#include "winerror.h"

// OpenFile ------------------------------------------------------------------

typedef int HFILE;
#define HFILE_ERROR ((HFILE)-1)

#define OFS_MAXPATHNAME 128

typedef struct _OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *POFSTRUCT, *LPOFSTRUCT;

#define OF_READ 0x00000000
#define OF_WRITE 0x00000001
#define OF_DELETE 0x00000200
#define OF_EXIST 0x00004000

// OF_EXIST tests whether the file exists and leaves nothing open; OF_DELETE
// deletes it; OF_READ returns a read handle and OF_WRITE a write handle to
// an existing file (neither creates nor truncates it), which the caller
// closes with _lclose.  A file that may not be written (permissions, a
// read-only or immutable file, a read-only file system) fails OF_WRITE with
// ERROR_ACCESS_DENIED.  On failure: HFILE_ERROR, with the error code in nErrCode and in
// GetLastError (ERROR_PATH_NOT_FOUND when the directory is missing,
// ERROR_FILE_NOT_FOUND when only the file is).
HFILE OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle);
HFILE _lclose(HFILE hFile);

BOOL DeleteFile(LPCSTR lpFileName);

// Environment ---------------------------------------------------------------

// Returns the value's length without its terminator when it fits in nSize
// characters, the size needed with the terminator when it does not, and 0
// with ERROR_ENVVAR_NOT_FOUND when the variable is not set.  "TEMP" always
// exists: when the environment has none, it names an on-disk directory of
// this user's (see docs/design/files-registry.md).
DWORD GetEnvironmentVariable(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);

// Path names ----------------------------------------------------------------

// The canonical absolute form of an existing path (symbolic links, "." and
// ".." resolved); 0 with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when
// it does not exist.  Buffer sizes as GetEnvironmentVariable.  The source
// and the destination may be the same buffer.
DWORD GetLongPathName(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer);

// hModule NULL: the full path of the running executable.  A buffer too small
// receives the path cut to nSize - 1 characters; the result is then nSize
// with ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileName(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
