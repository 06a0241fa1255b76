// A scripted IEEE-1394 bus for the DV driver's tests: units with a
// configuration ROM that answer AV/C commands the way a DV deck does, bus
// resets on demand, and DV packets fed in by the test.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "firewire/fwbus.h"

namespace fwtest {

struct FakeUnit {
    int port = 0;
    int node = 1;
    dvfw::ConfigRom rom;
    bool tapeSubunit = true;
    bool silent = false;      // answers no AV/C command at all
    bool unreadable = false;  // its configuration ROM cannot be read (just after a reset)
    // OUTPUT SIGNAL MODE answer; nothing: the command is not implemented.
    std::optional<uint8_t> signalMode = 0x80;
    // TIME CODE answer: frames, seconds, minutes, hours (BCD); nothing:
    // 0xFF bytes (no timecode).
    std::optional<std::array<uint8_t, 4>> timecode;
    // Transport state: the state opcode and its operand (stopped).
    uint8_t state = 0xC4, stateMode = 0x60;
};

// A unit with an AV/C unit directory and the given GUID and texts.
FakeUnit DeckUnit(uint64_t guid, int node, const std::string& vendor, const std::string& model);

class FakeBus final : public dvfw::Bus, public std::enable_shared_from_this<FakeBus> {
public:
    explicit FakeBus(int ports = 1) : m_ports(ports) {}

    int PortCount() override;
    std::shared_ptr<dvfw::BusPort> OpenPort(int port) override;

    void AddUnit(const FakeUnit& unit);
    void RemoveUnit(uint64_t guid);
    FakeUnit Unit(uint64_t guid);
    template <typename F>
    void ChangeUnit(uint64_t guid, F change) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (FakeUnit& u : m_units)
            if (u.rom.guid == guid) change(u);
    }
    // A bus reset on the port: its generation moves on and the reset
    // watcher wakes.
    void Reset(int port = 0);

    // AV/C commands sent to a unit so far, and forgetting them.
    std::vector<std::vector<uint8_t>> Commands(uint64_t guid);
    void ClearCommands();

    // Receptions running; packets go to every reception of the unit.
    int Receivers();
    // Receptions connected again after a bus reset, so far.
    int Reconnects();
    // The unit's receptions break for good.
    void BreakReceptions(uint64_t guid);
    // Sends whole frames as packets of six blocks (an empty packet after
    // every fifteen, as on the bus); `lostAt` lists packet numbers (over
    // the whole call) that are lost on the way.
    void SendFrames(uint64_t guid, const std::vector<uint8_t>& frames,
                    const std::vector<size_t>& lostAt = {});

private:
    friend class FakePort;
    friend class FakeReceiver;
    struct Sink {
        int port;
        int node;
        dvfw::DvPacketSink* sink;
    };
    std::optional<std::vector<uint8_t>> Answer(int port, int node,
                                               const std::vector<uint8_t>& command);

    const int m_ports;
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<FakeUnit> m_units;
    std::vector<unsigned> m_generation = std::vector<unsigned>(8, 0);
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> m_commands;
    std::mutex m_sinkLock;  // held while packets are delivered
    std::vector<Sink> m_sinks;
    int m_reconnects = 0;  // guarded by m_sinkLock
};

}  // namespace fwtest
