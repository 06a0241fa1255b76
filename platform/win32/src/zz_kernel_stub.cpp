// TEMPORARY: stands in for the kernel subset until it lands on main.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "internal/runtime_dir.h"
#include "winbase.h"

namespace { thread_local DWORD t_error = 0; }
DWORD GetLastError() { return t_error; }
VOID SetLastError(DWORD e) { t_error = e; }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
VOID Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
namespace win32_detail {
std::string UserRuntimeDir() {
    const char* d = std::getenv("TAPELOOM_RUNTIME_DIR");
    std::string dir = d ? d : "/tmp/tapeloom-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    return dir;
}
}
