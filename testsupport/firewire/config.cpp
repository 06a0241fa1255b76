// Parsing of the bus description.
#include "fwemu/config.h"

#include <cstdlib>
#include <sstream>

namespace fwemu {

namespace {

// Splits a line into words; a double-quoted part may hold spaces.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

bool KindFromName(const std::string& name, NodeKind& kind) {
    if (name == "camcorder")
        kind = NodeKind::Camcorder;
    else if (name == "hdv")
        kind = NodeKind::Hdv;
    else if (name == "disk")
        kind = NodeKind::Disk;
    else if (name == "iidc")
        kind = NodeKind::Iidc;
    else
        return false;
    return true;
}

}  // namespace

const char* KindName(NodeKind kind) {
    switch (kind) {
        case NodeKind::Local:
            return "local";
        case NodeKind::Camcorder:
            return "camcorder";
        case NodeKind::Hdv:
            return "hdv";
        case NodeKind::Disk:
            return "disk";
        case NodeKind::Iidc:
            return "iidc";
    }
    return "?";
}

bool ParseBusDescription(const std::string& text, BusDescription& bus, std::string* error) {
    bus = BusDescription{};
    std::istringstream in(text);
    std::string line;
    int lineNo = 0, port = 0, counts[5] = {};
    bool anyPortLine = false;
    auto fail = [&](const std::string& what) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        const std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        if (words[0] == "pacing") {
            const bool speed = words.size() == 2 && words[1].size() > 1 && words[1][0] == 'x' &&
                               std::atoi(words[1].c_str() + 1) > 0;
            if (words.size() != 2 || (words[1] != "fast" && words[1] != "realtime" && !speed))
                return fail("pacing takes realtime, fast or x<N>");
            bus.fast = words[1] == "fast";
            bus.speed = speed ? std::atoi(words[1].c_str() + 1) : 1;
            continue;
        }
        if (words[0] == "port") {
            if (anyPortLine || !bus.nodes.empty()) ++port;
            anyPortLine = true;
            continue;
        }
        NodeDescription node;
        if (!KindFromName(words[0], node.kind)) return fail("unknown kind " + words[0]);
        node.port = port;
        std::string faults;
        for (size_t i = 1; i < words.size(); ++i) {
            const std::string& w = words[i];
            const size_t eq = w.find('=');
            const std::string key = w.substr(0, eq);
            const std::string value = eq == std::string::npos ? std::string() : w.substr(eq + 1);
            if (key == "name")
                node.name = value;
            else if (key == "tape")
                node.tape = value;
            else if (key == "repeat" && std::atoi(value.c_str()) > 0)
                node.repeat = std::atoi(value.c_str());
            else if (key == "vendor")
                node.vendor = value;
            else if (key == "model")
                node.model = value;
            else if (key == "unplugged" && value.empty())
                node.plugged = false;
            else if (key == "nobroadcast" && value.empty())
                node.broadcast = false;
            else if (key == "playing" && value.empty())
                node.playing = true;
            else if (key == "guid") {
                char* end = nullptr;
                node.guid = std::strtoull(value.c_str(), &end, 16);
                if (value.empty() || *end) return fail("bad guid " + value);
            } else {
                faults += w + " ";
            }
        }
        std::string faultError;
        if (!ApplyFaultWords(faults, node.faults, &faultError)) return fail(faultError);
        if (node.kind == NodeKind::Camcorder && node.tape.empty())
            return fail("a camcorder needs tape=<file>");
        const int n = ++counts[static_cast<int>(node.kind)];
        if (node.name.empty()) node.name = std::string(KindName(node.kind)) + std::to_string(n);
        if (node.guid == 0) node.guid = 0x0080880000000000ULL | (uint64_t(node.kind) << 16) | n;
        if (node.vendor.empty()) node.vendor = "Emulated";
        if (node.model.empty()) node.model = std::string("Emulated ") + KindName(node.kind);
        bus.nodes.push_back(node);
    }
    bus.ports = port + 1;
    return true;
}

}  // namespace fwemu
