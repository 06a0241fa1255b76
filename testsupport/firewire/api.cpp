// The libraw1394 API on the emulated bus.  Only the raw1394_* functions are
// exported; they behave as libraw1394 2.1.2 does on the kernel's firewire
// stack where the emulated bus can tell the difference (see bus.h).
//
// Environment:
//   FWEMU_BUS=<file>       the bus description (config.h); unset: a machine
//                          without FireWire adapters (no ports)
//   FWEMU_CONTROL=<path>   a Unix socket for run-time commands (control.h),
//                          opened when the first handle is made
#pragma GCC visibility push(default)
#include <libraw1394/csr.h>
#include <libraw1394/raw1394.h>
#pragma GCC visibility pop

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>

#include "fwemu/bus.h"
#include "fwemu/control.h"
#include "fwemu/handle.h"

using fwemu::Bus;

namespace {

using Lock = std::unique_lock<std::mutex>;

constexpr unsigned kCompareSwap = 2;
constexpr uint64_t kChannelsHi = 0x224, kChannelsLo = 0x228, kBandwidth = 0x220;

int DefaultResetHandler(raw1394handle_t h, unsigned int generation) {
    raw1394_update_generation(h, generation);
    return 0;
}

// Hands the buffered packets to the receive handler, with the dispositions
// of the real library: OK goes on, DEFER ends this round after the packet,
// AGAIN ends it before the packet, ERROR fails the iteration, STOP stops
// reception.  The lost count passed is always 0, as on the kernel stack.
int DeliverIso(raw1394handle_t h, Lock& lock) {
    fwemu::IsoReceive& iso = h->iso;
    iso.interrupt = false;
    h->Signal();
    int result = 0;
    while (iso.running && !iso.packets.empty()) {
        const fwemu::IsoPacket packet = iso.packets.front();
        const raw1394_iso_recv_handler_t handler = iso.handler;
        lock.unlock();
        const raw1394_iso_disposition d =
            handler(h, const_cast<unsigned char*>(packet.data.data()), packet.length,
                    packet.channel, /*tag=*/1, /*sy=*/0, packet.cycle, /*dropped=*/0);
        lock.lock();
        if (d == RAW1394_ISO_AGAIN) break;
        if (!iso.packets.empty()) iso.packets.pop_front();
        if (d == RAW1394_ISO_OK) continue;
        if (d == RAW1394_ISO_ERROR) result = -1;
        if (d == RAW1394_ISO_STOP || d == RAW1394_ISO_STOP_NOSYNC) {
            iso.running = false;
            iso.packets.clear();
        }
        break;
    }
    h->Signal();
    return result;
}

// Reads a resource manager register and compare-swaps it to what `change`
// makes of it, as the library does (no retry: a lost race fails).
int ChannelOrBandwidth(raw1394handle_t h, uint64_t offset,
                       const std::function<uint32_t(uint32_t, bool&)>& change) {
    const nodeid_t irm = raw1394_get_irm_id(h);
    quadlet_t buffer = 0;
    if (raw1394_read(h, irm, CSR_REGISTER_BASE + offset, sizeof buffer, &buffer) < 0) return -1;
    const uint32_t current = ntohl(buffer);
    bool ok = true;
    const uint32_t wanted = change(current, ok);
    if (!ok) {
        errno = EAGAIN;
        return -1;
    }
    quadlet_t old = 0;
    if (raw1394_lock(h, irm, CSR_REGISTER_BASE + offset, kCompareSwap, htonl(wanted),
                     htonl(current), &old) < 0)
        return -1;
    if (old != htonl(current)) {
        errno = EAGAIN;
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" {

raw1394handle_t raw1394_new_handle(void) {
    Bus& bus = Bus::Get();
    auto* h = new raw1394_handle();
    if (h->fd() < 0) {
        delete h;
        return nullptr;
    }
    h->resetHandler = DefaultResetHandler;
    Lock lock(bus.mutex());
    bus.Start();
    fwemu::StartControlSocket(bus);
    return h;
}

raw1394handle_t raw1394_new_handle_on_port(int port) {
    raw1394handle_t h = raw1394_new_handle();
    if (h && raw1394_set_port(h, port) < 0) {
        raw1394_destroy_handle(h);
        return nullptr;
    }
    return h;
}

void raw1394_destroy_handle(raw1394handle_t h) {
    if (!h) return;
    {
        Lock lock(Bus::Get().mutex());
        Bus::Get().Detach(h);
    }
    delete h;
}

int raw1394_get_port_info(raw1394handle_t h, struct raw1394_portinfo* info, int maxports) {
    Bus& bus = Bus::Get();
    Lock lock(bus.mutex());
    const int ports = bus.PortCount();
    for (int i = 0; info && i < maxports && i < ports; ++i) {
        info[i].nodes = static_cast<int>(bus.port(i).order.size());
        std::snprintf(info[i].name, sizeof info[i].name, "/dev/fw%d", i);
    }
    return ports;
}

int raw1394_set_port(raw1394handle_t h, int port) {
    Bus& bus = Bus::Get();
    Lock lock(bus.mutex());
    if (port < 0 || port >= bus.PortCount()) {
        errno = EINVAL;
        return -1;
    }
    bus.Attach(h, port);
    return 0;
}

int raw1394_get_fd(raw1394handle_t h) { return h->fd(); }
void raw1394_set_userdata(raw1394handle_t h, void* data) { h->userdata = data; }
void* raw1394_get_userdata(raw1394handle_t h) { return h->userdata; }

nodeid_t raw1394_get_local_id(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    return static_cast<nodeid_t>(0xFFC0 | h->localPhy);
}

// The local node is the isochronous resource manager.
nodeid_t raw1394_get_irm_id(raw1394handle_t h) { return raw1394_get_local_id(h); }

int raw1394_get_nodecount(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    return h->nodeCount;
}

unsigned int raw1394_get_generation(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    return h->generation;
}

void raw1394_update_generation(raw1394handle_t h, unsigned int generation) {
    Lock lock(Bus::Get().mutex());
    h->generation = generation;
}

bus_reset_handler_t raw1394_set_bus_reset_handler(raw1394handle_t h, bus_reset_handler_t handler) {
    Lock lock(Bus::Get().mutex());
    const bus_reset_handler_t old = h->resetHandler;
    h->resetHandler = handler;
    return old;
}

int raw1394_busreset_notify(raw1394handle_t h, int on) { return 0; }

int raw1394_reset_bus_new(raw1394handle_t h, int type) {
    Bus& bus = Bus::Get();
    Lock lock(bus.mutex());
    if (h->port < 0) {
        errno = EINVAL;
        return -1;
    }
    bus.Reset(h->port, nullptr, false);
    return 0;
}

int raw1394_reset_bus(raw1394handle_t h) { return raw1394_reset_bus_new(h, RAW1394_LONG_RESET); }

int raw1394_loop_iterate(raw1394handle_t h) {
    Bus& bus = Bus::Get();
    Lock lock(bus.mutex());
    if (bus.InjectEintr()) {
        errno = EINTR;
        return -1;
    }
    while (!h->hasWork()) {
        lock.unlock();
        pollfd p{h->fd(), POLLIN, 0};
        poll(&p, 1, -1);
        lock.lock();
    }
    if (h->events.empty()) return DeliverIso(h, lock);
    fwemu::Event e = std::move(h->events.front());
    h->events.pop_front();
    h->Signal();
    if (e.type == fwemu::Event::BusReset) {
        // The library's view of the bus changes with the event it reads.
        h->nodeCount = e.nodeCount;
        h->localPhy = e.localPhy;
        const bus_reset_handler_t handler = h->resetHandler;
        lock.unlock();
        return handler ? handler(h, e.generation) : 0;
    }
    const fcp_handler_t handler = h->fcpHandler;
    if (!h->fcpListening || !handler) return 0;
    lock.unlock();
    return handler(h, e.source, /*response=*/1, e.data.size(), e.data.data());
}

fcp_handler_t raw1394_set_fcp_handler(raw1394handle_t h, fcp_handler_t handler) {
    Lock lock(Bus::Get().mutex());
    const fcp_handler_t old = h->fcpHandler;
    h->fcpHandler = handler;
    return old;
}

int raw1394_start_fcp_listen(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    h->fcpListening = true;
    return 0;
}

int raw1394_stop_fcp_listen(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    h->fcpListening = false;
    // Responses already queued for the handle stay; they reach no handler.
    return 0;
}

int raw1394_read(raw1394handle_t h, nodeid_t node, nodeaddr_t addr, size_t length,
                 quadlet_t* buffer) {
    Lock lock(Bus::Get().mutex());
    return Bus::Get().Read(h, node, addr, length, buffer);
}

int raw1394_write(raw1394handle_t h, nodeid_t node, nodeaddr_t addr, size_t length,
                  quadlet_t* data) {
    Lock lock(Bus::Get().mutex());
    return Bus::Get().Write(h, node, addr, length, data);
}

int raw1394_lock(raw1394handle_t h, nodeid_t node, nodeaddr_t addr, unsigned int extcode,
                 quadlet_t data, quadlet_t arg, quadlet_t* result) {
    Lock lock(Bus::Get().mutex());
    return Bus::Get().Lock(h, node, addr, extcode, data, arg, result);
}

int raw1394_lock64(raw1394handle_t h, nodeid_t node, nodeaddr_t addr, unsigned int extcode,
                   octlet_t data, octlet_t arg, octlet_t* result) {
    errno = EINVAL;  // no 64-bit registers on the emulated nodes
    return -1;
}

int raw1394_start_async_send(raw1394handle_t h, size_t length, size_t header_length,
                             unsigned int expect_response, quadlet_t* data, unsigned long rawtag) {
    errno = ENOSYS;  // as libraw1394 on the kernel's firewire stack
    return -1;
}

int raw1394_async_send(raw1394handle_t h, size_t length, size_t header_length,
                       unsigned int expect_response, quadlet_t* data) {
    errno = ENOSYS;
    return -1;
}

int raw1394_arm_register(raw1394handle_t h, nodeaddr_t start, size_t length, byte_t* initial,
                         octlet_t arm_tag, arm_options_t access_rights,
                         arm_options_t notification_options, arm_options_t client_transactions) {
    errno = ENOSYS;  // the emulated PC offers no address ranges of its own
    return -1;
}

int raw1394_arm_unregister(raw1394handle_t h, nodeaddr_t start) {
    errno = EINVAL;
    return -1;
}

int raw1394_channel_modify(raw1394handle_t h, unsigned int channel, enum raw1394_modify_mode mode) {
    if (channel > 63) {
        errno = EINVAL;
        return -1;
    }
    const uint32_t bit = 1u << (31 - channel % 32);
    const uint64_t offset = channel < 32 ? kChannelsHi : kChannelsLo;
    const bool alloc = mode == RAW1394_MODIFY_ALLOC;
    return ChannelOrBandwidth(h, offset, [=](uint32_t v, bool& ok) {
        ok = alloc ? (v & bit) != 0 : (v & bit) == 0;
        return alloc ? v & ~bit : v | bit;
    });
}

int raw1394_bandwidth_modify(raw1394handle_t h, unsigned int bandwidth,
                             enum raw1394_modify_mode mode) {
    if (bandwidth == 0) return 0;
    const bool alloc = mode == RAW1394_MODIFY_ALLOC;
    return ChannelOrBandwidth(h, kBandwidth, [=](uint32_t v, bool& ok) {
        ok = !alloc || v >= bandwidth;
        return alloc ? v - bandwidth : v + bandwidth;
    });
}

int raw1394_iso_recv_init(raw1394handle_t h, raw1394_iso_recv_handler_t handler,
                          unsigned int buf_packets, unsigned int max_packet_size,
                          unsigned char channel, enum raw1394_iso_dma_recv_mode mode,
                          int irq_interval) {
    Lock lock(Bus::Get().mutex());
    if (h->port < 0 || !handler || buf_packets == 0) {
        errno = EINVAL;
        return -1;
    }
    if (h->iso.initialised) {
        errno = EBUSY;
        return -1;
    }
    if (irq_interval < 0) irq_interval = static_cast<int>(buf_packets / 4);
    if (irq_interval == 0) irq_interval = 1;
    h->iso = fwemu::IsoReceive{};
    h->iso.initialised = true;
    h->iso.handler = handler;
    h->iso.bufferPackets = buf_packets;
    h->iso.maxPacketSize = max_packet_size;
    h->iso.channel = channel;
    h->iso.irqInterval = static_cast<unsigned>(irq_interval);
    return 0;
}

int raw1394_iso_recv_start(raw1394handle_t h, int start_on_cycle, int tag_mask, int sync) {
    Lock lock(Bus::Get().mutex());
    if (!h->iso.initialised) {
        errno = EINVAL;
        return -1;
    }
    h->iso.running = true;
    return 0;
}

int raw1394_iso_recv_flush(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    if (!h->iso.packets.empty()) h->iso.interrupt = true;
    h->Signal();
    return 0;
}

void raw1394_iso_stop(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    h->iso.running = false;
    h->iso.packets.clear();
    h->iso.unannounced = 0;
    h->iso.interrupt = false;
    h->Signal();
}

void raw1394_iso_shutdown(raw1394handle_t h) {
    Lock lock(Bus::Get().mutex());
    h->iso = fwemu::IsoReceive{};
    h->Signal();
}

// The emulated PC does not transmit isochronous data.
int raw1394_iso_xmit_init(raw1394handle_t h, raw1394_iso_xmit_handler_t handler,
                          unsigned int buf_packets, unsigned int max_packet_size,
                          unsigned char channel, enum raw1394_iso_speed speed, int irq_interval) {
    errno = ENOSYS;
    return -1;
}

int raw1394_iso_xmit_start(raw1394handle_t h, int start_on_cycle, int prebuffer_packets) {
    errno = EINVAL;
    return -1;
}

int raw1394_iso_xmit_sync(raw1394handle_t h) {
    errno = EINVAL;
    return -1;
}

int raw1394_iso_xmit_write(raw1394handle_t h, unsigned char* data, unsigned int len,
                           unsigned char tag, unsigned char sy) {
    errno = EINVAL;
    return -1;
}

int raw1394_read_cycle_timer(raw1394handle_t h, u_int32_t* cycle_timer, u_int64_t* local_time) {
    using namespace std::chrono;
    const auto now = steady_clock::now().time_since_epoch();
    const uint64_t us = duration_cast<microseconds>(now).count();
    const uint64_t ticks = duration_cast<nanoseconds>(now).count() * 3072 / 125000;  // 24.576 MHz
    const uint64_t cycles = ticks / 3072;
    *cycle_timer =
        static_cast<u_int32_t>((cycles / 8000 % 128) << 25 | (cycles % 8000) << 12 | ticks % 3072);
    *local_time = us;
    return 0;
}

int raw1394_get_speed(raw1394handle_t h, nodeid_t node) {
    quadlet_t q;
    // Any readable node answers at S100, the speed of the emulated units.
    if (raw1394_read(h, node, CSR_REGISTER_BASE + CSR_CONFIG_ROM, 4, &q) < 0) return -1;
    return RAW1394_ISO_SPEED_100;
}

raw1394_errcode_t raw1394_get_errcode(raw1394handle_t h) { return h->errcode; }

int raw1394_errcode_to_errno(raw1394_errcode_t errcode) {
    if (errcode < 0) return EAGAIN;
    switch (errcode & 0xFFFF) {
        case 0x0:
            return 0;
        case 0x4:
            return EAGAIN;
        case 0x5:
            return EREMOTEIO;
        case 0x6:
            return EPERM;
        default:
            return EINVAL;
    }
}

const char* raw1394_get_libversion(void) { return "2.1.2"; }

}  // extern "C"
