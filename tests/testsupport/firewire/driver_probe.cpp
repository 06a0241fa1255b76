// Check program for the program's own bus code (platform/devices/bus/
// raw1394bus.cpp, compiled in as it is) on the emulated bus: lists the
// nodes, reads their ROMs, sends AV/C, receives DV across a bus reset.
// Prints "key value" lines.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "firewire/fwbus.h"
#include "fwemu/controlclient.h"

namespace {

std::string Control(const std::string& command) { return fwemu::ControlCommand(command); }

struct Counter final : dvfw::DvPacketSink {
    std::atomic<long> data{0}, empty{0}, lost{0};
    std::atomic<bool> broken{false};
    void OnPacket(const uint8_t*, size_t size, unsigned l) override {
        (size == 480 ? data : empty)++;
        lost += l;
    }
    void OnReceptionBroken() override { broken = true; }
};

}  // namespace

int main() {
    auto bus = dvfw::CreateSystemBus();
    std::printf("ports %d\n", bus->PortCount());
    if (bus->PortCount() < 1) return 0;
    auto port = bus->OpenPort(0);
    std::printf("open %d\n", port != nullptr);
    if (!port) return 0;
    std::printf("nodes %d local %d generation %u\n", port->NodeCount(), port->LocalNode(),
                port->Generation());
    dvfw::ConfigRom rom;
    const bool read = port->ReadConfigRom(0, &rom);
    std::printf("rom %d specifier %06x text %s|%s\n", read, rom.unitSpecId, rom.vendorName.c_str(),
                rom.modelName.c_str());
    std::vector<uint8_t> answer;
    const auto status = port->Avc(0, {0x00, 0x20, 0xC3, 0x75}, &answer);
    std::printf("play %d %02x\n", status == dvfw::AvcStatus::Answered,
                answer.empty() ? 0 : answer[0]);
    Counter counter;
    auto receiver = port->ReceiveDv(0, port->Generation(), &counter);
    std::printf("receiving %d channel %d\n", receiver != nullptr,
                receiver ? receiver->Channel() : -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("before_reset data %ld lost %ld\n", counter.data.load(), counter.lost.load());
    std::printf("emulator %s\n", Control("channel camcorder1").c_str());
    std::thread watcher([&] { std::printf("reset_seen %d\n", port->WaitForReset(2000)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Control("reset");
    watcher.join();
    std::printf("after_reset nodes %d generation %u\n", port->NodeCount(), port->Generation());
    // What the driver does once its scan found the unit again.
    if (receiver) receiver->Reconnect(0, port->Generation());
    // Past the second a connection survives a reset unrestored.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    const long data = counter.data.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("late_data %ld\n", counter.data.load() - data);
    std::printf("broken %d\n", counter.broken.load() ? 1 : 0);
    std::printf("emulator_after %s\n", Control("channel camcorder1").c_str());
    receiver.reset();
    std::printf("emulator_closed %s\n", Control("channel camcorder1").c_str());
    return 0;
}
