// Parsing of the fault words a node is given in the bus description or over
// the control socket (see fwemu/faults.h).
#include "fwemu/faults.h"

#include <cstdlib>
#include <sstream>

namespace fwemu {

namespace {

bool ToInt(const std::string& text, int64_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || v < 0) return false;
    out = v;
    return true;
}

}  // namespace

bool ApplyFaultWords(const std::string& desc, Faults& f, std::string* error) {
    std::string words = desc;
    for (char& c : words)
        if (c == ',') c = ' ';
    std::istringstream in(words);
    std::string word;
    while (in >> word) {
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        int64_t n = 0;
        bool ok = true;
        if (key == "clear" && value.empty()) {
            f = Faults{};
        } else if (key == "silent" && value.empty()) {
            f.silent = true;
        } else if (key == "reject" && value.empty()) {
            f.reject = true;
        } else if (key == "late" && value.empty()) {
            f.late = true;
        } else if (key == "interim") {
            if (value.empty())
                f.interimMs = 300;
            else if (value == "never")
                f.interimMs = Faults::kNever;
            else if ((ok = ToInt(value, n)))
                f.interimMs = static_cast<int>(n);
        } else if (key == "delay") {
            if ((ok = ToInt(value, n))) f.delayMs = static_cast<int>(n);
        } else if (key == "transition") {
            if ((ok = ToInt(value, n))) f.transitionMs = static_cast<int>(n);
        } else if (key == "loss") {
            if ((ok = ToInt(value, n))) f.lossEvery = n;
        } else if (key == "frameloss") {
            if ((ok = ToInt(value, n))) f.frameLossEvery = n;
        } else if (key == "eintr") {
            if ((ok = ToInt(value, n))) f.eintrEvery = n;
        } else if (key == "burst") {
            const size_t colon = value.find(':');
            int64_t at = 0, count = 0;
            ok = colon != std::string::npos && ToInt(value.substr(0, colon), at) &&
                 ToInt(value.substr(colon + 1), count);
            if (ok) {
                f.burstAt = at;
                f.burstCount = count;
            }
        } else {
            ok = false;
        }
        if (!ok) {
            if (error) *error = "bad fault: " + word;
            return false;
        }
    }
    return true;
}

}  // namespace fwemu
