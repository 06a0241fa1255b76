// One node of the emulated bus: its configuration ROM, its registers and,
// for tape units, the tape deck, AV/C unit and DV transmitter.  The local
// node (the PC's adapter) is the isochronous resource manager and holds the
// bandwidth and channel registers.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fwemu/avcunit.h"
#include "fwemu/config.h"
#include "fwemu/dvtransmitter.h"
#include "fwemu/tapedeck.h"

namespace fwemu {

// Initial values of the registers (IEC 61883-1 plug control registers;
// IEEE 1394 isochronous resource manager registers).  The output master
// plug: S100, broadcast channel base 63, one output plug.  The output plug:
// on line, channel 63, 122-quadlet payload, and (as camcorders come up)
// a broadcast connection of its own, so the stream flows on channel 63
// before anyone connects; "nobroadcast" nodes start without it.  The kernel
// itself allocates channel 31 (broadcast) when it is the resource manager.
inline constexpr uint32_t kInitialOmpr = 0x3F000001;
inline constexpr uint32_t kInitialOpcr = 0xC03F007A;
inline constexpr uint32_t kBroadcastConnection = 0x40000000;
inline constexpr uint32_t kInitialBandwidth = 4915;
inline constexpr uint32_t kInitialChannelsHi = 0xFFFFFFFE;
inline constexpr uint32_t kInitialChannelsLo = 0xFFFFFFFF;

struct Node {
    NodeDescription desc;
    std::vector<uint32_t> rom;
    std::unique_ptr<TapeDeck> deck;
    std::unique_ptr<AvcUnit> avc;
    std::unique_ptr<DvTransmitter> tx;

    // Plug registers (camcorders).
    uint32_t ompr = kInitialOmpr;
    uint32_t opcr = kInitialOpcr;
    // Resource manager registers (local node).
    uint32_t bandwidth = kInitialBandwidth;
    uint32_t channelsHi = kInitialChannelsHi;
    uint32_t channelsLo = kInitialChannelsLo;

    bool plugged = true;
    int phy = -1;  // node number in the current generation, -1 when unplugged
    // Requests to the node fail until then (the kernel's device for it is
    // not yet updated, or not yet created).
    std::chrono::steady_clock::time_point readyAt{};
    // After a bus reset the stream goes on this long without a connection.
    std::chrono::steady_clock::time_point graceUntil{};
    unsigned cycle = 0;  // bus cycle of the transmitter, modulo 8000
    size_t avcMark = 0;

    bool isLocal() const { return desc.kind == NodeKind::Local; }
    bool hasPlugs() const { return desc.kind == NodeKind::Camcorder || desc.kind == NodeKind::Hdv; }
    bool connected() const { return (opcr & 0x80000000) && (opcr & 0x7F000000); }
    int channel() const { return static_cast<int>((opcr >> 16) & 0x3F); }
};

// Builds a node from its description.  Null (with a message) when a tape
// cannot be read.
std::unique_ptr<Node> MakeNode(const NodeDescription& desc, std::string* error);

}  // namespace fwemu
