// Second process for the kernel tests.  Modes:
//   mutex NAME        CreateMutex(NAME) and print the outcome, then exit
//   hold NAME         the same, then keep the mutex until killed
//   message NAME...   print RegisterWindowMessage(NAME) for each name
//   thread-limit      start threads under an address-space limit too small
//                     for their stacks and print what the calls returned
// Outcomes of CreateMutex: "first", "exists", "denied" or "error <code>".
#include <process.h>
#include <sys/resource.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

void PrintMutexOutcome(const char* name) {
    HANDLE mutex = CreateMutex(nullptr, FALSE, name);
    DWORD error = GetLastError();
    if (mutex != nullptr && error == ERROR_SUCCESS) {
        std::printf("first\n");
    } else if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
        std::printf("exists\n");
    } else if (mutex == nullptr && error == ERROR_ACCESS_DENIED) {
        std::printf("denied\n");
    } else {
        std::printf("error %u\n", static_cast<unsigned>(error));
    }
    std::fflush(stdout);
}

long VirtualMemoryBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmSize:") {
            status >> kb;
            return kb * 1024;
        }
    }
    return -1;
}

void Nothing(void*) {}
DWORD WINAPI NothingThread(LPVOID) { return 0; }

int ThreadLimit() {
    // Room for small allocations, far too little for a 1 GiB stack.
    long used = VirtualMemoryBytes();
    if (used < 0) return 2;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(used) + (64l << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) return 2;
    const unsigned stack = 1u << 30;
    errno = 0;
    uintptr_t crt = _beginthread(Nothing, stack, nullptr);
    int crt_errno = errno;
    DWORD crt_error = GetLastError();
    SetLastError(ERROR_SUCCESS);
    HANDLE win32 = CreateThread(nullptr, stack, NothingThread, nullptr, 0, nullptr);
    DWORD win32_error = GetLastError();
    std::printf("beginthread %s %d %u\n", crt == static_cast<uintptr_t>(-1) ? "failed" : "started",
                crt_errno, static_cast<unsigned>(crt_error));
    std::printf("createthread %s %u\n", win32 == nullptr ? "failed" : "started",
                static_cast<unsigned>(win32_error));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string mode = argv[1];
    if (mode == "mutex" && argc == 3) {
        PrintMutexOutcome(argv[2]);
        return 0;
    }
    if (mode == "hold" && argc == 3) {
        PrintMutexOutcome(argv[2]);
        for (;;) pause();
    }
    if (mode == "message") {
        for (int i = 2; i < argc; ++i) std::printf("%u\n", RegisterWindowMessage(argv[i]));
        std::fflush(stdout);
        return 0;
    }
    if (mode == "thread-limit") return ThreadLimit();
    return 2;
}
