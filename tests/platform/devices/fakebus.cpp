// The scripted IEEE-1394 bus.
#include "fakebus.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "dv/dif.h"

namespace fwtest {

FakeUnit DeckUnit(uint64_t guid, int node, const std::string& vendor, const std::string& model) {
    FakeUnit u;
    u.node = node;
    u.rom.guid = guid;
    u.rom.vendorId = 0x0080AB;
    u.rom.modelId = 0x010203;
    u.rom.unitSpecId = 0x00A02D;
    u.rom.unitSwVersion = 0x010001;
    u.rom.vendorName = vendor;
    u.rom.modelName = model;
    return u;
}

class FakeReceiver final : public dvfw::DvReceiver {
public:
    FakeReceiver(std::shared_ptr<FakeBus> bus, dvfw::DvPacketSink* sink)
        : m_bus(std::move(bus)), m_sink(sink) {}
    ~FakeReceiver() override {
        std::lock_guard<std::mutex> lock(m_bus->m_sinkLock);
        std::erase_if(m_bus->m_sinks, [this](const FakeBus::Sink& s) { return s.sink == m_sink; });
    }
    int Channel() const override { return 63; }
    void Reconnect(int node, unsigned) override {
        std::lock_guard<std::mutex> lock(m_bus->m_sinkLock);
        for (FakeBus::Sink& s : m_bus->m_sinks)
            if (s.sink == m_sink) s.node = node;
        ++m_bus->m_reconnects;
    }

private:
    std::shared_ptr<FakeBus> m_bus;
    dvfw::DvPacketSink* m_sink;
};

class FakePort final : public dvfw::BusPort {
public:
    FakePort(std::shared_ptr<FakeBus> bus, int port) : m_bus(std::move(bus)), m_port(port) {
        m_seen = Generation();
    }

    unsigned Generation() override {
        std::lock_guard<std::mutex> lock(m_bus->m_lock);
        return m_bus->m_generation[m_port];
    }
    int NodeCount() override {
        std::lock_guard<std::mutex> lock(m_bus->m_lock);
        int count = 1;
        for (const FakeUnit& u : m_bus->m_units)
            if (u.port == m_port) count = std::max(count, u.node + 1);
        return count;
    }
    int LocalNode() override { return 0; }
    bool ReadConfigRom(int node, dvfw::ConfigRom* rom) override {
        std::lock_guard<std::mutex> lock(m_bus->m_lock);
        for (const FakeUnit& u : m_bus->m_units)
            if (u.port == m_port && u.node == node) {
                *rom = u.rom;
                return !u.unreadable;
            }
        return false;
    }
    dvfw::AvcStatus Avc(int node, const std::vector<uint8_t>& command,
                        std::vector<uint8_t>* response) override {
        std::optional<std::vector<uint8_t>> answer = m_bus->Answer(m_port, node, command);
        if (!answer) {
            // What a time-out costs.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return dvfw::AvcStatus::NoAnswer;
        }
        *response = std::move(*answer);
        return dvfw::AvcStatus::Answered;
    }
    bool WaitForReset(int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_bus->m_lock);
        const bool reset = m_bus->m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return m_bus->m_generation[m_port] != m_seen;
        });
        m_seen = m_bus->m_generation[m_port];
        return reset;
    }
    std::unique_ptr<dvfw::DvReceiver> ReceiveDv(int node, unsigned,
                                                dvfw::DvPacketSink* sink) override {
        std::lock_guard<std::mutex> lock(m_bus->m_sinkLock);
        m_bus->m_sinks.push_back({m_port, node, sink});
        return std::make_unique<FakeReceiver>(m_bus, sink);
    }

private:
    std::shared_ptr<FakeBus> m_bus;
    const int m_port;
    unsigned m_seen;  // the watcher's thread only
};

int FakeBus::PortCount() { return m_ports; }

std::shared_ptr<dvfw::BusPort> FakeBus::OpenPort(int port) {
    if (port < 0 || port >= m_ports) return nullptr;
    return std::make_shared<FakePort>(shared_from_this(), port);
}

void FakeBus::AddUnit(const FakeUnit& unit) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_units.push_back(unit);
}

void FakeBus::RemoveUnit(uint64_t guid) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::erase_if(m_units, [guid](const FakeUnit& u) { return u.rom.guid == guid; });
}

FakeUnit FakeBus::Unit(uint64_t guid) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (const FakeUnit& u : m_units)
        if (u.rom.guid == guid) return u;
    return FakeUnit{};
}

void FakeBus::Reset(int port) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_generation[port];
    }
    m_cv.notify_all();
}

std::vector<std::vector<uint8_t>> FakeBus::Commands(uint64_t guid) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<std::vector<uint8_t>> out;
    for (const auto& [g, c] : m_commands)
        if (g == guid) out.push_back(c);
    return out;
}

void FakeBus::ClearCommands() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_commands.clear();
}

int FakeBus::Reconnects() {
    std::lock_guard<std::mutex> lock(m_sinkLock);
    return m_reconnects;
}

void FakeBus::BreakReceptions(uint64_t guid) {
    const FakeUnit u = Unit(guid);
    std::lock_guard<std::mutex> lock(m_sinkLock);
    for (const Sink& s : m_sinks)
        if (s.port == u.port && s.node == u.node) s.sink->OnReceptionBroken();
}

int FakeBus::Receivers() {
    std::lock_guard<std::mutex> lock(m_sinkLock);
    return static_cast<int>(m_sinks.size());
}

std::optional<std::vector<uint8_t>> FakeBus::Answer(int port, int node,
                                                    const std::vector<uint8_t>& c) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = std::find_if(m_units.begin(), m_units.end(),
                           [&](const FakeUnit& u) { return u.port == port && u.node == node; });
    if (it == m_units.end() || it->silent || c.size() < 3) return std::nullopt;
    FakeUnit& u = *it;
    m_commands.emplace_back(u.rom.guid, c);
    std::vector<uint8_t> r = c;
    const uint8_t ctype = c[0], address = c[1], opcode = c[2];
    if (address == 0xFF && opcode == 0x31 && ctype == 0x01) {  // SUBUNIT INFO
        r[0] = 0x0C;
        r.resize(8, 0xFF);
        // A tape subunit (type 4), or a monitor (type 0) only.
        r[4] = u.tapeSubunit ? 0x20 : 0x00;
        return r;
    }
    if (address != 0x20 || !u.tapeSubunit) {
        r[0] = 0x08;  // not implemented
        return r;
    }
    if (ctype == 0x00 && (opcode == 0xC3 || opcode == 0xC4) && c.size() >= 4) {
        // PLAY and WIND: accepted; the transport goes where it was sent.
        u.state = opcode;
        u.stateMode = c[3];
        r[0] = 0x09;
        return r;
    }
    if (ctype == 0x01 && opcode == 0xD0) {  // TRANSPORT STATE
        r[0] = 0x0C;
        r[2] = u.state;
        r[3] = u.stateMode;
        return r;
    }
    if (ctype == 0x01 && opcode == 0x51 && c.size() >= 8) {  // TIME CODE
        r[0] = 0x0C;
        if (u.timecode) std::copy(u.timecode->begin(), u.timecode->end(), r.begin() + 4);
        return r;
    }
    if (ctype == 0x01 && opcode == 0x78 && c.size() >= 4) {  // OUTPUT SIGNAL MODE
        if (!u.signalMode) {
            r[0] = 0x08;
            return r;
        }
        r[0] = 0x0C;
        r[3] = *u.signalMode;
        return r;
    }
    r[0] = 0x08;
    return r;
}

void FakeBus::SendFrames(uint64_t guid, const std::vector<uint8_t>& frames,
                         const std::vector<size_t>& lostAt) {
    const FakeUnit u = Unit(guid);
    constexpr size_t kPacket = 6 * dv::kBlockSize;
    std::lock_guard<std::mutex> lock(m_sinkLock);
    unsigned lost = 0;
    size_t packet = 0;
    for (size_t off = 0; off < frames.size(); off += kPacket, ++packet) {
        if (std::find(lostAt.begin(), lostAt.end(), packet) != lostAt.end()) {
            ++lost;
            continue;
        }
        const size_t size = std::min(kPacket, frames.size() - off);
        for (const Sink& s : m_sinks)
            if (s.port == u.port && s.node == u.node) {
                s.sink->OnPacket(frames.data() + off, size, lost);
                if (packet % 15 == 14) s.sink->OnPacket(nullptr, 0, 0);
            }
        lost = 0;
    }
}

}  // namespace fwtest
