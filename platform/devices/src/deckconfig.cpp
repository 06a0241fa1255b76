// Parsing the virtual decks' configuration.
#include "devices/deckconfig.h"

#include <win32/utf8.h>

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
    deck->name = win32_utf8::WideFromUtf8(name);
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
                error = "deck \"" + win32_utf8::Utf8FromWide(deck.name) + "\" is named twice";
        if (error.empty()) {
            decks.push_back(std::move(deck));
        } else if (errors) {
            errors->push_back(error);
        }
    }
    return decks;
}

}  // namespace dvdeck
