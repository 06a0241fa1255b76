// TEMPORARY: stands in for the kernel's last-error value until the kernel
// component is on main; removed then.
#include "winbase.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return t_lastError; }
VOID SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
