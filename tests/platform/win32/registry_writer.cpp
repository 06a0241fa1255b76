// Second process for the concurrent-writer registry test: writes `count`
// values named "<tag>-<i>" into HKEY_LOCAL_MACHINE\SOFTWARE\Tapeloom Test,
// opening (or creating) the key afresh for each value, as a program that
// saves its settings does.  Exit status 0 when every call succeeded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string tag = argv[1];
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        LONG result = RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tapeloom Test", 0,
                                   KEY_READ | KEY_WRITE, &key);
        if (result == ERROR_FILE_NOT_FOUND)
            result = RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tapeloom Test", 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                                    nullptr);
        if (result != ERROR_SUCCESS) {
            std::fprintf(stderr, "open %d: %ld\n", i, static_cast<long>(result));
            return 1;
        }
        const std::string name = tag + "-" + std::to_string(i);
        const DWORD value = static_cast<DWORD>(i);
        result = RegSetValueEx(key, name.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) {
            std::fprintf(stderr, "set %d: %ld\n", i, static_cast<long>(result));
            return 1;
        }
    }
    return 0;
}
