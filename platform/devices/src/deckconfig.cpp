// Parsing the virtual decks' configuration.
#include "devices/deckconfig.h"

#include <cerrno>
#include <cstdlib>

namespace dvdeck {

namespace {

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

// A whole decimal number from 1 to 1e9.
bool ParseCount(const std::string& s, long* value) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    errno = 0;
    long v = std::strtol(s.c_str(), nullptr, 10);
    if (errno != 0 || v < 1 || v > 1000000000L) return false;
    *value = v;
    return true;
}

// Milliseconds, 0 to a minute.
bool ParseMilliseconds(const std::string& s, long* value) {
    if (s == "0") {
        *value = 0;
        return true;
    }
    return ParseCount(s, value) && *value <= 60000;
}

// "<code>" or "<code>@<frame>" (the code is reported from that tape frame on).
bool ParseSignal(const std::string& s, DeckConfig* deck) {
    const size_t at = s.find('@');
    long code = 0, from = 0;
    if (!ParseCount(Trim(s.substr(0, at)), &code)) return false;
    if (at != std::string::npos) {
        const std::string frame = Trim(s.substr(at + 1));
        if (frame != "0" && !ParseCount(frame, &from)) return false;
    }
    deck->signal = code;
    deck->signalFrom = from;
    return true;
}

// One deck; an empty result on success, else what is wrong.
std::string ParseDeck(const std::string& entry, DeckConfig* deck) {
    std::vector<std::string> fields = Split(entry, ',');
    const std::string head = fields[0];
    size_t eq = head.find('=');
    if (eq == std::string::npos) return "\"" + Trim(head) + "\" has no \"=<tape>\"";
    const std::string name = Trim(head.substr(0, eq));
    deck->tape = Trim(head.substr(eq + 1));
    if (name.empty()) return "a deck has no name";
    deck->name = WideFromUtf8(name);
    if (deck->tape.empty()) return "deck \"" + name + "\" has no tape";
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string option = Trim(fields[i]);
        size_t oeq = option.find('=');
        const std::string key = Trim(option.substr(0, oeq));
        const std::string value =
            oeq == std::string::npos ? std::string() : Trim(option.substr(oeq + 1));
        long n = 0;
        if (key == "no-timecode" && oeq == std::string::npos) {
            deck->timecodeReader = false;
        } else if (key == "signal" && ParseSignal(value, deck)) {
        } else if (key == "damage" && ParseCount(value, &n)) {
            deck->damageEvery = n;
        } else if (key == "unplug" && ParseCount(value, &n)) {
            deck->unplugAfter = n;
        } else if (key == "thread" && ParseMilliseconds(value, &n)) {
            deck->threadMs = n;
        } else if (key == "thread") {
            return "deck \"" + name + "\": \"" + option + "\" needs milliseconds from 0 to 60000";
        } else if (key == "signal") {
            return "deck \"" + name + "\": \"" + option +
                   "\" needs a whole number from 1, optionally followed by @<frame>";
        } else if (key == "damage" || key == "unplug") {
            return "deck \"" + name + "\": \"" + option + "\" needs a whole number from 1";
        } else {
            return "deck \"" + name + "\": unknown option \"" + option + "\"";
        }
    }
    return std::string();
}

}  // namespace

std::vector<DeckConfig> ParseDeckList(const std::string& text, std::vector<std::string>* errors) {
    std::vector<DeckConfig> decks;
    for (const std::string& part : Split(text, ';')) {
        const std::string entry = Trim(part);
        if (entry.empty()) continue;
        DeckConfig deck;
        std::string error = ParseDeck(entry, &deck);
        for (const DeckConfig& other : decks)
            if (error.empty() && other.name == deck.name)
                error = "deck \"" + Utf8FromWide(deck.name) + "\" is named twice";
        if (error.empty()) {
            decks.push_back(std::move(deck));
        } else if (errors) {
            errors->push_back(error);
        }
    }
    return decks;
}

std::wstring WideFromUtf8(const std::string& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= s.size()) {
                ok = false;
                break;
            }
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string Utf8FromWide(const std::wstring& s) {
    std::string out;
    for (wchar_t wc : s) {
        const char32_t c = static_cast<char32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace dvdeck
