// Registry functions over the user's registry file.
//
// An HKEY is an entry of this process's table of open keys: the key's full
// path and the access it was opened with.  The predefined roots need no
// opening.  Nothing is cached: every call reads the file, every change is
// written to it before the call returns, so other processes see it at once.
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "internal/registryfile.h"
#include "internal/registryhive.h"
#include "winreg.h"

namespace {

using win32_detail::Hive;

struct OpenKey {
    std::string path;
    REGSAM access;
};

std::mutex g_keysMutex;
std::unordered_map<HKEY, std::unique_ptr<OpenKey>>& Keys() {
    static std::unordered_map<HKEY, std::unique_ptr<OpenKey>> keys;
    return keys;
}

// A copy of the open key behind `hKey`, or nullopt for an invalid handle.
std::optional<OpenKey> Lookup(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) return OpenKey{win32_detail::kHklm, KEY_ALL_ACCESS};
    if (hKey == HKEY_CURRENT_USER) return OpenKey{win32_detail::kHkcu, KEY_ALL_ACCESS};
    std::lock_guard<std::mutex> lock(g_keysMutex);
    auto it = Keys().find(hKey);
    if (it == Keys().end()) return std::nullopt;
    return *it->second;
}

HKEY Register(std::string path, REGSAM access) {
    auto key = std::make_unique<OpenKey>(OpenKey{std::move(path), access});
    HKEY handle = reinterpret_cast<HKEY>(key.get());
    std::lock_guard<std::mutex> lock(g_keysMutex);
    Keys().emplace(handle, std::move(key));
    return handle;
}

// The full path of `subKey` under `base`.  Components are separated by one
// backslash; the subkey may not start with one, and may end with one.
LONG JoinPath(const std::string& base, LPCSTR subKey, std::string& path) {
    path = base;
    if (subKey == nullptr || *subKey == '\0') return ERROR_SUCCESS;
    std::string sub = subKey;
    if (sub.size() > 1 && sub.back() == '\\') sub.pop_back();
    size_t start = 0;
    for (;;) {
        size_t slash = sub.find('\\', start);
        size_t end = slash == std::string::npos ? sub.size() : slash;
        if (end == start) return ERROR_BAD_PATHNAME;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    path += "\\" + sub;
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::optional<OpenKey> base = Lookup(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string path;
    if (LONG result = JoinPath(base->path, lpSubKey, path); result != ERROR_SUCCESS) return result;
    if (!win32_detail::LoadHive().KeyExists(path)) return ERROR_FILE_NOT_FOUND;
    *phkResult = Register(std::move(path), samDesired);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                    REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                    PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
    std::optional<OpenKey> base = Lookup(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string path;
    if (LONG result = JoinPath(base->path, lpSubKey, path); result != ERROR_SUCCESS) return result;
    bool created = false;
    LONG result = win32_detail::UpdateHive([&](Hive& hive) {
        if (hive.KeyExists(path)) return false;
        hive.ListKey(path);
        created = true;
        return true;
    });
    if (result != ERROR_SUCCESS) return result;
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = Register(std::move(path), samDesired);
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                     LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::optional<OpenKey> key = Lookup(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if ((key->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Hive hive = win32_detail::LoadHive();
    const win32_detail::RegValue* value =
        hive.FindValue(key->path, lpValueName != nullptr ? lpValueName : "");
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr) *lpType = value->type;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(value->data.size());
    const DWORD room = *lpcbData;
    *lpcbData = size;
    if (lpData == nullptr) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    std::memcpy(lpData, value->data.data(), size);
    return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData) {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    std::optional<OpenKey> key = Lookup(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if ((key->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::string name = lpValueName != nullptr ? lpValueName : "";
    std::string data = lpData != nullptr
                           ? std::string(reinterpret_cast<const char*>(lpData), cbData)
                           : std::string();
    return win32_detail::UpdateHive([&](Hive& hive) {
        hive.SetValue(key->path, name, dwType, data);
        return true;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    std::unique_ptr<OpenKey> closed;
    std::lock_guard<std::mutex> lock(g_keysMutex);
    auto it = Keys().find(hKey);
    if (it == Keys().end()) return ERROR_INVALID_HANDLE;
    closed = std::move(it->second);
    Keys().erase(it);
    return ERROR_SUCCESS;
}
