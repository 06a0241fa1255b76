// The control socket.
#include "fwemu/control.h"

#include <edevdefs.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "fwemu/bus.h"

namespace fwemu {

namespace {

const char* ModeName(long mode) {
    switch (mode) {
        case ED_MODE_PLAY:
            return "play";
        case ED_MODE_STOP:
            return "stop";
        case ED_MODE_FREEZE:
            return "freeze";
        case ED_MODE_FF:
            return "ff";
        case ED_MODE_REW:
            return "rew";
        case ED_MODE_PLAY_FASTEST_FWD:
            return "fastest-fwd";
        case ED_MODE_PLAY_SLOWEST_FWD:
            return "slowest-fwd";
        case ED_MODE_PLAY_FASTEST_REV:
            return "fastest-rev";
        case ED_MODE_PLAY_SLOWEST_REV:
            return "slowest-rev";
        default:
            return "other";
    }
}

// Takes "port <n>" out of the words; -1 when absent.
int PortOption(std::vector<std::string>& words) {
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "port") {
            const int port = std::atoi(words[i + 1].c_str());
            words.erase(words.begin() + i, words.begin() + i + 2);
            return port;
        }
    }
    return -1;
}

void Serve(Bus* bus, int listener) {
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::string pending;
        char buffer[512];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, static_cast<size_t>(n));
            size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 1);
                std::string answer;
                {
                    std::lock_guard<std::mutex> lock(bus->mutex());
                    answer = ExecuteControl(*bus, line) + "\n";
                }
                if (write(fd, answer.data(), answer.size()) < 0) break;
            }
        }
        close(fd);
    }
}

}  // namespace

void StartControlSocket(Bus& bus) {
    static bool started = false;
    const char* path = std::getenv("FWEMU_CONTROL");
    if (started || !path || !*path) return;
    started = true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) return;
    std::strcpy(addr.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    unlink(path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || listen(fd, 4) < 0) {
        close(fd);
        return;
    }
    std::thread(Serve, &bus, fd).detach();
}

std::string ExecuteControl(Bus& bus, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return "error empty command";
    const std::string command = words[0];
    words.erase(words.begin());
    int port = PortOption(words);
    std::ostringstream out;
    out << "ok";

    if (command == "nodes") {
        for (const auto& node : bus.nodes())
            if (node->plugged)
                out << ' ' << node->desc.name << ':' << node->desc.port << ':' << node->phy;
        return out.str();
    }
    if (command == "generation") {
        if (port < 0) port = 0;
        if (port >= bus.PortCount()) return "error no such port";
        out << ' ' << bus.port(port).generation;
        return out.str();
    }
    if (command == "reset") {
        Node* by = nullptr;
        bool renumber = false;
        for (size_t i = 0; i < words.size(); ++i) {
            if (words[i] == "renumber")
                renumber = true;
            else if (words[i] == "by" && i + 1 < words.size() && (by = bus.Find(words[++i])))
                port = by->desc.port;
            else
                return "error bad reset: " + words[i];
        }
        if (port < 0) port = 0;
        if (port >= bus.PortCount()) return "error no such port";
        bus.Reset(port, by, renumber);
        out << ' ' << bus.port(port).generation;
        return out.str();
    }
    if (command == "storm") {
        if (words.size() != 2) return "error storm <count> <ms>";
        if (port < 0) port = 0;
        if (port >= bus.PortCount()) return "error no such port";
        bus.Storm(port, std::atoi(words[0].c_str()), std::atoi(words[1].c_str()));
        return out.str();
    }

    if (words.empty()) return "error " + command + " needs a node";
    Node* node = bus.Find(words[0]);
    if (!node) return "error no node " + words[0];
    if (command == "plug") {
        bus.Plug(node);
    } else if (command == "unplug") {
        bus.Unplug(node);
    } else if (command == "fault") {
        std::string desc, error;
        for (size_t i = 1; i < words.size(); ++i) desc += words[i] + " ";
        if (!ApplyFaultWords(desc, node->desc.faults, &error)) return "error " + error;
    } else if (command == "mark" || command == "avc") {
        if (!node->avc) return "error " + node->desc.name + " has no AV/C unit";
        const auto& log = node->avc->log();
        if (command == "mark") {
            node->avcMark = log.size();
            out << ' ' << log.size();
        } else {
            out << ' ' << log.size() - node->avcMark;
            for (size_t i = node->avcMark; i < log.size(); ++i) out << ' ' << log[i];
        }
    } else if (command == "state") {
        if (!node->deck) return "error " + node->desc.name + " has no tape";
        out << ' ' << ModeName(node->deck->transport().Mode()) << ' '
            << node->deck->transport().Head();
    } else if (command == "frames") {
        if (!node->tx) return "error " + node->desc.name + " sends no DV";
        out << ' ' << node->tx->framesSent() << ' ' << node->tx->packetsSent() << ' '
            << node->tx->packetsLost();
    } else if (command == "channel") {
        if (!node->hasPlugs()) return "error " + node->desc.name + " has no plugs";
        out << ' ' << node->channel() << ' ' << (node->connected() ? 1 : 0);
    } else {
        return "error unknown command " + command;
    }
    return out.str();
}

}  // namespace fwemu
