// A libraw1394 handle of the emulated bus: the state the library keeps per
// handle (port, generation and the bus view it last processed, handlers,
// FCP listening, isochronous reception) and its event queue.  The handle's
// file descriptor is an eventfd that is readable exactly while an event
// waits, so that poll() on raw1394_get_fd() behaves as on the real library.
// Everything here is guarded by the bus lock.
#pragma once

#include <libraw1394/raw1394.h>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "fwemu/dvtransmitter.h"

namespace fwemu {

struct Event {
    enum Type { BusReset, Fcp } type = BusReset;
    unsigned generation = 0;
    int nodeCount = 0;
    int localPhy = 0;
    nodeid_t source = 0;
    std::vector<uint8_t> data;
};

struct IsoPacket {
    uint16_t length = 0;
    uint8_t channel = 0;
    unsigned cycle = 0;
    std::array<uint8_t, kMaxIsoPacket> data;
};

struct IsoReceive {
    bool initialised = false;
    bool running = false;
    raw1394_iso_recv_handler_t handler = nullptr;
    unsigned bufferPackets = 0;
    unsigned maxPacketSize = 0;
    int channel = -1;
    unsigned irqInterval = 1;
    std::deque<IsoPacket> packets;
    unsigned unannounced = 0;  // packets since the last interrupt
    bool interrupt = false;    // an interrupt (or flush) is pending
    int64_t lost = 0;          // packets that found the buffer full
};

}  // namespace fwemu

struct raw1394_handle {
    raw1394_handle();
    ~raw1394_handle();

    int port = -1;
    unsigned generation = 0;
    int nodeCount = 0;
    int localPhy = 0;
    void* userdata = nullptr;
    bus_reset_handler_t resetHandler = nullptr;
    fcp_handler_t fcpHandler = nullptr;
    bool fcpListening = false;
    raw1394_errcode_t errcode = 0;
    fwemu::IsoReceive iso;
    std::deque<fwemu::Event> events;

    int fd() const { return m_fd; }
    bool hasWork() const { return !events.empty() || iso.interrupt; }
    // Makes the descriptor readable or not to match hasWork().
    void Signal();

private:
    int m_fd = -1;
    bool m_signalled = false;
};
