// The registry's contents in memory, and their text form (see the header).
#include "internal/registryhive.h"

#include <algorithm>
#include <cstdio>

namespace win32_detail {

namespace {

constexpr char kHeader[] = "TAPELOOM-REGISTRY 1";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

// Structural UTF-8 check: lead bytes, continuation bytes, no overlong or
// surrogate forms, nothing past U+10FFFF.
bool IsUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        size_t need;
        unsigned char lower = 0x80, upper = 0xBF;
        if (b < 0x80)
            need = 0;
        else if (b >= 0xC2 && b <= 0xDF)
            need = 1;
        else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lower = 0xA0;
            if (b == 0xED) upper = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lower = 0x90;
            if (b == 0xF4) upper = 0x8F;
        } else
            return false;
        ++i;
        for (size_t k = 0; k < need; ++k, ++i) {
            if (i >= s.size()) return false;
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < lower || c > upper) return false;
            lower = 0x80;
            upper = 0xBF;
        }
    }
    return true;
}

void AppendHex(std::string& out, char prefix, unsigned char b) {
    static const char digits[] = "0123456789abcdef";
    out.push_back(prefix);
    if (prefix == '\\') out.push_back('x');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0xF]);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHexByte(const std::string& s, size_t at, std::string& out) {
    if (at + 1 >= s.size()) return false;
    int hi = HexDigit(s[at]), lo = HexDigit(s[at + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
    return true;
}

std::string Quote(const std::string& bytes) {
    const bool rawHigh = IsUtf8(bytes);
    std::string out = "\"";
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (b < 0x20 || b == 0x7F || (b >= 0x80 && !rawHigh)) {
            AppendHex(out, '\\', b);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

// Reads a quoted string starting at `at`; leaves `at` after the closing quote.
bool Unquote(const std::string& line, size_t& at, std::string& out) {
    if (at >= line.size() || line[at] != '"') return false;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++at >= line.size()) return false;
        if (line[at] == '\\' || line[at] == '"') {
            out.push_back(line[at]);
        } else if (line[at] == 'x') {
            if (!ReadHexByte(line, at + 1, out)) return false;
            at += 2;
        } else {
            return false;
        }
    }
    return false;
}

std::string EscapePath(const std::string& path) {
    const bool rawHigh = IsUtf8(path);
    std::string out;
    for (char c : path) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '%' || c == '[' || c == ']' || (b >= 0x80 && !rawHigh))
            AppendHex(out, '%', b);
        else
            out.push_back(c);
    }
    return out;
}

bool UnescapePath(const std::string& text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || text[i] == '[' || text[i] == ']') return false;
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (!ReadHexByte(text, i + 1, out)) return false;
        i += 2;
    }
    return true;
}

// A root followed by non-empty components.
bool ValidKeyPath(const std::string& path) {
    size_t slash = path.find('\\');
    std::string root = path.substr(0, slash);
    if (root != kHklm && root != kHkcu) return false;
    while (slash != std::string::npos) {
        size_t next = path.find('\\', slash + 1);
        size_t end = next == std::string::npos ? path.size() : next;
        if (end == slash + 1) return false;
        slash = next;
    }
    return true;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case 0:
            return "none";
        case 1:
            return "sz";
        case 3:
            return "binary";
        case 4:
            return "dword";
        default:
            return nullptr;
    }
}

bool ParseType(const std::string& text, DWORD& type) {
    for (DWORD t : {0u, 1u, 3u, 4u}) {
        if (text == TypeName(t)) {
            type = t;
            return true;
        }
    }
    if (text.rfind("type", 0) != 0 || text.size() == 4 || text.size() > 14) return false;
    unsigned long long n = 0;
    for (size_t i = 4; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (n > 0xFFFFFFFFull) return false;
    type = static_cast<DWORD>(n);
    return true;
}

bool ParseValueLine(const std::string& line, RegValue& value) {
    size_t at = 0;
    if (!Unquote(line, at, value.name)) return false;
    if (at >= line.size() || line[at] != '=') return false;
    size_t colon = line.find(':', ++at);
    if (colon == std::string::npos) return false;
    if (!ParseType(line.substr(at, colon - at), value.type)) return false;
    at = colon + 1;
    if (value.type == 4 && at < line.size() && line[at] != '"') {
        if (line.size() - at != 8) return false;
        DWORD v = 0;
        for (; at < line.size(); ++at) {
            int d = HexDigit(line[at]);
            if (d < 0) return false;
            v = (v << 4) | static_cast<DWORD>(d);
        }
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return true;
    }
    return Unquote(line, at, value.data) && at == line.size();
}

}  // namespace

bool RegistryNamesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool Hive::KeyExists(const std::string& path) const {
    if (RegistryNamesEqual(path, kHklm) || RegistryNamesEqual(path, kHkcu)) return true;
    const std::string lowered = Lowered(path);
    if (m_keys.count(lowered) != 0) return true;
    const std::string prefix = lowered + "\\";
    auto it = m_keys.lower_bound(prefix);
    return it != m_keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

const RegKey* Hive::FindKey(const std::string& path) const {
    auto it = m_keys.find(Lowered(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegKey& Hive::ListKey(const std::string& path) {
    auto [it, added] = m_keys.try_emplace(Lowered(path));
    if (added) it->second.path = path;
    return it->second;
}

const RegValue* Hive::FindValue(const std::string& path, const std::string& name) const {
    const RegKey* key = FindKey(path);
    if (key == nullptr) return nullptr;
    auto it = key->values.find(Lowered(name));
    return it == key->values.end() ? nullptr : &it->second;
}

void Hive::SetValue(const std::string& path, const std::string& name, DWORD type,
                    std::string data) {
    RegKey& key = ListKey(path);
    auto [it, added] = key.values.try_emplace(Lowered(name));
    if (added) it->second.name = name;
    it->second.type = type;
    it->second.data = std::move(data);
}

ParsedHive Hive::Parse(const std::string& text) {
    ParsedHive parsed;
    Hive& hive = parsed.hive;
    std::optional<std::string> current;  // path of the section being read
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            // Cut short: the last line is read all the same (a value cut
            // inside it no longer parses and is dropped).
            parsed.damaged = true;
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // Line ends written elsewhere ("\r\n"): the lines themselves count.
        if (!line.empty() && line.back() == '\r') {
            parsed.damaged = true;
            line.pop_back();
        }
        if (first) {
            // Not this store's file: nothing in it is taken for a value.
            if (line != kHeader) {
                parsed.damaged = true;
                return parsed;
            }
            first = false;
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            std::string path;
            if (line.back() != ']' || line.size() < 2 ||
                !UnescapePath(line.substr(1, line.size() - 2), path) || !ValidKeyPath(path)) {
                // The values that follow belong to no key known to be right.
                parsed.damaged = true;
                current.reset();
                continue;
            }
            hive.ListKey(path);
            current = path;
            continue;
        }
        RegValue value;
        if (!current || !ParseValueLine(line, value)) {
            parsed.damaged = true;  // this line's value is lost, no other
            continue;
        }
        hive.SetValue(*current, value.name, value.type, std::move(value.data));
    }
    if (first) parsed.damaged = true;  // no header: empty or foreign file
    return parsed;
}

bool Hive::Empty() const { return m_keys.empty(); }

std::string Hive::Serialize() const {
    std::string out = kHeader;
    out +=
        "\n# Settings of this user's programs. Keys are [sections]; each value is\n"
        "# \"name\"=type:data with its exact bytes (\\\\, \\\" and \\xHH escapes).\n";
    for (const auto& [lowered, key] : m_keys) {
        out += "\n[" + EscapePath(key.path) + "]\n";
        for (const auto& [lowerName, value] : key.values) {
            out += Quote(value.name) + "=";
            if (value.type == 4 && value.data.size() == 4) {
                DWORD v = 0;
                for (int i = 3; i >= 0; --i)
                    v = (v << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(v));
                out += std::string("dword:") + hex + "\n";
                continue;
            }
            const char* name = TypeName(value.type);
            out += name != nullptr ? std::string(name) : "type" + std::to_string(value.type);
            out += ":" + Quote(value.data) + "\n";
        }
    }
    return out;
}

}  // namespace win32_detail
