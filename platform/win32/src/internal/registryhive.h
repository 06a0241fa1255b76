// The registry's contents in memory, and their text form.
//
// Text form, one file per user:
//
//   TAPELOOM-REGISTRY 1
//   # comment
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quindle\Tapeloom\1.0]
//   "Capture File"=sz:"/home/me/.cache/tapeloom/tmp/Tapeloom00000.avi"
//   "File Type"=dword:00000001
//   "Blob"=binary:"\x01\x02"
//
// A key is a [section] with its full path; keys between a root and a listed
// key exist implicitly.  A value is its quoted name, its type (none, sz,
// binary, dword or type<number>) and its exact bytes as a quoted string with
// \\, \" and \xHH escapes; a REG_DWORD of exactly 4 bytes is written as 8 hex
// digits of its value instead.  Key paths escape control characters, '%',
// '[' and ']' as %HH.  Bytes that are not UTF-8 are escaped in both.  Every
// line ends with a newline.  A file with a line that does not parse, "\r\n"
// line ends or no final newline is damaged; its well-formed lines still
// give their keys and values.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "windef.h"

namespace win32_detail {

inline constexpr char kHklm[] = "HKEY_LOCAL_MACHINE";
inline constexpr char kHkcu[] = "HKEY_CURRENT_USER";

struct RegValue {
    std::string name;
    DWORD type = 0;
    std::string data;
};

struct RegKey {
    std::string path;                        // root\component\..., in the case it was created with
    std::map<std::string, RegValue> values;  // by lower-case name
};

// ASCII case-insensitive equality, as key paths and value names compare.
bool RegistryNamesEqual(const std::string& a, const std::string& b);

struct ParsedHive;

class Hive {
public:
    // True for a root, a listed key, or a key on the way to a listed key.
    bool KeyExists(const std::string& path) const;
    const RegKey* FindKey(const std::string& path) const;
    // The listed key, created when missing.
    RegKey& ListKey(const std::string& path);
    const RegValue* FindValue(const std::string& path, const std::string& name) const;
    void SetValue(const std::string& path, const std::string& name, DWORD type, std::string data);

    // The keys and values of every well-formed line of the text.
    static ParsedHive Parse(const std::string& text);
    std::string Serialize() const;
    bool Empty() const;  // no key listed

private:
    std::map<std::string, RegKey> m_keys;  // by lower-case path
};

struct ParsedHive {
    Hive hive;
    bool damaged = false;  // some line was not whole and well formed
};

}  // namespace win32_detail
